#pragma once

#include <QSqlDatabase>
#include <QStringList>

// Whether recorded sales agree with their items, cash movements and cash shift, money in whole
// cents: one text per discrepancy, naming its sale; none when the store is consistent. Every
// sale in VENDA, or only the one of that branch and number.
QStringList confereVendas(const QSqlDatabase &db, const QString &filial = QString(),
                          const QString &nrSeqVenda = QString());
