// The whole road of a manual sale: the package loaded as the host loads it, a sale keyed in
// with the keyboard alone, recorded, and read back from the store.
#include "keyedsale.h"
#include "scriptedpresenter.h"
#include "testenv.h"
#include "vendaconsistente.h"

#include "dbconnection.h"
#include "store.h"

#include "clientdataset.h"
#include "screenservices.h"

#include <QApplication>
#include <QLibrary>
#include <QScopeGuard>
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
    // A pad keyed in the host's pad mode: after the first slip, each opens with the header of
    // the last and the order number one more, the focus on the product code; a slip skipped is
    // one edit of the number, and leaving the pad shows it missing in the pad's report.
    void padOfSlipsKeyedAndReconciled();

private:
    QSqlDatabase db() const { return m_store->database(); }
    QVariant value(const QString &sql);
    qint64 preco(const QString &produto); // in cents, in the price table of store 0001/001

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

namespace {

// The pad's report as the screen showed it in its list: title, then "number situation" rows.
QStringList &relatorioMostrado()
{
    static QStringList linhas;
    return linhas;
}

bool mostraRelatorio(ClientDataSet *ds, const QString &titulo, const QString &, int, int, int,
                     int, int)
{
    relatorioMostrado() << titulo;
    for (ds->First(); !ds->Eof(); ds->Next())
        relatorioMostrado() << ds->FieldByName(QStringLiteral("NUMERO")).AsString() + u' '
                                   + ds->FieldByName(QStringLiteral("SITUACAO")).AsString();
    return false;
}

} // namespace

