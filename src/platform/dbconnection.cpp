#include "dbconnection.h"

#include "exception.h"
#include "replywatch.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QTimeZone>

#include <cctype>
#include <cerrno>

#include <unistd.h>

namespace {

// "%XX" decoded where XX are two hex digits; anything else stays as typed, so a password
// written without escapes ("50%off") still works.
QString decoded(const QString &text)
{
    const QByteArray in = text.toUtf8();
    QByteArray out;
    out.reserve(in.size());
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in.at(i) == '%' && i + 2 < in.size() && isxdigit(uchar(in.at(i + 1)))
            && isxdigit(uchar(in.at(i + 2)))) {
            out.append(char(QByteArray::fromHex(in.mid(i + 1, 2)).at(0)));
            i += 2;
        } else {
            out.append(in.at(i));
        }
    }
    return QString::fromUtf8(out);
}

// A libpq connection option value, quoted when libpq would split it.
QString quotedOption(QString value)
{
    if (!value.isEmpty() && !value.contains(QRegularExpression(QStringLiteral("[\\s'\\\\]"))))
        return value;
    value.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    value.replace(QLatin1Char('\''), QStringLiteral("\\'"));
    return QLatin1Char('\'') + value + QLatin1Char('\'');
}

// ODBC "KEY=value;..." without its PWD= and Password= items; braces may hold ";".
QString odbcWithoutPassword(const QString &text)
{
    QStringList items;
    QString item;
    bool braced = false;
    for (const QChar c : text) {
        if (c == QLatin1Char('{'))
            braced = true;
        else if (c == QLatin1Char('}'))
            braced = false;
        if (c == QLatin1Char(';') && !braced) {
            items << item;
            item.clear();
        } else {
            item += c;
        }
    }
    items << item;
    QStringList kept;
    for (const QString &i : std::as_const(items)) {
        const QString key = i.section(QLatin1Char('='), 0, 0).trimmed();
        if (key.compare(QLatin1String("PWD"), Qt::CaseInsensitive) != 0
            && key.compare(QLatin1String("Password"), Qt::CaseInsensitive) != 0)
            kept << i;
    }
    return kept.join(QLatin1Char(';'));
}

// Something meant as a server address but missing its "//" ("postgresql:/u:p@host/db") would
// otherwise be shown as a file name, password and all.
QString pathShown(const QString &path)
{
    const qsizetype at = path.lastIndexOf(QLatin1Char('@'));
    const qsizetype colon = path.indexOf(QLatin1Char(':'));
    if (at < 0 || colon < 0 || colon > at)
        return path;
    return path.left(colon + 1) + QStringLiteral("…") + path.mid(at);
}

// A connection string taken apart once: what connects is what is described.
struct Target
{
    enum Kind { SQLite, PostgreSQL, Odbc, Unsupported } kind = Unsupported;
    QString shown; // describeConnection's text
    QString problem; // why it cannot be used; empty when it can
    QString path;    // SQLite
    QString odbc;    // ODBC connection text
    QString user, password, host, database;
    int port = -1;
    QStringList options; // libpq "key=value"
};

void parseServer(Target &t, const QString &scheme, const QString &rest)
{
    if (scheme.compare(QLatin1String("postgresql"), Qt::CaseInsensitive) == 0
        || scheme.compare(QLatin1String("postgres"), Qt::CaseInsensitive) == 0)
        t.kind = Target::PostgreSQL;
    else
        t.problem = QStringLiteral("tipo de conexão não suportado");
    // The last "@" ends the user part: a password typed with an "@" in it still works.
    const qsizetype at = rest.lastIndexOf(QLatin1Char('@'));
    const QString userInfo = at < 0 ? QString() : rest.left(at);
    const QString user = userInfo.section(QLatin1Char(':'), 0, 0);
    const qsizetype slash = userInfo.indexOf(QLatin1Char('/'));
    if (slash >= 0 && userInfo.indexOf(QLatin1Char('?'), slash) >= 0) {
        // A path and options before that "@": it was in an option value, which may well be a
        // password. Nothing past the user name is shown.
        t.shown = scheme + QStringLiteral("://")
                  + user.section(QRegularExpression(QStringLiteral("[@/?]")), 0, 0)
                  + QStringLiteral("@…");
        if (t.problem.isEmpty())
            t.problem = QStringLiteral("escreva %40 para um @ numa opção");
        return;
    }
    QString hostPart = rest.mid(at + 1);
    const qsizetype question = hostPart.indexOf(QLatin1Char('?'));
    const QString query = question < 0 ? QString() : hostPart.mid(question + 1);
    if (question >= 0)
        hostPart.truncate(question);
    const qsizetype pathStart = hostPart.indexOf(QLatin1Char('/'));
    const QString authority = pathStart < 0 ? hostPart : hostPart.left(pathStart);
    const QString database = pathStart < 0 ? QString() : hostPart.mid(pathStart + 1);
    QString host = authority;
    QString port;
    const qsizetype bracket = authority.indexOf(QLatin1Char(']'));
    const qsizetype colon = authority.lastIndexOf(QLatin1Char(':'));
    if (colon > bracket) {
        host = authority.left(colon);
        port = authority.mid(colon + 1);
    }
    t.shown = scheme + QStringLiteral("://") + (user.isEmpty() ? QString() : user + u'@')
              + authority + u'/' + database;
    if (t.kind != Target::PostgreSQL)
        return;

    t.user = decoded(user);
    if (userInfo.contains(QLatin1Char(':')))
        t.password = decoded(userInfo.section(QLatin1Char(':'), 1));
    t.host = decoded(host);
    if (t.host.startsWith(QLatin1Char('[')) && t.host.endsWith(QLatin1Char(']')))
        t.host = t.host.mid(1, t.host.size() - 2);
    t.database = decoded(database);
    if (t.host.isEmpty()) {
        t.problem = QStringLiteral("falta o servidor");
        return;
    }
    if (!port.isEmpty()) {
        bool ok = false;
        t.port = port.toInt(&ok);
        if (!ok || t.port < 1 || t.port > 65535) {
            t.problem = QStringLiteral("porta %1 inválida").arg(port);
            return;
        }
    }
    for (const QString &item : query.split(QLatin1Char('&'), Qt::SkipEmptyParts)) {
        const QString key = decoded(item.section(QLatin1Char('='), 0, 0));
        const QString value = decoded(item.section(QLatin1Char('='), 1));
        if (key.isEmpty() || !item.contains(QLatin1Char('='))) {
            t.problem = QStringLiteral("opção de conexão inválida");
            return;
        }
        if (key == QLatin1String("password"))
            t.password = value;
        else
            t.options << key + u'=' + quotedOption(value);
    }
}

