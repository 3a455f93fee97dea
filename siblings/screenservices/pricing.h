#pragma once

#include <QVariant>

class ClientDataSet;

// The price of a product for the sale being keyed (values: branch, client, product, store,
// consumer, two reserved). On success cdsRetornaPreco holds the price row and the result is
// an empty text; otherwise the result is a failure code (PRECNCAD, TABENCAD, DTCLI, DTPAR,
// DTLOJ, PRECZERO, BLOQUEADO) or a database error text.
QVariant retornaPreco(const QVariant *values, int highValues, ClientDataSet *cdsRetornaPreco,
                      QVariant &output);
