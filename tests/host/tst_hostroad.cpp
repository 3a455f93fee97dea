// The whole road of a manual sale: the package loaded as the host loads it, a sale keyed in
// with the keyboard alone, recorded, and read back from the store.
#include "keyedsale.h"
#include "scriptedpresenter.h"
#include "testenv.h"
#include "vendaconsistente.h"

#include "dbconnection.h"
#include "store.h"

#include <QApplication>
#include <QDir>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

#include <cmath>

class TestHostRoad : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void saleKeyedInAndStored();

private:
    QSqlDatabase db() const { return m_store->database(); }
    QVariant value(const QString &sql);

    std::unique_ptr<DbConnection> m_store;
};

void TestHostRoad::initTestCase()
{
    TestEnv::usePtBr();
    // The store where the host finds it by default, beside the executable, named explicitly
    // so a connection string of the machine cannot divert the run.
    const QString arquivo = TestEnv::exeDir() + QStringLiteral("/Dados/loja.db");
    QFile::remove(arquivo);
    m_store = Store::connect(QStringLiteral("sqlite:") + arquivo, true);
    Store::DemoOptions options;
    options.products = 400;
    Store::generateDemo(db(), options);
    TestEnv::removeCaches();
    Store::exportCaches(db(), TestEnv::exeDir());
    qputenv("QEL_CONEXAO", (QStringLiteral("sqlite:") + arquivo).toUtf8());
}

