#include "storeconnection.h"

#include "dbconnection.h"
#include "exception.h"
#include "qelservices.h"

#include <QFile>

#include <sys/stat.h>

namespace {

// The file a SQLite store was opened on. An open handle keeps reading and writing a file that
// was removed or replaced (a restored backup), so sales would go where nobody finds them.
struct Arquivo
{
    bool valido = false;
    dev_t dispositivo = 0;
    ino_t inode = 0;
};
Arquivo arquivoAberto;

Arquivo identifica(const QSqlDatabase &db)
{
    Arquivo a;
    struct stat st;
    if (db.driverName() == QLatin1String("QSQLITE")
        && ::stat(QFile::encodeName(db.databaseName()).constData(), &st) == 0) {
        a.valido = true;
        a.dispositivo = st.st_dev;
        a.inode = st.st_ino;
    }
    return a;
}

bool arquivoTrocado(const QSqlDatabase &db)
{
    if (!arquivoAberto.valido || db.driverName() != QLatin1String("QSQLITE"))
        return false;
    const Arquivo agora = identifica(db);
    return !agora.valido || agora.dispositivo != arquivoAberto.dispositivo
           || agora.inode != arquivoAberto.inode;
}

} // namespace

DbConnection &storeConnection()
{
    // Never released: it lives with the process, like the package's own connection.
    static DbConnection *connection = [] {
        auto *c = new DbConnection(QStringLiteral("screenservices"));
        c->BeforeConnect = [](DbConnection &db) {
            db.ConnectionString = _GetStringConexQel(QString());
        };
        c->AfterConnect = [](DbConnection &db) {
            arquivoAberto = identifica(db.database());
            SetADODBSession(&db);
        };
        return c;
    }();
    return *connection;
}

QSqlDatabase storeDatabase()
{
    DbConnection &c = storeConnection();
    // A store file removed or replaced under the open handle counts as gone: connect again.
    if (c.Connected() && arquivoTrocado(c.database()))
        c.setConnected(false);
    c.setConnected(true);
    return c.database();
}
