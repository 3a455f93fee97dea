#include "conversions.h"

#include "exception.h"

#include <QLocale>
#include <QRegularExpression>

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

// The locale's short date format with a four-digit year: "dd/MM/yyyy" in pt_BR, "M/d/yyyy" in
// en_US (whose two-digit year would make dates ambiguous).
QString dateFormat(const QLocale &l)
{
    QString f = l.dateFormat(QLocale::ShortFormat);
    if (!f.contains(QLatin1String("yyyy")))
        f.replace(QRegularExpression(QStringLiteral("y+")), QStringLiteral("yyyy"));
    return f;
}

[[noreturn]] void notA(const char *what, const QString &s)
{
    throw Exception(QStringLiteral("'%1' não é %2 válido").arg(s, QString::fromLatin1(what)));
}

// Parses a date by the order of day, month and year in the locale's format; day and month may
// have one or two digits, the year must have four.
bool parseDate(const QString &s, QDate &out)
{
    const QString fmt = dateFormat(QLocale());
    QString order;
    QChar sep;
    for (const QChar c : fmt) {
        const QChar k = c.toLower();
        if (k == u'd' || k == u'm' || k == u'y') {
            if (!order.contains(k))
                order.append(k);
        } else if (sep.isNull() && !c.isSpace()) {
            sep = c;
        }
    }
    if (order.size() != 3 || sep.isNull())
        return false;
    const QStringList parts = s.trimmed().split(sep);
    if (parts.size() != 3)
        return false;
    int v[3] = {0, 0, 0};
    for (int i = 0; i < 3; ++i) {
        const QString &p = parts[i];
        const bool year = order[i] == u'y';
        if (p.isEmpty() || (year ? p.size() != 4 : p.size() > 2))
            return false;
        for (const QChar c : p)
            if (c < u'0' || c > u'9')
                return false;
        v[i] = p.toInt();
    }
    const int d = v[order.indexOf(u'd')], m = v[order.indexOf(u'm')], y = v[order.indexOf(u'y')];
    if (!QDate::isValid(y, m, d))
        return false;
    out = QDate(y, m, d);
    return true;
}

bool parseTime(const QString &s, QTime &out)
{
    static const QRegularExpression re(QStringLiteral("^(\\d{1,2}):(\\d{2})(?::(\\d{2}))?$"));
    const QRegularExpressionMatch m = re.match(s.trimmed());
    if (!m.hasMatch())
        return false;
    const int h = m.captured(1).toInt(), mi = m.captured(2).toInt();
    const int sec = m.captured(3).isEmpty() ? 0 : m.captured(3).toInt();
    if (!QTime::isValid(h, mi, sec))
        return false;
    out = QTime(h, mi, sec);
    return true;
}

} // namespace

namespace Sys {

QString CurrencyString()
{
    return QLocale().currencySymbol(QLocale::CurrencySymbol);
}

QString FormatFloat(const QString &mask, double v)
{
    // Digits after the point: '0' always shown, '#' only when significant.
    const qsizetype dot = mask.indexOf(u'.');
    const QString frac = dot < 0 ? QString() : mask.mid(dot + 1);
    const int minDec = int(frac.count(u'0'));
    const int maxDec = minDec + int(frac.count(u'#'));
    const bool group = mask.left(dot < 0 ? mask.size() : dot).contains(u',');
    QLocale l;
    l.setNumberOptions(group ? QLocale::DefaultNumberOptions : QLocale::OmitGroupSeparator);
    QString s = l.toString(v, 'f', maxDec);
    if (maxDec > minDec) {
        const QString point = l.decimalPoint();
        int drop = 0;
        while (drop < maxDec - minDec && s.endsWith(u'0') && !s.endsWith(point))
        {
            s.chop(1);
            ++drop;
        }
        if (s.endsWith(point))
            s.chop(point.size());
    }
    // -0,00 reads as a debt where there is none.
    if (s.startsWith(l.negativeSign()) && l.toDouble(s) == 0.0)
        s = s.mid(l.negativeSign().size());
    return s;
}

QString FloatToStr(double v)
{
    QLocale l;
    l.setNumberOptions(QLocale::OmitGroupSeparator);
    if (v == 0)
        return l.toString(0);
    const double a = std::abs(v);
    if (a >= 1e15 || a < 1e-4)
        return l.toString(v, 'g', QLocale::FloatingPointShortest);
    return l.toString(v, 'f', QLocale::FloatingPointShortest);
}

bool TryStrToFloat(const QString &s, double &out)
{
    bool ok = false;
    const double d = QLocale().toDouble(s.trimmed(), &ok);
    if (!ok || !std::isfinite(d))
        return false;
    out = d;
    return true;
}

double StrToFloat(const QString &s)
{
    double d = 0;
    if (!TryStrToFloat(s, d))
        notA("um número", s);
    return d;
}

int StrToInt(const QString &s)
{
    bool ok = false;
    const int n = s.trimmed().toInt(&ok);
    if (!ok)
        notA("um número inteiro", s);
    return n;
}

QString DateToStr(const QDate &d)
{
    return d.isValid() ? QLocale().toString(d, dateFormat(QLocale())) : QString();
}

QString TimeToStr(const QTime &t)
{
    return t.isValid() ? t.toString(QStringLiteral("HH:mm:ss")) : QString();
}

QString DateTimeToStr(const QDateTime &dt)
{
    if (!dt.isValid())
        return QString();
    // Midnight is shown as the date alone.
    if (dt.time() == QTime(0, 0))
        return DateToStr(dt.date());
    return DateToStr(dt.date()) + u' ' + TimeToStr(dt.time());
}

QDateTime StrToDate(const QString &s)
{
    QDate d;
    if (!parseDate(s, d))
        notA("uma data", s);
    return QDateTime(d, QTime(0, 0));
}

QDateTime StrToDateTime(const QString &s)
{
    const QString t = s.trimmed();
    const qsizetype space = t.indexOf(u' ');
    QDate d;
    QTime tm(0, 0);
    if (!parseDate(space < 0 ? t : t.left(space), d)
        || (space >= 0 && !parseTime(t.mid(space + 1), tm)))
        notA("uma data e hora", s);
    return QDateTime(d, tm);
}

// Rounds on the value's 15 significant decimal digits rather than on its binary expansion:
// 2.675 is stored as 2.67499999999999982236431605997495353221893310546875, which naive
// floor(x * 100 + 0.5) sends to 2.67 although every caller means the decimal 2.675.
double RoundDecimal(double value, int places)
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

} // namespace Sys
