#pragma once

#include <QString>
#include <QtGlobal>

class DataPacket;

// Money of a sale in whole cents. What the operator is shown, what is paid and what is stored
// come from the same cents: a line total is rounded to the cent when its row is built, and
// totals, remainders and comparisons are sums and differences of cents, never of doubles.
namespace Dinheiro {

using Centavos = qint64;

// The value rounded to the cent on its decimal digits (1,005 -> 101, however the double
// holds it), half away from zero.
Centavos emCentavos(double valor);
double emReais(Centavos centavos);

// Unit price times quantity, rounded to the cent: the amount of one item line.
Centavos totalDoItem(double preco, double quantidade);

// The sum of a money column over the rows of a list, each value taken in cents as its row
// shows it; a list without the column sums to nothing.
Centavos somaDaColuna(const DataPacket &linhas, const QString &coluna);

// Whether a value keyed as a payment is a whole number of cents (30,004 is not).
bool centavosExatos(double valor);

// "#,##0.00" by the system settings (1.234,50), and the plain form the total takes after an
// item is cancelled (12,5).
QString formatado(Centavos centavos);
QString simples(Centavos centavos);

} // namespace Dinheiro
