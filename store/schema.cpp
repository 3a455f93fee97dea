#include "store.h"

#include "dbconnection.h"
#include "exception.h"
#include "groupfiles.h"
#include "storesql.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace Store {

ColumnDecl text(const char *name, int size, bool notNull)
{
    return {QString::fromLatin1(name), FieldType::String, size, notNull};
}
ColumnDecl key(const char *name, int size)
{
    return text(name, size, true);
}
ColumnDecl real(const char *name)
{
    return {QString::fromLatin1(name), FieldType::Float, 0, false};
}
ColumnDecl integer(const char *name)
{
    return {QString::fromLatin1(name), FieldType::Integer, 0, false};
}
ColumnDecl date(const char *name)
{
    return {QString::fromLatin1(name), FieldType::Date, 0, false};
}
ColumnDecl dateTime(const char *name, bool notNull)
{
    return {QString::fromLatin1(name), FieldType::DateTime, 0, notNull};
}

QList<FieldDef> fieldsOf(const QList<ColumnDecl> &columns)
{
    QList<FieldDef> out;
    for (const ColumnDecl &c : columns)
        out << FieldDef{c.name, c.type, c.type == FieldType::String ? c.size : 0};
    return out;
}

namespace {

QStringList names(std::initializer_list<const char *> list)
{
    QStringList out;
    for (const char *n : list)
        out << QString::fromLatin1(n);
    return out;
}

// Version 1: the tables of the server functions, the sources of the cache files and the
// price tables. Sales tables for the closing routine come as a later version.
QList<TableDecl> version1Tables()
{
    return {
        {QStringLiteral("FILIAL"),
         {key("CDFILIAL", 4), text("NMFILIAL", 50), key("CDEMPRESA", 2), text("SGESTADOFILI", 2),
          text("NRINSJUREMPR", 20), text("CDINSCESTAEMPR", 20)},
         names({"CDFILIAL"})},
        {QStringLiteral("LOJA"),
         {key("CDFILIAL", 4), key("CDLOJA", 10), text("NMLOJA", 50)},
         names({"CDFILIAL", "CDLOJA"})},
        // One row per terminal: the columns of the parameters file.
        {QStringLiteral("TERMINAL"),
         {key("CDFILIAL", 4),         text("IDESQUEMA", 3),       key("CDLOJA", 10),
          text("CDCCUSCLIE", 10),     dateTime("DTABERCAIX"),     text("CDEMPRESA", 2),
          key("CDCAIXA", 3),          text("IDPAISINTEGRA", 1),   text("NRSERIEECF", 20),
          integer("IDTIPOIMPFIS"),    text("DSMODELOECFVE", 30),  text("DSMARCAECFVE", 30),
          text("ECFIMP", 30),         text("SGESTADOFILI", 2),    text("DSDIRCAD", 255),
          text("STTOTCV", 1),         text("DSOBSCUPFIS", 200),   text("IDIMPBARRCUP", 1),
          text("IDIMPSALDOCUPOM", 1), text("IDTPTELAVE", 1),      text("DSMENSCPFCUP", 200),
          text("NRINSJUREMPR", 20),   text("CDINSCESTAEMPR", 20), text("IDPARIMPRLIMVDC", 1),
          text("NRSERIEIMP", 20)},
         names({"CDFILIAL", "CDCAIXA"})},
        {QStringLiteral("OPERADOR"),
         {key("CDOPERADOR", 12), text("NMOPERADOR", 50), text("IDATIVO", 1)},
         names({"CDOPERADOR"})},
        {QStringLiteral("DATAMOVIMENTO"),
         {key("CDFILIAL", 4), dateTime("DATAMOVIMENTO", true)},
         names({"CDFILIAL"})},
        {QStringLiteral("TIPORECE"),
         {key("CDFILIAL", 4),       key("CDTIPORECE", 3),    text("NMTIPORECE", 40),
          text("DSBUTTON", 40),     real("VRTAXAADMI"),      real("VRMINCARTAO"),
          text("CDTIPOTROCO", 3),   text("NRORDTROCO", 3),   text("IDEMIVALE", 1),
          text("IDVALE", 1),        text("IDDEBCLIE", 1),    text("CDFPIMPFIS", 10),
          text("IDTIPORECE", 1),    text("CDTPINDICE", 1),   text("IDPERVALOR", 1),
          text("CDINDICE", 4),      text("NRCONFTELA", 5),   text("IDTPBUTTON", 1),
          text("NRBUTTON", 5),      text("NRPGCONFTELA", 2), text("NRPGCONFTAUX", 2),
          text("IDTPBUTONAUX", 1),  text("NRBUTTONAUX", 5),  text("CDIDENTBUTON", 10),
          real("NRCOLORTEXT"),      real("NRCOLORBACK"),     text("DSMESSAGEBUT", 300),
          text("DSIMAGEMBUT", 200), text("DSIMPFISCAL", 50), text("CDADMINCART", 20),
          text("CDBANCARTCR", 10),  text("IDMOSTRARECE", 1), text("IDDESABTEF", 1),
          real("NRFONTETEXT"),      text("IDSANGRIAAUTO", 1)},
         names({"CDFILIAL", "CDTIPORECE"})},
        // A product is found by any of its five codes.
        {QStringLiteral("PRODUTO"),
         {key("CDPRODUTO", 10), text("CDARVPROD", 20), text("NMPRODUTO", 50), text("IDPESAPROD", 1),
          real("QTTARAPROD"), text("CDFAMILISALD", 3), text("SGUNIDADE", 10),
          text("IDTIPOCOMPPROD", 1), text("IDIMPPRODUTO", 1), dateTime("DTINIVGPROMOC"),
          dateTime("DTFINVGPROMOC"), text("CDBARPRODUTO", 30), text("CDPRODINTE", 20),
          text("CDPROTECLADO", 20), text("IDBLOQPROD", 1)},
         names({"CDPRODUTO"})},
        {QStringLiteral("IMPOSTO"),
         {key("CDIMPOSTO", 2), text("NMIMPOSTO", 30), text("SGIMPOSTO", 10),
          text("IDTPIMPOSFIS", 1), text("CDINTIMPOSTO", 10)},
         names({"CDIMPOSTO"})},
        // The tax of each product in each branch.
        {QStringLiteral("ALIQIMPFIS"),
         {key("CDFILIAL", 4), key("CDPRODUTO", 10), key("CDIMPOSTO", 2), real("VRPEALIMPFIS")},
         names({"CDFILIAL", "CDPRODUTO"})},
        // The rates programmed in a branch's fiscal printer.
        {QStringLiteral("ALIQECF"),
         {key("CDFILIAL", 4), key("CDALIQIMPFIS", 10), real("VRALIQIMPFIS"),
          text("IDALIQIMPFIS", 1)},
         names({"CDFILIAL", "CDALIQIMPFIS"})},
        {QStringLiteral("SALA"),
         {key("CDFILIAL", 4), key("CDLOJA", 10), key("CDSALA", 5), text("NMSALA", 30)},
         names({"CDFILIAL", "CDLOJA", "CDSALA"})},
        {QStringLiteral("MESA"),
         {key("CDFILIAL", 4), key("CDLOJA", 10), key("NRMESA", 4), text("NMMESA", 30),
          text("CDSALA", 5), text("IDSTMESA", 1), text("IDSTMESAAUX", 1)},
         names({"CDFILIAL", "CDLOJA", "NRMESA"})},
        // The counter key holds a prefix, two keys and a date: wider than its parameter.
        {QStringLiteral("NOVOCODIGO"),
         {key("CDCONTADOR", 100), text("NRSEQUENCIAL", 20)},
         names({"CDCONTADOR"})},
        {QStringLiteral("TURCAIXA"),
         {key("CDFILIAL", 4), key("CDCAIXA", 3), dateTime("DTABERCAIX", true),
          text("CDOPERADOR", 12), text("CDOPERABER", 12), text("CDOPERFECH", 12),
          dateTime("DTFECHCAIX"), dateTime("DTMOVTURCAIX")},
         names({"CDFILIAL", "CDCAIXA", "DTABERCAIX"})},
        {QStringLiteral("CLIENTE"),
         {key("CDCLIENTE", 20), text("NMCLIENTE", 50)},
         names({"CDCLIENTE"})},
        // IDTIPOTABPRECO: 'C' a client's table, 'L' a store's table, 'F' the branch default.
        {QStringLiteral("TABPRECO"),
         {key("CDTABPRECO", 10), text("NMTABPRECO", 50), key("IDTIPOTABPRECO", 1),
          key("CDFILIAL", 4), text("CDLOJA", 10), text("CDCLIENTE", 20), date("DTINIVGTABPRECO"),
          date("DTFINVGTABPRECO")},
         names({"CDTABPRECO"})},
        {QStringLiteral("ITTABPRECO"),
         {key("CDTABPRECO", 10), key("CDPRODUTO", 10), real("VRPRECO"), real("VRDESCONTO"),
          real("VRACRESCIMO"), real("VRPRECOCLIE"), text("IDPRECVARIA", 1), text("IDPERCVALOR", 1),
          text("IDACREDESC", 1), real("VRPRECODIA")},
         names({"CDTABPRECO", "CDPRODUTO"})},
    };
}

QStringList version1Indexes()
{
    return {
        QStringLiteral("CREATE INDEX IF NOT EXISTS IXPRODUTO_ARV ON PRODUTO (CDARVPROD)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS IXPRODUTO_BAR ON PRODUTO (CDBARPRODUTO)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS IXPRODUTO_INTE ON PRODUTO (CDPRODINTE)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS IXPRODUTO_TECL ON PRODUTO (CDPROTECLADO)"),
        QStringLiteral(
            "CREATE INDEX IF NOT EXISTS IXMESA_STATUS ON MESA (CDFILIAL, CDLOJA, IDSTMESA)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS IXTABPRECO_APLIC "
                       "ON TABPRECO (CDFILIAL, IDTIPOTABPRECO, CDLOJA, CDCLIENTE)"),
    };
}

QString sqlType(const ColumnDecl &c, bool postgres)
{
    switch (c.type) {
    case FieldType::Float:
        return postgres ? QStringLiteral("DOUBLE PRECISION") : QStringLiteral("DOUBLE");
    case FieldType::Single:
        return QStringLiteral("REAL");
    case FieldType::SmallInt:
    case FieldType::ShortInt:
    case FieldType::Byte:
        return QStringLiteral("SMALLINT");
    case FieldType::Integer:
    case FieldType::Word:
        return QStringLiteral("INTEGER");
    case FieldType::LargeInt:
    case FieldType::LongWord:
        return QStringLiteral("BIGINT");
    case FieldType::Bcd:
    case FieldType::FmtBcd:
        return QStringLiteral("NUMERIC");
    case FieldType::Memo:
        return QStringLiteral("TEXT");
    case FieldType::Blob:
        return postgres ? QStringLiteral("BYTEA") : QStringLiteral("BLOB");
    case FieldType::Boolean:
        return QStringLiteral("BOOLEAN");
    case FieldType::Date:
        return QStringLiteral("DATE");
    case FieldType::Time:
        return QStringLiteral("TIME");
    case FieldType::DateTime:
        // Milliseconds, as the opening time of a cash shift carries them.
        return postgres ? QStringLiteral("TIMESTAMP(3)") : QStringLiteral("TIMESTAMP");
    case FieldType::String:
    case FieldType::WideString:
        break;
    }
    return QStringLiteral("VARCHAR(%1)").arg(c.size);
}

QString createTable(const TableDecl &t, bool postgres)
{
    QStringList parts;
    for (const ColumnDecl &c : t.columns)
        parts << c.name + QLatin1Char(' ') + sqlType(c, postgres) +
                     (c.notNull ? QStringLiteral(" NOT NULL") : QString());
    parts << QStringLiteral("PRIMARY KEY (%1)").arg(t.primaryKey.join(QStringLiteral(", ")));
    // SQLite: rows stored in key order, so a key lookup is one tree search, not two.
    return QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (\n    %2\n)%3")
        .arg(t.name, parts.join(QStringLiteral(",\n    ")),
             postgres ? QString() : QStringLiteral(" WITHOUT ROWID"));
}

struct Migration
{
    int version;
    QStringList (*statements)(bool postgres);
};

QStringList version1(bool postgres)
{
    QStringList out;
    for (const TableDecl &t : version1Tables())
        out << createTable(t, postgres);
    out << version1Indexes();
    return out;
}

// Version 2: the sales the closing routine stores. A hand-written document (branch, store,
// order number, series, sub-series) may be recorded once only, across all terminals.
QList<TableDecl> version2Tables()
{
    return {
        {QStringLiteral("CONTADORVENDA"),
         {key("CDFILIAL", 4), integer("NRULTVENDA")},
         names({"CDFILIAL"})},
        {QStringLiteral("VENDA"),
         {key("CDFILIAL", 4), key("NRSEQVENDA", 10), key("CDLOJA", 10), text("CDCAIXA", 3),
          text("CDEMPRESA", 2), key("NRORDEMVND", 50), key("NRSERIEVND", 50),
          key("NRSUBSERIEVND", 50), dateTime("DTVENDA"), text("NRMESA", 4), text("CDSALA", 5),
          text("CDOPERADOR", 12), dateTime("DTABERCAIX"), dateTime("DTMOVIMENTO"),
          text("IDORIGEMVENDA", 10), real("VRTOTVENDA"), real("VRTOTRECEB"),
          integer("QTITENS"), dateTime("DTHRGRAVACAO")},
         names({"CDFILIAL", "NRSEQVENDA"})},
        {QStringLiteral("ITVENDA"),
         {key("CDFILIAL", 4), key("NRSEQVENDA", 10), key("NRSEQUITVENDA", 10),
          text("CDPRODUTO", 10), text("NMPRODUTO", 50), real("QTPRODVEND"), real("VRUNITVEND"),
          real("VRTOTVEND"), real("VRDESITVEND"), real("VRACRITVEND"), text("NMIMPOSTO", 30),
          text("SGIMPOSTO", 10), real("VRPEALIMPFIS"), dateTime("DTVENDA"),
          dateTime("DTENTRVENDA"), dateTime("DTFECHAVENDA"), text("CDOPERADOR", 12),
          text("NRMESA", 4), text("CDSALA", 5)},
         names({"CDFILIAL", "NRSEQVENDA", "NRSEQUITVENDA"})},
        {QStringLiteral("MOVCAIXA"),
         {key("CDFILIAL", 4), key("NRSEQVENDA", 10), key("NRSEQUMOVI", 10), text("CDCAIXA", 3),
          text("IDTIPOMOVIVE", 1), text("CDTIPORECE", 3), text("NMTIPORECE", 40),
          text("IDTIPORECE", 1), real("VRMOVIVEND"), text("CDTIPOTROCO", 3),
          text("NRORDTROCO", 3), text("CDCLIENTE", 21), text("CDCONSUMIDOR", 21),
          text("CDCCUSCLIE", 10), dateTime("DTHRINCMOV"), date("DTMOVIMCAIXA"),
          text("DSIMPFISCAL", 50)},
         names({"CDFILIAL", "NRSEQVENDA", "NRSEQUMOVI"})},
    };
}

QStringList version2(bool postgres)
{
    QStringList out;
    for (const TableDecl &t : version2Tables())
        out << createTable(t, postgres);
    out << QStringLiteral("CREATE UNIQUE INDEX IF NOT EXISTS UXVENDA_DOCUMENTO ON VENDA "
                          "(CDFILIAL, CDLOJA, NRORDEMVND, NRSERIEVND, NRSUBSERIEVND)");
    return out;
}

// Version 3: a change counter per table behind the whole-branch tax list, bumped by triggers
// in the same transaction as the change, whoever makes it. The server reuses its last tax
// packet while the counters it was read at are unchanged.
QStringList version3(bool postgres)
{
    QStringList out;
    out << createTable({QStringLiteral("TABVERSAO"),
                        {key("NMTABELA", 30),
                         {QStringLiteral("NRVERSAO"), FieldType::LargeInt, 0, true}},
                        names({"NMTABELA"})},
                       postgres);
    for (const QString &table : versionedTables())
        out << QStringLiteral("INSERT INTO TABVERSAO (NMTABELA, NRVERSAO) SELECT '%1', 1 "
                              "WHERE NOT EXISTS (SELECT 1 FROM TABVERSAO WHERE NMTABELA = '%1')")
                   .arg(table);
    if (postgres) {
        // Statement-level: a bulk load bumps once per statement, not once per row.
        out << QStringLiteral(
            "CREATE OR REPLACE FUNCTION FN_TABVERSAO() RETURNS trigger LANGUAGE plpgsql AS $$\n"
            "BEGIN\n"
            "    UPDATE TABVERSAO SET NRVERSAO = NRVERSAO + 1 WHERE NMTABELA = TG_ARGV[0];\n"
            "    RETURN NULL;\n"
            "END\n"
            "$$");
        // No CREATE TRIGGER IF NOT EXISTS before PostgreSQL 14.
        for (const QString &table : versionedTables())
            out << QStringLiteral(
                       "DO $$ BEGIN\n"
                       "IF NOT EXISTS (SELECT 1 FROM pg_trigger WHERE tgname = 'trg_%2_versao'\n"
                       "               AND tgrelid = '%2'::regclass) THEN\n"
                       "    CREATE TRIGGER TRG_%1_VERSAO AFTER INSERT OR UPDATE OR DELETE\n"
                       "        OR TRUNCATE ON %1 FOR EACH STATEMENT\n"
                       "        EXECUTE FUNCTION FN_TABVERSAO('%1');\n"
                       "END IF;\n"
                       "END $$")
                       .arg(table, table.toLower());
        return out;
    }
    // SQLite has row triggers only. With a trigger on the table, DELETE without WHERE deletes
    // row by row, so it fires too.
    const char *const events[][2] = {{"INSERT", "INS"}, {"UPDATE", "UPD"}, {"DELETE", "DEL"}};
    for (const QString &table : versionedTables()) {
        for (const auto &event : events)
            out << QStringLiteral("CREATE TRIGGER IF NOT EXISTS TRG_%1_%2 AFTER %3 ON %1 "
                                  "BEGIN UPDATE TABVERSAO SET NRVERSAO = NRVERSAO + 1 "
                                  "WHERE NMTABELA = '%1'; END")
                       .arg(table, QLatin1String(event[1]), QLatin1String(event[0]));
    }
    return out;
}

// Version 4: a pad's sales by number. The order number is text as the operator keyed it, with
// or without leading zeros; without them, numbers compare as numbers when compared by length,
// then text. Expressions, not a CAST, so an order that is not a number never fails a query;
// the pad report writes them exactly so, for both planners to use the index.
QStringList version4(bool)
{
    return {QStringLiteral("CREATE INDEX IF NOT EXISTS IXVENDA_TALAO ON VENDA "
                           "(CDFILIAL, CDLOJA, NRSERIEVND, NRSUBSERIEVND, "
                           "LENGTH(LTRIM(NRORDEMVND, '0')), LTRIM(NRORDEMVND, '0'))")};
}

const QList<Migration> &migrations()
{
    static const QList<Migration> list = {
        {1, &version1}, {2, &version2}, {3, &version3}, {4, &version4}};
    return list;
}

} // namespace

