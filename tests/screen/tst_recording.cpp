// Recording the sale: the checks, the cash movements, the cash-shift record, the closing
// routine that stores the sale exactly once, and the screen cleared and closed.
#include "blended.h"
#include "clientdataset.h"
#include "operador.h"
#include "screen/globals.h"
#include "screenfixture.h"
#include "scriptedpresenter.h"
#include "store.h"
#include "testenv.h"
#include "vendaconsistente.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

using namespace ScreenFixture;
using enum TfrmRegVenMan::Campo;

namespace {

int count(const QString &sql)
{
    QSqlQuery q(store());
    if (!q.exec(sql) || !q.next())
        return -1;
    return q.value(0).toInt();
}

using Pairs = QList<std::pair<QString, QString>>;

// A screen with a complete header for document `ordem` (today, the table confirmed with
// Enter), items and payments keyed in.
std::unique_ptr<TfrmRegVenMan> sale(const QString &ordem, const Pairs &items,
                                    const Pairs &payments, const QString &mesa = "7")
{
    auto screen = openScreen();
    header(screen.get(), ordem, today(), mesa);
    Operador op(screen.get());
    FakeServices toques;
    for (const auto &[code, quantity] : items)
        tocaItem(op, toques, code, quantity);
    for (const auto &[code, value] : payments)
        pay(screen.get(), code, value);
    return screen;
}

// Alt+G is a shortcut of the screen's window: it must be the active one.
void altG(TfrmRegVenMan *screen)
{
    screen->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(screen));
    key(screen, Qt::Key_G, Qt::AltModifier);
}

QList<QVariantList> rows(const QString &sql)
{
    QSqlQuery q(store());
    QList<QVariantList> out;
    if (!q.exec(sql))
        return out;
    while (q.next()) {
        QVariantList r;
        for (int i = 0; i < q.record().count(); ++i)
            r << q.value(i);
        out << r;
    }
    return out;
}

QString salaDeVenda()
{
    return TestEnv::exeDir() + QStringLiteral("/Dados/cdsVenda.cds");
}

} // namespace

class TestRecording : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { prepareTerminal(); }
    void init()
    {
        exec("DELETE FROM MOVCAIXA");
        exec("DELETE FROM ITVENDA");
        exec("DELETE FROM VENDA");
        exec("DELETE FROM TURCAIXA");
        QFile f(salaDeVenda());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("x");
    }

    // Nothing to record: items are asked for first, then payments, each with its focus.
    void missingItemsOrPayments();
    // 35,00 of items against 34,99 paid: refused, nothing written, focus to the order.
    void totalsMustMatch();
    // A whole sale: the database holds exactly the sale, its items and its movements, the
    // cash shift is written, the sale file removed, the screen cleared and closed.
    void recordsTheSaleOnce();
    // The same hand-written document keyed again is refused and nothing is doubled.
    void sameDocumentIsRefused();
    // A failing closing leaves the sale on screen, the sale file in place and no sale row.
    void failedClosingKeepsTheSale();
    // Movements: "T" for an exact "A", "E" for the rest, in the order of the payments,
    // rebuilt from scratch at each recording.
    void cashMovements();
    // What the closing routine is handed: ten datasets and 33 values in their order.
    void closingCallArguments();

    // The date and the table typed over confirmed ones without Enter, then an item added with
    // the mouse: every stored row carries the header shown, the table in its listed form with
    // its own room. The next sale, without a table, gets no room of the earlier one.
    void headerShownIsHeaderStored();
    // A header field that does not pass its check refuses an item and stops the recording
    // with the field's own message and red frame; nothing is stored.
    void headerRefusedWhenRecorded_data();
    void headerRefusedWhenRecorded();
    // A cash-shift record the store refuses stops the sale before the closing: nothing of it
    // is stored, and once the store takes shifts again it is recorded pointing at its shift.
    void refusedCashShiftStopsTheSale();
    // What is shown, what is paid and what is stored are the same cents.
    void amountsAreTheCentsShown_data();
    void amountsAreTheCentsShown();
    // A terminal that cannot say its register or operator opens, but records nothing.
    void noSaleWithoutRegisterOrOperator_data();
    void noSaleWithoutRegisterOrOperator();
    // The sales file is removed only inside the terminal's install: a relative folder is
    // taken against the install, and a folder outside it, or missing, is told after the sale
    // is recorded and nothing is removed.
    void salesFileOnlyInsideTheInstall_data();
    void salesFileOnlyInsideTheInstall();
};

