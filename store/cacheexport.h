#pragma once

// The host's "--export-caches": the six cache files beside the executable, exported from the
// store the terminal is configured for.

#include <QString>

// The store is found as the connection services find it: QEL_CONEXAO, else the first line of
// conexao.txt beside the executable, else the SQLite file Dados/loja.db beside it. The
// terminal is the store's first one. Throws Exception.
void exportCachesFromConfiguredStore(const QString &exeDir);
