// Payments: the type searched or typed, the value against the remaining amount, the lines of
// the payment list and the payments total.
#include "blended.h"
#include "clientdataset.h"
#include "screen/globals.h"
#include "screenfixture.h"
#include "scriptedpresenter.h"
#include "testenv.h"

#include <QLabel>
#include <QTest>

using namespace ScreenFixture;

namespace {

// A sale of 50,00: four items of 12,50 under a complete header.
std::unique_ptr<TfrmRegVenMan> saleOf50()
{
    auto screen = openScreen();
    screen->bldNrOrdem->setCaption(QStringLiteral("900"));
    screen->bldNrSerie->setCaption(QStringLiteral("1"));
    screen->bldNrSubSerie->setCaption(QStringLiteral("1"));
    screen->bldDtEmissao->setCaption(today());
    stDtEmissao = today();
    screen->bldCodigo->setCaption(QStringLiteral("101"));
    screen->bldQuant->setCaption(QStringLiteral("4"));
    screen->bldAddProd->click();
    return screen;
}

} // namespace

class TestPayments : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { prepareTerminal(); }
    void init() { doValorRece = 0; }

    // A fully paid sale opens neither the type search nor the value keypad; with 20,00 paid,
    // exactly the remaining 30,00 passes without the change question.
    void fullyPaidSaleBlocksTheDialogs();
    // 30,004 typed against 30,00 remaining is refused, not paid as 30,00 and stored as 30,004;
    // the operator stays on the value and keys it again.
    void valueIsComparedRounded();
    // A value above the remainder: Yes takes the remainder, No clears the value.
    void valueAboveTheRemainder();
    // Typed codes are brought to three digits; an unknown one keeps the operator on it.
    void typedCodesAreNormalised();
    // The search offers the shown types; a typed code needs a fiscal form code instead.
    void searchAndTypedCodeAdmitDifferentTypes();
    // Two lines of 10,00, one removed: one line and 10,00 paid; the last removed closes it.
    void linesAddAndRemove();
    // The checks of adding, in order: no items first, then the code, the value, zero.
    void addingChecks();
    // A value not confirmed (No to the question, or the remainder refused) adds no line.
    void unconfirmedValueAddsNoLine();
    // A validated value the operator edits must be checked again; the line carries the
    // value shown.
    void editedValueIsCheckedAgain();
    // Before any item the total label is empty: the dialogs say so instead of failing.
    void noItemsYet();
};

void TestPayments::fullyPaidSaleBlocksTheDialogs()
{
    ScriptedPresenter presenter;
    FakeServices services;
    auto screen = saleOf50();
    pay(screen.get(), QStringLiteral("1"), QStringLiteral("20"));
    QVERIFY2(presenter.calls.isEmpty(), qPrintable(presenter.texts().join(u'|')));
    QCOMPARE(doTotal, 20.0);

    screen->bldCodRece->setCaption(QStringLiteral("002 - Cartão Crédito"));
    services.numeric = {{true, QStringLiteral("30,00")}};
    screen->bldValorRece->click();
    QVERIFY(presenter.calls.isEmpty());
    QCOMPARE(services.calls[0].args,
             QVariantList({"Reg. de Vendas Manuais", "Valor do Recebimento",
                           "Valor do Recebimento deve ser informado.", 20, 1, 1, 0, 0, 0}));
    QCOMPARE(screen->bldValorRece->Caption(), QString("R$30,00"));
    QCOMPARE(screen->inCampoAtual, TfrmRegVenMan::CampoValorRece);
    QVERIFY(boRecebimento);
    screen->bldAddRece->click();
    QCOMPARE(doTotal, 50.0);

    screen->bldCodRece->click();
    QCOMPARE(presenter.calls.size(), 1);
    QCOMPARE(presenter.calls[0],
             errorCall("Operação bloqueada. Valor do recebimento está maior que o valor da "
                       "venda.", "E01"));
    QCOMPARE(screen->inCampoAtual, TfrmRegVenMan::CampoTipoRece);
    screen->bldCodRece->setCaption(QStringLiteral("001"));
    screen->bldValorRece->click();
    QCOMPARE(presenter.calls.size(), 2);
    QCOMPARE(presenter.calls[1], errorCall("Valor do recebimento ultrapassa valor da venda.", "E01"));
    QCOMPARE(services.calls.size(), 1); // no search, no second keypad
}

