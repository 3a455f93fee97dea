// The input spine: keys reach the screen first, characters are typed into the focused field
// under its rules, Enter validates and advances, and the screen only closes when confirmed.
#include "clientdataset.h"
#include "operador.h"
#include "screen/globals.h"
#include "screenfixture.h"
#include "scriptedpresenter.h"
#include "testenv.h"

#include <QTableView>
#include <QTest>

using namespace ScreenFixture;

class TestInput : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { prepareTerminal(); }

    // The issue date takes its slashes as it is typed and stops at ten characters.
    void typingTheIssueDate();
    // The payment value accepts one kind of separator and a leading comma becomes "0,";
    // letters and commas never reach the other fields.
    void typingThePaymentValue();
    // Each field keeps at most its number of characters; Backspace never fails.
    void fieldLengthLimits();
    // Enter advances 1 -> 9 -> 1 and the focused frame is the only black one.
    void enterCyclesTheFocus();
    // Enter on the table field runs the table check even when it is empty (nothing to do,
    // focus moves on) and stays on the field when the number is refused.
    void enterOnTheTableRunsItsCheck();
    // A chosen payment type (code and name) is not looked up again on Enter.
    void enterOnAChosenPaymentTypeSkipsTheCheck();
    // F9 opens the focused field's dialog; F1 the fiscal menu.
    void functionKeysOpenTheDialogs();
    // Alt+F4 is discarded; Escape asks before closing and a No keeps everything.
    void leavingNeedsTheConfirmation();
    // A close request from the window system goes through the same question.
    void closeRequestAsksFirst();
    // The list buttons move the grids' current row and stop at either end.
    void listButtonsMoveTheCurrentRow();
};

void TestInput::typingTheIssueDate()
{
    ScriptedPresenter presenter;
    auto screen = openScreen();
    Operador op(screen.get());
    op.vaiPara(TfrmRegVenMan::CampoData);
    const QList<std::pair<const char *, const char *>> passos{
        {"01022024", "01/02/2024"}, {"9", "01/02/2024"}, {"\b\b\b\b\b", "01/02"},
        {"2", "01/02/2"}};
    for (const auto &[digitado, mostrado] : passos) {
        op.digita(QString::fromLatin1(digitado));
        QCOMPARE(op.legenda(TfrmRegVenMan::CampoData), QString(mostrado));
    }
    QVERIFY(presenter.calls.isEmpty());
}

void TestInput::typingThePaymentValue()
{
    ScriptedPresenter presenter;
    auto screen = openScreen();
    Operador op(screen.get());
    op.vaiPara(TfrmRegVenMan::CampoValorRece);
    const QList<std::pair<const char *, const char *>> passos{
        {",", "0,"}, {"\b\b", ""}, {"15,50", "15,50"}, {"a.", "15,50"},
        {"123", "15,5012"}}; // seven characters
    for (const auto &[digitado, mostrado] : passos) {
        op.digita(QString::fromLatin1(digitado));
        QCOMPARE(op.legenda(TfrmRegVenMan::CampoValorRece), QString(mostrado));
    }
    op.enter(); // round to the order: no payment type, nothing to check
    for (int field = 1; field <= 8; ++field) {
        QCOMPARE(op.foco(), field);
        op.digita(QStringLiteral(",x"));
        QVERIFY2(op.legenda(field).isEmpty(), qPrintable(QString::number(field)));
        op.enter();
    }
}

void TestInput::fieldLengthLimits()
{
    ScriptedPresenter presenter;
    auto screen = openScreen();
    Operador op(screen.get());
    const QMap<int, int> limits{{1, 20}, {2, 20}, {3, 20}, {5, 4}, {6, 10}, {7, 4}, {8, 3}};
    for (auto it = limits.begin(); it != limits.end(); ++it) {
        op.vaiPara(it.key());
        op.digita(QString(30, u'7'));
        QCOMPARE(op.legenda(it.key()).size(), it.value());
    }
    op.vaiPara(TfrmRegVenMan::CampoCodigo);
    op.digita(QString(10, u'7') + QString(12, u'\b'));
    QVERIFY(op.legenda(TfrmRegVenMan::CampoCodigo).isEmpty());
}

void TestInput::enterCyclesTheFocus()
{
    ScriptedPresenter presenter;
    auto screen = openScreen();
    Operador op(screen.get());
    QCOMPARE(op.foco(), TfrmRegVenMan::CampoOrdem);
    for (int expected = 2; expected <= 9; ++expected) {
        op.enter();
        QCOMPARE(op.foco(), expected);
    }
    QCOMPARE(op.moldura(TfrmRegVenMan::CampoTipoRece), QColor(Qt::white));
    op.tecla(Qt::Key_Enter); // the keypad's Enter does the same
    QCOMPARE(op.foco(), TfrmRegVenMan::CampoOrdem);
    for (int field = 2; field <= 9; ++field)
        QCOMPARE(op.moldura(field), QColor(Qt::white));
    QVERIFY(presenter.calls.isEmpty());
    QVERIFY(screen->isVisible());
}

