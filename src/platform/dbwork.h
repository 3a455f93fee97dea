#pragma once

// Work on an open database connection: the transaction guard and the statement runner every
// library of the store uses, and the check that a database is a store at all.

#include <QSqlDatabase>
#include <QString>
#include <QVariant>

class QSqlError;
class QSqlQuery;

// Commits explicitly; rolls back when left without a commit (an exception on the way), so
// every way out of a piece of work leaves nothing half written. On SQLite it takes the write
// lock at once (BEGIN IMMEDIATE): two terminals queue on the busy timeout instead of one
// failing when its read turns into a write. Begin and commit failures throw Exception.
class Transaction
{
public:
    explicit Transaction(QSqlDatabase db);
    ~Transaction();
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;
    void commit();

private:
    QSqlDatabase m_db;
    bool m_sqlite = false;
    bool m_open = false;
};

// Prepares sql on query, binds the values and runs it: by name ("F" binds ":F"), or in order
// for "?" placeholders. Throws Exception with the database's text and error on any failure.
void runSql(QSqlQuery &query, const QString &sql, const QVariantMap &named = {});
void runSqlInOrder(QSqlQuery &query, const QString &sql, const QVariantList &values);

// Whether the database holds the store's schema (its version table). Throws Exception, with
// the database's error, when it cannot even be asked (a file that is no database).
bool temEsquemaDaLoja(QSqlDatabase db);

// A database without the store's schema, or a file that is no database at all, is refused
// before anything is written to it. The message names the file (or database, as nome) and
// says what to do. Only reads: a file refused here is left exactly as it was.
void confereLoja(QSqlDatabase db, const QString &nome);

// Why the database refused a piece of work, told by its kind and code of error (SQLite's
// result code, PostgreSQL's SQLSTATE), never by its wording, which changes with the driver and
// the language. driver is the Qt driver's name ("QSQLITE", "QPSQL").
enum class RecusaDoBanco {
    Outra,          // none of these: the database's own words are all there is
    SomenteLeitura, // the store, or this account on it, may not be written
    EmUso,          // locked by another program or session
    DiscoCheio,     // no room, or the disk refuses to write
    SemTabela,      // a table or column the statements use is missing
    Danificado,     // the file or its pages are damaged
    Conexao,        // the connection was lost or never made
};
RecusaDoBanco recusaDoBanco(const QSqlError &erro, const QString &driver);
