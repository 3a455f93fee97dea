// qelpos: the small point-of-sale front end that loads the manual sales register package.
//   qelpos                 launcher window with a button that opens the screen
//   qelpos --launch        opens the screen at once and exits when it closes
//   qelpos --export-caches writes the cache files beside the executable from the store database
#include "launcher.h"

#if __has_include("cacheexport.h")
#include "cacheexport.h"
#define QEL_HAS_EXPORT 1
#endif

#include <QApplication>
#include <QLocale>
#include <QTextStream>
#include <cstdio>

namespace {

bool hasDisplay()
{
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        return true;
    return !qEnvironmentVariableIsEmpty("DISPLAY")
           || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

int fail(const QString &text)
{
    QTextStream(stderr) << "qelpos: " << text << Qt::endl;
    return 1;
}

} // namespace

int main(int argc, char **argv)
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);

    if (args.contains(QStringLiteral("--export-caches"))) {
        QCoreApplication app(argc, argv);
        try {
#ifdef QEL_HAS_EXPORT
            exportCachesFromConfiguredStore(QCoreApplication::applicationDirPath());
#endif
        } catch (const std::exception &e) {
            return fail(QString::fromUtf8(e.what()));
        }
        return 0;
    }

    if (!hasDisplay())
        return fail(QStringLiteral("sem tela disponível (defina DISPLAY ou QT_QPA_PLATFORM)."));

    QApplication app(argc, argv);
    QLocale::setDefault(QLocale::system().name() == QLatin1String("C")
                            ? QLocale(QLocale::Portuguese, QLocale::Brazil)
                            : QLocale::system());
    PackageLoader loader;
    if (!loader.load())
        return fail(loader.errorText());

    if (args.contains(QStringLiteral("--launch"))) {
        loader.launch();
        return 0;
    }
    LauncherWindow window(loader);
    window.show();
    window.activateWindow();
    return app.exec();
}
