#include "regras.h"

#include "conversions.h"
#include "exception.h"

namespace Regras {

bool cabeNaColuna(const QString &valor, int largura)
{
    return largura <= 0 || valor.size() <= largura;
}

const char *recusaData(const QString &texto, const QDateTime &hoje, QDateTime &data)
{
    if (texto.size() != 10)
        return "DATA_INV";
    try {
        data = Sys::StrToDate(texto);
    } catch (const Exception &) {
        return "DATA_INV";
    }
    return data > hoje ? "DATA_MAIOR" : nullptr;
}

const char *recusaQuantidade(double quantidade, double preco, Dinheiro::Centavos totalVenda)
{
    if (quantidade <= 0)
        return "QUANT_ZERO";
    const double item = quantidade * preco;
    if (!Sys::fitsAmount(item) || !Sys::fitsAmount(item + Dinheiro::emReais(totalVenda)))
        return "QUANT_LIMITE";
    return nullptr;
}

const char *recusaValor(double valor)
{
    if (valor < 0)
        return "VAL_NEGATIVO";
    return Dinheiro::centavosExatos(valor) ? nullptr : "VAL_CENTAVOS";
}

Dinheiro::Centavos restante(Dinheiro::Centavos totalVenda, Dinheiro::Centavos recebido)
{
    return totalVenda - recebido;
}

bool cabeNoRestante(double valor, Dinheiro::Centavos restante)
{
    return Sys::fitsAmount(valor) && Dinheiro::emCentavos(valor) <= restante;
}

} // namespace Regras