qint64 TestHostRoad::preco(const QString &produto)
{
    return std::llround(value(QStringLiteral("SELECT VRPRECO FROM ITTABPRECO WHERE CDTABPRECO = "
                                             "'LJ0001001' AND CDPRODUTO = '%1'")
                                  .arg(produto))
                            .toDouble()
                        * 100);
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
        const qint64 centavos = preco(produto);
        QVERIFY(centavos > 0);
        estrada.venda.itens.append({digitado, produto, quantidade, centavos});
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

void TestHostRoad::padOfSlipsKeyedAndReconciled()
{
    ScriptedPresenter presenter;
    QString erro;
    QVERIFY2(carregaPacote(QStringLiteral(QEL_BIN_DIR), &erro), qPrintable(erro));
    const CriadorTalao cria = criadorTalao();
    QVERIFY(cria);
    QLibrary servicos(QStringLiteral(QEL_BIN_DIR) + QStringLiteral("/libscreenservices"));
    auto *pesquisa = reinterpret_cast<TPesquisa *>(servicos.resolve("Pesquisa"));
    QVERIFY(pesquisa);
    const TPesquisa recusada = std::exchange(*pesquisa, &mostraRelatorio);
    const auto restaura = qScopeGuard([&] { *pesquisa = recusada; });

    VendaDigitada nota{QStringLiteral("0301"), QStringLiteral("8"), QStringLiteral("12"),
                       QStringLiteral("7"), {}, {}};
    nota.itens = {{QStringLiteral("10"), QStringLiteral("000010"), QStringLiteral("2"),
                   preco(QStringLiteral("000010"))}};
    nota.pagamentos = {{QStringLiteral("1"), QStringLiteral("001"), nota.total()}};
    // What the operator keys on each slip; what the next one opens with.
    QStringList falhas, ordens;
    QList<int> focos;
    const auto slip = [&](const std::function<bool(Operador &)> &cabecalho) {
        bool gravou = false;
        naTela([&] { gravou = cria(); },
               [&](QWidget *tela) {
                   Operador operador(tela);
                   ordens << operador.legenda(1);
                   focos << operador.foco();
                   if (cabecalho(operador) && operador.itens(nota)
                       && operador.pagamentos(nota))
                       operador.grava();
                   operador.sai();
                   falhas += operador.falhas;
               },
               falhas);
        return gravou;
    };
    const auto segue = [](Operador &) { return true; };
    QVERIFY(slip([&](Operador &o) { return o.cabecalho(nota); }));
    QVERIFY(slip(segue));
    QVERIFY(slip([](Operador &o) {
        o.confirma(1, QStringLiteral("0304"));
        return o.vaiPara(6);
    }));
    QVERIFY(!slip([](Operador &) { return false; })); // left at the next slip
    QVERIFY2(falhas.isEmpty(), qPrintable(falhas.join(QStringLiteral("; "))));
    QCOMPARE(ordens, QStringList({"", "0302", "0303", "0305"}));
    QCOMPARE(focos, QList<int>({1, 6, 6, 6}));

    QSqlQuery v(db());
    QVERIFY(v.exec(QStringLiteral("SELECT NRORDEMVND, NRSUBSERIEVND, NRMESA, DTVENDA FROM VENDA "
                                  "WHERE NRSERIEVND = '8' ORDER BY NRORDEMVND")));
    for (const char *ordem : {"0301", "0302", "0304"}) {
        QVERIFY(v.next());
        QCOMPARE(v.value(0).toString(), QLatin1String(ordem));
        QCOMPARE(v.value(1).toString(), QStringLiteral("12"));
        QCOMPARE(v.value(2).toString(), QStringLiteral("0007"));
        QCOMPARE(v.value(3).toDateTime().date(), QDate::currentDate());
    }
    QVERIFY(!v.next());
    QCOMPARE(relatorioMostrado(),
             QStringList({"Talão 8/12, números 301 a 304: 3 gravadas, 1 faltam", "301 gravada",
                          "302 gravada", "303 falta", "304 gravada"}));
    // The next pad begins afresh: its first slip opens empty.
    ordens.clear();
    QVERIFY(!slip([](Operador &) { return false; }));
    QCOMPARE(ordens, QStringList({""}));

    // A pad the host begins at a slip already recorded: the header is checked as keyed, so
    // the operator is warned at once, the document's fields framed red, and what is typed
    // goes to the number.
    QLibrary pacote(QStringLiteral(QEL_BIN_DIR) + QStringLiteral("/libLum00071"));
    const QString dia = QDate::currentDate().toString(QStringLiteral("dd/MM/yyyy"));
    for (const auto &[variavel, valor] : {std::pair{"stTalaoNrOrdem", QStringLiteral("0302")},
                                          {"stTalaoNrSerie", nota.serie},
                                          {"stTalaoNrSubSerie", nota.subSerie},
                                          {"stTalaoDtEmissao", dia},
                                          {"stTalaoNrMesa", QStringLiteral("0007")}}) {
        auto *exportada = reinterpret_cast<QString *>(pacote.resolve(variavel));
        QVERIFY2(exportada, variavel);
        *exportada = valor;
    }
    presenter.clear();
    bool vermelho = false;
    QString digitado;
    QVERIFY(!slip([&](Operador &o) {
        vermelho = o.vermelho(1) && o.vermelho(2) && o.vermelho(3);
        o.digita(QStringLiteral("9"));
        digitado = o.legenda(1);
        return false;
    }));
    QVERIFY(vermelho);
    QCOMPARE(ordens.constLast(), QStringLiteral("0302"));
    QCOMPARE(digitado, QStringLiteral("03029"));
    QVERIFY2(presenter.texts().value(0).startsWith(QStringLiteral("Venda manual já gravada")),
             qPrintable(presenter.texts().join(u'|')));

    // A report the store refuses (a pad the host made far too long) is told, and the operator
    // still leaves.
    *reinterpret_cast<qint64 *>(pacote.resolve("inTalaoDe")) = 1;
    *reinterpret_cast<qint64 *>(pacote.resolve("inTalaoAte")) = 200000;
    presenter.clear();
    relatorioMostrado().clear();
    QVERIFY(!slip([](Operador &) { return false; }));
    QVERIFY2(falhas.isEmpty(), qPrintable(falhas.join(QStringLiteral("; "))));
    QVERIFY(relatorioMostrado().isEmpty());
    QVERIFY2(presenter.texts().constLast().startsWith(QStringLiteral("O talão de 1 a 200000 tem")),
             qPrintable(presenter.texts().join(u'|')));
}

QTEST_MAIN(TestHostRoad)
#include "tst_hostroad.moc"