void TestRecording::missingItemsOrPayments()
{
    ScriptedPresenter presenter;
    auto screen = openScreen();
    Operador(screen.get()).toca(Operador::Gravar);
    QCOMPARE(presenter.calls.size(), 1);
    QCOMPARE(presenter.calls[0],
             errorCall("Venda não foi finalizada, pois não foram informados produtos.", "E01"));
    QCOMPARE(Operador(screen.get()).foco(), CampoCodigo);

    auto withItems = sale(QStringLiteral("1"), {{"101", "1"}}, {});
    Operador op(withItems.get());
    presenter.clear();
    op.toca(Operador::Gravar);
    QCOMPARE(presenter.calls.size(), 1);
    QCOMPARE(presenter.calls[0],
             errorCall("Venda não foi finalizada, pois recebimento não foi informado.", "E01"));
    QCOMPARE(op.foco(), CampoTipoRece);
    QCOMPARE(count("SELECT COUNT(*) FROM TURCAIXA"), 0);
}

void TestRecording::totalsMustMatch()
{
    ScriptedPresenter presenter;
    // 12,50 x 2 + 1,333 x 7,5 = 34,9975 -> "35,00"; paid 34,99.
    auto screen = sale(QStringLiteral("2"), {{"101", "2"}, {"102", "7,5"}}, {{"1", "34,99"}});
    Operador op(screen.get());
    QCOMPARE(op.total(), QString("35,00"));
    presenter.clear();
    op.toca(Operador::Gravar);
    QCOMPARE(presenter.calls.size(), 1);
    QCOMPARE(presenter.calls[0],
             errorCall("Valor de Recebimento está diferente do valor da venda.", "E01"));
    QCOMPARE(op.foco(), CampoOrdem);
    QCOMPARE(count("SELECT COUNT(*) FROM TURCAIXA"), 0);
    QCOMPARE(count("SELECT COUNT(*) FROM VENDA"), 0);
    QVERIFY(screen->isVisible());

    // The payment lines are what is compared, as they are what is stored: a running sum
    // that merely looks equal does not let 34,99 be stored against 35,00.
    doTotal = 35.0;
    op.toca(Operador::Gravar);
    QCOMPARE(presenter.calls.last(),
             errorCall("Valor de Recebimento está diferente do valor da venda.", "E01"));
    QCOMPARE(count("SELECT COUNT(*) FROM VENDA"), 0);
}

void TestRecording::recordsTheSaleOnce()
{
    ScriptedPresenter presenter;
    auto screen = sale(QStringLiteral("4711"), {{"101", "2"}, {"102", "3"}, {"103", "1"}},
                       {{"1", "29"}, {"2", "500"}});
    Operador op(screen.get());
    QCOMPARE(op.total(), QString("529,00"));
    QVERIFY2(presenter.calls.isEmpty(), qPrintable(presenter.texts().join(u'|')));
    op.toca(Operador::Gravar);
    QCOMPARE(presenter.texts(), QStringList({"Dados gravados corretamente."}));
    QVERIFY(!screen->isVisible());
    QCOMPARE(doTotal, 0.0);
    QCOMPARE(doValorRece, 0.0);
    QVERIFY(!QFile::exists(salaDeVenda()));
    screen->show(); // shown again, it is empty
    QVERIFY(op.legenda(CampoOrdem).isEmpty() && op.total().isEmpty());
    QCOMPARE(op.linhas(), 0);

    QCOMPARE(count("SELECT COUNT(*) FROM VENDA"), 1);
    QCOMPARE(count("SELECT COUNT(*) FROM ITVENDA"), 3);
    QCOMPARE(count("SELECT COUNT(*) FROM MOVCAIXA"), 2);
    QCOMPARE(count("SELECT COUNT(*) FROM TURCAIXA"), 1);
    QSqlQuery q(store());
    QVERIFY(q.exec("SELECT NRORDEMVND, NRSERIEVND, NRSUBSERIEVND, NRMESA, CDSALA, CDCAIXA, "
                   "IDORIGEMVENDA, VRTOTVENDA, VRTOTRECEB, CDOPERADOR FROM VENDA"));
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toString(), QString("4711"));
    QCOMPARE(q.value(1).toString(), QString("1"));
    QCOMPARE(q.value(2).toString(), QString("2"));
    QCOMPARE(q.value(3).toString(), QString("0007"));
    QCOMPARE(q.value(4).toString(), QString("SAL01"));
    QCOMPARE(q.value(5).toString(), QString("001"));
    QCOMPARE(q.value(6).toString(), QString("QEL_MAN"));
    QCOMPARE(q.value(7).toDouble(), 529.0);
    QCOMPARE(q.value(8).toDouble(), 529.0);
    QCOMPARE(q.value(9).toString(), QString("OP01"));
    QVERIFY(q.exec("SELECT CDOPERADOR, CDOPERABER, CDOPERFECH, DTABERCAIX, DTFECHCAIX "
                   "FROM TURCAIXA"));
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toString(), QString("OP01"));
    QCOMPARE(q.value(1).toString(), QString("OP01"));
    QCOMPARE(q.value(2).toString(), QString("OP01"));
    QCOMPARE(q.value(3), q.value(4));
}

