#include "clientdataset.h"
#include "dbconnection.h"
#include "dbwork.h"
#include "exception.h"
#include "store.h"
#include "storefixture.h"
#include "testenv.h"

#include <QDir>
#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>

using namespace StoreFixture;

namespace {

int count(QSqlDatabase db, const QString &sql)
{
    QSqlQuery q(db);
    if (!q.exec(sql) || !q.next()) throw Exception(sql);
    return q.value(0).toInt();
}


// The screen's declarations of the datasets that load the product and rate files.
QList<FieldDecl> cdsValidaProd()
{
    return {text("CDPRODUTO", 10),  text("CDARVPROD", 20),     text("NMPRODUTO", 50),
            text("IDPESAPROD", 1),  num("QTTARAPROD"),         text("CDFAMILISALD", 3),
            text("SGUNIDADE", 10),  text("IDTIPOCOMPPROD", 1), text("IDIMPPRODUTO", 1),
            stamp("DTINIVGPROMOC"), stamp("DTFINVGPROMOC"),    text("CDBARPRODUTO", 30),
            text("CDPRODINTE", 20), text("CDPROTECLADO", 20)};
}

QString exportDir(const QString &backend)
{
    return QDir::currentPath() + "/export-" + backend;
}

} // namespace

class TstStore : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { TestEnv::usePtBr(); }

    void schemaIsIdempotentAndVersioned_data() { addBackends(); }
    void schemaIsIdempotentAndVersioned();
    void demoIsTheSameOnBothDatabases();
    void demoHasTheCasesTheScreenNeeds_data() { addBackends(); }
    void demoHasTheCasesTheScreenNeeds();
    void exportedCachesLoadWithTheirDeclaredColumns_data() { addBackends(); }
    void exportedCachesLoadWithTheirDeclaredColumns();
    void exportNeedsAKnownTerminal();
    void upgradeToVersion3CountsEveryChange_data() { addBackends(); }
    void upgradeToVersion3CountsEveryChange();
};

// Every terminal runs the schema creation against a shared store; running it on a store that
// already has it must change nothing and keep its data, and the version table says where a
// store stands for later upgrades.
void TstStore::schemaIsIdempotentAndVersioned()
{
    QFETCH(QString, backend);
    SKIP_UNAVAILABLE(backend);
    auto connection = Store::connect(freshDatabase(backend, "tst_store_schema"));
    QSqlDatabase db = connection->database();

    QCOMPARE(Store::schemaVersion(db), 0);
    QCOMPARE(Store::createSchema(db), 0);
    QCOMPARE(Store::schemaVersion(db), Store::latestSchemaVersion());
    QSqlQuery q(db);
    QVERIFY(q.exec("INSERT INTO NOVOCODIGO (CDCONTADOR, NRSEQUENCIAL) VALUES ('K', '1')"));

    QCOMPARE(Store::createSchema(db), Store::latestSchemaVersion());
    QCOMPARE(count(db, "SELECT COUNT(*) FROM SCHEMAVERSION"), Store::latestSchemaVersion());
    QCOMPARE(count(db, "SELECT COUNT(*) FROM NOVOCODIGO"), 1);
    for (const Store::TableDecl &t : Store::tables())
        QVERIFY2(q.exec("SELECT COUNT(*) FROM " + t.name), qPrintable(t.name));

    // The keys the server relies on: one counter per key, one shift per register and instant.
    QVERIFY(!q.exec("INSERT INTO NOVOCODIGO (CDCONTADOR, NRSEQUENCIAL) VALUES ('K', '2')"));
    const QString shift = "INSERT INTO TURCAIXA (CDFILIAL, CDCAIXA, DTABERCAIX) VALUES "
                          "('0001', '001', '2024-01-31 10:00:00.123')";
    QVERIFY(q.exec(shift));
    QVERIFY(!q.exec(shift));
}

