// qelpos: the small point-of-sale front end that loads the manual sales register package.
//   qelpos                 launcher window with a button that opens the screen
//   qelpos --launch        opens the screen at once and exits when it closes
//   qelpos --export-caches writes the cache files beside the executable from the store database
//   qelpos --screenshot F  opens the screen, saves a picture of it to F and leaves
#include "launcher.h"

#include "dbconnection.h"
#include "exception.h"
#include "qelservices.h"
#include "store.h"

#include <QApplication>
#include <QLocale>
#include <QTimer>
#include <QWidget>
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

// Once the screen is up, saves a picture of it and ends every event loop (the screen's modal
// one included), so the launch returns without a question.
void saveScreenshotWhenShown(const QString &path)
{
    QTimer::singleShot(500, [path] {
        if (QWidget *screen = QApplication::activeModalWidget())
            screen->grab().save(path);
        QCoreApplication::exit(0);
    });
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
            const auto store = Store::connect(_GetStringConexQel(QString()));
            Store::exportCaches(store->database(), QCoreApplication::applicationDirPath());
        } catch (const std::exception &e) {
            return fail(exceptionMessage(e));
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

    const int shot = args.indexOf(QStringLiteral("--screenshot"));
    if (shot >= 0 && shot + 1 < args.size()) {
        saveScreenshotWhenShown(args[shot + 1]);
        loader.launch();
        return 0;
    }
    if (args.contains(QStringLiteral("--launch"))) {
        loader.launch();
        return 0;
    }
    LauncherWindow window(loader);
    window.show();
    window.activateWindow();
    return app.exec();
}
