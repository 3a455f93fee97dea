#pragma once

#include <QDateTime>
#include <QString>

#include <cmath>

// Conversions "by system settings": every function reads the default QLocale() at the call,
// so a test or the host may change the locale between calls.
namespace Sys {

// The largest amount (or quantity) a sale, an item or a payment may hold. Sums of such values
// keep exact cents in a double, and every store column takes them.
constexpr double MaxAmount = 1e12;
inline bool fitsAmount(double v) { return std::isfinite(v) && std::abs(v) <= MaxAmount; }

QString CurrencyString();                       // "R$" in pt_BR
QString FormatFloat(const QString &mask, double v); // masks "#,##0.00" and "0.00"
QString FloatToStr(double v);                   // shortest general form: 18 -> "18", 7.5 -> "7,5"
double StrToFloat(const QString &s);            // locale separators, thousands allowed; throws
bool TryStrToFloat(const QString &s, double &out);
int StrToInt(const QString &s);                 // throws Exception on non-numbers
QString DateToStr(const QDate &d);              // "dd/MM/yyyy" in pt_BR
QString TimeToStr(const QTime &t);              // "HH:mm:ss"
QString DateTimeToStr(const QDateTime &dt);
QDateTime StrToDate(const QString &s);          // strict; midnight; throws Exception
QDateTime StrToDateTime(const QString &s);      // date, space, time; throws Exception
// Rounded to `places` decimals on the value's decimal digits, half away from zero: 2.675 (held
// as 2.67499...) gives 2.68, as a person reading the number expects.
double RoundDecimal(double value, int places);

} // namespace Sys
