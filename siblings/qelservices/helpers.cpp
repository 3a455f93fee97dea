#include "qelservices.h"

#include "exception.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

QString Ajusta(const QString &text, int width)
{
    if (text.size() >= width)
        return text;
    return QString(width - text.size(), QLatin1Char('0')) + text;
}

// Blank counts as empty: a caption of spaces is no more an entry than an empty one.
bool EmptyString(const QString &text) { return text.trimmed().isEmpty(); }

// Rounds on the value's 15 significant decimal digits rather than on its binary expansion:
// 2.675 is stored as 2.67499999999999982236431605997495353221893310546875, which naive
// floor(x * 100 + 0.5) sends to 2.67 although every caller means the decimal 2.675.
double RoundDec(double value, int places)
{
    if (!std::isfinite(value) || places > 15 || places < -15)
        return value;
    const bool negative = value < 0;
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.14e", std::fabs(value)); // d.dddddddddddddde[+-]XX

    char digits[15];
    digits[0] = buf[0];
    for (int i = 0; i < 14; ++i)
        digits[i + 1] = buf[2 + i];
    const int exponent = std::atoi(buf + 17);

    // Significant digits that stay: those before the decimal point plus the places.
    const int keep = exponent + 1 + places;
    if (keep >= 15)
        return value;
    long long kept = 0;
    if (keep >= 0) {
        for (int i = 0; i < keep; ++i)
            kept = kept * 10 + (digits[i] - '0');
        if (digits[keep] >= '5')
            ++kept;
    }
    if (kept == 0)
        return 0.0;
    std::snprintf(buf, sizeof buf, "%llde%d", kept, -places);
    const double rounded = std::strtod(buf, nullptr);
    return negative ? -rounded : rounded;
}

QVariant iif(bool condition, const QVariant &whenTrue, const QVariant &whenFalse)
{
    return condition ? whenTrue : whenFalse;
}

void CheckResultServ(const QVariant &result, bool raise, int code)
{
    Q_UNUSED(code);
    if (!raise || result.typeId() != QMetaType::QString)
        return;
    const QString failure = result.toString();
    if (!failure.isEmpty())
        throw Exception(failure);
}

// Hook for translating a form's texts; the screens ship in their only language.
void Trad(QWidget *form) { Q_UNUSED(form); }
