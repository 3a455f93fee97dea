// The input spine: keys reach the screen first, characters are typed into the focused field
// under its rules, Enter validates and advances, and the screen only closes when confirmed.
#include "blended.h"
#include "clientdataset.h"
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
    screen->inCampoAtual = TfrmRegVenMan::CampoData;
    type(screen.get(), QStringLiteral("01022024"));
    QCOMPARE(screen->bldDtEmissao->Caption(), QString("01/02/2024"));
    type(screen.get(), QStringLiteral("9"));
    QCOMPARE(screen->bldDtEmissao->Caption(), QString("01/02/2024"));
    type(screen.get(), QStringLiteral("\b\b\b\b\b"));
    QCOMPARE(screen->bldDtEmissao->Caption(), QString("01/02"));
    type(screen.get(), QStringLiteral("2"));
    QCOMPARE(screen->bldDtEmissao->Caption(), QString("01/02/2"));
    QVERIFY(presenter.calls.isEmpty());
}

void TestInput::typingThePaymentValue()
{
    ScriptedPresenter presenter;
    auto screen = openScreen();
    screen->inCampoAtual = TfrmRegVenMan::CampoValorRece;
    type(screen.get(), QStringLiteral(","));
    QCOMPARE(screen->bldValorRece->Caption(), QString("0,"));
    type(screen.get(), QStringLiteral("\b\b"));
    QVERIFY(screen->bldValorRece->Caption().isEmpty());
    type(screen.get(), QStringLiteral("15,50"));
    QCOMPARE(screen->bldValorRece->Caption(), QString("15,50"));
    QTest::keyClick(screen.get(), 'a');
    QTest::keyClick(screen.get(), '.');
    QCOMPARE(screen->bldValorRece->Caption(), QString("15,50"));
    type(screen.get(), QStringLiteral("123"));
    QCOMPARE(screen->bldValorRece->Caption(), QString("15,5012")); // seven characters

    for (int field = 1; field <= 8; ++field) {
        screen->inCampoAtual = field;
        type(screen.get(), QStringLiteral(","));
        QTest::keyClick(screen.get(), 'x');
        QVERIFY2(screen->entryButton(field)->Caption().isEmpty(), qPrintable(QString::number(field)));
    }
}

void TestInput::fieldLengthLimits()
{
    ScriptedPresenter presenter;
    auto screen = openScreen();
    const QMap<int, int> limits{{1, 20}, {2, 20}, {3, 20}, {5, 4}, {6, 10}, {7, 4}, {8, 3}};
    for (auto it = limits.begin(); it != limits.end(); ++it) {
        screen->inCampoAtual = it.key();
        type(screen.get(), QString(30, u'7'));
        QCOMPARE(screen->entryButton(it.key())->Caption().size(), it.value());
    }
    screen->inCampoAtual = TfrmRegVenMan::CampoCodigo;
    type(screen.get(), QString(12, u'\b'));
    QVERIFY(screen->bldCodigo->Caption().isEmpty());
}

void TestInput::enterCyclesTheFocus()
{
    ScriptedPresenter presenter;
    auto screen = openScreen();
    QCOMPARE(screen->inCampoAtual, TfrmRegVenMan::CampoOrdem);
    const QList<TBlendedShape *> shapes{screen->borda1, screen->Borda2, screen->Borda3,
                                        screen->Borda4, screen->Borda5, screen->Borda6,
                                        screen->Borda7};
    for (int expected = 2; expected <= 9; ++expected) {
        key(screen.get(), Qt::Key_Return);
        QCOMPARE(screen->inCampoAtual, expected);
    }
    QCOMPARE(screen->Borda9->brushColor(), QColor(Qt::black));
    QCOMPARE(screen->Borda8->brushColor(), QColor(Qt::white));
    key(screen.get(), Qt::Key_Enter); // the keypad's Enter does the same
    QCOMPARE(screen->inCampoAtual, TfrmRegVenMan::CampoOrdem);
    QCOMPARE(screen->borda1->brushColor(), QColor(Qt::black));
    for (TBlendedShape *s : shapes.mid(1))
        QCOMPARE(s->brushColor(), QColor(Qt::white));
    QCOMPARE(screen->Borda9->brushColor(), QColor(Qt::white));
    QVERIFY(presenter.calls.isEmpty());
    QVERIFY(screen->isVisible());
}

