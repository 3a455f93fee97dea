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

// A case that needs the PostgreSQL server of scripts/pg (QEL_TEST_PG): skipped without it,
// except on CI, which must not pass by skipping.
#define REQUIRE_PG()                                                                              \
    do {                                                                                          \
        if (qEnvironmentVariableIsEmpty("QEL_TEST_PG")) {                                         \
            if (qEnvironmentVariable("CI") == QLatin1String("true"))                              \
                QFAIL("QEL_TEST_PG is not set on CI (scripts/pg start)");                         \
            QSKIP("QEL_TEST_PG is not set (scripts/pg start)");                                   \
        }                                                                                         \
    } while (false)
