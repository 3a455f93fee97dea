#pragma once

#include "dinheiro.h"
#include "recusa.h"

#include <QDateTime>
#include <QString>

#include <optional>

// The sale rules that need no screen: what a typed value may be before it becomes part of
// the sale. Each check gives its Recusa, or nothing when the value is taken.
namespace Regras {

// Order, series and sub-series name the sale across terminals: a value longer than its
// column (width 0: no limit) would be cut, and two documents that differ past the cut would
// be taken for one.
bool cabeNaColuna(const QString &valor, int largura);

// An issue date as typed (dd/mm/yyyy): refused when it is not a date (DataInvalida) or later
// than today (DataMaior); otherwise given at midnight in `data`.
std::optional<Recusa> recusaData(const QString &texto, const QDateTime &hoje, QDateTime &data);

// A table number as keyed: none when empty or all zeros (`mesa` empty), refused past four
// digits (MesaBloqueada), else brought to four digits in `mesa` as the table list holds it.
std::optional<Recusa> recusaMesa(const QString &codigo, QString &mesa);

// A quantity of zero or below (QuantidadeZero), or one whose item, or the sale with it, would
// be worth more than any amount can hold (QuantidadeLimite).
std::optional<Recusa> recusaQuantidade(double quantidade, double preco,
                                       Dinheiro::Centavos totalVenda);

// A negative payment (ValorNegativo) or one with a fraction of a cent (ValorCentavos).
std::optional<Recusa> recusaValor(double valor);

// What is still to be paid of the sale.
Dinheiro::Centavos restante(Dinheiro::Centavos totalVenda, Dinheiro::Centavos recebido);

// Whether a payment is taken as it is: within the amounts the sale can hold and no more than
// what remains; above it the operator is offered the remainder.
bool cabeNoRestante(double valor, Dinheiro::Centavos restante);

} // namespace Regras
