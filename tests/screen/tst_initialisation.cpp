// Screen initialisation: the operating context from the cache files, the lookup datasets, the
// store's tables, and size and placement, including the launches that go wrong.
#include "blended.h"
#include "clientdataset.h"
#include "screen/globals.h"
#include "screenfixture.h"
#include "scriptedpresenter.h"
#include "server/rdmregvendamanual.h"
#include "testenv.h"

#include <QFile>
#include <QLabel>
#include <QTest>

using namespace ScreenFixture;

class TestInitialisation : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        TestEnv::usePtBr();
        store();
    }
    void init()
    {
        TestEnv::removeCaches();
        writeParameters();
        writeCaches();
    }

    // A complete terminal: every context value lands where the later steps read it, the
    // lookup datasets are open and the store's open tables are loaded.
    void contextComesFromTheCacheFiles();
    // The total caption carries the catalogue text and the locale's currency symbol: nothing
    // is hard-coded to one country.
    void totalCaptionFollowsTheLocale_data();
    void totalCaptionFollowsTheLocale();
    // A terminal without a parameters file still opens: empty context, no error, and the
    // server asked for the tables of an empty branch (none).
    void noParametersFileOpensWithEmptyContext();
    // Without a product file both product lists are open, empty, with their declared
    // columns, so every code is refused later instead of failing on a closed list.
    void missingProductFileLeavesEmptyOpenLists();
    // The store database failing at the table fetch is reported with the terminal's scheme
    // and the screen still opens, with no tables.
    void tableFetchFailureStillOpensTheScreen();
    // A damaged product file is reported before any product can be looked up, and the lists
    // prepared after it are left closed; the operating context read before it stays.
    void damagedProductFileIsReported();
    // Size and placement on small and large displays: signed divisions truncating toward
    // zero, so 640 gives -80 and 799 gives 0.
    void placementOnSmallDisplays();
};

void TestInitialisation::contextComesFromTheCacheFiles()
{
    ScriptedPresenter presenter;
    auto screen = openScreen();
    QVERIFY(presenter.calls.isEmpty());
    QCOMPARE(screen->contexto.stCdFilial, QString("0001"));
    QCOMPARE(screen->contexto.stCdLoja, QString("01"));
    QCOMPARE(screen->contexto.stIdEsquema, QString("E01"));
    QCOMPARE(screen->contexto.stCdCaixa, QString("001"));
    QCOMPARE(screen->contexto.stCdEmpresa, QString("01"));
    QCOMPARE(screen->contexto.stCdCCusClie, QString("CC01"));
    QCOMPARE(screen->contexto.stDsModeloEcf, QString("MP-4200"));
    QCOMPARE(screen->contexto.dtAberCaix, QDateTime(QDate::currentDate(), QTime(8, 0)));
    QCOMPARE(screen->contexto.dtMovimento.date(), QDate::currentDate());
    QVERIFY(screen->contexto.stCdCliente.isEmpty());
    QCOMPARE(Lum_NrSerie_CDS, QString("BE0123456789"));
    QCOMPARE(Lum_IdTipoImpFis, 1);
    QCOMPARE(Lum_SgEstadoFili, QString("SP"));
    QCOMPARE(stIdPaisIntegra, QString("S"));
    QCOMPARE(stOperadorLogin, QString("OP01"));
    QCOMPARE(stNmOperador, QString("Maria Souza"));
    QVERIFY(DsDirCad.endsWith(QStringLiteral("/Dados/")));
    QCOMPARE(doTotal, 0.0);
    QVERIFY(!boRecebimento && !boAddProd);

    screen->produtosProntos();
    QCOMPARE(screen->cdsValidaProd->RecordCount(), 7);
    QCOMPARE(screen->cdsCarregaProduto->RecordCount(), 7);
    QCOMPARE(screen->cdsAliquota->RecordCount(), 1);
    QVERIFY(screen->cdsImposto->Active() && screen->cdsImposto->IsEmpty());
    QCOMPARE(screen->cdsRecebAux->RecordCount(), 5);
    QVERIFY(screen->cdsConfTipoRece->Active());
    QCOMPARE(screen->cdsAmbientes->RecordCount(), 2); // status 'A' only
    QVERIFY(screen->lblProd->text().isEmpty());
    QVERIFY(screen->lblImpAliq->text().isEmpty());
    QVERIFY(screen->lblTotal->text().isEmpty());
    QVERIFY(!screen->lblTot->isVisible());
    QCOMPARE(screen->size(), QSize(800, 600));
    QCOMPARE(screen->inCampoAtual, TfrmRegVenMan::CampoOrdem);
    QCOMPARE(screen->borda1->brushColor(), QColor(Qt::black));
    QCOMPARE(screen->Borda2->brushColor(), QColor(Qt::white));
}