void TestPayments::valueIsComparedRounded()
{
    ScriptedPresenter presenter;
    auto screen = saleOf50();
    pay(screen.get(), QStringLiteral("1"), QStringLiteral("20"));
    screen->inCampoAtual = TfrmRegVenMan::CampoTipoRece;
    type(screen.get(), QStringLiteral("2"));
    key(screen.get(), Qt::Key_Return);
    // A fraction of a cent is refused: it would be paid and stored as no till counts it.
    type(screen.get(), QStringLiteral("30,004"));
    key(screen.get(), Qt::Key_Return);
    QCOMPARE(presenter.texts(),
             QStringList({"Valor de recebimento deve ter no máximo duas casas decimais."}));
    QVERIFY(screen->bldValorRece->Caption().isEmpty());
    QCOMPARE(doValorRece, 0.0);
    QVERIFY(!boRecebimento);
    QCOMPARE(screen->inCampoAtual, TfrmRegVenMan::CampoValorRece);

    presenter.clear();
    type(screen.get(), QStringLiteral("30,00"));
    key(screen.get(), Qt::Key_Return);
    QVERIFY(presenter.calls.isEmpty());
    QCOMPARE(screen->bldValorRece->Caption(), QString("R$30,00"));
    QCOMPARE(doValorRece, 30.0);
    QVERIFY(boRecebimento);
    QCOMPARE(screen->inCampoAtual, TfrmRegVenMan::CampoTipoRece);
}

void TestPayments::valueAboveTheRemainder()
{
    ScriptedPresenter presenter;
    FakeServices services;
    auto screen = saleOf50();
    pay(screen.get(), QStringLiteral("1"), QStringLiteral("20"));
    screen->bldCodRece->setCaption(QStringLiteral("001 - Dinheiro"));
    services.numeric = {{true, QStringLiteral("40,00")}, {true, QStringLiteral("40,00")}};
    presenter.answer(true);
    screen->bldValorRece->click();
    QCOMPARE(presenter.calls.size(), 1);
    QCOMPARE(presenter.calls[0],
             questionCall("Tipo de recebimento não permite que seja emitido troco. Assumir "
                          "valor da venda?", "E01"));
    QCOMPARE(screen->bldValorRece->Caption(), QString("R$30,00"));
    QCOMPARE(doValorRece, 30.0);
    QVERIFY(boRecebimento);

    presenter.answer(false);
    screen->bldValorRece->click();
    QVERIFY(screen->bldValorRece->Caption().isEmpty());
    QCOMPARE(doValorRece, 0.0);
    QVERIFY(!boRecebimento);
}

void TestPayments::typedCodesAreNormalised()
{
    ScriptedPresenter presenter;
    auto screen = saleOf50();
    screen->inCampoAtual = TfrmRegVenMan::CampoTipoRece;
    type(screen.get(), QStringLiteral("2"));
    key(screen.get(), Qt::Key_Return);
    QCOMPARE(screen->bldCodRece->Caption(), QString("002 - Cartão Crédito"));
    QCOMPARE(stCdTipoRece, QString("2"));
    QCOMPARE(screen->inCampoAtual, TfrmRegVenMan::CampoValorRece);
    QVERIFY(screen->ValidaRecebimento());

    screen->bldCodRece->setCaption(QString());
    screen->inCampoAtual = TfrmRegVenMan::CampoTipoRece;
    type(screen.get(), QStringLiteral("77"));
    key(screen.get(), Qt::Key_Return);
    QCOMPARE(presenter.calls.size(), 1);
    QCOMPARE(presenter.calls[0], errorCall("Código do tipo de recebimento inválido.", "E01"));
    QVERIFY(screen->bldCodRece->Caption().isEmpty());
    QCOMPARE(screen->inCampoAtual, TfrmRegVenMan::CampoTipoRece);
}

