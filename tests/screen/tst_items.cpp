// Adding the product on screen as an item and cancelling items: the checks and their red
// frames, the row's values, the item numbers and the total caption.
#include "clientdataset.h"
#include "operador.h"
#include "screen/globals.h"
#include "screenfixture.h"
#include "scriptedpresenter.h"
#include "testenv.h"

#include <QTableView>
#include <QTest>

using namespace ScreenFixture;

namespace {

// The code keyed over whatever the product field shows, the quantity over the one proposed,
// then Alt+P.
void addItem(TfrmRegVenMan *screen, const QString &code, const QString &quantity)
{
    Operador operador(screen);
    operador.confirma(TfrmRegVenMan::CampoCodigo, code);
    operador.digita(QString(4, u'\b') + quantity);
    operador.alt(Qt::Key_P);
}

} // namespace

class TestItems : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { prepareTerminal(); }

    // 12,50 x 2 makes the first row (ordinal 001) and the total 25,00; 1,333 x 3 adds 3,999
    // and shows 29,00; the next item adds to 29,00, not to 28,999.
    void totalsAddUpAsShown();
    // The row carries the header, the price row, the tax row and the context.
    void rowCarriesHeaderPriceTaxAndContext();
    // Missing header or item fields are refused in order, each with its red frame.
    void checksRunInOrderWithRedFrames();
    // Order, series and sub-series longer than their columns are refused, never cut: two
    // documents that differ past the cut would count as one sale. At the width they pass.
    void documentLongerThanItsColumnRefused();
    // Zero in any spelling is refused; a table number is not required.
    void zeroQuantityRefusedTableOptional();
    // A total of a thousand or more is read back with its thousands separator.
    void thousandsAreReadBack();
    // Cancelling: one of two leaves the plain form; the only one hides the total and the
    // next item starts again at 001.
    void cancellingItems();
    // Numbers never repeat, even after the operator moved the grid's cursor; stSeqItVenda
    // holds the number each new one follows.
    void itemNumbersNeverRepeat();
    // Delete cancels an item only while the item grid has the focus, else a payment.
    void deleteFollowsTheGridFocus();
};

void TestItems::totalsAddUpAsShown()
{
    ScriptedPresenter presenter;
    auto screen = openScreen();
    Operador op(screen.get());
    header(screen.get());
    addItem(screen.get(), QStringLiteral("101"), QStringLiteral("2"));
    QVERIFY2(presenter.calls.isEmpty(), qPrintable(presenter.texts().join(u'|')));
    QCOMPARE(op.linhas(Operador::Itens), 1);
    QCOMPARE(op.celula(Operador::Itens, 0, "Valor Total"), QString("R$\u00A025,00"));
    QCOMPARE(op.total(), QString("25,00"));
    QVERIFY(boAddProd);
    QCOMPARE(op.foco(), TfrmRegVenMan::CampoCodigo);
    QVERIFY(op.legenda(TfrmRegVenMan::CampoCodigo).isEmpty());
    QVERIFY(op.legenda(TfrmRegVenMan::CampoQuant).isEmpty());
    QCOMPARE(op.legenda(TfrmRegVenMan::CampoOrdem), QString("4711")); // header kept

    addItem(screen.get(), QStringLiteral("102"), QStringLiteral("3"));
    // 1,333 x 3 is stored as the 4,00 it is shown and paid as (a grid shows 3,999 so too).
    QCOMPARE(dataset(screen.get(), "cdsProdutos")->FieldByName("VRTOTVEND").AsFloat(), 4.0);
    QCOMPARE(op.total(), QString("29,00"));
    addItem(screen.get(), QStringLiteral("101"), QStringLiteral("1"));
    QCOMPARE(op.total(), QString("41,50"));
    QCOMPARE(op.linhas(Operador::Itens), 3);
}