void TestInput::enterOnTheTableRunsItsCheck()
{
    ScriptedPresenter presenter;
    auto screen = openScreen();
    screen->inCampoAtual = TfrmRegVenMan::CampoMesa;
    key(screen.get(), Qt::Key_Return);
    QCOMPARE(screen->inCampoAtual, TfrmRegVenMan::CampoCodigo);
    QVERIFY(presenter.calls.isEmpty());

    screen->inCampoAtual = TfrmRegVenMan::CampoMesa;
    type(screen.get(), QStringLiteral("99"));
    key(screen.get(), Qt::Key_Return);
    QCOMPARE(presenter.calls.size(), 1);
    QCOMPARE(presenter.calls[0], errorCall("Mesa não cadastrada.", "E01"));
    QCOMPARE(screen->inCampoAtual, TfrmRegVenMan::CampoMesa);
    QCOMPARE(screen->Borda5->brushColor(), QColor(Qt::black));
}

void TestInput::enterOnAChosenPaymentTypeSkipsTheCheck()
{
    ScriptedPresenter presenter;
    auto screen = openScreen();
    screen->inCampoAtual = TfrmRegVenMan::CampoTipoRece;
    screen->bldCodRece->setCaption(QStringLiteral("999 - Inexistente"));
    key(screen.get(), Qt::Key_Return);
    QVERIFY(presenter.calls.isEmpty());
    QCOMPARE(screen->inCampoAtual, TfrmRegVenMan::CampoValorRece);
    QCOMPARE(screen->bldCodRece->Caption(), QString("999 - Inexistente"));
}

void TestInput::functionKeysOpenTheDialogs()
{
    ScriptedPresenter presenter;
    FakeServices services;
    auto screen = openScreen();
    services.numeric = {{true, QStringLiteral("123")}};
    key(screen.get(), Qt::Key_F9); // field 1: the order number keypad
    QCOMPARE(screen->bldNrOrdem->Caption(), QString("123"));
    QCOMPARE(services.calls.size(), 1);
    QCOMPARE(services.calls[0].service, QString("TecladoNumerico"));
    QCOMPARE(services.calls[0].args,
             QVariantList({"Reg. de Vendas Manuais", "Nº de Ordem",
                           "Nr. de ordem deve ser informado.", 20, 0, 0, 0, 0, 0}));
    screen->inCampoAtual = TfrmRegVenMan::CampoSerie;
    services.alpha = {QStringLiteral("A1")};
    key(screen.get(), Qt::Key_F9);
    QCOMPARE(screen->bldNrSerie->Caption(), QString("A1"));
    key(screen.get(), Qt::Key_F1);
    QCOMPARE(services.relFiscais, 1);
    QVERIFY(presenter.calls.isEmpty());
}

void TestInput::leavingNeedsTheConfirmation()
{
    ScriptedPresenter presenter;
    auto screen = openScreen();
    screen->inCampoAtual = TfrmRegVenMan::CampoOrdem;
    type(screen.get(), QStringLiteral("55"));
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
    QCOMPARE(screen->bldNrOrdem->Caption(), QString("55"));

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
    screen->bldAcima->click(); // closed list: nothing to do
    ClientDataSet *items = screen->cdsProdutos;
    items->CreateDataSet();
    for (const char *name : {"A", "B", "C"}) {
        items->Append();
        items->FieldByName(QStringLiteral("NMPRODUTO")).setAsString(QString::fromLatin1(name));
        items->Post();
    }
    items->First();
    screen->bldAbaixo->click();
    QCOMPARE(items->RecNo(), 2);
    QCOMPARE(screen->dbgProd->currentIndex().row(), 1);
    screen->bldAbaixo->click();
    screen->bldAbaixo->click();
    QCOMPARE(items->RecNo(), 3);
    screen->bldAcima->click();
    screen->bldAcima->click();
    screen->bldAcima->click();
    QCOMPARE(items->RecNo(), 1);
    QCOMPARE(screen->dbgProd->currentIndex().row(), 0);
    QVERIFY(presenter.calls.isEmpty());
}

QTEST_MAIN(TestInput)
#include "tst_input.moc"