// The demo store is generated, not committed: the same seed and date must give the same
// store on SQLite and on PostgreSQL, down to the bytes of the exported cache files.
void TstStore::demoIsTheSameOnBothDatabases()
{
    SKIP_UNAVAILABLE("postgresql");
    QStringList dirs;
    for (const QString backend : {"sqlite", "postgresql"}) {
        auto connection = Store::connect(freshDatabase(backend, "tst_store_same"));
        Store::DemoOptions options;
        options.products = 300;
        options.seed = 7;
        options.today = QDate(2024, 1, 31);
        Store::generateDemo(connection->database(), options);
        const QString dir = exportDir("same-" + backend);
        QDir(dir).removeRecursively();
        Store::exportCaches(connection->database(), dir);
        dirs << dir;
    }
    for (const QString &file : Store::cacheFiles()) {
        QFile a(dirs.at(0) + '/' + file), b(dirs.at(1) + '/' + file);
        QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
        QByteArray bytesA = a.readAll(), bytesB = b.readAll();
        // The parameters name their own export directory.
        bytesA.replace(dirs.at(0).toUtf8(), "DIR");
        bytesB.replace(dirs.at(1).toUtf8(), "DIR");
        QVERIFY2(bytesA == bytesB, qPrintable(file));
    }
}

// The demo must exercise the screen's paths: 40 free tables in three rooms plus busy ones,
// eight payment types with hidden, unflagged and non-fiscal ones, weighed products, five
// taxes, and the three price-table levels valid today.
void TstStore::demoHasTheCasesTheScreenNeeds()
{
    QFETCH(QString, backend);
    SKIP_UNAVAILABLE(backend);
    auto connection = Store::connect(freshDemoStore(backend, "tst_store_demo", 2000));
    QSqlDatabase db = connection->database();

    QCOMPARE(count(db, "SELECT COUNT(*) FROM PRODUTO"), 2003);
    QCOMPARE(count(db, "SELECT COUNT(DISTINCT CDBARPRODUTO) FROM PRODUTO"), 2003);
    QCOMPARE(count(db, "SELECT COUNT(DISTINCT NMPRODUTO) FROM PRODUTO"), 2003);
    QVERIFY(count(db, "SELECT COUNT(*) FROM PRODUTO WHERE IDPESAPROD = 'S' AND SGUNIDADE = 'KG'") >
            0);
    QCOMPARE(count(db, "SELECT COUNT(*) FROM PRODUTO WHERE IDBLOQPROD = 'S'"), 1);
    QCOMPARE(count(db, "SELECT COUNT(*) FROM IMPOSTO"), 5);
    QCOMPARE(count(db, "SELECT COUNT(*) FROM MESA WHERE CDFILIAL = '0001' AND CDLOJA = '001' "
                       "AND IDSTMESA = 'A'"),
             40);
    QCOMPARE(count(db, "SELECT COUNT(DISTINCT CDSALA) FROM MESA WHERE IDSTMESA = 'A' "
                       "AND CDLOJA = '001'"),
             3);
    QVERIFY(count(db, "SELECT COUNT(*) FROM MESA WHERE IDSTMESA <> 'A'") > 0);
    QCOMPARE(count(db, "SELECT COUNT(*) FROM TIPORECE"), 8);
    QCOMPARE(count(db, "SELECT COUNT(*) FROM TIPORECE WHERE IDTIPORECE = 'A'"), 1);
    QVERIFY(count(db, "SELECT COUNT(*) FROM TIPORECE WHERE IDMOSTRARECE = 'N'") >= 2);
    QCOMPARE(count(db, "SELECT COUNT(*) FROM TIPORECE WHERE IDMOSTRARECE IS NULL"), 1);
    QCOMPARE(count(db, "SELECT COUNT(*) FROM TIPORECE WHERE CDFPIMPFIS IS NULL"), 1);
    QCOMPARE(count(db, "SELECT COUNT(*) FROM OPERADOR WHERE IDATIVO = 'S'"), 2);

    // Valid today: the store's table, the branch default and one client table.
    QSqlQuery q(db);
    q.prepare("SELECT IDTIPOTABPRECO FROM TABPRECO WHERE CDFILIAL = '0001' "
              "AND DTINIVGTABPRECO <= ? AND (DTFINVGTABPRECO IS NULL OR DTFINVGTABPRECO >= ?) "
              "ORDER BY IDTIPOTABPRECO");
    q.addBindValue(QDate::currentDate());
    q.addBindValue(QDate::currentDate());
    QVERIFY(q.exec());
    QStringList kinds;
    while (q.next())
        kinds << q.value(0).toString();
    QCOMPARE(kinds, QStringList({"C", "F", "L"}));
    QCOMPARE(count(db, "SELECT COUNT(*) FROM ITTABPRECO WHERE CDPRODUTO = '900001'"), 0);
    QCOMPARE(count(db, "SELECT COUNT(*) FROM ITTABPRECO WHERE CDPRODUTO = '900002' "
                       "AND VRPRECO = 0"),
             2);
}

