#include "storedb.h"

#include "dbconnection.h"
#include "exception.h"

#include <QDir>
#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>
#include <QUrl>

namespace StoreDb {

namespace {

QString serverUrl()
{
    return qEnvironmentVariable("QEL_TEST_PG");
}

void execSql(const QString &connectionString, const QString &sql)
{
    static int counter = 0;
    DbConnection c(QStringLiteral("storedb_%1").arg(++counter));
    c.ConnectionString = connectionString;
    c.setConnected(true);
    QSqlQuery q(c.database());
    if (!q.exec(sql))
        throw Exception(q.lastError().text() + QStringLiteral(": ") + sql);
}

} // namespace

void addBackendRows()
{
    QTest::addColumn<QString>("backend");
    QTest::newRow("sqlite") << QStringLiteral("sqlite");
    QTest::newRow("postgresql") << QStringLiteral("postgresql");
}

bool available(const QString &backend)
{
    return backend != QLatin1String("postgresql") || !serverUrl().isEmpty();
}

QString fresh(const QString &backend, const QString &name)
{
    if (backend == QLatin1String("sqlite")) {
        const QString dir = QDir::currentPath() + QStringLiteral("/stores");
        QDir().mkpath(dir);
        const QString path = dir + QLatin1Char('/') + name + QStringLiteral(".db");
        for (const char *suffix : {"", "-wal", "-shm"})
            QFile::remove(path + QLatin1String(suffix));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            throw Exception(QStringLiteral("Não foi possível criar %1").arg(path));
        return QStringLiteral("sqlite:") + path;
    }
    // Two runs of one test program at once need databases of their own.
    const QString dbName = (name + qEnvironmentVariable("QEL_TEST_DB_SUFFIX")).toLower();
    execSql(serverUrl(), QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(dbName));
    execSql(serverUrl(), QStringLiteral("CREATE DATABASE %1").arg(dbName));
    QUrl url(serverUrl());
    url.setPath(QLatin1Char('/') + dbName);
    return url.toString();
}

void setServerUp(const QString &connectionString, bool up)
{
    const QString dbName = QUrl(connectionString).path().mid(1);
    execSql(serverUrl(), QStringLiteral("ALTER DATABASE %1 ALLOW_CONNECTIONS %2")
                             .arg(dbName, up ? QStringLiteral("true") : QStringLiteral("false")));
    if (!up)
        execSql(serverUrl(),
                QStringLiteral("SELECT pg_terminate_backend(pid) FROM pg_stat_activity "
                               "WHERE datname = '%1' AND pid <> pg_backend_pid()")
                    .arg(dbName));
}

} // namespace StoreDb
