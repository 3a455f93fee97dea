// Product lookup: a code resolved by any of five codes, priced through the price service
// with its failure messages, shown with its tax; and the quantity field.
#include "blended.h"
#include "clientdataset.h"
#include "screen/globals.h"
#include "screenfixture.h"
#include "scriptedpresenter.h"
#include "store.h"
#include "testenv.h"

#include <QLabel>
#include <QMap>
#include <QScopeGuard>
#include <QTest>

#include <semaphore>

using namespace ScreenFixture;

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
    TfrmRegVenMan::aoLerProdutos = [&] { (void)liberado.try_acquire_for(std::chrono::seconds(30)); };
    const auto restaura = qScopeGuard([] { TfrmRegVenMan::aoLerProdutos = nullptr; });
    ScriptedPresenter presenter;
    auto screen = openScreen();
    QVERIFY(screen->cdsValidaProd->IsEmpty()); // still being read
    screen->inCampoAtual = TfrmRegVenMan::CampoCodigo;
    type(screen.get(), QStringLiteral("78900102"));
    liberado.release();
    key(screen.get(), Qt::Key_Return);
    QVERIFY2(presenter.calls.isEmpty(), qPrintable(presenter.texts().join(u'|')));
    QCOMPARE(screen->lblProd->text(), QString("Moqueca - UN"));
    QCOMPARE(screen->cdsValidaProd->RecordCount(), 7);
}

void TestProducts::barCodeResolvesToTheProductCode()
{
    ScriptedPresenter presenter;
    auto screen = openScreen();
    screen->inCampoAtual = TfrmRegVenMan::CampoCodigo;
    type(screen.get(), QStringLiteral("78900102"));
    key(screen.get(), Qt::Key_Return);
    QVERIFY2(presenter.calls.isEmpty(), qPrintable(presenter.texts().join(u'|')));
    QCOMPARE(screen->bldCodigo->Caption(), QString("0000000102"));
    QCOMPARE(screen->lblProd->text(), QString("Moqueca - UN"));
    QCOMPARE(screen->bldPrecoUn->Caption(), QString("R$1,33"));
    QCOMPARE(stPrecoUn, QString("R$1,33"));
    QCOMPARE(screen->lblImpAliq->text(), QString("ICMS Reduzido - T07 - Alíquota: 7,5%"));
    QCOMPARE(screen->bldQuant->Caption(), QString("1"));
    QCOMPARE(stQuant, QString("1"));
    QCOMPARE(screen->inCampoAtual, TfrmRegVenMan::CampoQuant);
    QCOMPARE(screen->cdsRetornaPreco->FieldByName("VRPRECO").AsFloat(), 1.333);

    screen->bldCodigo->setCaption(QStringLiteral("I101")); // the internal code
    QVERIFY(screen->vd_produto(screen->bldCodigo->Caption()));
    QCOMPARE(screen->bldCodigo->Caption(), QString("0000000101"));
    QCOMPARE(screen->lblImpAliq->text(), QString("ICMS - T18 - Alíquota: 18%"));
    QCOMPARE(screen->bldPrecoUn->Caption(), QString("R$12,50"));
}

void TestProducts::columnOrderDecides()
{
    ScriptedPresenter presenter;
    auto screen = openScreen();
    // "0000000101" is product 101's code and product 102's tree code.
    QVERIFY(screen->vd_produto(QStringLiteral("0000000101")));
    QCOMPARE(screen->lblProd->text(), QString("Feijoada - UN"));
    QVERIFY(!screen->vd_produto(QString())); // an empty code never resolves by bar code
}

