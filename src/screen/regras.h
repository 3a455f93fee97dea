#pragma once

#include "dinheiro.h"

#include <QDateTime>
#include <QString>

// The sale rules that need no screen: what a typed value may be before it becomes part of
// the sale. Each refusal is the catalogue key of the operator's message, or null when the
// value is taken; the screen shows the message and puts the focus where it belongs.
namespace Regras {

// Order, series and sub-series name the sale across terminals: a value longer than its
// column (width 0: no limit) would be cut, and two documents that differ past the cut would
// be taken for one.
bool cabeNaColuna(const QString &valor, int largura);

// An issue date as typed (dd/mm/yyyy): refused when it is not a date ("DATA_INV") or later
// than today ("DATA_MAIOR"); otherwise given at midnight in `data`.
const char *recusaData(const QString &texto, const QDateTime &hoje, QDateTime &data);

// A quantity of zero or below ("QUANT_ZERO"), or one whose item, or the sale with it, would
// be worth more than any amount can hold ("QUANT_LIMITE").
const char *recusaQuantidade(double quantidade, double preco, Dinheiro::Centavos totalVenda);

// A negative payment ("VAL_NEGATIVO") or one with a fraction of a cent ("VAL_CENTAVOS").
const char *recusaValor(double valor);

// What is still to be paid of the sale.
Dinheiro::Centavos restante(Dinheiro::Centavos totalVenda, Dinheiro::Centavos recebido);

// Whether a payment is taken as it is: within the amounts the sale can hold and no more than
// what remains; above it the operator is offered the remainder.
bool cabeNoRestante(double valor, Dinheiro::Centavos restante);

} // namespace Regras
