#pragma once

// Real store databases for the server tests: a fresh SQLite file, or a fresh database on the
// PostgreSQL server named by QEL_TEST_PG (started by scripts/pg).

#include "clientdataset.h"
#include "testenv.h"

#include <QString>

class DbConnection;

namespace StoreFixture {

// "sqlite" and "postgresql" rows for data-driven tests; the PostgreSQL row is skipped when
// QEL_TEST_PG is unset, and fails on CI.
void addBackendColumn();
void addBackendRows();
inline void addBackends()
{
    addBackendColumn();
    addBackendRows();
}
bool available(const QString &backend);
#define SKIP_UNAVAILABLE(backend)                                                                  \
    do {                                                                                           \
        if (!StoreFixture::available(backend))                                                    \
            SKIP_OR_FAIL_ON_CI("QEL_TEST_PG is not set (scripts/pg start)");                      \
    } while (false)

// A new empty database of the backend (no schema). The name keeps parallel test programs
// apart. Returns its connection string.
QString freshDatabase(const QString &backend, const QString &name);

// Fresh database with the schema and a small demo store (fixed date and seed).
QString freshDemoStore(const QString &backend, const QString &name, int products = 60);

// Runs SQL on the database of connectionString through its own short connection.
void execSql(const QString &connectionString, const QString &sql);

// Takes the change counters of schema version 3 (table, triggers) out of a store, leaving it
// as a store of version 2 would be.
void dropChangeCounters(const QString &connectionString);

// PostgreSQL going away and coming back: new sessions refused and the open ones closed
// (false), then accepted again (true).
void setServerUp(const QString &connectionString, bool up);

// Dataset column declarations for the loads the tests check (Decl::text, num, ...).
using namespace Decl;

} // namespace StoreFixture