void TestProducts::firstProductHoldingACodeIsFound_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("product");
    QTest::newRow("bar code of two products") << "7891000000013" << "0000000202";
    QTest::newRow("keyboard code of two products") << "55" << "0000000203";
    QTest::newRow("fixed-length code") << "I204" << "0000000204";
    QTest::newRow("fixed-length code with blanks") << "I204  " << "0000000204";
    QTest::newRow("prefix of a bar code") << "789100000001" << "";
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
    writePacket(QStringLiteral("Dados/Cadastros/Produtos.cds"), fields,
                {produto("0000000201", "7891000000099", "I201", "51"),
                 produto("0000000202", "7891000000013", "I202", "52"),
                 produto("0000000203", "7891000000013", "I203", "55"),
                 produto("0000000204", "7891000000020", "I204", "55")});
    const auto restaura = qScopeGuard([] { writeCaches(); });
    auto screen = openScreen();
    const bool found = screen->localizaProduto(code, false);
    QCOMPARE(found ? screen->cdsValidaProd->FieldByName("CDPRODUTO").AsString() : QString(),
             product);
}

void TestProducts::unknownCodeIsRefused()
{
    ScriptedPresenter presenter;
    auto screen = openScreen();
    QVERIFY(screen->vd_produto(QStringLiteral("101")));
    screen->bldCodigo->setCaption(QString());
    screen->inCampoAtual = TfrmRegVenMan::CampoCodigo;
    type(screen.get(), QStringLiteral("999"));
    key(screen.get(), Qt::Key_Return);
    QCOMPARE(presenter.calls.size(), 1);
    QCOMPARE(presenter.calls[0], errorCall("Código do produto inválido.", "E01"));
    QCOMPARE(screen->inCampoAtual, TfrmRegVenMan::CampoCodigo);
    for (const QString &text : {screen->bldCodigo->Caption(), screen->lblProd->text(),
                                screen->lblImpAliq->text(), screen->bldPrecoUn->Caption(),
                                screen->bldQuant->Caption()})
        QVERIFY(text.isEmpty());
    QVERIFY(screen->ValidaProduto()); // empty code
    screen->bldCodigo->setCaption(QStringLiteral("999"));
    QVERIFY(!screen->ValidaProduto());
}

