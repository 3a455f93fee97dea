#pragma once

#include <QLocale>
#include <QString>

// Common set-up of the tests: Brazilian settings as the default locale, and helpers to write
// files beside the test executable (where the screen looks for its caches).
namespace TestEnv {

void usePtBr(); // QLocale::setDefault(pt_BR)
QString exeDir();
QString cadastrosDir(); // <exe>/Dados/Cadastros, created
void removeCaches();    // the parameter file and every cache file beside the executable

// Restores the default locale on destruction (data-driven locale tests).
class LocaleGuard
{
public:
    LocaleGuard() : m_saved(QLocale()) {}
    ~LocaleGuard() { QLocale::setDefault(m_saved); }

private:
    QLocale m_saved;
};

} // namespace TestEnv