// The screen loads each cache into datasets with declared columns and fails on a missing
// one; the parameters file must carry every column the initialisation reads. The product
// file feeds two datasets and so holds the columns of both.
void TstStore::exportedCachesLoadWithTheirDeclaredColumns()
{
    QFETCH(QString, backend);
    SKIP_UNAVAILABLE(backend);
    auto connection = Store::connect(freshDemoStore(backend, "tst_store_export", 40));
    const QString dir = exportDir(backend);
    QDir(dir).removeRecursively();
    Store::exportCaches(connection->database(), dir, {"0001", "002", "1002"});

    const DataPacket params = DataPacket::loadFromFile(dir + "/PARAMETROSQEL.CDS");
    QCOMPARE(params.rowCount(), 1);
    QCOMPARE(params.fields(), Store::parametersLayout());
    QCOMPARE(params.fields().size(), 25);
    QCOMPARE(params.value(0, params.indexOf("CDCAIXA")).toString(), QStringLiteral("002"));
    QCOMPARE(params.value(0, params.indexOf("IDTIPOIMPFIS")).toInt(), 1);
    QVERIFY(params.indexOf("IdTpTelaVe") >= 0);
    // The terminal's own folder, relative: a copied install removes its own sales file.
    QCOMPARE(params.value(0, params.indexOf("DSDIRCAD")).toString(), QString("Dados/Cadastros/"));

    const DataPacket operador =
        DataPacket::loadFromFile(dir + "/Dados/Cadastros/ControleAcess.cds");
    QCOMPARE(operador.value(0, operador.indexOf("NMOPERADOR")).toString(),
             QStringLiteral("João Carlos Lima"));
    const DataPacket movimento =
        DataPacket::loadFromFile(dir + "/Dados/Cadastros/DataMovimento.cds");
    QCOMPARE(movimento.value(0, movimento.indexOf("DATAMOVIMENTO")).toDateTime(),
             QDate::currentDate().startOfDay());

    ClientDataSet produtos("cdsValidaProd");
    produtos.setFieldDecls(cdsValidaProd());
    produtos.LoadFromFile(dir + "/Dados/Cadastros/Produtos.cds");
    QCOMPARE(produtos.RecordCount(), 43);
    QVERIFY(produtos.Locate("CDPRODUTO", "000001"));
    QCOMPARE(produtos.FieldByName("SGUNIDADE").AsString(), QStringLiteral("KG"));
    QCOMPARE(produtos.FieldByName("CDBARPRODUTO").AsString().size(), 13);

    ClientDataSet tipos("cdsRecebAux");
    QList<FieldDecl> decls;
    for (const FieldDef &f : Store::confTipoReceLayout())
        decls << field(qPrintable(f.name), f.type, f.size);
    QCOMPARE(decls.size(), 35);
    tipos.setFieldDecls(decls);
    tipos.LoadFromFile(dir + "/Dados/Cadastros/ConfTipoRece.cds");
    QCOMPARE(tipos.RecordCount(), 8);
    QVERIFY(tipos.Locate("CDTIPORECE", "007"));
    QVERIFY(tipos.FieldByName("IDMOSTRARECE").IsNull());

    ClientDataSet aliquota("cdsAliquota");
    aliquota.setFieldDecls(
        {text("CDALIQIMPFIS", 10), num("VRALIQIMPFIS"), text("IDALIQIMPFIS", 1)});
    aliquota.LoadFromFile(dir + "/Dados/Cadastros/AliqImpFis.cds");
    QCOMPARE(aliquota.RecordCount(), 7);
}

// A terminal that is not in the store must stop the export with a message naming it,
// instead of writing caches of some other terminal.
void TstStore::exportNeedsAKnownTerminal()
{
    auto connection = Store::connect(freshDemoStore("sqlite", "tst_store_noterm", 5));
    const QString dir = exportDir("noterm");
    QDir(dir).removeRecursively();
    try {
        Store::exportCaches(connection->database(), dir, {"0009", "001", {}});
        QFAIL("no exception");
    } catch (const Exception &e) {
        QVERIFY2(e.Message().contains("0009/001"), qPrintable(e.Message()));
    }
    QVERIFY(!QFile::exists(dir + "/PARAMETROSQEL.CDS"));
}