void TestPayments::searchAndTypedCodeAdmitDifferentTypes()
{
    ScriptedPresenter presenter;
    FakeServices services;
    auto screen = saleOf50();
    QStringList offered;
    services.pesquisa = [&offered](ClientDataSet *ds) {
        for (ds->First(); !ds->Eof(); ds->Next())
            offered << ds->FieldByName("CDTIPORECE").AsString();
        return ds->Locate("CDTIPORECE", QStringLiteral("004"));
    };
    screen->bldCodRece->click();
    QCOMPARE(offered, QStringList({"001", "002", "004"}));
    QCOMPARE(screen->bldCodRece->Caption(), QString("004 - Cortesia"));
    QCOMPARE(services.calls[0].args, QVariantList({"cdsRecebAux", "", "", 0, 0, 0, 0, 0}));

    const auto typed = [&](const QString &code) {
        screen->bldCodRece->setCaption(QString());
        screen->inCampoAtual = TfrmRegVenMan::CampoTipoRece;
        type(screen.get(), code);
        key(screen.get(), Qt::Key_Return);
        return screen->bldCodRece->Caption();
    };
    QCOMPARE(typed("3"), QString("003 - Vale Refeição")); // not shown, but has a fiscal code
    QVERIFY(typed("4").isEmpty());                           // shown, but no fiscal code
    QVERIFY(typed("5").isEmpty());                           // hidden
    QCOMPARE(presenter.calls.size(), 2);

    services.pesquisa = {}; // cancelled search clears the code
    screen->bldCodRece->setCaption(QStringLiteral("001 - Dinheiro"));
    screen->bldCodRece->click();
    QVERIFY(screen->bldCodRece->Caption().isEmpty());
}

void TestPayments::linesAddAndRemove()
{
    ScriptedPresenter presenter;
    auto screen = saleOf50();
    pay(screen.get(), QStringLiteral("1"), QStringLiteral("10"));
    pay(screen.get(), QStringLiteral("2"), QStringLiteral("10"));
    QVERIFY(presenter.calls.isEmpty());
    QCOMPARE(screen->cdsReceb->RecordCount(), 2);
    QCOMPARE(doTotal, 20.0);
    QCOMPARE(screen->inCampoAtual, TfrmRegVenMan::CampoTipoRece);
    QVERIFY(screen->bldCodRece->Caption().isEmpty() && screen->bldValorRece->Caption().isEmpty());
    QVERIFY(!boRecebimento);

    const QString removed = screen->cdsReceb->FieldByName("CDTIPORECE").AsString();
    screen->bldCancelaRece->click();
    QCOMPARE(presenter.calls.size(), 1);
    QCOMPARE(presenter.calls[0], questionCall("Confirma a exclusão do recebimento?", "E01"));
    QCOMPARE(screen->cdsReceb->RecordCount(), 1);
    QCOMPARE(doTotal, 10.0);
    QVERIFY(screen->cdsReceb->FieldByName("CDTIPORECE").AsString() != removed);
    QCOMPARE(screen->cdsReceb->FieldByName("NMTIPORECE").AsString().isEmpty(), false);
    QCOMPARE(screen->cdsReceb->FieldByName("CDFILIAL").AsString(), QString("0001"));
    QCOMPARE(screen->cdsReceb->FieldByName("VRTIPORECE").AsFloat(), 10.0);
    screen->bldCancelaRece->click();
    QVERIFY(!screen->cdsReceb->Active());
    QCOMPARE(doTotal, 0.0);
}

void TestPayments::addingChecks()
{
    ScriptedPresenter presenter;
    {
        auto empty = openScreen();
        empty->bldAddRece->click();
        QCOMPARE(presenter.calls.size(), 1);
        QCOMPARE(presenter.calls[0], errorCall("Não existem produtos vendidos.", "E01"));
    }
    auto screen = saleOf50();
    presenter.clear();
    screen->bldAddRece->click();
    QCOMPARE(presenter.calls[0], errorCall("Recebimento deve ser informado.", "E01"));
    QCOMPARE(screen->inCampoAtual, TfrmRegVenMan::CampoTipoRece);
    screen->bldCodRece->setCaption(QStringLiteral("001 - Dinheiro"));
    screen->bldAddRece->click();
    QCOMPARE(presenter.calls[1], errorCall("Valor do Recebimento deve ser informado.", "E01"));
    QCOMPARE(screen->inCampoAtual, TfrmRegVenMan::CampoValorRece);
    screen->bldValorRece->setCaption(QStringLiteral("R$0,00"));
    screen->bldAddRece->click();
    QCOMPARE(presenter.calls[2], errorCall("Valor de recebimento não pode ser igual a zero.", "E01"));
    QCOMPARE(screen->bldCodRece->Caption(), QString("001 - Dinheiro")); // a stop, not a reset
    screen->bldCodRece->setCaption(QStringLiteral("055"));
    screen->bldAddRece->click();
    QCOMPARE(presenter.calls[3], errorCall("Código do tipo de recebimento inválido.", "E01"));
    QVERIFY(!screen->cdsReceb->Active());
    QCOMPARE(doTotal, 0.0);
}