QStringList versionedTables()
{
    return {QStringLiteral("PRODUTO"), QStringLiteral("IMPOSTO"), QStringLiteral("ALIQIMPFIS")};
}

int latestSchemaVersion()
{
    return migrations().constLast().version;
}

QList<TableDecl> tables()
{
    return version1Tables() + version2Tables();
}

bool isPostgres(const QSqlDatabase &db)
{
    return db.driverName() == QLatin1String("QPSQL");
}

void exec(QSqlDatabase db, const QString &statement)
{
    QSqlQuery q(db);
    if (!q.exec(statement))
        throw Exception(QStringLiteral("%1\n%2").arg(q.lastError().text(), statement),
                        q.lastError());
}

int schemaVersion(QSqlDatabase db)
{
    if (!temEsquemaDaLoja(db)) return 0;
    QSqlQuery q(db);
    runSql(q, QStringLiteral("SELECT MAX(NRVERSAO) FROM SCHEMAVERSION"));
    return q.next() ? q.value(0).toInt() : 0;
}

int createSchema(QSqlDatabase db)
{
    Transaction tx(db);
    const bool postgres = isPostgres(db);
    if (postgres) {
        // Two terminals creating the schema at once: the second waits for the first.
        exec(db, QStringLiteral("SELECT pg_advisory_xact_lock(7107100)"));
    }
    if (!temEsquemaDaLoja(db))
        exec(db, QStringLiteral("CREATE TABLE SCHEMAVERSION (NRVERSAO INTEGER NOT NULL "
                                "PRIMARY KEY, DTAPLICACAO %1)")
                     .arg(postgres ? QStringLiteral("TIMESTAMP(3)") : QStringLiteral("TIMESTAMP")));
    const int before = schemaVersion(db);
    for (const Migration &m : migrations()) {
        if (m.version <= before) continue;
        for (const QString &statement : m.statements(postgres))
            exec(db, statement);
        QSqlQuery q(db);
        runSqlInOrder(q,
                      QStringLiteral("INSERT INTO SCHEMAVERSION (NRVERSAO, DTAPLICACAO) "
                                     "VALUES (?, ?)"),
                      {m.version, QDateTime::currentDateTime()});
    }
    tx.commit();
    return before;
}

