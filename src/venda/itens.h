#pragma once

#include "cabecalho.h"
#include "contexto.h"
#include "dinheiro.h"
#include "recusa.h"

#include <QDateTime>
#include <QString>

#include <optional>

class ClientDataSet;

// The product the lookup found for the code on screen, priced and taxed: what one item line
// is made of besides the quantity.
struct ProdutoVendido
{
    QString codigo, nome;
    double preco = 0, desconto = 0, acrescimo = 0;
    struct Imposto
    {
        QString nome, aliquota, sigla;
    };
    std::optional<Imposto> imposto; // none when the product's tax row was not found
};

// The sale's items. The list is the working dataset of item rows (one stored row each, every
// column the closing routine stores); this type gives it its rules: numbering, amounts in
// cents, the header every row carries.
class Itens
{
public:
    explicit Itens(ClientDataSet &lista) : m_lista(lista) {}

    bool vazia() const;
    Dinheiro::Centavos total() const; // the sum of the line amounts
    int maiorNumero() const;          // the highest item number, 0 for none

    // The quantity as keyed, checked for an item of `preco`: the refusal, or nothing with the
    // quantity in `quantidade`. A text that is no number throws Exception with its message.
    std::optional<Recusa> confereQuantidade(const QString &digitada, double preco,
                                            double &quantidade) const;

    // What the rows of one item are stamped with besides the product and the header.
    struct Origem
    {
        const Contexto &contexto;
        QString operador;   // the login of the operator keying the sale
        QString observacao; // the note every manual row carries
        QDateTime agora;
    };
    // Adds the line after the current one, numbered one past the highest; returns the number
    // the new one follows, three digits ("000" for the first). A row whose building fails is
    // cancelled and the exception passed on.
    QString adiciona(const ProdutoVendido &produto, const QString &quantidadeDigitada,
                     double quantidade, const Cabecalho &cabecalho, const Origem &origem);
    // Removes the current line; the list closes once empty. The total of what remains.
    Dinheiro::Centavos cancelaAtual();
    // Every row takes the header as it stands at recording; the time of day each item was
    // keyed stays, its day becomes the sale's.
    void aplica(const Cabecalho &cabecalho);

private:
    ClientDataSet &m_lista;
};