void TestPayments::unconfirmedValueAddsNoLine()
{
    ScriptedPresenter presenter;
    auto screen = saleOf50();
    screen->bldCodRece->setCaption(QStringLiteral("001 - Dinheiro"));
    screen->bldValorRece->setCaption(QStringLiteral("15"));
    presenter.answer(false); // "ADD_RECE": No
    screen->bldAddRece->click();
    QCOMPARE(presenter.calls.size(), 1);
    QCOMPARE(presenter.calls[0], questionCall("Confirma o valor do recebimento informado?", "E01"));
    QVERIFY(!screen->cdsReceb->Active());
    QCOMPARE(doTotal, 0.0);
    QVERIFY(screen->bldCodRece->Caption().isEmpty()); // the reset still runs
    QCOMPARE(screen->inCampoAtual, TfrmRegVenMan::CampoTipoRece);

    screen->bldCodRece->setCaption(QStringLiteral("001 - Dinheiro"));
    screen->bldValorRece->setCaption(QStringLiteral("60"));
    presenter.answer(true);  // "ADD_RECE": Yes
    presenter.answer(false); // "VALOR_MAIOR": No
    screen->bldAddRece->click();
    QVERIFY(!screen->cdsReceb->Active());
    QCOMPARE(doTotal, 0.0);

    screen->bldCodRece->setCaption(QStringLiteral("001 - Dinheiro"));
    screen->bldValorRece->setCaption(QStringLiteral("15"));
    presenter.answer(true);
    screen->bldAddRece->click();
    QCOMPARE(screen->cdsReceb->RecordCount(), 1);
    QCOMPARE(doTotal, 15.0);
}

void TestPayments::editedValueIsCheckedAgain()
{
    ScriptedPresenter presenter;
    auto screen = saleOf50();
    screen->inCampoAtual = TfrmRegVenMan::CampoTipoRece;
    type(screen.get(), QStringLiteral("1"));
    key(screen.get(), Qt::Key_Return);
    type(screen.get(), QStringLiteral("40"));
    key(screen.get(), Qt::Key_Return);
    QCOMPARE(screen->bldValorRece->Caption(), QString("R$40,00"));
    QVERIFY(boRecebimento);
    screen->inCampoAtual = TfrmRegVenMan::CampoValorRece;
    type(screen.get(), QStringLiteral("\b\b\b\b1"));
    QCOMPARE(screen->bldValorRece->Caption(), QString("R$41"));
    QVERIFY(!boRecebimento);
    key(screen.get(), Qt::Key_Return);
    QCOMPARE(screen->bldValorRece->Caption(), QString("R$41,00"));
    QCOMPARE(doValorRece, 41.0);
    screen->bldAddRece->click();
    QVERIFY(presenter.calls.isEmpty());
    QCOMPARE(screen->cdsReceb->FieldByName("VRTIPORECE").AsFloat(), 41.0);
    QCOMPARE(doTotal, 41.0);
}

void TestPayments::noItemsYet()
{
    ScriptedPresenter presenter;
    FakeServices services;
    auto screen = openScreen();
    screen->bldCodRece->click();
    screen->bldCodRece->setCaption(QStringLiteral("001"));
    screen->bldValorRece->click();
    QCOMPARE(presenter.calls.size(), 2);
    QCOMPARE(presenter.calls[0], errorCall("Não existem produtos vendidos.", "E01"));
    QCOMPARE(presenter.calls[1], errorCall("Não existem produtos vendidos.", "E01"));
    QVERIFY(services.calls.isEmpty());
}

QTEST_MAIN(TestPayments)
#include "tst_payments.moc"