void TestItems::rowCarriesHeaderPriceTaxAndContext()
{
    ScriptedPresenter presenter;
    auto screen = openScreen();
    header(screen.get());
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    addItem(screen.get(), QStringLiteral("78900101"), QStringLiteral("2"));
    ClientDataSet *items = dataset(screen.get(), "cdsProdutos"); // the columns not shown
    const auto s = [&](const char *c) { return items->FieldByName(c).AsString(); };
    const auto f = [&](const char *c) { return items->FieldByName(c).AsFloat(); };
    const std::pair<const char *, const char *> textos[] = {
        {"CDPRODUTO", "0000000101"}, {"CDPRODPROMOCAO", "0000000101"}, {"NMPRODUTO", "Feijoada"},
        {"NMIMPOSTO", "ICMS"}, {"SGIMPOSTO", "T18"}, {"CDFILIAL", "0001"}, {"CDFILIALTUR", "0001"},
        {"CDCAIXA", "001"}, {"CDEMPRESA", "01"}, {"CDLOJA", "01"}, {"CDOPERADOR", "OP01"},
        {"NRORDEMVND", "4711"}, {"NRSERIEVND", "1"}, {"NRSUBSERIEVND", "2"}, {"NRMESA", "0007"},
        {"CDSALA", "SAL01"}, {"IDSITUVENDA", "O"}, {"IDTIPOVENDA", "S"}, {"IDVENDEBCONS", "N"},
        {"IDCANCMANUAL", "N"}, {"TXOBSVENDA", "Reg. de Vendas Manuais"},
        {"DSOBSITEMVENDA", "Reg. de Vendas Manuais"}, {"NRSEQ", "001"}, {"CDCLIENTE", ""},
        {"NRSEQVENDA", ""}};
    for (const auto &[coluna, valor] : textos)
        QVERIFY2(s(coluna) == QString::fromUtf8(valor), qPrintable(coluna + (": " + s(coluna))));
    // Discount and surcharge stay out of the amount.
    const std::pair<const char *, double> numeros[] = {
        {"QTPRODVEND", 2},    {"QTPRODCOMVEN", 2},  {"VRUNITVEND", 12.5}, {"VRPRECCOMVEN", 12.5},
        {"VRDESITVEND", 0.5}, {"VRACRITVEND", 0.25}, {"VRTOTVEND", 25},   {"VRPEALIMPFIS", 18}};
    for (const auto &[coluna, valor] : numeros)
        QVERIFY2(f(coluna) == valor, qPrintable(coluna + (": " + s(coluna))));
    QCOMPARE(items->FieldByName("DTVENDA").AsDateTime(), QDateTime(QDate::currentDate(), QTime()));
    QCOMPARE(items->FieldByName("DTABERTUR").AsDateTime(),
             QDateTime(QDate::currentDate(), QTime(8, 0)));
    const QDateTime entry = items->FieldByName("DTENTRVENDA").AsDateTime();
    QVERIFY(entry >= before.addSecs(-1) && entry <= QDateTime::currentDateTime());
    QCOMPARE(items->FieldByName("DTFECHAVENDA").AsDateTime(), entry.addSecs(1));
    QVERIFY(!items->FieldByName("DTHRABERMESA").IsNull());

    addItem(screen.get(), QStringLiteral("107"), QStringLiteral("1")); // no tax row
    QVERIFY(items->FieldByName("NMIMPOSTO").AsString().isEmpty());
    QVERIFY(items->FieldByName("VRPEALIMPFIS").IsNull());
    QVERIFY(items->FieldByName("DTHRABERMESA").IsNull()); // only the first row
}

void TestItems::checksRunInOrderWithRedFrames()
{
    ScriptedPresenter presenter;
    FakeServices services;
    auto screen = openScreen();
    Operador op(screen.get());
    const std::pair<int, const char *> steps[] = {
        {TfrmRegVenMan::CampoOrdem, "Nr. de ordem deve ser informado."},
        {TfrmRegVenMan::CampoSerie, "Nr. de série deve ser informado."},
        {TfrmRegVenMan::CampoSubSerie, "Nr. de Sub-Série deve ser informado."},
        {TfrmRegVenMan::CampoData, "Data de emissão deve ser informado."}};
    op.vaiPara(TfrmRegVenMan::CampoCodigo); // empty fields pass Enter
    op.digita(QStringLiteral("101"));
    for (const auto &[campo, texto] : steps) {
        presenter.clear();
        op.toca(Operador::AdicionarProduto);
        QCOMPARE(presenter.calls.size(), 1);
        QCOMPARE(presenter.calls[0], errorCall(texto, "E01"));
        QVERIFY(op.vermelho(campo));
        const bool data = campo == TfrmRegVenMan::CampoData;
        op.digita(data ? today().remove(u'/') : QStringLiteral("9")); // the focus is there
        QVERIFY2(op.confere(campo, data ? today() : QStringLiteral("9")),
                 qPrintable(op.falhas.join(u'|')));
    }
    stDtEmissao = today();
    QCOMPARE(op.linhas(Operador::Itens), 0);

    // The lookup runs first: an empty product code is refused by it, not by check 7.
    op.toca(TfrmRegVenMan::CampoCodigo); // the search cancelled: the field empty
    presenter.clear();
    op.toca(Operador::AdicionarProduto);
    QCOMPARE(presenter.calls[0].text, QString("Código do produto inválido."));
}