Target parse(const QString &connectionString)
{
    Target t;
    const QString text = connectionString.trimmed();
    static const QRegularExpression server(QStringLiteral("^([A-Za-z][A-Za-z0-9+.-]*)://"));
    const QRegularExpressionMatch m = server.match(text);
    if (text.startsWith(QLatin1String("odbc:"), Qt::CaseInsensitive)) {
        t.kind = Target::Odbc;
        t.odbc = text.mid(5);
        t.shown = QStringLiteral("odbc:") + odbcWithoutPassword(t.odbc);
    } else if (m.hasMatch()) {
        parseServer(t, m.captured(1), text.mid(m.capturedLength()));
    } else {
        t.kind = Target::SQLite;
        const bool prefixed = text.startsWith(QLatin1String("sqlite:"), Qt::CaseInsensitive);
        t.path = prefixed ? text.mid(7) : text;
        t.shown = (prefixed ? QStringLiteral("sqlite:") : QString()) + pathShown(t.path);
        if (t.path.isEmpty())
            t.problem = QStringLiteral("falta o banco de dados");
    }
    return t;
}

QString invalid(const Target &t)
{
    if (t.kind == Target::Unsupported)
        return QStringLiteral("Tipo de conexão não suportado: %1 (use sqlite:CAMINHO, "
                              "postgresql://usuário@servidor:porta/banco ou odbc:DSN=...)")
            .arg(t.shown);
    return QStringLiteral("Conexão inválida (%1): %2").arg(t.problem, t.shown);
}

// Fills a Qt connection from the parse. Throws Exception for a string that cannot be used.
QSqlDatabase addDatabaseFor(const Target &t, const QString &name)
{
    if (!t.problem.isEmpty())
        throw Exception(invalid(t));
    if (t.kind == Target::PostgreSQL) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        db.setHostName(t.host);
        if (t.port > 0) db.setPort(t.port);
        db.setUserName(t.user);
        db.setPassword(t.password);
        db.setDatabaseName(t.database);
        // A dead host or a dead network must not hang the screen: give up connecting after
        // 5 s, and probe an idle session so a vanished server is noticed before it is used.
        // A server that stops answering a request is the reply watch's (replywatch.h).
        QStringList options = t.options;
        const auto byDefault = [&options](const char *key, const char *value) {
            const QString k = QLatin1String(key) + u'=';
            for (const QString &o : std::as_const(options))
                if (o.startsWith(k)) return;
            options << k + QLatin1String(value);
        };
        byDefault("connect_timeout", "5");
        byDefault("keepalives", "1");
        byDefault("keepalives_idle", "5");
        byDefault("keepalives_interval", "2");
        byDefault("keepalives_count", "3");
        byDefault("tcp_user_timeout", "7000");
        db.setConnectOptions(options.join(QLatin1Char(';')));
        return db;
    }
    if (t.kind == Target::Odbc) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), name);
        db.setDatabaseName(t.odbc);
        return db;
    }
    // Opening a missing file would silently create an empty store in which every query
    // "succeeds" with no rows; a wrong path must be an error instead.
    if (t.path != QLatin1String(":memory:") && !QFileInfo(t.path).isFile())
        throw Exception(QStringLiteral("Banco de dados não encontrado: %1").arg(t.shown));
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    db.setDatabaseName(t.path);
    // Several terminals may share one file: wait for a writer instead of failing at once.
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    return db;
}