void TestRecording::sameDocumentIsRefused()
{
    ScriptedPresenter presenter;
    auto first = sale(QStringLiteral("5000"), {{"101", "1"}}, {{"1", "12,50"}});
    Operador(first.get()).toca(Operador::Gravar);
    QCOMPARE(presenter.texts(), QStringList({"Dados gravados corretamente."}));

    presenter.clear();
    auto again = sale(QStringLiteral("5000"), {{"102", "3"}}, {{"1", "4"}});
    Operador op(again.get());
    // Told with the first item, which stays in the sale.
    QCOMPARE(presenter.calls.size(), 1);
    QCOMPARE(presenter.calls[0].kind, 2);
    QVERIFY2(presenter.calls[0].text.startsWith(QStringLiteral("Venda manual já gravada em ")),
             qPrintable(presenter.calls[0].text));
    QCOMPARE(op.linhas(Operador::Itens), 1);
    presenter.clear();
    op.toca(Operador::Gravar);
    // Shown by the method check, then by the recording's guard when it is raised.
    QCOMPARE(presenter.calls.size(), 2);
    QCOMPARE(presenter.calls[0].kind, 3);
    QCOMPARE(presenter.calls[1], presenter.calls[0]);
    QVERIFY2(presenter.calls[0].text.contains(QStringLiteral("já registrado"))
                 && presenter.calls[0].text.contains(QStringLiteral("5000")),
             qPrintable(presenter.calls[0].text));
    QVERIFY(again->isVisible());
    QCOMPARE(count("SELECT COUNT(*) FROM VENDA"), 1);
    QCOMPARE(count("SELECT COUNT(*) FROM ITVENDA"), 1);
}

void TestRecording::failedClosingKeepsTheSale()
{
    ScriptedPresenter presenter;
    auto screen = sale(QStringLiteral("6000"), {{"101", "1"}}, {{"1", "12,50"}});
    Operador op(screen.get());
    exec("ALTER TABLE MOVCAIXA RENAME TO MOVCAIXA_FORA");
    op.toca(Operador::Gravar);
    exec("ALTER TABLE MOVCAIXA_FORA RENAME TO MOVCAIXA");
    QCOMPARE(presenter.calls.size(), 2);
    QCOMPARE(presenter.calls[0].kind, 3);
    QVERIFY(!presenter.texts().contains(QStringLiteral("Dados gravados corretamente.")));
    QVERIFY(screen->isVisible());
    QCOMPARE(op.linhas(Operador::Itens), 1);
    QCOMPARE(op.linhas(Operador::Pagamentos), 1);
    QCOMPARE(doTotal, 12.5);
    QVERIFY(QFile::exists(salaDeVenda()));
    QCOMPARE(count("SELECT COUNT(*) FROM VENDA"), 0);
    QCOMPARE(count("SELECT COUNT(*) FROM ITVENDA"), 0);

    presenter.clear(); // the retry stores it, once, its movements built anew
    op.toca(Operador::Gravar);
    QCOMPARE(presenter.texts(), QStringList({"Dados gravados corretamente."}));
    QCOMPARE(count("SELECT COUNT(*) FROM VENDA"), 1);
    QCOMPARE(count("SELECT COUNT(*) FROM MOVCAIXA"), 1);
}