std::unique_ptr<DbConnection> connect(const QString &connectionString, bool create)
{
    static int counter = 0;
    QString cs = connectionString.trimmed();
    const bool server = cs.contains(QLatin1String("://")) || cs.startsWith(QLatin1String("odbc:"));
    if (!server) {
        QString path = cs.startsWith(QLatin1String("sqlite:")) ? cs.mid(7) : cs;
        if (create && path != QLatin1String(":memory:") && !QFileInfo::exists(path)) {
            QDir().mkpath(QFileInfo(path).absolutePath());
            QFile file(path);
            if (!file.open(QIODevice::WriteOnly))
                throw Exception(
                    QStringLiteral("Não foi possível criar %1: %2").arg(path, file.errorString()));
            // SQLite makes the -wal and -shm with the store's own mode.
            shareWithFolderGroup(path);
        }
        cs = QStringLiteral("sqlite:") + path;
    }
    auto connection = std::make_unique<DbConnection>(QStringLiteral("qelstore_%1").arg(++counter));
    connection->ConnectionString = cs;
    connection->setConnected(true);
    return connection;
}

void shareStore(const QString &connectionString)
{
    const QString cs = connectionString.trimmed();
    if (cs.contains(QLatin1String("://")) || cs.startsWith(QLatin1String("odbc:")))
        throw Exception(QStringLiteral("share: só um banco de dados SQLite é um arquivo: %1")
                            .arg(describeConnection(cs)));
    const QFileInfo store(cs.startsWith(QLatin1String("sqlite:")) ? cs.mid(7) : cs);
    if (!store.isFile())
        throw Exception(QStringLiteral("Banco de dados não encontrado: %1")
                            .arg(store.absoluteFilePath()));
    for (const char *suffix : {"", "-wal", "-shm", "-journal"}) {
        const QString file = store.absoluteFilePath() + QLatin1String(suffix);
        if (QFileInfo::exists(file))
            giveToFolderGroup(file);
    }
    // The folder keeps its group; its members may make the -wal and -shm in it.
    const QByteArray folder = QFile::encodeName(store.absolutePath());
    struct stat st;
    if (::stat(folder.constData(), &st) != 0
        || ::chmod(folder.constData(), (st.st_mode & 07777) | S_IRWXG | S_ISGID) != 0)
        throw Exception(QStringLiteral("Não foi possível dar ao grupo o acesso à pasta %1: %2")
                            .arg(store.absolutePath(), QString::fromLocal8Bit(strerror(errno))));
}

} // namespace Store
