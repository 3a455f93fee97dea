// The package's creator as the host calls it: one screen per launch, released afterwards,
// and no error ever reaching the host.
#include "operador.h"
#include "package/package.h"
#include "screen/frmregvenman.h"
#include "screen/globals.h"
#include "screenfixture.h"
#include "scriptedpresenter.h"
#include "server/rdmregvendamanual.h"
#include "store.h"
#include "testenv.h"

#include <QApplication>
#include <QFile>
#include <QLibrary>
#include <QProcess>
#include <QScopeGuard>
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
    // Every name the host links stays in the built package: the creator under both names,
    // each exported variable and the server functions with their signatures.
    void hostContractIsExported_data();
    void hostContractIsExported();
    // The exported variables outlive a launch: the launch resets only the payments' sum and
    // flags, fills the context from the files it finds, and leaves everything else as the
    // host or the earlier launch left it (the operator too, when the access file is missing).
    void exportedVariablesKeepTheirValuesAcrossLaunches();
};

namespace {

// The package's defined dynamic symbols, demangled, as the host's loader sees them.
QStringList exportedSymbols()
{
    static const QStringList symbols = [] {
        QProcess nm;
        nm.start(QStringLiteral("nm"), {QStringLiteral("-D"), QStringLiteral("--defined-only"),
                                        QStringLiteral("-C"), QStringLiteral(QEL_PACKAGE_PATH)});
        QStringList names;
        if (!nm.waitForFinished(60000) || nm.exitCode() != 0)
            return names;
        for (const QByteArray &line : nm.readAllStandardOutput().split('\n')) {
            const int type = line.indexOf(' ');
            if (type > 0 && line.size() > type + 3)
                names << QString::fromUtf8(line.mid(type + 3));
        }
        return names;
    }();
    return symbols;
}

} // namespace

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
            Operador(frmRegVenMan).toca(Operador::Sair); // the scripted presenter answers yes
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
            Operador(frmRegVenMan).toca(Operador::Sair);
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

void TestPackage::hostContractIsExported_data()
{
    QTest::addColumn<QString>("symbol");
    for (const char *name :
         {"CriaRegVendaManual", "Cli_Lum00071::CriaRegVendaManual()", "frmRegVenMan",
          "rdmRegVendaManual", "stMsg", "stCdCliDeb", "stCdConsumidor", "stPrecoUn", "stQuant",
          "stDtEmissao", "stCdSala", "stSeqItVenda", "stOperadorLogin", "stNmOperador",
          "stCodProd", "stCdTipoRece", "DsDirCad", "stIdPaisIntegra", "Lum_NrSerie_CDS",
          "Lum_SgEstadoFili", "stDsObsCupFis", "stIdImpBarrCup", "Lum_IdTipoImpFis",
          "doValorRece", "doTotal", "boRecebimento", "boAddProd", "boRecebOk",
          // the pad of slips, added beside the rest
          "CriaRegVendaManualTalao", "stTalaoNrOrdem", "stTalaoNrSerie", "stTalaoNrSubSerie",
          "stTalaoDtEmissao", "stTalaoNrMesa", "inTalaoDe", "inTalaoAte",
          "getTalao(QString const&, QString const&, QString const&, QString const&, long long, "
          "long long)",
          "getStatusMesa(QString const&, QString const&)", "getAliqSistema(QString const&)",
          "setGravaCupomInicial(QString const&, QString const&, QString const&, QDateTime const&)",
          "setAbreCaixa(QString const&, QString const&, QString const&, QDateTime&)"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void TestPackage::hostContractIsExported()
{
    QFETCH(QString, symbol);
    QVERIFY2(!exportedSymbols().isEmpty(), "nm listed nothing for the package");
    QVERIFY2(exportedSymbols().contains(symbol), qPrintable(symbol + " is not exported"));
}

void TestPackage::exportedVariablesKeepTheirValuesAcrossLaunches()
{
    ScriptedPresenter presenter;
    const QString acesso = TestEnv::exeDir() + u'/' + Store::cacheFiles().at(1); // the operator
    QVERIFY(QFile::rename(acesso, acesso + QStringLiteral(".fora")));
    const auto restaura = qScopeGuard([&] {
        QFile::rename(acesso + QStringLiteral(".fora"), acesso);
        boRecebOk = false;
    });
    QString *const mantidas[] = {&stMsg,       &stCdCliDeb,      &stCdConsumidor, &stPrecoUn,
                                 &stQuant,     &stDtEmissao,     &stCdSala,       &stSeqItVenda,
                                 &stCodProd,   &stOperadorLogin, &stNmOperador,   &stCdTipoRece};
    for (QString *v : mantidas)
        *v = QStringLiteral("anterior");
    stDsObsCupFis = stIdImpBarrCup = Lum_NrSerie_CDS = QStringLiteral("anterior");
    Lum_IdTipoImpFis = 7;
    doValorRece = 12.5;
    doTotal = 30;
    boRecebimento = boAddProd = boRecebOk = true;

    bool pagamentosZerados = false;
    QTimer::singleShot(0, [&] {
        pagamentosZerados = doTotal == 0 && !boRecebimento && !boAddProd;
        Operador(frmRegVenMan).toca(Operador::Sair); // the scripted presenter answers yes
    });
    CriaRegVendaManual();

    QVERIFY(pagamentosZerados);
    for (QString *v : mantidas)
        QCOMPARE(*v, QStringLiteral("anterior"));
    QCOMPARE(doValorRece, 12.5);
    QVERIFY(boRecebOk);
    // What the parameters file holds replaces the earlier launch's.
    QCOMPARE(stDsObsCupFis, QStringLiteral("Obrigado"));
    QCOMPARE(stIdImpBarrCup, QStringLiteral("N"));
    QCOMPARE(Lum_NrSerie_CDS, QStringLiteral("BE0123456789"));
    QCOMPARE(Lum_IdTipoImpFis, 1);
}

QTEST_MAIN(TestPackage)
#include "tst_package.moc"
