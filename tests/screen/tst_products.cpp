// Product lookup: a code resolved by any of five codes, priced through the price service
// with its failure messages, shown with its tax; and the quantity field.
#include "blended.h"
#include "clientdataset.h"
#include "operador.h"
#include "screen/globals.h"
#include "screenfixture.h"
#include "scriptedpresenter.h"
#include "store.h"
#include "testenv.h"

#include <QMap>
#include <QScopeGuard>
#include <QTest>

#include <semaphore>

using namespace ScreenFixture;
using enum TfrmRegVenMan::Campo;


class TestProducts : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { prepareTerminal(); }
    void init() { stCdCliDeb.clear(); }

    // A bar code that is no product or tree code still finds its product, and the field
    // then shows the product code; name, price and tax appear in the locale's formats.
    void barCodeResolvesToTheProductCode();
    // The product list is read while the operator keys the header: a code asked for before
    // it is ready waits for it and is answered, never refused as unknown.
    void lookupBeforeTheListIsReadyAnswers();
    // Two products sharing a code in different columns: the product code column wins.
    void columnOrderDecides();
    // Within one column the first product of the list holding the code is the one found; a
    // fixed-length column matches without its trailing blanks; a code's prefix is no code.
    void firstProductHoldingACodeIsFound_data();
    void firstProductHoldingACodeIsFound();
    // A code that names nothing is refused and the item fields are emptied; Enter then
    // leaves the operator on the product field.
    void unknownCodeIsRefused();
    // Each price failure shows its own warning (kind 2) and leaves the fields as they were.
    void priceFailuresAreWarnings();
    // A failure text the screen does not know is shown as it is, as an error.
    void unknownPriceFailureIsShownAsAnError();
    // A product with no tax row shows no tax at all rather than the previous product's.
    void productWithoutTaxShowsNone();
    // The quantity: empty becomes 1 at the lookup; a keypad cancel gives 1; the keypad is
    // refused while the code names no product.
    void quantity();
    // The proposed 1 is a default: typing 2 over it sells two, not twelve; a typed quantity
    // is kept and extended as usual.
    void typedQuantityReplacesTheDefault();
    // The search list: a chosen product goes through the same lookup.
    void searchListChoosesAProduct();
};

void TestProducts::lookupBeforeTheListIsReadyAnswers()
{
    std::binary_semaphore liberado(0);
    TfrmRegVenMan::aoLerProdutos = [&] { liberado.try_acquire_for(std::chrono::seconds(30)); };
    const auto restaura = qScopeGuard([] { TfrmRegVenMan::aoLerProdutos = nullptr; });
    FakeServices services;
    auto [presenter, screen, op] = TelaComOperador{};
    op.redigita(CampoCodigo, QStringLiteral("78900102")); // while the hook holds the list
    liberado.release();
    op.enter();
    QVERIFY2(presenter.calls.isEmpty(), qPrintable(presenter.texts().join(u'|')));
    QCOMPARE(op.produto(), QString("Moqueca - UN"));
    int oferecidos = 0; // and the search list offers all of it
    services.pesquisa = [&](ClientDataSet *ds) { return (oferecidos = ds->RecordCount()) < 0; };
    op.toca(CampoCodigo);
    QCOMPARE(oferecidos, 7);
}

void TestProducts::barCodeResolvesToTheProductCode()
{
    auto [presenter, screen, op] = TelaComOperador{};
    op.confirma(CampoCodigo, QStringLiteral("78900102"));
    QVERIFY2(presenter.calls.isEmpty(), qPrintable(presenter.texts().join(u'|')));
    QCOMPARE(op.legenda(CampoCodigo), QString("0000000102"));
    QCOMPARE(op.produto(), QString("Moqueca - UN"));
    QCOMPARE(op.preco(), QString("R$1,33"));
    QCOMPARE(stPrecoUn, QString("R$1,33"));
    QCOMPARE(op.aliquota(), QString("ICMS Reduzido - T07 - Alíquota: 7,5%"));
    QCOMPARE(op.legenda(CampoQuant), QString("1"));
    QCOMPARE(stQuant, QString("1"));
    QCOMPARE(op.foco(), CampoQuant);

    op.confirma(CampoCodigo, QStringLiteral("101")); // the keyboard code
    QCOMPARE(op.legenda(CampoCodigo), QString("0000000101"));
    QCOMPARE(op.aliquota(), QString("ICMS - T18 - Alíquota: 18%"));
    QCOMPARE(op.preco(), QString("R$12,50"));
}

void TestProducts::columnOrderDecides()
{
    auto [presenter, screen, op] = TelaComOperador{};
    // "0000000101" is product 101's code and product 102's tree code.
    op.confirma(CampoCodigo, QStringLiteral("0000000101"));
    QCOMPARE(op.produto(), QString("Feijoada - UN"));
    op.redigita(CampoCodigo, QString()); // an empty code never resolves
    op.toca(Operador::AdicionarProduto);
    QCOMPARE(presenter.texts(), QStringList({"Código do produto inválido."}));
    QCOMPARE(op.linhas(Operador::Itens), 0);
}

