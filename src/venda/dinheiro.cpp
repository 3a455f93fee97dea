#include "dinheiro.h"

#include "conversions.h"
#include "datapacket.h"

#include <cmath>

namespace Dinheiro {

Centavos emCentavos(double valor)
{
    // Beyond any amount a sale may hold (infinity included) the cents are only a bound: such a
    // value is refused wherever it can come in, and here it must not overflow.
    const double limite = Sys::MaxAmount * 1000;
    if (!(std::abs(valor) <= limite))
        return std::signbit(valor) ? -Centavos(limite) * 100 : Centavos(limite) * 100;
    return std::llround(Sys::RoundDecimal(valor, 2) * 100);
}

double emReais(Centavos centavos)
{
    return double(centavos) / 100;
}

Centavos totalDoItem(double preco, double quantidade)
{
    return emCentavos(preco * quantidade);
}

Centavos somaDaColuna(const DataPacket &linhas, const QString &coluna)
{
    Centavos soma = 0;
    const int c = linhas.indexOf(coluna);
    for (int r = 0; c >= 0 && r < linhas.rowCount(); ++r)
        soma += emCentavos(linhas.value(r, c).toDouble());
    return soma;
}

bool centavosExatos(double valor)
{
    return Sys::RoundDecimal(valor, 2) == valor;
}

QString formatado(Centavos centavos)
{
    return Sys::FormatFloat(QStringLiteral("#,##0.00"), emReais(centavos));
}

QString simples(Centavos centavos)
{
    return Sys::FloatToStr(emReais(centavos));
}

} // namespace Dinheiro