void TestRecording::cashMovements()
{
    ScriptedPresenter presenter;
    auto screen = sale(QStringLiteral("7000"), {{"101", "2"}}, {{"1", "10"}, {"2", "15"}});
    // A payment kind that differs from "A" only in case: no payment list offers one.
    ClientDataSet *receb = dataset(screen.get(), "cdsReceb");
    QVERIFY(receb->Locate("CDTIPORECE", QStringLiteral("002")));
    receb->Edit();
    receb->FieldByName("IDTIPORECE").setAsString(QStringLiteral("a"));
    receb->Post();
    Operador op(screen.get());
    const QStringList ordem = {op.celula(Operador::Pagamentos, 0, "Código"),
                               op.celula(Operador::Pagamentos, 1, "Código")};
    op.toca(Operador::Gravar);
    QCOMPARE(presenter.texts(), QStringList({"Dados gravados corretamente."}));
    const QList<QVariantList> movs =
        rows("SELECT CDTIPORECE, VRMOVIVEND, IDTIPOMOVIVE || IDTIPORECE, CDFILIAL, CDCCUSCLIE, "
             "CDCLIENTE, CDCONSUMIDOR, DTMOVIMCAIXA, DTHRINCMOV FROM MOVCAIXA ORDER BY NRSEQUMOVI");
    QCOMPARE(movs.size(), 2);
    // In the order of the payment list; "T" only for an exact "A".
    const QMap<QString, QVariantList> esperado{{"001", {10.0, "TA"}}, {"002", {15.0, "Ea"}}};
    for (int i = 0; i < 2; ++i) {
        const QVariantList &m = movs[i];
        QCOMPARE(m[0].toString(), ordem[i]);
        QCOMPARE(m[1].toDouble(), esperado[ordem[i]].value(0).toDouble());
        QCOMPARE(m[2].toString(), esperado[ordem[i]].value(1).toString());
        QCOMPARE(m[3].toString(), QString("0001"));
        QCOMPARE(m[4].toString(), QString("CC01"));
        QVERIFY(m[5].toString().isEmpty() && m[6].toString().isEmpty());
        QCOMPARE(m[7].toDateTime().date(), QDate::currentDate());
        QVERIFY(!m[8].isNull());
    }
}

void TestRecording::closingCallArguments()
{
    ScriptedPresenter presenter;
    static QStringList dataSets;
    static QVariantList values;
    static QList<QVariant> ov;
    const TSetConcluiFechamento saved = SetConcluiFechamento;
    SetConcluiFechamento = [](ClientDataSet *const *ds, int highDs, const QVariant *v, int highV,
                              QVariant &ovFechamento) {
        for (int i = 0; i <= highDs; ++i)
            dataSets << ds[i]->Name();
        for (int i = 0; i <= highV; ++i)
            values << v[i];
        ov = ovFechamento.toList();
        return QVariant(QStringLiteral("Falha simulada no fechamento"));
    };
    auto screen = sale(QStringLiteral("8000"), {{"101", "1"}}, {{"1", "12,50"}});
    Operador(screen.get()).toca(Operador::Gravar);
    SetConcluiFechamento = saved;
    QCOMPARE(dataSets, QStringList({"cdsProdutos", "cdsMovCaixa", "cdsVendaCancelada",
                                    "cdsFamiliaSaldo", "cdsEmprestimoFam", "cdsItPromoComb",
                                    "cdsVazio", "cdsVazio", "cdsVazio", "cdsVazio"}));
    QCOMPARE(values.size(), 33);
    QCOMPARE(values[0].toString(), QString("001"));
    QCOMPARE(values[1].typeId(), QMetaType::QDateTime);
    QCOMPARE(values[2].toString(), QString("01"));
    QCOMPARE(values[5].toString(), QString("0001"));
    QCOMPARE(values[8].toString(), QString("01"));
    QCOMPARE(values[9].toString(), QString("0007"));
    QCOMPARE(values[11].toString(), QString("POS"));
    QCOMPARE(values[15].toString(), QString("BE0123456789"));
    QCOMPARE(values[16].typeId(), QMetaType::Int);
    QCOMPARE(values[16].toInt(), 1);
    QCOMPARE(values[17].toString(), QString("MP-4200"));
    QCOMPARE(values[20].toDateTime().date(), QDate::currentDate());
    QCOMPARE(values[23].toString(), QString("SP"));
    QCOMPARE(values[32].toString(), QString("QEL_MAN"));
    for (int i : {3, 4, 6, 7, 10, 12, 14, 21, 22, 24, 31}) {
        QCOMPARE(values[i].typeId(), QMetaType::QString);
        QVERIFY(values[i].toString().isEmpty());
    }
    QCOMPARE(ov.size(), 10);
    QVERIFY(!ov[0].isValid());
    // The failure goes through the method check: shown once as an error, then raised and
    // shown by the recording's own guard.
    QCOMPARE(presenter.texts(), QStringList({"Falha simulada no fechamento",
                                             "Falha simulada no fechamento"}));
    QVERIFY(screen->isVisible());
    QCOMPARE(count("SELECT COUNT(*) FROM TURCAIXA"), 1); // written before the closing
}