void TestInput::enterOnTheTableRunsItsCheck()
{
    ScriptedPresenter presenter;
    auto screen = openScreen();
    Operador op(screen.get());
    op.vaiPara(TfrmRegVenMan::CampoMesa);
    op.enter();
    QCOMPARE(op.foco(), TfrmRegVenMan::CampoCodigo);
    QVERIFY(presenter.calls.isEmpty());

    op.confirma(TfrmRegVenMan::CampoMesa, QStringLiteral("99"));
    QCOMPARE(presenter.calls.size(), 1);
    QCOMPARE(presenter.calls[0], errorCall("Mesa não cadastrada.", "E01"));
    QCOMPARE(op.foco(), TfrmRegVenMan::CampoMesa);
}

void TestInput::enterOnAChosenPaymentTypeSkipsTheCheck()
{
    ScriptedPresenter presenter;
    FakeServices services;
    auto screen = openScreen();
    Operador op(screen.get());
    header(screen.get());
    QVERIFY(op.item({QStringLiteral("101"), QStringLiteral("0000000101"), QStringLiteral("1")}));
    // Offered by the search, but without the fiscal form a typed code needs.
    services.pesquisa = [](ClientDataSet *ds) { return ds->Locate("CDTIPORECE", "004"); };
    op.toca(TfrmRegVenMan::CampoTipoRece);
    QCOMPARE(op.legenda(TfrmRegVenMan::CampoTipoRece), QString("004 - Cortesia"));
    op.enter();
    QVERIFY2(presenter.calls.isEmpty(), qPrintable(presenter.texts().join(u'|')));
    QCOMPARE(op.foco(), TfrmRegVenMan::CampoValorRece);
    QCOMPARE(op.legenda(TfrmRegVenMan::CampoTipoRece), QString("004 - Cortesia"));
}

void TestInput::functionKeysOpenTheDialogs()
{
    ScriptedPresenter presenter;
    FakeServices services;
    auto screen = openScreen();
    services.numeric = {{true, QStringLiteral("123")}};
    key(screen.get(), Qt::Key_F9); // field 1: the order number keypad
    QCOMPARE(Operador(screen.get()).legenda(TfrmRegVenMan::CampoOrdem), QString("123"));
    QCOMPARE(services.calls.size(), 1);
    QCOMPARE(services.calls[0].service, QString("TecladoNumerico"));
    QCOMPARE(services.calls[0].args,
             QVariantList({"Reg. de Vendas Manuais", "Nº de Ordem",
                           "Nr. de ordem deve ser informado.", 20, 0, 0, 0, 0, 0}));
    key(screen.get(), Qt::Key_Return); // on to the series
    services.alpha = {QStringLiteral("A1")};
    key(screen.get(), Qt::Key_F9);
    QCOMPARE(Operador(screen.get()).legenda(TfrmRegVenMan::CampoSerie), QString("A1"));
    key(screen.get(), Qt::Key_F1);
    QCOMPARE(services.relFiscais, 1);
    QVERIFY(presenter.calls.isEmpty());
}

void TestInput::leavingNeedsTheConfirmation()
{
    ScriptedPresenter presenter;
    auto screen = openScreen();
    type(screen.get(), QStringLiteral("55")); // into the order, where the focus starts
    key(screen.get(), Qt::Key_F4, Qt::AltModifier);
    QVERIFY(screen->isVisible());
    QVERIFY(presenter.calls.isEmpty());

    presenter.answer(false);
    key(screen.get(), Qt::Key_Escape);
    QCOMPARE(presenter.calls.size(), 1);
    QCOMPARE(presenter.calls[0],
             questionCall("Deseja realmente sair? Todos os dados digitados que não foram "
                          "gravados serão perdidos. Confirma?",
                          "E01"));
    QVERIFY(screen->isVisible());
    QCOMPARE(Operador(screen.get()).legenda(TfrmRegVenMan::CampoOrdem), QString("55"));

    presenter.answer(true);
    key(screen.get(), Qt::Key_Escape);
    QCOMPARE(presenter.calls.size(), 2);
    QVERIFY(!screen->isVisible());
    QCOMPARE(screen->result(), int(QDialog::Accepted));
}

void TestInput::closeRequestAsksFirst()
{
    ScriptedPresenter presenter;
    auto screen = openScreen();
    presenter.answer(false);
    screen->close();
    QVERIFY(screen->isVisible());
    QCOMPARE(presenter.calls.size(), 1);
    screen->reject(); // Qt's own Escape path
    QCOMPARE(presenter.calls.size(), 2);
    QVERIFY(!screen->isVisible());
}

void TestInput::listButtonsMoveTheCurrentRow()
{
    ScriptedPresenter presenter;
    auto screen = openScreen();
    Operador op(screen.get());
    op.toca(Operador::ItemAcima); // no list yet: nothing to do
    header(screen.get());
    for (const char *quantidade : {"1", "2", "3"})
        QVERIFY(op.item({"101", "0000000101", QString::fromLatin1(quantidade)}));
    QList<int> linhas; // the first touches bring the cursor to the top, wherever it was
    for (const auto botao : {Operador::ItemAcima, Operador::ItemAcima, Operador::ItemAcima,
                             Operador::ItemAbaixo, Operador::ItemAbaixo, Operador::ItemAbaixo,
                             Operador::ItemAcima, Operador::ItemAcima, Operador::ItemAcima}) {
        op.toca(botao);
        linhas << op.linhaAtual(Operador::Itens);
    }
    QCOMPARE(linhas.mid(2), QList<int>({0, 1, 2, 2, 1, 0, 0}));
    QVERIFY2(presenter.calls.isEmpty(), qPrintable(op.falhas.join(u'|')));
}

QTEST_MAIN(TestInput)
#include "tst_input.moc"
