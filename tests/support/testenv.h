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

// Whether the run is CI's (CI set, as .ci/run does): there nothing may pass by skipping.
inline bool onCi()
{
    const QString ci = qEnvironmentVariable("CI");
    return !ci.isEmpty() && ci != QLatin1String("0") && ci != QLatin1String("false");
}

} // namespace TestEnv

// A case that cannot run here: skipped on a developer's machine, a failure on CI.
#define SKIP_OR_FAIL_ON_CI(reason)                                                                \
    do {                                                                                          \
        if (TestEnv::onCi())                                                                      \
            QFAIL(reason " (on CI a test may not skip)");                                         \
        QSKIP(reason);                                                                            \
    } while (false)

// A case that needs the PostgreSQL server of scripts/pg (QEL_TEST_PG).
#define REQUIRE_PG()                                                                              \
    do {                                                                                          \
        if (qEnvironmentVariableIsEmpty("QEL_TEST_PG"))                                           \
            SKIP_OR_FAIL_ON_CI("QEL_TEST_PG is not set (scripts/pg start)");                      \
    } while (false)
