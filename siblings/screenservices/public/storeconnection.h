#pragma once

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariant>

class DbConnection;

// The screen services' own connection to the store database, opened on first use with the
// terminal's connection string and checked again before each use, so a store that went away
// and came back is reached again without restarting the terminal.
DbConnection &storeConnection();
QSqlDatabase storeDatabase(); // connected; throws Exception when it cannot be

// Runs a prepared statement with its values bound by name; throws Exception with the
// database's text on failure.
void run(QSqlQuery &query, const QString &sql, const QVariantMap &binds = {});
