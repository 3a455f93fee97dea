#include "regras.h"

#include "conversions.h"
#include "exception.h"

namespace Regras {

bool cabeNaColuna(const QString &valor, int largura)
{
    return largura <= 0 || valor.size() <= largura;
}

std::optional<Recusa> recusaData(const QString &texto, const QDateTime &hoje, QDateTime &data)
{
    if (texto.size() != 10)
        return Recusa::DataInvalida;
    try {
        data = Sys::StrToDate(texto);
    } catch (const Exception &) {
        return Recusa::DataInvalida;
    }
    if (data > hoje)
        return Recusa::DataMaior;
    return std::nullopt;
}

std::optional<Recusa> recusaMesa(const QString &codigo, QString &mesa)
{
    mesa = codigo.rightJustified(4, QLatin1Char('0'));
    if (codigo.isEmpty() || mesa == QLatin1String("0000")) {
        mesa.clear();
        return std::nullopt;
    }
    if (codigo.size() > 4)
        return Recusa::MesaBloqueada;
    return std::nullopt;
}

std::optional<Recusa> recusaQuantidade(double quantidade, double preco,
                                       Dinheiro::Centavos totalVenda)
{
    if (quantidade <= 0)
        return Recusa::QuantidadeZero;
    const double item = quantidade * preco;
    if (!Sys::fitsAmount(item) || !Sys::fitsAmount(item + Dinheiro::emReais(totalVenda)))
        return Recusa::QuantidadeLimite;
    return std::nullopt;
}

std::optional<Recusa> recusaValor(double valor)
{
    if (valor < 0)
        return Recusa::ValorNegativo;
    if (!Dinheiro::centavosExatos(valor))
        return Recusa::ValorCentavos;
    return std::nullopt;
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
