#include "dbwork.h"

#include "exception.h"

#include <QSqlError>
#include <QSqlQuery>

namespace {

constexpr int SqliteCorrupt = 11, SqliteNotADatabase = 26;

bool isSqlite(const QSqlDatabase &db)
{
    return db.driverName() == QLatin1String("QSQLITE");
}

[[noreturn]] void fail(const QSqlError &error)
{
    throw Exception(error.text().trimmed(), error);
}

// One step of a transaction. On SQLite by statement: the driver's own begin is a deferred
// one, which takes the write lock only at the first write. Elsewhere through the driver.
bool step(QSqlDatabase &db, bool sqlite, const char *statement, bool (QSqlDatabase::*driver)(),
          QSqlError *error = nullptr)
{
    QSqlQuery q(db);
    const bool ok = sqlite ? q.exec(QLatin1String(statement)) : (db.*driver)();
    if (!ok && error) *error = sqlite ? q.lastError() : db.lastError();
    return ok;
}

} // namespace

Transaction::Transaction(QSqlDatabase db) : m_db(db), m_sqlite(isSqlite(db))
{
    QSqlError error;
    if (!step(m_db, m_sqlite, "BEGIN IMMEDIATE", &QSqlDatabase::transaction, &error)) fail(error);
    m_open = true;
}

Transaction::~Transaction()
{
    if (m_open) step(m_db, m_sqlite, "ROLLBACK", &QSqlDatabase::rollback);
}

void Transaction::commit()
{
    // A commit that fails leaves the guard open, so leaving its scope rolls back.
    QSqlError error;
    if (!step(m_db, m_sqlite, "COMMIT", &QSqlDatabase::commit, &error)) fail(error);
    m_open = false;
}

namespace {

template <typename Bind> void prepareBindRun(QSqlQuery &query, const QString &sql, Bind &&bind)
{
    if (!query.prepare(sql)) fail(query.lastError());
    bind();
    if (!query.exec()) fail(query.lastError());
}

} // namespace

void runSql(QSqlQuery &query, const QString &sql, const QVariantMap &named)
{
    prepareBindRun(query, sql, [&] {
        for (auto it = named.begin(); it != named.end(); ++it)
            query.bindValue(QLatin1Char(':') + it.key(), it.value());
    });
}

void runSqlInOrder(QSqlQuery &query, const QString &sql, const QVariantList &values)
{
    prepareBindRun(query, sql, [&] {
        for (const QVariant &v : values)
            query.addBindValue(v);
    });
}

bool temEsquemaDaLoja(QSqlDatabase db)
{
    QSqlQuery q(db);
    runSql(q, isSqlite(db) ? QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'table' "
                                            "AND upper(name) = 'SCHEMAVERSION'")
                           : QStringLiteral("SELECT 1 FROM information_schema.tables WHERE "
                                            "table_schema = current_schema() AND "
                                            "table_name = 'schemaversion'"));
    return q.next();
}

void confereLoja(QSqlDatabase db, const QString &nome)
{
    const bool arquivo = isSqlite(db);
    try {
        if (temEsquemaDaLoja(db)) return;
    } catch (const Exception &e) {
        const int code = e.sqlError().nativeErrorCode().toInt() & 0xff;
        if (arquivo && (code == SqliteNotADatabase || code == SqliteCorrupt))
            throw Exception(
                QStringLiteral("O arquivo %1 não é um banco de dados da loja ou está danificado. "
                               "Confira o arquivo configurado (QEL_CONEXAO ou conexao.txt), "
                               "restaure uma cópia de segurança da loja ou crie uma loja em "
                               "outro arquivo: qelstore create --database NOVO_ARQUIVO.")
                    .arg(nome),
                e.sqlError());
        throw Exception(QStringLiteral("%1: %2").arg(nome, e.Message()), e.sqlError());
    }
    const QString oQue = arquivo ? QStringLiteral("O arquivo") : QStringLiteral("O banco de dados");
    throw Exception(QStringLiteral("%1 %2 não tem as tabelas da loja. Para criá-las: "
                                   "qelstore create --database %2 (ou qelstore demo, para a "
                                   "loja de demonstração).")
                        .arg(oQue, nome));
}

RecusaDoBanco recusaDoBanco(const QSqlError &erro, const QString &driver)
{
    if (!erro.isValid())
        return RecusaDoBanco::Outra;
    const QString codigo = erro.nativeErrorCode();
    if (driver == QLatin1String("QSQLITE")) {
        // Qt's SQLite driver calls every failed step a connection error: only the code tells.
        // Its statements are fixed, so a plain SQL error at run time is a table or column the
        // store lacks.
        enum { Error = 1, Busy = 5, Locked = 6, ReadOnly = 8, IoErr = 10, Full = 13,
               CantOpen = 14 };
        switch (codigo.toInt() & 0xff) {
        case Error: return RecusaDoBanco::SemTabela;
        case Busy:
        case Locked: return RecusaDoBanco::EmUso;
        case ReadOnly: return RecusaDoBanco::SomenteLeitura;
        case IoErr:
        case Full: return RecusaDoBanco::DiscoCheio;
        case SqliteCorrupt:
        case SqliteNotADatabase: return RecusaDoBanco::Danificado;
        case CantOpen: return RecusaDoBanco::Conexao;
        default: return RecusaDoBanco::Outra;
        }
    }
    if (erro.type() == QSqlError::ConnectionError)
        return RecusaDoBanco::Conexao;
    if (driver != QLatin1String("QPSQL"))
        return RecusaDoBanco::Outra;
    // Errors of the client library itself carry no SQLSTATE: the session was lost.
    if (codigo.isEmpty() || codigo.startsWith(QLatin1String("08"))
        || codigo.startsWith(QLatin1String("57P0")))
        return RecusaDoBanco::Conexao;
    static const struct
    {
        const char *codigo;
        RecusaDoBanco recusa;
    } porCodigo[] = {
        {"25006", RecusaDoBanco::SomenteLeitura}, {"42501", RecusaDoBanco::SomenteLeitura},
        {"55P03", RecusaDoBanco::EmUso},          {"40P01", RecusaDoBanco::EmUso},
        {"53100", RecusaDoBanco::DiscoCheio},     {"58030", RecusaDoBanco::DiscoCheio},
        {"42P01", RecusaDoBanco::SemTabela},      {"42703", RecusaDoBanco::SemTabela},
        {"XX001", RecusaDoBanco::Danificado},     {"XX002", RecusaDoBanco::Danificado},
    };
    for (const auto &c : porCodigo)
        if (codigo == QLatin1String(c.codigo))
            return c.recusa;
    return RecusaDoBanco::Outra;
}