namespace {

QMap<QString, qint64> counters(QSqlDatabase db)
{
    QMap<QString, qint64> out;
    QSqlQuery q(db);
    if (!q.exec("SELECT NMTABELA, NRVERSAO FROM TABVERSAO")) throw Exception(q.lastError().text());
    while (q.next())
        out.insert(q.value(0).toString(), q.value(1).toLongLong());
    return out;
}

} // namespace

// A reused tax packet is only as good as these counters: a version 2 store with data upgrades
// in place; each insert, update and delete (whole-table delete too) adds exactly one to its
// table's counter, a rolled-back change none; upgrading again, or re-running version 3 and
// those after it over their own objects, keeps the counters and does not double the triggers.
void TstStore::upgradeToVersion3CountsEveryChange()
{
    QFETCH(QString, backend);
    SKIP_UNAVAILABLE(backend);
    const QString cs = freshDatabase(backend, "tst_store_v3");
    auto connection = Store::connect(cs);
    QSqlDatabase db = connection->database();
    Store::createSchema(db);
    dropChangeCounters(cs);
    QCOMPARE(Store::schemaVersion(db), 2);
    QSqlQuery q(db);
    QVERIFY(q.exec("INSERT INTO PRODUTO (CDPRODUTO, NMPRODUTO) VALUES ('P1', 'Um')"));

    QCOMPARE(Store::createSchema(db), 2);
    QCOMPARE(Store::schemaVersion(db), Store::latestSchemaVersion());
    QCOMPARE(count(db, "SELECT COUNT(*) FROM PRODUTO"), 1);
    QCOMPARE(counters(db).keys(), QStringList({"ALIQIMPFIS", "IMPOSTO", "PRODUTO"}));

    const QList<QPair<QString, QString>> changes = {
        {"PRODUTO", "INSERT INTO PRODUTO (CDPRODUTO, NMPRODUTO) VALUES ('P2', 'Dois')"},
        {"PRODUTO", "UPDATE PRODUTO SET NMPRODUTO = 'Uno' WHERE CDPRODUTO = 'P1'"},
        {"PRODUTO", "DELETE FROM PRODUTO WHERE CDPRODUTO = 'P2'"},
        {"IMPOSTO", "INSERT INTO IMPOSTO (CDIMPOSTO, NMIMPOSTO) VALUES ('01', 'ICMS')"},
        {"IMPOSTO", "UPDATE IMPOSTO SET SGIMPOSTO = 'T18'"},
        {"ALIQIMPFIS", "INSERT INTO ALIQIMPFIS (CDFILIAL, CDPRODUTO, CDIMPOSTO, VRPEALIMPFIS) "
                       "VALUES ('0001', 'P1', '01', 18)"},
        {"ALIQIMPFIS", "UPDATE ALIQIMPFIS SET VRPEALIMPFIS = 12"},
        {"ALIQIMPFIS", "DELETE FROM ALIQIMPFIS"},
        {"IMPOSTO", "DELETE FROM IMPOSTO"},
    };
    for (const auto &[table, sql] : changes) {
        QMap<QString, qint64> expected = counters(db);
        ++expected[table];
        QVERIFY2(q.exec(sql), qPrintable(q.lastError().text()));
        QVERIFY2(counters(db) == expected, qPrintable(sql));
    }

    const QMap<QString, qint64> kept = counters(db);
    {
        const Transaction desfeita(db); // left without a commit: rolled back
        QVERIFY(q.exec("UPDATE PRODUTO SET NMPRODUTO = 'Desfeito'"));
    }
    QCOMPARE(counters(db), kept);

    QCOMPARE(Store::createSchema(db), Store::latestSchemaVersion());
    QCOMPARE(counters(db), kept);
    QVERIFY(q.exec("DELETE FROM SCHEMAVERSION WHERE NRVERSAO >= 3"));
    QCOMPARE(Store::createSchema(db), 2);
    QCOMPARE(counters(db), kept);
    QVERIFY(q.exec("UPDATE PRODUTO SET NMPRODUTO = 'Outra vez' WHERE CDPRODUTO = 'P1'"));
    QCOMPARE(counters(db).value("PRODUTO"), kept.value("PRODUTO") + 1);
}

QTEST_MAIN(TstStore)
#include "tst_store.moc"
