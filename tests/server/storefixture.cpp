#include "storefixture.h"

#include "dbconnection.h"
#include "exception.h"
#include "store.h"

#include <QDir>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTest>
#include <QUrl>

namespace StoreFixture {

namespace {

QString serverUrl()
{
    return qEnvironmentVariable("QEL_TEST_PG");
}

QString withDatabase(const QString &url, const QString &dbName)
{
    QUrl u(url);
    u.setPath(QLatin1Char('/') + dbName);
    return u.toString();
}

void run(QSqlDatabase db, const QString &sql)
{
    // Thrown, so a broken fixture stops the test function instead of running on.
    QSqlQuery q(db);
    if (!q.exec(sql)) throw Exception(q.lastError().text() + QStringLiteral(": ") + sql);
}

} // namespace

void addBackendColumn()
{
    QTest::addColumn<QString>("backend");
}

void addBackendRows()
{
    QTest::newRow("sqlite") << QStringLiteral("sqlite");
    QTest::newRow("postgresql") << QStringLiteral("postgresql");
}

bool available(const QString &backend)
{
    return backend != QLatin1String("postgresql") || !serverUrl().isEmpty();
}

QString freshDatabase(const QString &backend, const QString &name)
{
    if (backend == QLatin1String("sqlite")) {
        const QString dir = QDir::currentPath() + QStringLiteral("/stores");
        QDir().mkpath(dir);
        const QString path = dir + QLatin1Char('/') + name + QStringLiteral(".db");
        QFile::remove(path);
        QFile::remove(path + QStringLiteral("-wal"));
        QFile::remove(path + QStringLiteral("-shm"));
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        return QStringLiteral("sqlite:") + path;
    }
    // Two runs of one test program at once (ctest -j) need databases of their own.
    const QString dbName = (name + qEnvironmentVariable("QEL_TEST_DB_SUFFIX")).toLower();
    execSql(serverUrl(), QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(dbName));
    execSql(serverUrl(), QStringLiteral("CREATE DATABASE %1").arg(dbName));
    return withDatabase(serverUrl(), dbName);
}

QString freshDemoStore(const QString &backend, const QString &name, int products)
{
    const QString cs = freshDatabase(backend, name);
    auto connection = Store::connect(cs);
    Store::DemoOptions options;
    options.products = products;
    options.today = QDate::currentDate();
    Store::generateDemo(connection->database(), options);
    return cs;
}

void execSql(const QString &connectionString, const QString &sql)
{
    run(Store::connect(connectionString)->database(), sql);
}

void dropChangeCounters(const QString &connectionString)
{
    const bool postgres = connectionString.startsWith(QLatin1String("postgresql:"));
    for (const QString &table : Store::versionedTables()) {
        if (postgres) {
            execSql(connectionString,
                    QStringLiteral("DROP TRIGGER IF EXISTS TRG_%1_VERSAO ON %1").arg(table));
            continue;
        }
        for (const char *event : {"INS", "UPD", "DEL"})
            execSql(connectionString, QStringLiteral("DROP TRIGGER IF EXISTS TRG_%1_%2")
                                          .arg(table, QLatin1String(event)));
    }
    if (postgres) execSql(connectionString, QStringLiteral("DROP FUNCTION IF EXISTS FN_TABVERSAO()"));
    execSql(connectionString, QStringLiteral("DROP TABLE IF EXISTS TABVERSAO"));
    execSql(connectionString, QStringLiteral("DELETE FROM SCHEMAVERSION WHERE NRVERSAO >= 3"));
}

void setServerUp(const QString &connectionString, bool up)
{
    const QString dbName = QUrl(connectionString).path().mid(1);
    execSql(serverUrl(), QStringLiteral("ALTER DATABASE %1 ALLOW_CONNECTIONS %2")
                             .arg(dbName, up ? QStringLiteral("true") : QStringLiteral("false")));
    if (up) return;
    execSql(serverUrl(), QStringLiteral("SELECT pg_terminate_backend(pid) FROM pg_stat_activity "
                                        "WHERE datname = '%1' AND pid <> pg_backend_pid()")
                             .arg(dbName));
}

} // namespace StoreFixture
