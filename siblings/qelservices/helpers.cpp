#include "qelservices.h"

#include "conversions.h"
#include "exception.h"

QString Ajusta(const QString &text, int width)
{
    if (text.size() >= width)
        return text;
    return QString(width - text.size(), QLatin1Char('0')) + text;
}

// Blank counts as empty: a caption of spaces is no more an entry than an empty one.
bool EmptyString(const QString &text) { return text.trimmed().isEmpty(); }

double RoundDec(double value, int places)
{
    return Sys::RoundDecimal(value, places);
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
