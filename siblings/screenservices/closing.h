#pragma once

#include <QVariant>

class ClientDataSet;

// The closing routine: stores a manual sale in the store database in one transaction (a sale
// header with a new sale number, its items and its cash movements) and refuses the same
// hand-written document twice. Returns an unassigned variant on success, the error text
// otherwise; ovFechamento receives the sale number in its first element.
QVariant concluiFechamento(ClientDataSet *const *dataSets, int highDataSets,
                           const QVariant *values, int highValues, QVariant &ovFechamento);
