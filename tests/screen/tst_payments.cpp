// Payments: the type searched or typed, the value against the remaining amount, the lines of
// the payment list and the payments total.
#include "blended.h"
#include "clientdataset.h"
#include "operador.h"
#include "screen/globals.h"
#include "screenfixture.h"
#include "scriptedpresenter.h"
#include "testenv.h"

#include <QLocale>
#include <QTest>

using namespace ScreenFixture;

using enum TfrmRegVenMan::Campo;

namespace {

// A sale of 50,00: four items of 12,50 under a complete header, the focus on the product;
// its messages recorded from the start.
struct SaleOf50
{
    ScriptedPresenter presenter;
    std::unique_ptr<TfrmRegVenMan> screen = openScreen();
    Operador op{screen.get()};
    SaleOf50()
    {
        header(screen.get(), QStringLiteral("900"));
        op.digita(QStringLiteral("101"));
        op.enter();
        op.digita(QStringLiteral("4"));
        op.toca(Operador::AdicionarProduto);
    }
};

// A payment type keyed with Enter, then a value typed and left unconfirmed.
void tipoEValor(Operador &op, const QString &tipo, const QString &valor)
{
    op.confirma(CampoTipoRece, tipo);
    op.digita(valor);
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
    FakeServices services;
    auto [presenter, screen, op] = SaleOf50{};
    pay(screen.get(), QStringLiteral("1"), QStringLiteral("20"));
    QVERIFY2(presenter.calls.isEmpty(), qPrintable(presenter.texts().join(u'|')));
    QCOMPARE(doTotal, 20.0);

    tipoEValor(op, QStringLiteral("2"), QString());
    services.numeric = {{true, QStringLiteral("30,00")}};
    op.toca(CampoValorRece);
    QVERIFY(presenter.calls.isEmpty());
    QCOMPARE(services.calls[0].args,
             QVariantList({"Reg. de Vendas Manuais", "Valor do Recebimento",
                           "Valor do Recebimento deve ser informado.", 20, 1, 1, 0, 0, 0}));
    QCOMPARE(op.legenda(CampoValorRece), QString("R$30,00"));
    QCOMPARE(op.foco(), CampoValorRece);
    QVERIFY(boRecebimento);
    op.toca(Operador::AdicionarRecebimento);
    QCOMPARE(doTotal, 50.0);

    op.toca(CampoTipoRece);
    QCOMPARE(presenter.calls.size(), 1);
    QCOMPARE(presenter.calls[0],
             errorCall("Operação bloqueada. Valor do recebimento está maior que o valor da "
                       "venda.", "E01"));
    QCOMPARE(op.foco(), CampoTipoRece);
    op.digita(QStringLiteral("001"));
    op.toca(CampoValorRece);
    QCOMPARE(presenter.calls.size(), 2);
    QCOMPARE(presenter.calls[1],
             errorCall("Valor do recebimento ultrapassa valor da venda.", "E01"));
    QCOMPARE(services.calls.size(), 1); // no search, no second keypad
}

void TestPayments::valueIsComparedRounded()
{
    auto [presenter, screen, op] = SaleOf50{};
    pay(screen.get(), QStringLiteral("1"), QStringLiteral("20"));
    // A fraction of a cent is refused: it would be paid and stored as no till counts it.
    tipoEValor(op, QStringLiteral("2"), QStringLiteral("30,004"));
    op.enter();
    QCOMPARE(presenter.texts(),
             QStringList({"Valor de recebimento deve ter no máximo duas casas decimais."}));
    QVERIFY(op.legenda(CampoValorRece).isEmpty());
    QCOMPARE(doValorRece, 0.0);
    QVERIFY(!boRecebimento);
    QCOMPARE(op.foco(), CampoValorRece);

    presenter.clear();
    op.digita(QStringLiteral("30,00"));
    op.enter();
    QVERIFY(presenter.calls.isEmpty());
    QCOMPARE(op.legenda(CampoValorRece), QString("R$30,00"));
    QCOMPARE(doValorRece, 30.0);
    QVERIFY(boRecebimento);
    QCOMPARE(op.foco(), CampoTipoRece);
}

void TestPayments::valueAboveTheRemainder()
{
    FakeServices services;
    auto [presenter, screen, op] = SaleOf50{};
    pay(screen.get(), QStringLiteral("1"), QStringLiteral("20"));
    tipoEValor(op, QStringLiteral("1"), QString());
    services.numeric = {{true, QStringLiteral("40,00")}, {true, QStringLiteral("40,00")}};
    presenter.answer(true);
    op.toca(CampoValorRece);
    QCOMPARE(presenter.calls.size(), 1);
    QCOMPARE(presenter.calls[0],
             questionCall("Tipo de recebimento não permite que seja emitido troco. Assumir "
                          "valor da venda?", "E01"));
    QCOMPARE(op.legenda(CampoValorRece), QString("R$30,00"));
    QCOMPARE(doValorRece, 30.0);
    QVERIFY(boRecebimento);

    presenter.answer(false);
    op.toca(CampoValorRece);
    QVERIFY(op.legenda(CampoValorRece).isEmpty());
    QCOMPARE(doValorRece, 0.0);
    QVERIFY(!boRecebimento);
}

void TestPayments::typedCodesAreNormalised()
{
    auto [presenter, screen, op] = SaleOf50{};
    tipoEValor(op, QStringLiteral("2"), QString());
    QCOMPARE(op.legenda(CampoTipoRece), QString("002 - Cartão Crédito"));
    QCOMPARE(stCdTipoRece, QString("2"));
    QCOMPARE(op.foco(), CampoValorRece);

    tipoEValor(op, QStringLiteral("77"), QString());
    QCOMPARE(presenter.calls.size(), 1);
    QCOMPARE(presenter.calls[0], errorCall("Código do tipo de recebimento inválido.", "E01"));
    QVERIFY(op.legenda(CampoTipoRece).isEmpty());
    QCOMPARE(op.foco(), CampoTipoRece);
}

void TestPayments::searchAndTypedCodeAdmitDifferentTypes()
{
    FakeServices services;
    auto [presenter, screen, op] = SaleOf50{};
    QStringList offered;
    services.pesquisa = [&offered](ClientDataSet *ds) {
        for (ds->First(); !ds->Eof(); ds->Next())
            offered << ds->FieldByName("CDTIPORECE").AsString();
        return ds->Locate("CDTIPORECE", QStringLiteral("004"));
    };
    op.toca(CampoTipoRece);
    QCOMPARE(offered, QStringList({"001", "002", "004"}));
    QCOMPARE(op.legenda(CampoTipoRece), QString("004 - Cortesia"));
    QCOMPARE(services.calls[0].args, QVariantList({"cdsRecebAux", "", "", 0, 0, 0, 0, 0}));

    const auto typed = [&](const QString &code) {
        tipoEValor(op, code, QString());
        return op.legenda(CampoTipoRece);
    };
    QCOMPARE(typed("3"), QString("003 - Vale Refeição")); // not shown, but has a fiscal code
    QVERIFY(typed("4").isEmpty());                           // shown, but no fiscal code
    QVERIFY(typed("5").isEmpty());                           // hidden
    QCOMPARE(presenter.calls.size(), 2);

    services.pesquisa = {}; // cancelled search clears the code
    QCOMPARE(typed("1"), QString("001 - Dinheiro"));
    op.toca(CampoTipoRece);
    QVERIFY(op.legenda(CampoTipoRece).isEmpty());
}

void TestPayments::linesAddAndRemove()
{
    auto [presenter, screen, op] = SaleOf50{};
    pay(screen.get(), QStringLiteral("1"), QStringLiteral("10"));
    pay(screen.get(), QStringLiteral("2"), QStringLiteral("10"));
    QVERIFY(presenter.calls.isEmpty());
    QCOMPARE(op.linhas(Operador::Pagamentos), 2);
    QCOMPARE(doTotal, 20.0);
    QCOMPARE(op.foco(), CampoTipoRece);
    QVERIFY(op.legenda(CampoTipoRece).isEmpty() && op.legenda(CampoValorRece).isEmpty());
    QVERIFY(!boRecebimento);

    // The grid's columns by their titles, the zero-width ones too.
    const auto celula = [&op](int linha, const char *coluna) {
        return op.celula(Operador::Pagamentos, linha, QString::fromUtf8(coluna));
    };
    const QString removed = celula(op.linhaAtual(Operador::Pagamentos), "Código");
    op.toca(Operador::CancelarRecebimento);
    QCOMPARE(presenter.calls.size(), 1);
    QCOMPARE(presenter.calls[0], questionCall("Confirma a exclusão do recebimento?", "E01"));
    QCOMPARE(op.linhas(Operador::Pagamentos), 1);
    QCOMPARE(doTotal, 10.0);
    QVERIFY(celula(0, "Código") != removed && !removed.isEmpty());
    QCOMPARE(celula(0, "Nome").isEmpty(), false);
    QCOMPARE(celula(0, "Cód. Filial"), QString("0001"));
    QCOMPARE(celula(0, "Valor"), QLocale().toCurrencyString(10.0));
    op.toca(Operador::CancelarRecebimento);
    QCOMPARE(op.linhas(Operador::Pagamentos), 0);
    QCOMPARE(doTotal, 0.0);
}

void TestPayments::addingChecks()
{
    {
        ScriptedPresenter presenter;
        auto empty = openScreen();
        Operador(empty.get()).toca(Operador::AdicionarRecebimento);
        QCOMPARE(presenter.calls.size(), 1);
        QCOMPARE(presenter.calls[0], errorCall("Não existem produtos vendidos.", "E01"));
    }
    auto [presenter, screen, op] = SaleOf50{};
    op.toca(Operador::AdicionarRecebimento);
    QCOMPARE(presenter.calls[0], errorCall("Recebimento deve ser informado.", "E01"));
    QCOMPARE(op.foco(), CampoTipoRece);
    tipoEValor(op, QStringLiteral("1"), QString());
    op.toca(Operador::AdicionarRecebimento);
    QCOMPARE(presenter.calls[1], errorCall("Valor do Recebimento deve ser informado.", "E01"));
    QCOMPARE(op.foco(), CampoValorRece);
    op.digita(QStringLiteral("0"));
    op.enter();
    QCOMPARE(op.legenda(CampoValorRece), QString("R$0,00"));
    op.toca(Operador::AdicionarRecebimento);
    QCOMPARE(presenter.calls[2],
             errorCall("Valor de recebimento não pode ser igual a zero.", "E01"));
    QCOMPARE(op.legenda(CampoTipoRece), QString("001 - Dinheiro")); // a stop, not a reset
    op.redigita(CampoTipoRece, QStringLiteral("055"));
    op.toca(Operador::AdicionarRecebimento);
    QCOMPARE(presenter.calls[3], errorCall("Código do tipo de recebimento inválido.", "E01"));
    QCOMPARE(op.linhas(Operador::Pagamentos), 0);
    QCOMPARE(doTotal, 0.0);
}

void TestPayments::unconfirmedValueAddsNoLine()
{
    auto [presenter, screen, op] = SaleOf50{};
    tipoEValor(op, QStringLiteral("1"), QStringLiteral("15"));
    presenter.answer(false); // "ADD_RECE": No
    op.toca(Operador::AdicionarRecebimento);
    QCOMPARE(presenter.calls.size(), 1);
    QCOMPARE(presenter.calls[0], questionCall("Confirma o valor do recebimento informado?", "E01"));
    QCOMPARE(op.linhas(Operador::Pagamentos), 0);
    QCOMPARE(doTotal, 0.0);
    QVERIFY(op.legenda(CampoTipoRece).isEmpty()); // the reset still runs
    QCOMPARE(op.foco(), CampoTipoRece);

    tipoEValor(op, QStringLiteral("1"), QStringLiteral("60"));
    presenter.answer(true);  // "ADD_RECE": Yes
    presenter.answer(false); // "VALOR_MAIOR": No
    op.toca(Operador::AdicionarRecebimento);
    QCOMPARE(op.linhas(Operador::Pagamentos), 0);
    QCOMPARE(doTotal, 0.0);

    tipoEValor(op, QStringLiteral("1"), QStringLiteral("15"));
    presenter.answer(true);
    op.toca(Operador::AdicionarRecebimento);
    QCOMPARE(op.linhas(Operador::Pagamentos), 1);
    QCOMPARE(doTotal, 15.0);
}

void TestPayments::editedValueIsCheckedAgain()
{
    auto [presenter, screen, op] = SaleOf50{};
    tipoEValor(op, QStringLiteral("1"), QStringLiteral("40"));
    op.enter();
    QCOMPARE(op.legenda(CampoValorRece), QString("R$40,00"));
    QVERIFY(boRecebimento);
    QVERIFY(op.vaiPara(CampoValorRece));
    op.digita(QStringLiteral("\b\b\b\b1"));
    QCOMPARE(op.legenda(CampoValorRece), QString("R$41"));
    QVERIFY(!boRecebimento);
    op.enter();
    QCOMPARE(op.legenda(CampoValorRece), QString("R$41,00"));
    QCOMPARE(doValorRece, 41.0);
    op.toca(Operador::AdicionarRecebimento);
    QVERIFY(presenter.calls.isEmpty());
    QCOMPARE(op.celula(Operador::Pagamentos, 0, "Valor"), QLocale().toCurrencyString(41.0));
    QCOMPARE(doTotal, 41.0);
}

void TestPayments::noItemsYet()
{
    ScriptedPresenter presenter;
    FakeServices services;
    auto screen = openScreen();
    Operador op(screen.get());
    op.toca(CampoTipoRece);
    op.digita(QStringLiteral("001"));
    op.toca(CampoValorRece);
    QCOMPARE(presenter.calls.size(), 2);
    QCOMPARE(presenter.calls[0], errorCall("Não existem produtos vendidos.", "E01"));
    QCOMPARE(presenter.calls[1], errorCall("Não existem produtos vendidos.", "E01"));
    QVERIFY(services.calls.isEmpty());
}

QTEST_MAIN(TestPayments)
#include "tst_payments.moc"
