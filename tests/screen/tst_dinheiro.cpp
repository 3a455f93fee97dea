// The money rules without a screen: cents rounded on the decimal digits, whatever the double
// holds, so what is shown, paid and stored is one figure.
#include "screen/dinheiro.h"
#include "testenv.h"

#include <QTest>

#include <limits>

class TestDinheiro : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { TestEnv::usePtBr(); }
    void centsOfAValue_data();
    void centsOfAValue();
    void paymentsAreWholeCents_data();
    void paymentsAreWholeCents();
};

void TestDinheiro::centsOfAValue_data()
{
    QTest::addColumn<double>("preco");
    QTest::addColumn<double>("quantidade");
    QTest::addColumn<qint64>("centavos");
    QTest::addColumn<QString>("formatado");
    QTest::newRow("1,005 held as 1,00499...") << 1.005 << 1.0 << qint64(101) << "1,01";
    QTest::newRow("2,675 held below") << 2.675 << 1.0 << qint64(268) << "2,68";
    QTest::newRow("1,333 x 3") << 1.333 << 3.0 << qint64(400) << "4,00";
    QTest::newRow("1,333 x 7,5") << 1.333 << 7.5 << qint64(1000) << "10,00";
    QTest::newRow("negative, away from zero") << -1.005 << 1.0 << qint64(-101) << "-1,01";
    QTest::newRow("thousands") << 1234.5 << 1.0 << qint64(123450) << "1.234,50";
    QTest::newRow("infinity is only a bound")
        << std::numeric_limits<double>::infinity() << 1.0 << qint64(100000000000000000)
        << "1.000.000.000.000.000,00";
}

void TestDinheiro::centsOfAValue()
{
    QFETCH(double, preco);
    QFETCH(double, quantidade);
    QFETCH(qint64, centavos);
    QFETCH(QString, formatado);
    QCOMPARE(Dinheiro::totalDoItem(preco, quantidade), centavos);
    QCOMPARE(Dinheiro::formatado(centavos), formatado);
}

void TestDinheiro::paymentsAreWholeCents_data()
{
    QTest::addColumn<double>("valor");
    QTest::addColumn<bool>("exato");
    QTest::newRow("30,004") << 30.004 << false;
    QTest::newRow("30,01") << 30.01 << true;
    QTest::newRow("0,1 + 0,2 summed as doubles") << 0.1 + 0.2 << false;
    QTest::newRow("0,30") << 0.3 << true;
}

void TestDinheiro::paymentsAreWholeCents()
{
    QFETCH(double, valor);
    QFETCH(bool, exato);
    QCOMPARE(Dinheiro::centavosExatos(valor), exato);
}

QTEST_MAIN(TestDinheiro)
#include "tst_dinheiro.moc"
