// The package's creator as the host calls it: one screen per launch, released afterwards,
// and no error ever reaching the host.
#include "package/package.h"
#include "screen/frmregvenman.h"
#include "screen/globals.h"
#include "screenfixture.h"
#include "scriptedpresenter.h"
#include "server/rdmregvendamanual.h"
#include "testenv.h"

#include <QApplication>
#include <QLibrary>
#include <QTest>
#include <QTimer>

using namespace ScreenFixture;

class TestPackage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        TestEnv::usePtBr();
        store();
        writeCaches();
    }
    void init() { writeParameters(); }

    // Two launches in one host: each makes and releases its own screen, the global is null
    // before, between and after, and the server module is made once and kept.
    void twoLaunchesEachOwnTheirScreen();
    // A parameters file without one of its columns fails the launch: the message goes out
    // with the creator's nine arguments, nothing is shown, and the host gets control back.
    void failedLaunchIsReportedAndReturns();
    // Escape with the exit confirmation accepted ends the launch with the normal cursor.
    void escapeConfirmedEndsTheLaunch();
    // The host finds the creator under its plain name, and the exported variables start
    // empty, zero or false.
    void creatorIsExportedUnderItsPlainName();
};

void TestPackage::twoLaunchesEachOwnTheirScreen()
{
    ScriptedPresenter presenter;
    QList<TfrmRegVenMan *> seen;
    QList<bool> busyWhileOpen;
    const auto closeWhenShown = [&] {
        QTimer::singleShot(0, [&] {
            seen << frmRegVenMan;
            busyWhileOpen << (QApplication::overrideCursor() != nullptr);
            QVERIFY(frmRegVenMan && frmRegVenMan->isVisible());
            frmRegVenMan->spdSairClick(); // the scripted presenter answers yes
        });
    };
    QVERIFY(!frmRegVenMan);
    closeWhenShown();
    CriaRegVendaManual();
    QVERIFY(!frmRegVenMan);
    TrdmRegVendaManual *module = rdmRegVendaManual;
    QVERIFY(module);
    closeWhenShown();
    Cli_Lum00071::CriaRegVendaManual();
    QVERIFY(!frmRegVenMan);
    QCOMPARE(rdmRegVendaManual, module);
    QCOMPARE(seen.size(), 2);
    QVERIFY(seen[0] && seen[1]);
    QCOMPARE(busyWhileOpen, QList<bool>({false, false}));
    QVERIFY(!QApplication::overrideCursor());
}

void TestPackage::failedLaunchIsReportedAndReturns()
{
    ScriptedPresenter presenter;
    writeParameters({}, {QStringLiteral("STTOTCV")});
    bool shown = false;
    QTimer::singleShot(0, [&] {
        if (frmRegVenMan) {
            shown = true;
            frmRegVenMan->spdSairClick();
        }
    });
    CriaRegVendaManual();
    QVERIFY(!shown);
    QVERIFY(!frmRegVenMan);
    QCOMPARE(presenter.calls.size(), 1);
    const MessageCall &call = presenter.calls.first();
    QVERIFY2(call.text.contains(QStringLiteral("STTOTCV")), qPrintable(call.text));
    QCOMPARE(call, errorCall(call.text, QStringLiteral("002")));
    QVERIFY(!QApplication::overrideCursor());
    QCoreApplication::processEvents(); // the single shot finds no screen
}

void TestPackage::escapeConfirmedEndsTheLaunch()
{
    ScriptedPresenter presenter;
    presenter.answer(false);
    presenter.answer(true);
    int escapes = 0;
    std::function<void()> pressEscape = [&] {
        QTimer::singleShot(0, [&] {
            if (!frmRegVenMan)
                return;
            ++escapes;
            QTest::keyClick(frmRegVenMan, Qt::Key_Escape);
            if (frmRegVenMan && frmRegVenMan->isVisible())
                pressEscape(); // refused: still open, press again
        });
    };
    pressEscape();
    CriaRegVendaManual();
    QCOMPARE(escapes, 2);
    QCOMPARE(presenter.calls.size(), 2);
    QCOMPARE(presenter.calls[0], questionCall(presenter.calls[0].text, QStringLiteral("E01")));
    QVERIFY(presenter.calls[0].text.startsWith(QStringLiteral("Deseja realmente sair?")));
    QVERIFY(!frmRegVenMan);
    QVERIFY(!QApplication::overrideCursor());
}

void TestPackage::creatorIsExportedUnderItsPlainName()
{
    QLibrary package(QStringLiteral(QEL_PACKAGE_PATH));
    QVERIFY2(package.load(), qPrintable(package.errorString()));
    QVERIFY(package.resolve("CriaRegVendaManual"));
    QVERIFY(package.resolve("_ZN12Cli_Lum0007118CriaRegVendaManualEv"));
    QVERIFY(!boRecebOk);
    QCOMPARE(stCdCliDeb, QString());
    QCOMPARE(stCdConsumidor, QString());
}

QTEST_MAIN(TestPackage)
#include "tst_package.moc"
