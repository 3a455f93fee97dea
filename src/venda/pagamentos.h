#pragma once

#include "dinheiro.h"
#include "recusa.h"

#include <QString>

#include <optional>

class ClientDataSet;

// The sale's payments. The list is the working dataset of payment lines (type, its kind and
// fiscal description, the value); this type gives it its rules: values in whole cents, never
// more than what remains of the sale.
class Pagamentos
{
public:
    explicit Pagamentos(ClientDataSet &lista) : m_lista(lista) {}

    // Filters of the payment-type list: the search offers the types marked to be shown; a
    // typed code is taken for those and for unmarked ones that have a fiscal payment form.
    static inline const QString FiltroPesquisa = QStringLiteral("(IDMOSTRARECE = 'S')");
    static inline const QString FiltroCodigo = QStringLiteral(
        "(IDMOSTRARECE = 'S' OR IDMOSTRARECE IS NULL) AND CDFPIMPFIS IS NOT NULL");

    bool vazia() const;
    Dinheiro::Centavos total() const; // the sum of the lines
    Dinheiro::Centavos restante(Dinheiro::Centavos totalVenda) const;

    // A value keyed for a new line, measured against what remains of a sale of `totalVenda`:
    // refused (a negative value, a fraction of a cent), taken as it is, or above the remainder,
    // when the operator may take the remainder instead.
    struct Avaliacao
    {
        std::optional<Recusa> recusa;
        bool acimaDoRestante = false;
        Dinheiro::Centavos centavos = 0; // taken; above the remainder, the remainder
    };
    Avaliacao avalia(double valor, Dinheiro::Centavos totalVenda) const;

    // Adds a line of `centavos` after the current one, for the payment type at the current row
    // of `tipos` (the payment-type list). A line whose building fails is cancelled.
    void adiciona(const QString &filial, ClientDataSet &tipos, Dinheiro::Centavos centavos);
    // Whether the current line is one a cancellation may remove (it names its type).
    bool atualCancelavel() const;
    void cancelaAtual(); // the list closes once empty

private:
    ClientDataSet &m_lista;
};