void TestItems::documentLongerThanItsColumnRefused()
{
    ScriptedPresenter presenter;
    FakeServices services;
    auto screen = openScreen();
    Operador op(screen.get());
    header(screen.get());
    // Typing stops at twenty characters; the keypads bring any length.
    const auto preenche = [&](int campo, const QString &valor) {
        services.numeric = {{true, valor}};
        services.alpha = {valor};
        op.toca(campo);
    };
    const std::tuple<int, const char *, const char *> fields[] = {
        {TfrmRegVenMan::CampoOrdem, "Nr. de ordem não pode ter mais de 50 caracteres.", "4711"},
        {TfrmRegVenMan::CampoSerie, "Nr. de série não pode ter mais de 50 caracteres.", "1"},
        {TfrmRegVenMan::CampoSubSerie, "Nr. de Sub-Série não pode ter mais de 50 caracteres.",
         "2"}};
    for (const auto &[campo, texto, antes] : fields) {
        preenche(campo, QString(51, u'7'));
        presenter.clear();
        addItem(screen.get(), QStringLiteral("101"), QStringLiteral("1"));
        QCOMPARE(presenter.calls.size(), 1);
        QCOMPARE(presenter.calls[0], errorCall(texto, "E01"));
        QVERIFY(op.vermelho(campo));
        QCOMPARE(op.linhas(Operador::Itens), 0);
        preenche(campo, QString::fromLatin1(antes));
    }
    preenche(TfrmRegVenMan::CampoSerie, QString(50, u'S'));
    presenter.clear();
    addItem(screen.get(), QStringLiteral("101"), QStringLiteral("1"));
    QVERIFY2(presenter.calls.isEmpty(), qPrintable(presenter.texts().join(u'|')));
    QCOMPARE(dataset(screen.get(), "cdsProdutos")->FieldByName("NRSERIEVND").AsString(),
             QString(50, u'S'));
}

void TestItems::zeroQuantityRefusedTableOptional()
{
    ScriptedPresenter presenter;
    FakeServices services;
    auto screen = openScreen();
    Operador op(screen.get());
    header(screen.get(), QStringLiteral("4711"), today(), QString());
    for (const QString &zero : {QStringLiteral("0"), QStringLiteral("00"), QStringLiteral("000")}) {
        presenter.clear();
        addItem(screen.get(), QStringLiteral("101"), zero);
        QCOMPARE(presenter.calls.size(), 1);
        QCOMPARE(presenter.calls[0], errorCall("Quantidade não pode ser zero.", "E01"));
        QVERIFY(op.vermelho(TfrmRegVenMan::CampoQuant));
        QCOMPARE(op.linhas(Operador::Itens), 0);
    }
    // The keypad brings what the keys cannot: a comma, a letter.
    const auto quantidade = [&](const QString &teclado) {
        presenter.clear();
        services.numeric = {{true, teclado}};
        op.toca(TfrmRegVenMan::CampoQuant);
        op.toca(Operador::AdicionarProduto);
    };
    quantidade(QStringLiteral("0,5"));
    QVERIFY(presenter.calls.isEmpty());
    QVERIFY(op.legenda(TfrmRegVenMan::CampoMesa).isEmpty()); // the row's table, as shown
    QCOMPARE(op.total(), QString("6,25"));

    op.digita(QStringLiteral("101"));
    op.enter();
    quantidade(QStringLiteral("1x"));
    QCOMPARE(presenter.calls.size(), 1); // a clear message, no half-built row
    QCOMPARE(presenter.calls[0].kind, 3);
    QCOMPARE(op.linhas(Operador::Itens), 1);
}

void TestItems::thousandsAreReadBack()
{
    ScriptedPresenter presenter;
    auto screen = openScreen();
    Operador op(screen.get());
    header(screen.get());
    addItem(screen.get(), QStringLiteral("103"), QStringLiteral("2"));
    QCOMPARE(op.total(), QString("1.000,00"));
    addItem(screen.get(), QStringLiteral("101"), QStringLiteral("1"));
    QCOMPARE(op.total(), QString("1.012,50"));
    presenter.answer(true);
    // The row cancelled is the current one: the last keyed.
    QCOMPARE(op.celula(Operador::Itens, op.linhaAtual(Operador::Itens), "Código"),
             QString("0000000101"));
    op.toca(Operador::CancelarItem);
    QCOMPARE(op.total(), QString("1000"));
    QVERIFY(presenter.calls.size() == 1);
}