void TestProducts::firstProductHoldingACodeIsFound_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("product");
    QTest::newRow("bar code of two products") << "7891000013" << "0000000102";
    QTest::newRow("keyboard code of two products") << "55" << "0000000103";
    QTest::newRow("fixed-length code") << "204" << "0000000107";
    QTest::newRow("prefix of a bar code") << "789100001" << "";
}

void TestProducts::firstProductHoldingACodeIsFound()
{
    QFETCH(QString, code);
    QFETCH(QString, product);
    QList<FieldDef> fields = Store::produtosLayout();
    for (FieldDef &f : fields)
        f.fixed = f.name == QLatin1String("CDPRODINTE");
    const auto produto = [&](const char *cd, const char *bar, const char *inte, const char *tecl) {
        QVariantList row(fields.size());
        const QMap<QString, QVariant> values{{"CDPRODUTO", cd}, {"CDARVPROD", cd},
                                             {"NMPRODUTO", cd}, {"SGUNIDADE", "UN"},
                                             {"CDBARPRODUTO", bar}, {"CDPRODINTE", inte},
                                             {"CDPROTECLADO", tecl}};
        for (int i = 0; i < fields.size(); ++i)
            row[i] = values.value(fields[i].name);
        return row;
    };
    writePacket(Store::cacheFiles().at(4), fields, // the product list
                {produto("0000000101", "7891000099", "201", "51"),
                 produto("0000000102", "7891000013", "202", "52"),
                 produto("0000000103", "7891000013", "203", "55"),
                 produto("0000000107", "7891000020", "204", "55")});
    const auto restaura = qScopeGuard([] { writeCaches(); });
    auto [presenter, screen, op] = TelaComOperador{};
    op.confirma(CampoCodigo, code);
    QCOMPARE(op.legenda(CampoCodigo), product);
    QCOMPARE(presenter.calls.size(), product.isEmpty() ? 1 : 0);
}

void TestProducts::unknownCodeIsRefused()
{
    auto [presenter, screen, op] = TelaComOperador{};
    op.confirma(CampoCodigo, QStringLiteral("101"));
    op.confirma(CampoCodigo, QStringLiteral("999"));
    QCOMPARE(presenter.calls.size(), 1);
    QCOMPARE(presenter.calls[0], errorCall("Código do produto inválido.", "E01"));
    QCOMPARE(op.foco(), CampoCodigo);
    for (const QString &text : {op.legenda(CampoCodigo), op.produto(),
                                op.aliquota(), op.preco(), op.legenda(CampoQuant)})
        QVERIFY(text.isEmpty());
}

void TestProducts::priceFailuresAreWarnings()
{
    auto [presenter, screen, op] = TelaComOperador{};
    op.confirma(CampoCodigo, QStringLiteral("101"));
    op.digita(QStringLiteral("3"));
    const auto expectWarning = [&](const QString &code, const QString &text) {
        presenter.clear();
        op.confirma(CampoCodigo, code);
        QCOMPARE(presenter.calls.size(), 1);
        QCOMPARE(presenter.calls[0], messageCall(text, 2, "E01"));
        QCOMPARE(op.legenda(CampoCodigo), code); // as keyed, not emptied
        QCOMPARE(op.legenda(CampoQuant), QString("3"));
    };
    expectWarning("104", "Preço do produto deve ser cadastrado.");
    expectWarning("105", "Preço do produto deve ser maior que zero.");
    expectWarning("106", "Operação bloqueada. Produto indisponível no momento.");

    exec("UPDATE TABPRECO SET DTFINVGTABPRECO = '2021-01-01' WHERE CDTABPRECO = 'LOJA01'");
    expectWarning("103", "Não há tabela de preço da loja vigente.");
    exec("UPDATE TABPRECO SET IDTIPOTABPRECO = 'F', CDLOJA = NULL WHERE CDTABPRECO = 'LOJA01'");
    expectWarning("103", "Não há tabela de preço padrão vigente.");
    exec("UPDATE TABPRECO SET CDFILIAL = '9999' WHERE CDTABPRECO = 'LOJA01'");
    expectWarning("103", "Tabela de preço deve ser parametrizada.");
    exec("UPDATE TABPRECO SET IDTIPOTABPRECO = 'L', CDLOJA = '01', CDFILIAL = '0001', "
         "DTFINVGTABPRECO = NULL WHERE CDTABPRECO = 'LOJA01'");

    exec("INSERT INTO TABPRECO (CDTABPRECO, NMTABPRECO, IDTIPOTABPRECO, CDFILIAL, CDCLIENTE, "
         "DTINIVGTABPRECO, DTFINVGTABPRECO) VALUES ('CLI01', 'Cliente', 'C', '0001', 'C01', "
         "'2020-01-01', '2020-12-31')");
    stCdCliDeb = QStringLiteral("C01");
    expectWarning("103", "Não há tabela de preço do cliente vigente.");
    stCdCliDeb = QStringLiteral("C02"); // a client without a table pays the store's price
    op.confirma(CampoCodigo, QStringLiteral("103"));
    QCOMPARE(op.legenda(CampoCodigo), QString("0000000103"));
    exec("DELETE FROM TABPRECO WHERE CDTABPRECO = 'CLI01'");
}