void TestRecording::headerShownIsHeaderStored()
{
    ScriptedPresenter presenter;
    const QDate ontem = QDate::currentDate().addDays(-1);
    auto screen = sale(QStringLiteral("8100"), {{"101", "1"}}, {});
    Operador op(screen.get());
    FakeServices toques;
    op.redigita(CampoMesa, QStringLiteral("12"));
    toques.calendar = {QString()}; // touched and cancelled: the date is typed instead
    op.toca(CampoData);
    op.digita(ontem.toString(QStringLiteral("ddMMyyyy")));
    tocaItem(op, toques, QStringLiteral("102"), QStringLiteral("3"));
    QCOMPARE(op.legenda(CampoMesa), QString("0012"));
    pay(screen.get(), QStringLiteral("1"), QStringLiteral("16,50"));
    altG(screen.get());
    QCOMPARE(presenter.texts(), QStringList({"Dados gravados corretamente."}));

    const QString venda = QStringLiteral("SELECT DTVENDA, NRMESA, CDSALA FROM VENDA");
    const QString itens = QStringLiteral("SELECT DTVENDA, NRMESA, CDSALA FROM ITVENDA");
    QCOMPARE(rows(itens).size(), 2);
    for (const QVariantList &r : rows(venda) + rows(itens)) {
        QCOMPARE(r[0].toDateTime().date(), ontem);
        QCOMPARE(r[1].toString(), QString("0012"));
        QCOMPARE(r[2].toString(), QString("SAL02"));
    }
    for (const QVariantList &r : rows(QStringLiteral("SELECT DTMOVIMCAIXA FROM MOVCAIXA")))
        QCOMPARE(r[0].toDateTime().date(), ontem);

    auto next = sale(QStringLiteral("8101"), {{"101", "1"}}, {{"1", "12,50"}}, QString());
    altG(next.get());
    QCOMPARE(rows(QStringLiteral("SELECT NRMESA, CDSALA FROM VENDA WHERE NRORDEMVND = '8101'")),
             QList<QVariantList>({{QString(), QString()}}));
    QCOMPARE(confereVendas(store()), QStringList());
}

void TestRecording::headerRefusedWhenRecorded_data()
{
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("message");
    QTest::newRow("data futura")
        << int(TfrmRegVenMan::CampoData) << tomorrow().remove(u'/')
        << "Data de Emissão da venda não deve ser maior que a data atual.";
    QTest::newRow("data impossível") << int(TfrmRegVenMan::CampoData) << "31022024"
                                     << "Data Inválida.";
    QTest::newRow("mesa fechada")
        << int(TfrmRegVenMan::CampoMesa) << "20" << "Mesa não cadastrada.";
    QTest::newRow("mesa inexistente")
        << int(TfrmRegVenMan::CampoMesa) << "99" << "Mesa não cadastrada.";
}