void TestItems::cancellingItems()
{
    ScriptedPresenter presenter;
    auto screen = openScreen();
    Operador op(screen.get());
    header(screen.get());
    addItem(screen.get(), QStringLiteral("101"), QStringLiteral("1"));
    addItem(screen.get(), QStringLiteral("101"), QStringLiteral("1"));
    QCOMPARE(op.total(), QString("25,00"));

    presenter.answer(false);
    op.toca(Operador::CancelarItem);
    QCOMPARE(presenter.calls.size(), 1);
    QCOMPARE(presenter.calls[0], questionCall("Confirma a exclusão do produto?", "E01"));
    QCOMPARE(op.linhas(Operador::Itens), 2);

    op.toca(Operador::CancelarItem); // default answer: yes
    QCOMPARE(op.linhas(Operador::Itens), 1);
    QCOMPARE(op.total(), QString("12,5"));

    op.toca(Operador::CancelarItem);
    QCOMPARE(op.linhas(Operador::Itens), 0);
    QVERIFY(op.total().isEmpty()); // hidden
    op.toca(Operador::CancelarItem); // nothing left: no question
    QCOMPARE(presenter.calls.size(), 3);

    addItem(screen.get(), QStringLiteral("102"), QStringLiteral("3"));
    ClientDataSet *items = dataset(screen.get(), "cdsProdutos"); // the item number not shown
    QCOMPARE(items->FieldByName("NRSEQUITVENDA").AsString(), QString("001"));
    QCOMPARE(op.total(), QString("4,00"));
    op.toca(Operador::CancelarItem); // its line was 4,00: nothing remains
    QVERIFY(op.total().isEmpty());

    // A product the cache gives no name can be cancelled like any other.
    addItem(screen.get(), QStringLiteral("101"), QStringLiteral("1"));
    items->Edit();
    items->FieldByName("NMPRODUTO").setAsString(QString());
    items->Post();
    presenter.clear();
    op.toca(Operador::CancelarItem);
    QCOMPARE(presenter.texts(), QStringList({"Confirma a exclusão do produto?"}));
    QCOMPARE(op.linhas(Operador::Itens), 0);
}

void TestItems::itemNumbersNeverRepeat()
{
    ScriptedPresenter presenter;
    auto screen = openScreen();
    Operador op(screen.get());
    header(screen.get());
    for (int i = 0; i < 3; ++i)
        addItem(screen.get(), QStringLiteral("101"), QStringLiteral("1"));
    for (const auto botao : {Operador::ItemAcima, Operador::ItemAcima, Operador::ItemAcima,
                             Operador::ItemAbaixo})
        op.toca(botao); // the second row current
    QCOMPARE(op.linhaAtual(Operador::Itens), 1);
    addItem(screen.get(), QStringLiteral("101"), QStringLiteral("1"));
    ClientDataSet *items = dataset(screen.get(), "cdsProdutos"); // the numbers not shown
    QCOMPARE(items->FieldByName("NRSEQUITVENDA").AsString(), QString("004"));
    QCOMPARE(stSeqItVenda, QString("003")); // the number the host reads: the one followed
    QStringList numbers;
    for (items->First(); !items->Eof(); items->Next())
        numbers << items->FieldByName("NRSEQ").AsString();
    numbers.sort();
    QCOMPARE(numbers, QStringList({"001", "002", "003", "004"}));
}

void TestItems::deleteFollowsTheGridFocus()
{
    ScriptedPresenter presenter;
    auto screen = openScreen();
    Operador op(screen.get());
    header(screen.get());
    addItem(screen.get(), QStringLiteral("101"), QStringLiteral("1"));
    pay(screen.get(), QStringLiteral("1"), QStringLiteral("10"));
    QVERIFY2(presenter.calls.isEmpty(), qPrintable(presenter.texts().join(u'|')));
    presenter.setDefaultAnswer(false);

    for (const auto &[grade, pergunta] :
         {std::pair(Operador::Pagamentos, "Confirma a exclusão do recebimento?"),
          std::pair(Operador::Itens, "Confirma a exclusão do produto?"),
          std::pair(Operador::Pagamentos, "Confirma a exclusão do recebimento?")}) {
        op.tocaGrade(grade);
        QVERIFY(op.tabela(grade)->hasFocus());
        presenter.clear();
        op.tecla(Qt::Key_Delete);
        QCOMPARE(presenter.texts(), QStringList({QString::fromUtf8(pergunta)}));
    }
}

QTEST_MAIN(TestItems)
#include "tst_items.moc"
