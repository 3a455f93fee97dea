// Adding the product on screen as an item and cancelling items: the checks and their red
// frames, the row's values, the item numbers and the total caption.
#include "blended.h"
#include "clientdataset.h"
#include "conversions.h"
#include "screen/globals.h"
#include "screenfixture.h"
#include "scriptedpresenter.h"
#include "testenv.h"

#include <QApplication>
#include <QLabel>
#include <QTableView>
#include <QTest>

using namespace ScreenFixture;

namespace {

// A header or item field, its frame, its focus index and the message it gets when refused.
struct FieldMessage
{
    TBlendedButton *field;
    TBlendedShape *frame;
    int number;
    QString text;
};

// Product code and quantity typed, then Alt+P.
void addItem(TfrmRegVenMan *screen, const QString &code, const QString &quantity)
{
    screen->inCampoAtual = TfrmRegVenMan::CampoCodigo;
    type(screen, code);
    screen->inCampoAtual = TfrmRegVenMan::CampoQuant;
    type(screen, quantity);
    screen->bldAddProd->click();
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
    // Delete cancels an item only while the item grid has the focus; otherwise a payment.
    void deleteFollowsTheGridFocus();
};

void TestItems::totalsAddUpAsShown()
{
    ScriptedPresenter presenter;
    auto screen = openScreen();
    header(screen.get());
    addItem(screen.get(), QStringLiteral("101"), QStringLiteral("2"));
    QVERIFY2(presenter.calls.isEmpty(), qPrintable(presenter.texts().join(u'|')));
    ClientDataSet *items = screen->cdsProdutos;
    QCOMPARE(items->RecordCount(), 1);
    QCOMPARE(items->FieldByName("NRSEQUITVENDA").AsString(), QString("001"));
    QCOMPARE(items->FieldByName("VRTOTVEND").AsFloat(), 25.0);
    QCOMPARE(screen->lblTotal->text(), QString("25,00"));
    QVERIFY(screen->lblTot->isVisible() && screen->lblTotal->isVisible());
    QVERIFY(boAddProd);
    QCOMPARE(screen->inCampoAtual, TfrmRegVenMan::CampoCodigo);
    QCOMPARE(screen->Borda6->brushColor(), QColor(Qt::black));
    QVERIFY(screen->bldCodigo->Caption().isEmpty() && screen->bldQuant->Caption().isEmpty());
    QCOMPARE(screen->bldNrOrdem->Caption(), QString("4711")); // header kept

    addItem(screen.get(), QStringLiteral("102"), QStringLiteral("3"));
    QCOMPARE(items->FieldByName("NRSEQUITVENDA").AsString(), QString("002"));
    // 1,333 x 3 is stored as the 4,00 it is shown and paid as.
    QCOMPARE(items->FieldByName("VRTOTVEND").AsFloat(), 4.0);
    QCOMPARE(screen->lblTotal->text(), QString("29,00"));
    addItem(screen.get(), QStringLiteral("101"), QStringLiteral("1"));
    QCOMPARE(screen->lblTotal->text(), QString("41,50"));
    QCOMPARE(items->RecordCount(), 3);
}

void TestItems::rowCarriesHeaderPriceTaxAndContext()
{
    ScriptedPresenter presenter;
    auto screen = openScreen();
    header(screen.get());
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    addItem(screen.get(), QStringLiteral("78900101"), QStringLiteral("2"));
    ClientDataSet *items = screen->cdsProdutos;
    const auto s = [&](const char *c) { return items->FieldByName(c).AsString(); };
    const auto f = [&](const char *c) { return items->FieldByName(c).AsFloat(); };
    QCOMPARE(s("CDPRODUTO"), QString("0000000101"));
    QCOMPARE(s("CDPRODPROMOCAO"), QString("0000000101"));
    QCOMPARE(s("NMPRODUTO"), QString("Feijoada"));
    QCOMPARE(f("QTPRODVEND"), 2.0);
    QCOMPARE(f("QTPRODCOMVEN"), 2.0);
    QCOMPARE(f("VRUNITVEND"), 12.5);
    QCOMPARE(f("VRPRECCOMVEN"), 12.5);
    QCOMPARE(f("VRDESITVEND"), 0.5);
    QCOMPARE(f("VRACRITVEND"), 0.25);
    QCOMPARE(f("VRTOTVEND"), 25.0); // discount and surcharge stay out of the amount
    QCOMPARE(s("NMIMPOSTO"), QString("ICMS"));
    QCOMPARE(s("SGIMPOSTO"), QString("T18"));
    QCOMPARE(f("VRPEALIMPFIS"), 18.0);
    QCOMPARE(s("CDFILIAL"), QString("0001"));
    QCOMPARE(s("CDFILIALTUR"), QString("0001"));
    QCOMPARE(s("CDCAIXA"), QString("001"));
    QCOMPARE(s("CDEMPRESA"), QString("01"));
    QCOMPARE(s("CDLOJA"), QString("01"));
    QCOMPARE(s("CDOPERADOR"), QString("OP01"));
    QCOMPARE(s("NRORDEMVND"), QString("4711"));
    QCOMPARE(s("NRSERIEVND"), QString("1"));
    QCOMPARE(s("NRSUBSERIEVND"), QString("2"));
    QCOMPARE(s("NRMESA"), QString("0007"));
    QCOMPARE(s("CDSALA"), QString("SAL01"));
    QCOMPARE(s("IDSITUVENDA"), QString("O"));
    QCOMPARE(s("IDTIPOVENDA"), QString("S"));
    QCOMPARE(s("IDVENDEBCONS"), QString("N"));
    QCOMPARE(s("IDCANCMANUAL"), QString("N"));
    QCOMPARE(s("TXOBSVENDA"), QString("Reg. de Vendas Manuais"));
    QCOMPARE(s("DSOBSITEMVENDA"), QString("Reg. de Vendas Manuais"));
    QCOMPARE(s("NRSEQ"), QString("001"));
    QVERIFY(s("CDCLIENTE").isEmpty());
    QVERIFY(s("NRSEQVENDA").isEmpty());
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
    auto screen = openScreen();
    const QColor red(255, 0, 0);
    const FieldMessage steps[] = {
        {screen->bldNrOrdem, screen->borda1, TfrmRegVenMan::CampoOrdem,
         "Nr. de ordem deve ser informado."},
        {screen->bldNrSerie, screen->Borda2, TfrmRegVenMan::CampoSerie,
         "Nr. de série deve ser informado."},
        {screen->bldNrSubSerie, screen->Borda3, TfrmRegVenMan::CampoSubSerie,
         "Nr. de Sub-Série deve ser informado."},
        {screen->bldDtEmissao, screen->Borda4, TfrmRegVenMan::CampoData,
         "Data de emissão deve ser informado."},
    };
    screen->bldCodigo->setCaption(QStringLiteral("101"));
    for (const auto &step : steps) {
        presenter.clear();
        screen->bldAddProd->click();
        QCOMPARE(presenter.calls.size(), 1);
        QCOMPARE(presenter.calls[0], errorCall(step.text, "E01"));
        QCOMPARE(screen->inCampoAtual, step.number);
        QCOMPARE(step.frame->brushColor(), red);
        step.field->setCaption(step.number == TfrmRegVenMan::CampoData ? today()
                                                                       : QStringLiteral("9"));
    }
    stDtEmissao = today();
    QVERIFY(!screen->cdsProdutos->Active());

    // The lookup runs first: an empty product code is refused by it, not by check 7.
    screen->bldCodigo->setCaption(QString());
    presenter.clear();
    screen->bldAddProd->click();
    QCOMPARE(presenter.calls[0].text, QString("Código do produto inválido."));
}

void TestItems::documentLongerThanItsColumnRefused()
{
    ScriptedPresenter presenter;
    auto screen = openScreen();
    header(screen.get());
    const QColor red(255, 0, 0);
    const FieldMessage fields[] = {
        {screen->bldNrOrdem, screen->borda1, TfrmRegVenMan::CampoOrdem,
         "Nr. de ordem não pode ter mais de 50 caracteres."},
        {screen->bldNrSerie, screen->Borda2, TfrmRegVenMan::CampoSerie,
         "Nr. de série não pode ter mais de 50 caracteres."},
        {screen->bldNrSubSerie, screen->Borda3, TfrmRegVenMan::CampoSubSerie,
         "Nr. de Sub-Série não pode ter mais de 50 caracteres."},
    };
    for (const auto &f : fields) {
        const QString before = f.field->Caption();
        f.field->setCaption(QString(51, u'7'));
        presenter.clear();
        addItem(screen.get(), QStringLiteral("101"), QStringLiteral("1"));
        QCOMPARE(presenter.calls.size(), 1);
        QCOMPARE(presenter.calls[0], errorCall(f.text, "E01"));
        QCOMPARE(screen->inCampoAtual, f.number);
        QCOMPARE(f.frame->brushColor(), red);
        QVERIFY(!screen->cdsProdutos->Active() || screen->cdsProdutos->IsEmpty());
        f.field->setCaption(before);
    }
    screen->bldNrSerie->setCaption(QString(50, u'S'));
    presenter.clear();
    addItem(screen.get(), QStringLiteral("101"), QStringLiteral("1"));
    QVERIFY2(presenter.calls.isEmpty(), qPrintable(presenter.texts().join(u'|')));
    QCOMPARE(screen->cdsProdutos->FieldByName(QStringLiteral("NRSERIEVND")).AsString(),
             QString(50, u'S'));
}

void TestItems::zeroQuantityRefusedTableOptional()
{
    ScriptedPresenter presenter;
    auto screen = openScreen();
    header(screen.get());
    screen->bldNrMesa->setCaption(QString());
    for (const QString &zero : {QStringLiteral("0"), QStringLiteral("00"), QStringLiteral("000")}) {
        presenter.clear();
        screen->inCampoAtual = TfrmRegVenMan::CampoSubSerie;
        addItem(screen.get(), QStringLiteral("101"), zero);
        QCOMPARE(presenter.calls.size(), 1);
        QCOMPARE(presenter.calls[0], errorCall("Quantidade não pode ser zero.", "E01"));
        QCOMPARE(screen->Borda7->brushColor(), QColor(255, 0, 0));
        QVERIFY(!screen->cdsProdutos->Active());
        screen->bldCodigo->setCaption(QString());
        screen->bldQuant->setCaption(QString());
    }
    presenter.clear();
    screen->bldCodigo->setCaption(QStringLiteral("101"));
    screen->bldQuant->setCaption(QStringLiteral("0,5"));
    screen->bldAddProd->click();
    QVERIFY(presenter.calls.isEmpty());
    QVERIFY(screen->cdsProdutos->FieldByName("NRMESA").AsString().isEmpty());
    QCOMPARE(screen->lblTotal->text(), QString("6,25"));

    screen->bldCodigo->setCaption(QStringLiteral("101"));
    screen->bldQuant->setCaption(QStringLiteral("1x"));
    screen->bldAddProd->click();
    QCOMPARE(presenter.calls.size(), 1); // a clear message, no half-built row
    QCOMPARE(presenter.calls[0].kind, 3);
    QCOMPARE(screen->cdsProdutos->RecordCount(), 1);
}

void TestItems::thousandsAreReadBack()
{
    ScriptedPresenter presenter;
    auto screen = openScreen();
    header(screen.get());
    addItem(screen.get(), QStringLiteral("103"), QStringLiteral("2"));
    QCOMPARE(screen->lblTotal->text(), QString("1.000,00"));
    addItem(screen.get(), QStringLiteral("101"), QStringLiteral("1"));
    QCOMPARE(screen->lblTotal->text(), QString("1.012,50"));
    presenter.answer(true);
    screen->cdsProdutos->Locate("CDPRODUTO", QStringLiteral("0000000101"));
    screen->bldCancel->click();
    QCOMPARE(screen->lblTotal->text(), QString("1000"));
    QVERIFY(presenter.calls.size() == 1);
}

void TestItems::cancellingItems()
{
    ScriptedPresenter presenter;
    auto screen = openScreen();
    header(screen.get());
    addItem(screen.get(), QStringLiteral("101"), QStringLiteral("1"));
    addItem(screen.get(), QStringLiteral("101"), QStringLiteral("1"));
    QCOMPARE(screen->lblTotal->text(), QString("25,00"));

    presenter.answer(false);
    screen->bldCancel->click();
    QCOMPARE(presenter.calls.size(), 1);
    QCOMPARE(presenter.calls[0], questionCall("Confirma a exclusão do produto?", "E01"));
    QCOMPARE(screen->cdsProdutos->RecordCount(), 2);

    screen->bldCancel->click(); // default answer: yes
    QCOMPARE(screen->cdsProdutos->RecordCount(), 1);
    QCOMPARE(screen->lblTotal->text(), QString("12,5"));
    QVERIFY(screen->lblTot->isVisible());

    screen->bldCancel->click();
    QVERIFY(!screen->cdsProdutos->Active());
    QCOMPARE(screen->lblTotal->text(), QString("0"));
    QVERIFY(!screen->lblTot->isVisible() && !screen->lblTotal->isVisible());
    screen->bldCancel->click(); // nothing left: no question
    QCOMPARE(presenter.calls.size(), 3);

    addItem(screen.get(), QStringLiteral("102"), QStringLiteral("3"));
    QCOMPARE(screen->cdsProdutos->FieldByName("NRSEQUITVENDA").AsString(), QString("001"));
    QCOMPARE(screen->lblTotal->text(), QString("4,00"));
    screen->bldCancel->click(); // its line was 4,00: nothing remains
    QCOMPARE(screen->lblTotal->text(), QString("0"));
    QVERIFY(!screen->lblTot->isVisible());

    // A product the cache gives no name can be cancelled like any other.
    addItem(screen.get(), QStringLiteral("101"), QStringLiteral("1"));
    screen->cdsProdutos->Edit();
    screen->cdsProdutos->FieldByName("NMPRODUTO").setAsString(QString());
    screen->cdsProdutos->Post();
    presenter.clear();
    screen->bldCancel->click();
    QCOMPARE(presenter.texts(), QStringList({"Confirma a exclusão do produto?"}));
    QVERIFY(!screen->cdsProdutos->Active());
}

void TestItems::itemNumbersNeverRepeat()
{
    ScriptedPresenter presenter;
    auto screen = openScreen();
    header(screen.get());
    for (int i = 0; i < 3; ++i)
        addItem(screen.get(), QStringLiteral("101"), QStringLiteral("1"));
    screen->cdsProdutos->First();
    screen->cdsProdutos->Next();
    addItem(screen.get(), QStringLiteral("101"), QStringLiteral("1"));
    QCOMPARE(screen->cdsProdutos->FieldByName("NRSEQUITVENDA").AsString(), QString("004"));
    QCOMPARE(stSeqItVenda, QString("003")); // the number the host reads: the one followed
    QStringList numbers;
    for (screen->cdsProdutos->First(); !screen->cdsProdutos->Eof(); screen->cdsProdutos->Next())
        numbers << screen->cdsProdutos->FieldByName("NRSEQ").AsString();
    numbers.sort();
    QCOMPARE(numbers, QStringList({"001", "002", "003", "004"}));
}

void TestItems::deleteFollowsTheGridFocus()
{
    ScriptedPresenter presenter;
    auto screen = openScreen();
    header(screen.get());
    addItem(screen.get(), QStringLiteral("101"), QStringLiteral("1"));
    screen->cdsReceb->CreateDataSet();
    screen->cdsReceb->Append();
    screen->cdsReceb->FieldByName("CDTIPORECE").setAsString(QStringLiteral("001"));
    screen->cdsReceb->Post();
    presenter.setDefaultAnswer(false);

    key(screen.get(), Qt::Key_Delete); // no grid has the focus: the payment
    QCOMPARE(presenter.calls.size(), 1);
    QCOMPARE(presenter.calls[0].text, QString("Confirma a exclusão do recebimento?"));
    QApplication::setActiveWindow(screen.get());
    screen->dbgProd->setFocus();
    QVERIFY(screen->dbgProd->hasFocus());
    QTest::keyClick(screen->dbgProd, Qt::Key_Delete);
    QCOMPARE(presenter.calls.size(), 2);
    QCOMPARE(presenter.calls[1].text, QString("Confirma a exclusão do produto?"));
    screen->dbgRece->setFocus();
    QTest::keyClick(screen->dbgRece, Qt::Key_Delete);
    QCOMPARE(presenter.calls[2].text, QString("Confirma a exclusão do recebimento?"));
}

QTEST_MAIN(TestItems)
#include "tst_items.moc"