void TestRecording::headerRefusedWhenRecorded()
{
    QFETCH(int, field);
    QFETCH(QString, typed);
    QFETCH(QString, message);
    ScriptedPresenter presenter;
    auto screen = sale(QStringLiteral("8200"), {{"101", "1"}}, {{"1", "12,50"}});
    Operador op(screen.get());
    FakeServices toques;
    op.redigita(field, typed);
    tocaItem(op, toques, QStringLiteral("101"), QStringLiteral("1")); // refused the same way
    QCOMPARE(op.linhas(Operador::Itens), 1);
    altG(screen.get());
    QCOMPARE(presenter.texts(), QStringList({message, message}));
    QVERIFY(op.vermelho(field));
    const QString shown = op.legenda(field);
    op.digita(QStringLiteral("\b")); // the keys go to the refused field
    QCOMPARE(op.legenda(field), shown.chopped(1));
    QVERIFY(screen->isVisible());
    QCOMPARE(count("SELECT COUNT(*) FROM VENDA"), 0);
    QCOMPARE(count("SELECT COUNT(*) FROM TURCAIXA"), 0);
}

void TestRecording::refusedCashShiftStopsTheSale()
{
    ScriptedPresenter presenter;
    auto screen = sale(QStringLiteral("8300"), {{"101", "2"}}, {{"1", "25"}});
    exec("CREATE TRIGGER TURCAIXA_RECUSA BEFORE INSERT ON TURCAIXA "
         "BEGIN SELECT RAISE(ABORT, 'turno recusado'); END");
    altG(screen.get());
    exec("DROP TRIGGER TURCAIXA_RECUSA");
    QCOMPARE(presenter.calls.size(), 1);
    QVERIFY2(presenter.calls[0].text.startsWith("A venda não foi gravada: o turno do caixa")
                 && presenter.calls[0].text.contains("turno recusado"),
             qPrintable(presenter.calls[0].text));
    QVERIFY(screen->isVisible());
    QCOMPARE(count("SELECT COUNT(*) FROM VENDA"), 0);
    QCOMPARE(count("SELECT COUNT(*) FROM TURCAIXA"), 0);

    presenter.clear();
    altG(screen.get());
    QCOMPARE(presenter.texts(), QStringList({"Dados gravados corretamente."}));
    QCOMPARE(count("SELECT COUNT(*) FROM VENDA V JOIN TURCAIXA T ON T.CDFILIAL = V.CDFILIAL "
                   "AND T.CDCAIXA = V.CDCAIXA AND T.DTABERCAIX = V.DTABERCAIX"),
             1);
}

void TestRecording::amountsAreTheCentsShown_data()
{
    QTest::addColumn<Pairs>("items");
    QTest::addColumn<QString>("total");
    QTest::newRow("três de 1,333") << Pairs{{"102", "1"}, {"102", "1"}, {"102", "1"}} << "3,99";
    QTest::newRow("preço 1,005") << Pairs{{"107", "1"}} << "1,01";
    QTest::newRow("12,50 x 2 e 1,333 x 7,5") << Pairs{{"101", "2"}, {"102", "7,5"}} << "35,00";
}

void TestRecording::amountsAreTheCentsShown()
{
    QFETCH(Pairs, items);
    QFETCH(QString, total);
    ScriptedPresenter presenter;
    exec("UPDATE ITTABPRECO SET VRPRECO = 1.005 WHERE CDPRODUTO = '0000000107'");
    auto screen = sale(QStringLiteral("8400"), items, {{"1", total}});
    exec("UPDATE ITTABPRECO SET VRPRECO = 7 WHERE CDPRODUTO = '0000000107'");
    QCOMPARE(Operador(screen.get()).total(), total);
    altG(screen.get());
    QCOMPARE(presenter.texts(), QStringList({"Dados gravados corretamente."}));
    const qint64 cents = std::llround(QLocale().toDouble(total) * 100);
    const auto sum = [](const QString &sql) {
        return std::llround(rows(sql)[0][0].toDouble() * 100);
    };
    QCOMPARE(sum("SELECT VRTOTVENDA FROM VENDA"), cents);
    QCOMPARE(sum("SELECT VRTOTRECEB FROM VENDA"), cents);
    QCOMPARE(sum("SELECT SUM(VRTOTVEND) FROM ITVENDA"), cents);
    QCOMPARE(sum("SELECT SUM(VRMOVIVEND) FROM MOVCAIXA"), cents);
    QCOMPARE(confereVendas(store()), QStringList());
}

