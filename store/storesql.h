#pragma once

// Helpers shared by the store's own sources (not part of storelib's interface).

#include "datapacket.h"

#include <QSqlDatabase>
#include <QString>
#include <QVariant>

namespace Store {

bool isPostgres(const QSqlDatabase &db);
void exec(QSqlDatabase db, const QString &statement); // throws Exception with the SQL

// Commits explicitly; rolls back when left without commit (an exception on the way).
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
    bool m_done = false;
};

} // namespace Store