void TestProducts::unknownPriceFailureIsShownAsAnError()
{
    auto [presenter, screen, op] = TelaComOperador{};
    const TChamaFuncaoGetRetornaPreco saved = ChamaFuncaoGetRetornaPreco;
    ChamaFuncaoGetRetornaPreco = [](const QVariant *, int, ClientDataSet *, QVariant &) {
        return QVariant(QStringLiteral("ORA-03113: fim de arquivo no canal"));
    };
    op.confirma(CampoCodigo, QStringLiteral("101"));
    ChamaFuncaoGetRetornaPreco = saved;
    QVERIFY(op.preco().isEmpty() && op.produto().isEmpty());
    QCOMPARE(presenter.calls.size(), 1);
    QCOMPARE(presenter.calls[0], errorCall("ORA-03113: fim de arquivo no canal", "E01"));
}

void TestProducts::productWithoutTaxShowsNone()
{
    auto [presenter, screen, op] = TelaComOperador{};
    op.confirma(CampoCodigo, QStringLiteral("101"));
    QVERIFY(!op.aliquota().isEmpty());
    op.confirma(CampoCodigo, QStringLiteral("107"));
    QVERIFY(presenter.calls.isEmpty());
    QVERIFY(op.aliquota().isEmpty());
    QCOMPARE(op.produto(), QString("Sem imposto - UN"));
}

void TestProducts::quantity()
{
    FakeServices services;
    auto [presenter, screen, op] = TelaComOperador{};
    op.redigita(CampoQuant, QStringLiteral("4"));
    op.confirma(CampoCodigo, QStringLiteral("101"));
    QCOMPARE(op.legenda(CampoQuant), QString("4"));

    services.numeric = {{true, QStringLiteral("2")}, {false, QString()}};
    op.toca(CampoQuant);
    QCOMPARE(op.foco(), CampoQuant);
    QCOMPARE(op.legenda(CampoQuant), QString("2"));
    QCOMPARE(services.calls[0].args,
             QVariantList({"Reg. de Vendas Manuais", "Quantidade Vendida.",
                           "Quantidade do produto deve ser informada.", 20, 0, 0, 0, 0, 0}));
    op.toca(CampoQuant);
    QCOMPARE(op.legenda(CampoQuant), QString("1"));
    QCOMPARE(stQuant, QString("1"));

    op.redigita(CampoCodigo, QStringLiteral("555")); // no Enter
    op.toca(CampoQuant);
    QCOMPARE(services.calls.size(), 2); // not opened
    QCOMPARE(presenter.calls.size(), 1);
    QCOMPARE(presenter.calls[0], errorCall("Código do produto inválido.", "E01"));
    QCOMPARE(op.foco(), CampoCodigo);
}

void TestProducts::typedQuantityReplacesTheDefault()
{
    auto [presenter, screen, op] = TelaComOperador{};
    op.confirma(CampoCodigo, QStringLiteral("101"));
    QCOMPARE(op.legenda(CampoQuant), QString("1"));
    QCOMPARE(op.foco(), CampoQuant);
    op.digita(QStringLiteral("2"));
    QCOMPARE(op.legenda(CampoQuant), QString("2"));
    op.digita(QStringLiteral("5"));
    QCOMPARE(op.legenda(CampoQuant), QString("25"));

    op.redigita(CampoQuant, QStringLiteral("3")); // typed before the lookup: kept
    op.vaiPara(CampoCodigo);
    op.enter();
    op.digita(QStringLiteral("1"));
    QCOMPARE(op.legenda(CampoQuant), QString("31"));
}

void TestProducts::searchListChoosesAProduct()
{
    FakeServices services;
    auto [presenter, screen, op] = TelaComOperador{};
    services.pesquisa = [](ClientDataSet *ds) {
        return ds->Locate(QStringLiteral("NMPRODUTO"), QStringLiteral("Picanha"));
    };
    op.toca(CampoCodigo);
    QCOMPARE(services.calls.size(), 1);
    QCOMPARE(services.calls[0].args, QVariantList({"cdsValidaProd", "", "", 0, 0, 0, 0, 0}));
    QCOMPARE(op.legenda(CampoCodigo), QString("0000000103"));
    QCOMPARE(stCodProd, QString("0000000103"));
    QCOMPARE(op.preco(), QString("R$500,00"));
    QCOMPARE(op.foco(), CampoCodigo);

    services.pesquisa = {}; // cancelled: the fields stay cleared
    op.toca(CampoCodigo);
    QVERIFY(op.legenda(CampoCodigo).isEmpty());
    QVERIFY(op.produto().isEmpty());
    QVERIFY(presenter.calls.isEmpty());
}

QTEST_MAIN(TestProducts)
#include "tst_products.moc"