void TestInitialisation::totalCaptionFollowsTheLocale_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("caption");
    QTest::newRow("pt_BR") << QLocale(QLocale::Portuguese, QLocale::Brazil) << "Total : R$";
    QTest::newRow("en_US") << QLocale(QLocale::English, QLocale::UnitedStates) << "Total : $";
}

void TestInitialisation::totalCaptionFollowsTheLocale()
{
    QFETCH(QLocale, locale);
    QFETCH(QString, caption);
    TestEnv::LocaleGuard guard;
    QLocale::setDefault(locale);
    ScriptedPresenter presenter;
    auto screen = openScreen();
    QCOMPARE(screen->lblTot->text(), caption);
}

void TestInitialisation::noParametersFileOpensWithEmptyContext()
{
    QFile::remove(TestEnv::exeDir() + QStringLiteral("/PARAMETROSQEL.CDS"));
    ScriptedPresenter presenter;
    TfrmRegVenMan screen;
    screen.InicializaForm();
    QVERIFY(presenter.calls.isEmpty());
    QVERIFY(screen.contexto.stCdFilial.isEmpty());
    QVERIFY(screen.contexto.stIdEsquema.isEmpty());
    QVERIFY(screen.contexto.stCdCaixa.isEmpty());
    QVERIFY(screen.cdsAmbientes->Active());
    QCOMPARE(screen.cdsAmbientes->RecordCount(), 0);
    screen.produtosProntos();
    QCOMPARE(screen.cdsValidaProd->RecordCount(), 7);
}

void TestInitialisation::missingProductFileLeavesEmptyOpenLists()
{
    QFile::remove(TestEnv::cadastrosDir() + QStringLiteral("/Produtos.cds"));
    ScriptedPresenter presenter;
    auto screen = openScreen();
    QVERIFY(presenter.calls.isEmpty());
    for (ClientDataSet *ds : {screen->cdsCarregaProduto, screen->cdsValidaProd}) {
        QVERIFY(ds->Active());
        QVERIFY(ds->IsEmpty());
        QVERIFY(ds->FieldIndex(QStringLiteral("CDPRODUTO")) >= 0);
    }
    QCOMPARE(screen->cdsValidaProd->FieldCount(), 14);
    QCOMPARE(screen->cdsCarregaProduto->FieldCount(), 11);
}

void TestInitialisation::tableFetchFailureStillOpensTheScreen()
{
    exec(QStringLiteral("ALTER TABLE MESA RENAME TO MESA_FORA"));
    ScriptedPresenter presenter;
    auto screen = openScreen();
    exec(QStringLiteral("ALTER TABLE MESA_FORA RENAME TO MESA"));
    QCOMPARE(presenter.calls.size(), 2); // the method's failure, then the block's report
    QCOMPARE(presenter.calls[0], errorCall(presenter.calls[0].text, QStringLiteral("E01")));
    QVERIFY2(presenter.calls[0].text.contains(QStringLiteral("MESA"), Qt::CaseInsensitive),
             qPrintable(presenter.calls[0].text));
    QCOMPARE(presenter.calls[1], errorCall(presenter.calls[0].text, QStringLiteral("E01")));
    QVERIFY(screen->isVisible());
    QVERIFY(!screen->cdsAmbientes->Active() || screen->cdsAmbientes->IsEmpty());
    screen->produtosProntos();
    QCOMPARE(presenter.calls.size(), 2);
    QCOMPARE(screen->cdsValidaProd->RecordCount(), 7);
}

void TestInitialisation::damagedProductFileIsReported()
{
    QFile f(TestEnv::cadastrosDir() + QStringLiteral("/Produtos.cds"));
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write("<?xml version=\"1.0\"?><DATAPACKET Version=\"2.0\"><METADATA><FIELDS>");
    f.close();
    ScriptedPresenter presenter;
    auto screen = openScreen();
    screen->produtosProntos(); // as a lookup would before anything else
    QCOMPARE(presenter.calls.size(), 1);
    QCOMPARE(presenter.calls[0].kind, 3);
    QCOMPARE(presenter.calls[0].scheme, QString("E01"));
    QVERIFY(presenter.calls[0].text.contains(QStringLiteral("Produtos.cds")));
    QCOMPARE(screen->contexto.stCdFilial, QString("0001"));
    QVERIFY(!screen->cdsAmbientes->Active());
}

void TestInitialisation::placementOnSmallDisplays()
{
    TfrmRegVenMan screen;
    screen.move(0, 0);
    screen.ajustaTamanho(QSize(640, 480));
    QCOMPARE(screen.pos(), QPoint(-80, -60));
    QCOMPARE(screen.size(), QSize(800, 600));
    screen.move(0, 0);
    screen.ajustaTamanho(QSize(799, 599));
    QCOMPARE(screen.pos(), QPoint(0, 0));
    screen.move(5, 7);
    screen.ajustaTamanho(QSize(1024, 768));
    QCOMPARE(screen.pos(), QPoint(5, 7)); // left to the centring when shown
}

QTEST_MAIN(TestInitialisation)
#include "tst_initialisation.moc"
