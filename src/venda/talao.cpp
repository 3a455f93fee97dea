#include "talao.h"

namespace {

bool soDigitos(const QString &texto)
{
    if (texto.isEmpty())
        return false;
    for (const QChar c : texto)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    return true;
}

// An order number as a number ("0301" is 301); 0 when it is not all digits or too long.
qint64 numero(const QString &ordem)
{
    if (!soDigitos(ordem))
        return 0;
    bool ok = false;
    const qint64 n = ordem.toLongLong(&ok);
    return ok ? n : 0;
}

} // namespace

QString Talao::proximaOrdem(const QString &ordem)
{
    if (!soDigitos(ordem))
        return QString();
    // Digit by digit from the right, so a number of any length is counted on exactly.
    QString proxima = ordem;
    for (qsizetype i = proxima.size() - 1; i >= 0; --i) {
        if (proxima[i] != QLatin1Char('9')) {
            proxima[i] = QChar(proxima[i].unicode() + 1);
            return proxima;
        }
        proxima[i] = QLatin1Char('0');
    }
    return QLatin1Char('1') + proxima;
}

void Talao::registra(const Cabecalho &gravado)
{
    // A slip of another series or sub-series begins another pad.
    if (gravado.serie != serie || gravado.subSerie != subSerie)
        de = ate = 0;
    ordem = proximaOrdem(gravado.ordem);
    serie = gravado.serie;
    subSerie = gravado.subSerie;
    data = gravado.data;
    mesa = gravado.mesa;
    gravada = true;
    if (const qint64 n = numero(gravado.ordem); n > 0) {
        de = de == 0 ? n : qMin(de, n);
        ate = qMax(ate, n);
    }
}
