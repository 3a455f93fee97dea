#include "qelservices.h"

#include "dbconnection.h"
#include "dbwork.h"
#include "exception.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>

namespace {

QString executableDir()
{
    // Without an application object there is no executable directory to ask for.
    if (!QCoreApplication::instance())
        return QDir::currentPath();
    return QCoreApplication::applicationDirPath();
}

QString firstLineOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return QString();
    QString line = QString::fromUtf8(file.readLine());
    if (line.startsWith(QChar(0xFEFF))) // written by an editor that adds a byte-order mark
        line.remove(0, 1);
    return line.trimmed();
}

// The deadlines of a terminal's session. On PostgreSQL a lock wait gives up first (told as a
// lock), then the server cancels a statement, then the reply watch cuts a server that has not
// answered at all; with the 5 s connect timeout of the reconnect that follows, a stalled
// server is an error on the screen in under 15 s.
constexpr int LockTimeoutMs = 5000;
constexpr int StatementTimeoutMs = 6000;
constexpr int ReplyDeadlineMs = 7000;
constexpr int BusyTimeoutMs = 5000; // SQLite: another terminal's write
constexpr int SqliteBusy = 5, SqliteLocked = 6;

void execOrThrow(QSqlDatabase &db, const QString &statement)
{
    QSqlQuery query(db);
    if (!query.exec(statement))
        throw Exception(QStringLiteral("%1: %2").arg(statement, query.lastError().text()),
                        query.lastError());
}

} // namespace

// The argument is unused: the store has a single database.
QString _GetStringConexQel(const QString &arg)
{
    Q_UNUSED(arg);
    const QString fromEnv = qEnvironmentVariable("QEL_CONEXAO").trimmed();
    if (!fromEnv.isEmpty())
        return fromEnv;
    const QString dir = executableDir();
    const QString fromFile = firstLineOf(dir + QStringLiteral("/conexao.txt"));
    if (!fromFile.isEmpty())
        return fromFile;
    return QStringLiteral("sqlite:") + dir + QStringLiteral("/Dados/loja.db");
}

void SetADODBSession(DbConnection *connection)
{
    if (!connection || !connection->Connected())
        return;
    QSqlDatabase db = connection->database();
    const QString driver = db.driverName();
    if (driver == QLatin1String("QSQLITE")) {
        // Several terminals may share one file: a writer waits for a busy lock instead of
        // failing at once, and readers do not block the writer (WAL).
        execOrThrow(db, QStringLiteral("PRAGMA busy_timeout=%1").arg(BusyTimeoutMs));
        // Before the first read: reading a store in WAL mode makes its -shm, which a process
        // that may not write the store would leave unusable to the other operators.
        const QString blocked = unwritableStoreFile(connection->ConnectionString);
        if (!blocked.isEmpty())
            throw Exception(QStringLiteral("Este usuário não pode gravar em %1, do banco de "
                                           "dados %2.")
                                .arg(blocked, describeConnection(connection->ConnectionString)));
        // Before anything is written: WAL mode is written into the file.
        confereLoja(db, db.databaseName());
        // A store still in rollback-journal mode is switched by the first terminal to
        // connect. The switch does not wait on the busy timeout: while another connection
        // writes, or when two terminals start together, SQLite refuses at once. Ask again
        // until the busy timeout is spent; by then the store is usually in WAL mode already.
        const QDeadlineTimer deadline(BusyTimeoutMs);
        for (;;) {
            QSqlQuery query(db);
            if (query.exec(QStringLiteral("PRAGMA journal_mode=WAL")))
                break;
            const int code = query.lastError().nativeErrorCode().toInt() & 0xff;
            if (deadline.hasExpired() || (code != SqliteBusy && code != SqliteLocked))
                throw Exception(QStringLiteral("PRAGMA journal_mode=WAL: %1")
                                    .arg(query.lastError().text()),
                                query.lastError());
            QThread::msleep(20);
        }
        execOrThrow(db, QStringLiteral("PRAGMA foreign_keys=ON"));
    } else if (driver == QLatin1String("QPSQL")) {
        connection->watchReplies(ReplyDeadlineMs);
        // A row locked by another terminal fails the statement instead of freezing the till,
        // and the server gives up a statement before the reply watch gives up on the server.
        execOrThrow(db, QStringLiteral("SET lock_timeout = %1").arg(LockTimeoutMs));
        execOrThrow(db, QStringLiteral("SET statement_timeout = %1").arg(StatementTimeoutMs));
        confereLoja(db, describeConnection(connection->ConnectionString));
    }
}

void TryConnect(DbConnection *connection)
{
    if (!connection)
        throw Exception(QStringLiteral("Conexão com o banco de dados não criada."));
    connection->setConnected(true);
    if (!connection->Connected())
        throw Exception(QStringLiteral("Não foi possível conectar ao banco de dados."));
}

QString ADOExceptionMessage(const Exception &error, DbConnection *connection,
                            const QString &arg)
{
    QString message = error.Message().simplified();
    if (connection && connection->repliesCut())
        message = QStringLiteral("O servidor do banco de dados %1 não respondeu a tempo e a "
                                 "operação foi interrompida; tente de novo (%2)")
                      .arg(describeConnection(connection->ConnectionString), message);
    if (connection) {
        const QSqlDatabase db = connection->database();
        const QString dbText = db.isValid() ? db.lastError().text().simplified() : QString();
        if (!dbText.isEmpty() && !message.contains(dbText))
            message = message.isEmpty() ? dbText : message + QStringLiteral(" (") + dbText
                                                       + QLatin1Char(')');
    }
    const QString context = arg.simplified();
    return context.isEmpty() ? message : context + QStringLiteral(": ") + message;
}