void TestProducts::priceFailuresAreWarnings()
{
    ScriptedPresenter presenter;
    auto screen = openScreen();
    const auto expectWarning = [&](const QString &code, const QString &text) {
        presenter.clear();
        screen->bldCodigo->setCaption(QStringLiteral("0000000101"));
        screen->bldQuant->setCaption(QStringLiteral("3"));
        QVERIFY2(!screen->vd_produto(code), qPrintable(code));
        QCOMPARE(presenter.calls.size(), 1);
        QCOMPARE(presenter.calls[0], messageCall(text, 2, "E01"));
        QCOMPARE(screen->bldCodigo->Caption(), QString("0000000101")); // unchanged
        QCOMPARE(screen->bldQuant->Caption(), QString("3"));
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
    QVERIFY(!screen->vd_produto(QStringLiteral("103")));
    QCOMPARE(presenter.calls.last(),
             messageCall("Não há tabela de preço do cliente vigente.", 2, "E01"));
    stCdCliDeb = QStringLiteral("C02"); // a client without a table pays the store's price
    QVERIFY(screen->vd_produto(QStringLiteral("103")));
    exec("DELETE FROM TABPRECO WHERE CDTABPRECO = 'CLI01'");
}

void TestProducts::unknownPriceFailureIsShownAsAnError()
{
    ScriptedPresenter presenter;
    auto screen = openScreen();
    const TChamaFuncaoGetRetornaPreco saved = ChamaFuncaoGetRetornaPreco;
    ChamaFuncaoGetRetornaPreco = [](const QVariant *, int, ClientDataSet *, QVariant &) {
        return QVariant(QStringLiteral("ORA-03113: fim de arquivo no canal"));
    };
    const bool found = screen->vd_produto(QStringLiteral("101"));
    ChamaFuncaoGetRetornaPreco = saved;
    QVERIFY(!found);
    QCOMPARE(presenter.calls.size(), 1);
    QCOMPARE(presenter.calls[0], errorCall("ORA-03113: fim de arquivo no canal", "E01"));
}

void TestProducts::productWithoutTaxShowsNone()
{
    ScriptedPresenter presenter;
    auto screen = openScreen();
    QVERIFY(screen->vd_produto(QStringLiteral("101")));
    QVERIFY(!screen->lblImpAliq->text().isEmpty());
    QVERIFY(screen->vd_produto(QStringLiteral("107")));
    QVERIFY(presenter.calls.isEmpty());
    QVERIFY(screen->lblImpAliq->text().isEmpty());
    QCOMPARE(screen->lblProd->text(), QString("Sem imposto - UN"));
}

void TestProducts::quantity()
{
    ScriptedPresenter presenter;
    FakeServices services;
    auto screen = openScreen();
    screen->bldQuant->setCaption(QStringLiteral("4"));
    QVERIFY(screen->vd_produto(QStringLiteral("101")));
    QCOMPARE(screen->bldQuant->Caption(), QString("4"));

    services.numeric = {{true, QStringLiteral("2")}, {false, QString()}};
    screen->bldQuant->click();
    QCOMPARE(screen->inCampoAtual, TfrmRegVenMan::CampoQuant);
    QCOMPARE(screen->bldQuant->Caption(), QString("2"));
    QCOMPARE(services.calls[0].args,
             QVariantList({"Reg. de Vendas Manuais", "Quantidade Vendida.",
                           "Quantidade do produto deve ser informada.", 20, 0, 0, 0, 0, 0}));
    screen->bldQuant->click();
    QCOMPARE(screen->bldQuant->Caption(), QString("1"));
    QCOMPARE(stQuant, QString("1"));

    screen->bldCodigo->setCaption(QStringLiteral("555"));
    screen->inCampoAtual = TfrmRegVenMan::CampoCodigo;
    screen->bldQuant->click();
    QCOMPARE(services.calls.size(), 2); // not opened
    QCOMPARE(presenter.calls.size(), 1);
    QCOMPARE(presenter.calls[0], errorCall("Código do produto inválido.", "E01"));
    QCOMPARE(screen->inCampoAtual, TfrmRegVenMan::CampoCodigo);
}

void TestProducts::typedQuantityReplacesTheDefault()
{
    ScriptedPresenter presenter;
    auto screen = openScreen();
    screen->inCampoAtual = TfrmRegVenMan::CampoCodigo;
    type(screen.get(), QStringLiteral("101"));
    key(screen.get(), Qt::Key_Return);
    QCOMPARE(screen->bldQuant->Caption(), QString("1"));
    QCOMPARE(screen->inCampoAtual, TfrmRegVenMan::CampoQuant);
    type(screen.get(), QStringLiteral("2"));
    QCOMPARE(screen->bldQuant->Caption(), QString("2"));
    type(screen.get(), QStringLiteral("5"));
    QCOMPARE(screen->bldQuant->Caption(), QString("25"));

    screen->bldQuant->setCaption(QStringLiteral("3")); // typed before the lookup: kept
    screen->inCampoAtual = TfrmRegVenMan::CampoCodigo;
    key(screen.get(), Qt::Key_Return);
    type(screen.get(), QStringLiteral("1"));
    QCOMPARE(screen->bldQuant->Caption(), QString("31"));
}

void TestProducts::searchListChoosesAProduct()
{
    ScriptedPresenter presenter;
    FakeServices services;
    auto screen = openScreen();
    services.pesquisa = [](ClientDataSet *ds) {
        return ds->Locate(QStringLiteral("NMPRODUTO"), QStringLiteral("Picanha"));
    };
    screen->bldCodigo->click();
    QCOMPARE(services.calls.size(), 1);
    QCOMPARE(services.calls[0].args, QVariantList({"cdsValidaProd", "", "", 0, 0, 0, 0, 0}));
    QCOMPARE(screen->bldCodigo->Caption(), QString("0000000103"));
    QCOMPARE(stCodProd, QString("0000000103"));
    QCOMPARE(screen->bldPrecoUn->Caption(), QString("R$500,00"));
    QCOMPARE(screen->inCampoAtual, TfrmRegVenMan::CampoCodigo);

    services.pesquisa = {}; // cancelled: the fields stay cleared
    screen->bldCodigo->click();
    QVERIFY(screen->bldCodigo->Caption().isEmpty());
    QVERIFY(screen->lblProd->text().isEmpty());
    QVERIFY(presenter.calls.isEmpty());
}

QTEST_MAIN(TestProducts)
#include "tst_products.moc"
