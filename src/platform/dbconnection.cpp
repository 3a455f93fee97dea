#include "dbconnection.h"

#include "exception.h"

#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QTimeZone>
#include <QUrl>
#include <QUrlQuery>

namespace {

// Fills db from a connection string. Throws Exception for a form we do not know.
QSqlDatabase addDatabaseFor(const QString &connectionString, const QString &name)
{
    const QString text = connectionString.trimmed();
    if (text.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive) ||
        text.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive)) {
        const QUrl url(text);
        if (!url.isValid() || url.host().isEmpty())
            throw Exception(QStringLiteral("Conexão inválida: \"%1\"").arg(text));
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        db.setHostName(url.host());
        if (url.port() > 0) db.setPort(url.port());
        db.setUserName(url.userName(QUrl::FullyDecoded));
        db.setPassword(url.password(QUrl::FullyDecoded));
        QString dbName = url.path(QUrl::FullyDecoded);
        if (dbName.startsWith(QLatin1Char('/'))) dbName.remove(0, 1);
        db.setDatabaseName(dbName);
        // URL query items are libpq options; a dead host should not hang the screen for long.
        QStringList options;
        bool timeout = false;
        for (const auto &item : QUrlQuery(url).queryItems(QUrl::FullyDecoded)) {
            options << item.first + QLatin1Char('=') + item.second;
            timeout = timeout || item.first == QLatin1String("connect_timeout");
        }
        if (!timeout) options << QStringLiteral("connect_timeout=10");
        db.setConnectOptions(options.join(QLatin1Char(';')));
        return db;
    }
    if (text.startsWith(QLatin1String("odbc:"), Qt::CaseInsensitive)) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), name);
        db.setDatabaseName(text.mid(5));
        return db;
    }
    QString path = text;
    if (text.startsWith(QLatin1String("sqlite:"), Qt::CaseInsensitive))
        path = text.mid(7);
    else if (text.contains(QLatin1String("://")))
        throw Exception(QStringLiteral("Tipo de conexão não suportado: \"%1\"").arg(text));
    if (path.isEmpty())
        throw Exception(QStringLiteral("Conexão sem banco de dados: \"%1\"").arg(text));
    // Opening a missing file would silently create an empty store in which every query
    // "succeeds" with no rows; a wrong path must be an error instead.
    if (path != QLatin1String(":memory:") && !QFileInfo(path).isFile())
        throw Exception(QStringLiteral("Banco de dados não encontrado: %1").arg(path));
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    db.setDatabaseName(path);
    // Several terminals may share one file: wait for a writer instead of failing at once.
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    return db;
}

// PostgreSQL converts TIMESTAMP values through the session time zone; make it the machine's
// own so a date-time written here reads back as the same wall-clock time.
void useLocalTimeZone(QSqlDatabase &db)
{
    const QByteArray zone = QTimeZone::systemTimeZoneId();
    QSqlQuery q(db);
    if (!zone.isEmpty() && q.exec(QStringLiteral("SET TIME ZONE '%1'")
                                      .arg(QString::fromLatin1(zone).remove(QLatin1Char('\'')))))
        return;
    const int offset = QDateTime::currentDateTime().offsetFromUtc();
    q.exec(QStringLiteral("SET TIME ZONE INTERVAL '%1 seconds' HOUR TO MINUTE").arg(offset));
}

// True when the server still answers. Only asked of server databases: a file database does
// not go away under an open handle.
bool answers(const QSqlDatabase &db)
{
    if (!db.isOpen()) return false;
    if (db.driverName() == QLatin1String("QSQLITE")) return true;
    QSqlQuery q(db);
    return q.exec(QStringLiteral("SELECT 1"));
}

} // namespace

DbConnection::DbConnection(const QString &connectionName) : m_name(connectionName) {}

DbConnection::~DbConnection()
{
    if (QSqlDatabase::contains(m_name)) {
        {
            QSqlDatabase db = QSqlDatabase::database(m_name, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(m_name);
    }
}

bool DbConnection::Connected() const
{
    return m_open && QSqlDatabase::contains(m_name) &&
           QSqlDatabase::database(m_name, false).isOpen();
}

void DbConnection::setConnected(bool on)
{
    if (!on) {
        if (QSqlDatabase::contains(m_name)) QSqlDatabase::database(m_name, false).close();
        m_open = false;
        return;
    }
    if (Connected()) {
        // A server that dropped us (restart, terminated backend) leaves Qt's handle "open";
        // such a connection counts as closed so the next launch connects again.
        if (answers(QSqlDatabase::database(m_name, false))) return;
        setConnected(false);
    }

    if (BeforeConnect) BeforeConnect(*this);

    // A new connection string may name another driver: start from a fresh Qt connection.
    if (QSqlDatabase::contains(m_name)) QSqlDatabase::removeDatabase(m_name);
    QSqlDatabase db = addDatabaseFor(ConnectionString, m_name);
    if (!db.open()) {
        const QString reason = db.lastError().text().trimmed();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_name);
        throw Exception(QStringLiteral("Não foi possível conectar ao banco de dados: %1")
                            .arg(reason.isEmpty() ? ConnectionString : reason));
    }
    if (db.driverName() == QLatin1String("QPSQL")) useLocalTimeZone(db);
    m_open = true;

    if (AfterConnect) AfterConnect(*this);
}

QSqlDatabase DbConnection::database() const
{
    return QSqlDatabase::database(m_name, false);
}
