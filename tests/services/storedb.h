#pragma once

// Fresh store databases for the services tests: a SQLite file beside the test, or a database
// of its own on the PostgreSQL server named by QEL_TEST_PG (started by scripts/pg).

#include <QString>

namespace StoreDb {

// "sqlite" and "postgresql" rows; PostgreSQL rows skip when QEL_TEST_PG is unset.
void addBackendRows();
bool available(const QString &backend);
#define SKIP_UNAVAILABLE(backend)                                                              \
    do {                                                                                       \
        if (!StoreDb::available(backend))                                                      \
            QSKIP("QEL_TEST_PG is not set (scripts/pg start)");                                \
    } while (false)

// A new empty database (no schema); returns its connection string.
QString fresh(const QString &backend, const QString &name);

// PostgreSQL refusing new sessions and dropping the open ones (false), then back (true).
void setServerUp(const QString &connectionString, bool up);

} // namespace StoreDb