QVariant TestHostRoad::value(const QString &sql)
{
    QSqlQuery q(db());
    if (!q.exec(sql) || !q.next()) {
        qWarning("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
        return QVariant();
    }
    return q.value(0);
}

void TestHostRoad::saleKeyedInAndStored()
{
    // The host's launch of the package, keyed in end to end with the keyboard (header, three
    // items by product, keyboard and internal code, two payment types, Alt+G), proves the
    // parts meet: the sale, its items, movements and cash shift are in the store afterwards.
    ScriptedPresenter presenter;
    const QString bin = QStringLiteral(QEL_BIN_DIR);

    QString erro;
    const Criador cria = carregaPacote(bin, &erro);
    QVERIFY2(cria, qPrintable(erro));
    dialogosAbertos().clear();

    // Three products of store 0001/001 named by code, keyboard code and internal code.
    Estrada estrada;
    const QList<std::array<QString, 3>> escolha = {
        {QStringLiteral("000010"), QStringLiteral("000010"), QStringLiteral("2")},
        {QStringLiteral("25"), QStringLiteral("000025"), QStringLiteral("1")},
        {QStringLiteral("1000040"), QStringLiteral("000040"), QStringLiteral("3")}};
    for (const auto &[digitado, produto, quantidade] : escolha) {
        const double preco = value(QStringLiteral("SELECT VRPRECO FROM ITTABPRECO WHERE "
                                                  "CDTABPRECO = 'LJ0001001' AND CDPRODUTO = '%1'")
                                       .arg(produto))
                                 .toDouble();
        QVERIFY(preco > 0);
        estrada.venda.itens.append({digitado, produto, quantidade, std::llround(preco * 100)});
    }
    const qint64 centavos = estrada.venda.total();
    const qint64 dinheiro = centavos / 3;
    estrada.venda.pagamentos = {{QStringLiteral("1"), QStringLiteral("001"), dinheiro},
                                {QStringLiteral("2"), QStringLiteral("002"), centavos - dinheiro}};
    const int turnosAntes = value(QStringLiteral("SELECT COUNT(*) FROM TURCAIXA")).toInt();

    conduzVenda(estrada, cria);

    QVERIFY2(estrada.falhas.isEmpty(), qPrintable(estrada.falhas.join(QStringLiteral("; "))));
    QVERIFY(estrada.gravou);
    QVERIFY2(dialogosAbertos().isEmpty(), qPrintable(dialogosAbertos().join(u',')));
    QCOMPARE(presenter.texts(), QStringList{QStringLiteral("Dados gravados corretamente.")});
    QCOMPARE(presenter.calls.first(),
             messageCall(QStringLiteral("Dados gravados corretamente."), 0, QStringLiteral("001")));

    // Read back through the test's own connection; totals, item count and dates agree within
    // the sale.
    const QStringList discrepancias = confereVendas(db());
    QVERIFY2(discrepancias.isEmpty(), qPrintable(discrepancias.join(u'\n')));
    QSqlQuery v(db());
    QVERIFY(v.exec(QStringLiteral(
        "SELECT NRSEQVENDA, CDFILIAL, CDLOJA, CDCAIXA, NRORDEMVND, NRSERIEVND, NRSUBSERIEVND, "
        "NRMESA, DTVENDA, IDORIGEMVENDA, VRTOTVENDA, DTABERCAIX, DTMOVIMENTO FROM VENDA")));
    QVERIFY(v.next());
    const QString venda = v.value(0).toString();
    QCOMPARE(v.value(1).toString(), QStringLiteral("0001"));
    QCOMPARE(v.value(2).toString(), QStringLiteral("001"));
    QCOMPARE(v.value(3).toString(), QStringLiteral("001"));
    QCOMPARE(v.value(4).toString(), estrada.venda.ordem);
    QCOMPARE(v.value(5).toString(), estrada.venda.serie);
    QCOMPARE(v.value(6).toString(), estrada.venda.subSerie);
    QCOMPARE(v.value(7).toString(), QStringLiteral("0007"));
    QCOMPARE(v.value(8).toDateTime().date(), QDate::currentDate());
    QCOMPARE(v.value(9).toString(), QStringLiteral("QEL_MAN"));
    QCOMPARE(std::llround(v.value(10).toDouble() * 100), centavos);
    const QVariant abertura = v.value(11);
    QCOMPARE(v.value(12).toDateTime().date(), QDate::currentDate());
    QVERIFY(!v.next());

    QSqlQuery i(db());
    QVERIFY(i.exec(QStringLiteral("SELECT CDPRODUTO, QTPRODVEND, VRUNITVEND, NRSEQVENDA "
                                  "FROM ITVENDA ORDER BY NRSEQUITVENDA")));
    for (const VendaDigitada::Item &it : estrada.venda.itens) {
        QVERIFY(i.next());
        QCOMPARE(i.value(0).toString(), it.produto);
        QCOMPARE(i.value(1).toDouble(), it.quantidade.toDouble());
        QCOMPARE(std::llround(i.value(2).toDouble() * 100), it.centavos);
        QCOMPARE(i.value(3).toString(), venda);
    }
    QVERIFY(!i.next());

    QSqlQuery m(db());
    // The payment list puts a new line ahead of the last one: compare by type, not by order.
    QVERIFY(m.exec(QStringLiteral("SELECT CDTIPORECE, IDTIPOMOVIVE, VRMOVIVEND FROM MOVCAIXA "
                                  "ORDER BY CDTIPORECE")));
    QVERIFY(m.next());
    QCOMPARE(m.value(0).toString(), QStringLiteral("001"));
    QCOMPARE(m.value(1).toString(), QStringLiteral("T"));
    QCOMPARE(std::llround(m.value(2).toDouble() * 100), dinheiro);
    QVERIFY(m.next());
    QCOMPARE(m.value(0).toString(), QStringLiteral("002"));
    QCOMPARE(m.value(1).toString(), QStringLiteral("E"));
    QCOMPARE(std::llround(m.value(2).toDouble() * 100), centavos - dinheiro);
    QVERIFY(!m.next());

    // One cash-shift record, the one whose opening time the sale carries.
    QCOMPARE(value(QStringLiteral("SELECT COUNT(*) FROM TURCAIXA")).toInt(), turnosAntes + 1);
    QSqlQuery t(db());
    QVERIFY(t.prepare(QStringLiteral("SELECT COUNT(*) FROM TURCAIXA WHERE CDFILIAL = '0001' "
                                     "AND CDCAIXA = '001' AND DTABERCAIX = ?")));
    t.addBindValue(abertura);
    QVERIFY(t.exec() && t.next());
    QCOMPARE(t.value(0).toInt(), 1);
}

QTEST_MAIN(TestHostRoad)
#include "tst_hostroad.moc"
