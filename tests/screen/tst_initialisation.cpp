// Screen initialisation: the operating context from the cache files, the lookup datasets, the
// store's tables, and size and placement, including the launches that go wrong.
#include "clientdataset.h"
#include "operador.h"
#include "screen/globals.h"
#include "screenfixture.h"
#include "scriptedpresenter.h"
#include "testenv.h"

#include <QFile>
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

    // A complete terminal: the host's values are published, the products are offered, the
    // screen waits on the order. Where each context value lands the item rows (tst_items) and
    // the closing's arguments (tst_recording) tell.
    void contextComesFromTheCacheFiles();
    // The total caption carries the catalogue text and the locale's currency symbol: nothing
    // is hard-coded to one country.
    void totalCaptionFollowsTheLocale_data();
    void totalCaptionFollowsTheLocale();
    // A terminal without a parameters file still opens: empty context, no error, and the
    // server asked for the tables of an empty branch (none).
    void noParametersFileOpensWithEmptyContext();
    // Without a product file the search opens on an empty list with its declared columns, and
    // every code is refused instead of failing on a closed list.
    void missingProductFileLeavesEmptyOpenLists();
    // The store database failing at the table fetch is reported with the terminal's scheme
    // and the screen still opens, with no tables.
    void tableFetchFailureStillOpensTheScreen();
    // A damaged product file is reported before any product can be looked up, and the lists
    // prepared after it are left closed; the operating context read before it stays.
    void damagedProductFileIsReported();
    // Size and placement: on a display as large as the screen (the headless one, 800 by 600)
    // the screen is left where it is.
    void placementOnSmallDisplays();
};

void TestInitialisation::contextComesFromTheCacheFiles()
{
    ScriptedPresenter presenter;
    FakeServices services;
    auto screen = openScreen();
    QVERIFY(presenter.calls.isEmpty());
    Operador op(screen.get());
    QCOMPARE(op.foco(), TfrmRegVenMan::CampoOrdem);
    QCOMPARE(op.moldura(TfrmRegVenMan::CampoSerie), QColor(Qt::white));
    QVERIFY(op.produto().isEmpty() && op.aliquota().isEmpty() && op.total().isEmpty());
    QCOMPARE(screen->size(), QSize(800, 600));
    QCOMPARE(QStringList({Lum_NrSerie_CDS, Lum_SgEstadoFili, stIdPaisIntegra, stOperadorLogin,
                          stNmOperador}),
             QStringList({"BE0123456789", "SP", "S", "OP01", "Maria Souza"}));
    QCOMPARE(Lum_IdTipoImpFis, 1);
    QVERIFY(DsDirCad.endsWith(QStringLiteral("/Dados/")));
    QCOMPARE(doTotal, 0.0);
    QVERIFY(!boRecebimento && !boAddProd);

    int produtos = -1;
    services.pesquisa = [&](ClientDataSet *ds) { return (produtos = ds->RecordCount()) < 0; };
    op.toca(TfrmRegVenMan::CampoCodigo); // the search offers the product file
    QCOMPARE(produtos, 7);
    QCOMPARE(dataset(screen.get(), "cdsAliquota")->RecordCount(), 1); // read, shown nowhere
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
    QVERIFY2(Operador(screen.get()).textos().contains(caption), qPrintable(caption));
}

void TestInitialisation::noParametersFileOpensWithEmptyContext()
{
    QFile::remove(TestEnv::exeDir() + QStringLiteral("/PARAMETROSQEL.CDS"));
    ScriptedPresenter presenter;
    FakeServices services;
    auto screen = openScreen();
    QVERIFY(presenter.calls.isEmpty());
    Operador op(screen.get());
    int produtos = -1;
    services.pesquisa = [&](ClientDataSet *ds) { return (produtos = ds->RecordCount()) < 0; };
    op.toca(TfrmRegVenMan::CampoCodigo);
    QCOMPARE(produtos, 7);
    // No branch, no tables; no scheme for the message either.
    op.confirma(TfrmRegVenMan::CampoMesa, QStringLiteral("7"));
    QCOMPARE(presenter.calls, QList<MessageCall>({errorCall("Mesa não cadastrada.", "")}));
}