// The driver's reason for a failed connect, said the way the operator can act on it. The
// driver's own words follow, with any password taken out.
QString connectFailure(const Target &t, QString reason)
{
    reason = reason.simplified();
    if (!t.password.isEmpty())
        reason.replace(t.password, QStringLiteral("****"));
    const QString r = reason.toLower();
    QString cause;
    if (r.contains(QLatin1String("timeout expired")))
        cause = QStringLiteral("o servidor não respondeu a tempo");
    else if (r.contains(QLatin1String("connection refused")))
        cause = QStringLiteral("o servidor não aceitou a conexão (parado ou em outra porta)");
    else if (r.contains(QLatin1String("could not translate host name")))
        cause = QStringLiteral("o servidor não foi encontrado pelo nome");
    else if (r.contains(QLatin1String("password authentication failed"))
             || r.contains(QLatin1String("no password supplied")))
        cause = QStringLiteral("usuário ou senha recusados");
    else if (r.contains(QLatin1String("does not exist")) && r.contains(QLatin1String("database")))
        cause = QStringLiteral("o banco de dados não existe no servidor");
    else if (r.contains(QLatin1String("driver not loaded")))
        cause = QStringLiteral("o driver deste tipo de banco de dados não está instalado");
    QString detail = reason.isEmpty() ? QStringLiteral("sem detalhe do driver") : reason;
    if (!cause.isEmpty())
        detail = cause + QStringLiteral(" (") + detail + u')';
    return QStringLiteral("Não foi possível conectar ao banco de dados %1: %2")
        .arg(t.shown, detail);
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

QString describeConnection(const QString &connectionString)
{
    return parse(connectionString).shown;
}

QString driverFor(const QString &connectionString)
{
    const Target t = parse(connectionString);
    if (!t.problem.isEmpty())
        return QString();
    switch (t.kind) {
    case Target::SQLite: return QStringLiteral("QSQLITE");
    case Target::PostgreSQL: return QStringLiteral("QPSQL");
    case Target::Odbc: return QStringLiteral("QODBC");
    case Target::Unsupported: break;
    }
    return QString();
}

QString unwritableStoreFile(const QString &connectionString)
{
    const Target t = parse(connectionString);
    if (t.kind != Target::SQLite || !t.problem.isEmpty() || t.path == QLatin1String(":memory:"))
        return QString();
    const QFileInfo store(t.path);
    // A read-only disk is not this account's lack of permission: the database tells that.
    const auto blocked = [](const QString &path, int mode) {
        return ::access(QFile::encodeName(path).constData(), mode) != 0 && errno != ENOENT
               && errno != EROFS;
    };
    for (const char *suffix : {"", "-wal", "-shm", "-journal"}) {
        const QString file = store.absoluteFilePath() + QLatin1String(suffix);
        if (blocked(file, R_OK | W_OK))
            return file;
    }
    const QString folder = store.absolutePath();
    return blocked(folder, W_OK | X_OK) ? folder : QString();
}

DbConnection::DbConnection(const QString &connectionName) : m_name(connectionName) {}

DbConnection::~DbConnection()
{
    drop();
}

bool DbConnection::Connected() const
{
    return m_open && !repliesCut() && QSqlDatabase::contains(m_name) &&
           QSqlDatabase::database(m_name, false).isOpen();
}

void DbConnection::setConnected(bool on)
{
    if (!on) {
        m_watch.reset();
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
    drop();
    const Target target = parse(ConnectionString);
    QSqlDatabase db = addDatabaseFor(target, m_name);
    if (!db.open()) {
        const QSqlError error = db.lastError();
        db = QSqlDatabase();
        drop();
        throw Exception(connectFailure(target, error.text()), error);
    }
    if (db.driverName() == QLatin1String("QPSQL")) useLocalTimeZone(db);
    db = QSqlDatabase();
    m_open = true;

    // A session its set-up refused (not a store, say) must not be used as if it were ready.
    try {
        if (AfterConnect) AfterConnect(*this);
    } catch (...) {
        drop();
        throw;
    }
}

QSqlDatabase DbConnection::database() const
{
    return QSqlDatabase::database(m_name, false);
}

void DbConnection::watchReplies(int msec)
{
    m_watch.reset();
    if (Connected())
        m_watch = ReplyWatch::start(database(), msec, describeConnection(ConnectionString));
}

bool DbConnection::repliesCut() const
{
    return m_watch && m_watch->cut();
}

void DbConnection::drop()
{
    m_open = false;
    m_watch.reset();
    if (QSqlDatabase::contains(m_name)) {
        QSqlDatabase::database(m_name, false).close();
        QSqlDatabase::removeDatabase(m_name);
    }
}
