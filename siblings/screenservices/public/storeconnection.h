#pragma once

#include <QSqlDatabase>
#include <QString>

class DbConnection;

// The screen services' own connection to the store database, opened on first use with the
// terminal's connection string and checked again before each use, so a store that went away
// and came back is reached again without restarting the terminal.
DbConnection &storeConnection();
QSqlDatabase storeDatabase(); // connected; throws Exception when it cannot be