void TestInitialisation::missingProductFileLeavesEmptyOpenLists()
{
    QFile::remove(TestEnv::cadastrosDir() + QStringLiteral("/Produtos.cds"));
    ScriptedPresenter presenter;
    FakeServices services;
    auto screen = openScreen();
    QVERIFY(presenter.calls.isEmpty());
    Operador op(screen.get());
    int produtos = -1, colunas = -1;
    services.pesquisa = [&](ClientDataSet *ds) {
        colunas = ds->FieldIndex(QStringLiteral("CDPRODUTO")) < 0 ? 0 : ds->FieldCount();
        return (produtos = ds->RecordCount()) < 0;
    };
    op.toca(TfrmRegVenMan::CampoCodigo);
    QCOMPARE(produtos, 0);
    QCOMPARE(colunas, 14);
    op.digita(QStringLiteral("101"));
    op.enter();
    QCOMPARE(presenter.texts(), QStringList({"Código do produto inválido."}));
}

void TestInitialisation::tableFetchFailureStillOpensTheScreen()
{
    exec(QStringLiteral("ALTER TABLE MESA RENAME TO MESA_FORA"));
    ScriptedPresenter presenter;
    FakeServices services;
    auto screen = openScreen();
    exec(QStringLiteral("ALTER TABLE MESA_FORA RENAME TO MESA"));
    QCOMPARE(presenter.calls.size(), 2); // the method's failure, then the block's report
    QCOMPARE(presenter.calls[0], errorCall(presenter.calls[0].text, QStringLiteral("E01")));
    QVERIFY2(presenter.calls[0].text.contains(QStringLiteral("MESA"), Qt::CaseInsensitive),
             qPrintable(presenter.calls[0].text));
    QCOMPARE(presenter.calls[1], errorCall(presenter.calls[0].text, QStringLiteral("E01")));
    QVERIFY(screen->isVisible());
    Operador op(screen.get());
    int produtos = -1;
    services.pesquisa = [&](ClientDataSet *ds) { return (produtos = ds->RecordCount()) < 0; };
    op.toca(TfrmRegVenMan::CampoCodigo);
    QCOMPARE(presenter.calls.size(), 2);
    QCOMPARE(produtos, 7);
    op.confirma(TfrmRegVenMan::CampoMesa, QStringLiteral("7")); // no tables were loaded
    QCOMPARE(presenter.calls.last(), errorCall("Mesa não cadastrada.", "E01"));
}

void TestInitialisation::damagedProductFileIsReported()
{
    QFile f(TestEnv::cadastrosDir() + QStringLiteral("/Produtos.cds"));
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write("<?xml version=\"1.0\"?><DATAPACKET Version=\"2.0\"><METADATA><FIELDS>");
    f.close();
    ScriptedPresenter presenter;
    FakeServices services;
    auto screen = openScreen();
    Operador op(screen.get());
    op.toca(TfrmRegVenMan::CampoCodigo); // the search reads the list before anything else
    QCOMPARE(presenter.calls.size(), 1);
    QCOMPARE(presenter.calls[0].kind, 3);
    QCOMPARE(presenter.calls[0].scheme, QString("E01"));
    QVERIFY(presenter.calls[0].text.contains(QStringLiteral("Produtos.cds")));
    // The tables, prepared after the products, were left closed.
    op.confirma(TfrmRegVenMan::CampoMesa, QStringLiteral("7"));
    QCOMPARE(presenter.calls.last(), errorCall("Mesa não cadastrada.", "E01"));
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
    screen.InicializaForm(); // on this 800 by 600 display
    QCOMPARE(screen.size(), QSize(800, 600));
    QCOMPARE(screen.pos(), QPoint(5, 7)); // left to the centring when shown
}

QTEST_MAIN(TestInitialisation)
#include "tst_initialisation.moc"
