#include "storeconnection.h"

#include "dbconnection.h"
#include "exception.h"
#include "qelservices.h"

#include <QSqlError>

DbConnection &storeConnection()
{
    // Never released: it lives with the process, like the package's own connection.
    static DbConnection *connection = [] {
        auto *c = new DbConnection(QStringLiteral("screenservices"));
        c->BeforeConnect = [](DbConnection &db) {
            db.ConnectionString = _GetStringConexQel(QString());
        };
        c->AfterConnect = [](DbConnection &db) { SetADODBSession(&db); };
        return c;
    }();
    return *connection;
}

QSqlDatabase storeDatabase()
{
    storeConnection().setConnected(true);
    return storeConnection().database();
}

void run(QSqlQuery &query, const QString &sql, const QVariantMap &binds)
{
    if (!query.prepare(sql))
        throw Exception(query.lastError().text().trimmed());
    for (auto it = binds.begin(); it != binds.end(); ++it)
        query.bindValue(QLatin1Char(':') + it.key(), it.value());
    if (!query.exec())
        throw Exception(query.lastError().text().trimmed());
}
