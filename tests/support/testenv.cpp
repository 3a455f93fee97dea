#include "testenv.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

namespace TestEnv {

void usePtBr() { QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil)); }

QString exeDir() { return QCoreApplication::applicationDirPath(); }

QString cadastrosDir()
{
    const QString dir = exeDir() + QStringLiteral("/Dados/Cadastros");
    QDir().mkpath(dir);
    return dir;
}

void removeCaches()
{
    QFile::remove(exeDir() + QStringLiteral("/PARAMETROSQEL.CDS"));
    QDir(exeDir() + QStringLiteral("/Dados/Cadastros")).removeRecursively();
}

} // namespace TestEnv
