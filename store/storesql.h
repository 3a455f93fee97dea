#pragma once

// Helpers shared by the store's own sources (not part of storelib's interface).

#include "datapacket.h"
#include "dbwork.h"
#include "store.h"

#include <QSqlDatabase>
#include <QString>
#include <QVariant>

namespace Store {

bool isPostgres(const QSqlDatabase &db);
void exec(QSqlDatabase db, const QString &statement); // throws Exception with the SQL

// Column declarations of the store's tables, as the schema writes them; the cache layouts
// are the same columns as dataset fields.
ColumnDecl text(const char *name, int size, bool notNull = false);
ColumnDecl key(const char *name, int size); // text, never null
ColumnDecl real(const char *name);
ColumnDecl integer(const char *name);
ColumnDecl date(const char *name);
ColumnDecl dateTime(const char *name, bool notNull = false);
QList<FieldDef> fieldsOf(const QList<ColumnDecl> &columns);

} // namespace Store