void TestRecording::noSaleWithoutRegisterOrOperator_data()
{
    QTest::addColumn<QString>("missing");
    QTest::addColumn<QString>("who");
    QTest::newRow("sem operador") << Store::cacheFiles().at(1) << "o operador"; // access file
    QTest::newRow("sem caixa") << "CDCAIXA" << "o caixa";
}

void TestRecording::noSaleWithoutRegisterOrOperator()
{
    QFETCH(QString, missing);
    QFETCH(QString, who);
    ScriptedPresenter presenter;
    if (missing.contains(u'/')) {
        // Nobody identified the operator: no access file, and neither the host nor an earlier
        // launch left one in the exported variable (which a launch without the file keeps).
        QVERIFY(QFile::remove(TestEnv::exeDir() + u'/' + missing));
        stOperadorLogin.clear();
    } else
        writeParameters({{missing, QString()}});
    auto screen = sale(QStringLiteral("8500"), {{"101", "1"}}, {{"1", "12,50"}});
    writeParameters();
    writeCaches();
    QVERIFY2(presenter.calls.isEmpty(), qPrintable(presenter.texts().join(u'|')));
    altG(screen.get());
    QCOMPARE(presenter.texts(),
             QStringList({"A venda não pode ser gravada: " + who
                          + " deste terminal não está identificado. Exporte de novo os "
                            "cadastros do terminal e abra a tela outra vez."}));
    QVERIFY(screen->isVisible());
    QCOMPARE(count("SELECT COUNT(*) FROM VENDA"), 0);
    QCOMPARE(count("SELECT COUNT(*) FROM TURCAIXA"), 0);
}

void TestRecording::salesFileOnlyInsideTheInstall_data()
{
    QTest::addColumn<QString>("dir");    // DSDIRCAD; "@" is a folder outside the install
    QTest::addColumn<QString>("refusal"); // the start of the message, empty when removed
    QTest::newRow("relativa") << "Dados" << "";
    QTest::newRow("relativa com barra") << "./Dados/" << "";
    QTest::newRow("absoluta fora") << "@" << "fica fora da instalação";
    QTest::newRow("subindo para fora") << "../fora/" << "não existe";
    QTest::newRow("link para fora") << "link/" << "fica fora da instalação";
    QTest::newRow("inexistente") << "naoexiste/" << "não existe";
}

void TestRecording::salesFileOnlyInsideTheInstall()
{
    QFETCH(QString, dir);
    QFETCH(QString, refusal);
    QTemporaryDir fora;
    QFile outside(fora.filePath(QFileInfo(salaDeVenda()).fileName()));
    QVERIFY(outside.open(QIODevice::WriteOnly));
    outside.close();
    const QString link = TestEnv::exeDir() + "/link";
    QFile::remove(link);
    QVERIFY(QFile::link(fora.path(), link));
    writeParameters({{"DSDIRCAD", dir == "@" ? fora.path() + '/' : dir}});
    ScriptedPresenter presenter;
    auto screen = sale(QStringLiteral("8600"), {{"101", "1"}}, {{"1", "12,50"}});
    writeParameters();
    altG(screen.get());
    QFile::remove(link);
    QCOMPARE(count("SELECT COUNT(*) FROM VENDA"), 1);
    QVERIFY(!screen->isVisible());
    QVERIFY(QFile::exists(outside.fileName()));
    QCOMPARE(QFile::exists(salaDeVenda()), !refusal.isEmpty());
    QCOMPARE(presenter.calls.size(), refusal.isEmpty() ? 1 : 2);
    if (!refusal.isEmpty()) {
        QCOMPARE(presenter.calls[1].kind, 2);
        QVERIFY2(presenter.calls[1].text.contains(refusal), qPrintable(presenter.calls[1].text));
    }
}

QTEST_MAIN(TestRecording)
#include "tst_recording.moc"
