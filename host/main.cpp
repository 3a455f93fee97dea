// qelpos: the small point-of-sale front end that loads the manual sales register package.
//   qelpos                 launcher window with a button that opens the screen
//   qelpos --launch        opens the screen at once and exits when it closes
//   qelpos --talao         keys a pad of slips: the screen opens again after each recorded
//                          sale with the next slip's header (with --launch or the window)
//   qelpos --export-caches writes the cache files beside the executable from the store database
//   qelpos --screenshot F  opens the screen, saves a picture of it to F and leaves
//   qelpos --help          lists the options
#include "launcher.h"

#include "dbconnection.h"
#include "exception.h"
#include "qelservices.h"
#include "store.h"

#include <QApplication>
#include <QCommandLineParser>
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
    // The options are read before the application object exists: the cache export needs no
    // display, and the display check must come before a QApplication would abort without one.
    QCoreApplication::setApplicationName(QStringLiteral("qelpos"));
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Frente de caixa com o Registro Manual de Vendas. Sem opções, abre a "
                       "janela com o botão que abre a tela."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Mostra estas opções."));
    const QCommandLineOption launch(QStringLiteral("launch"),
                                    QStringLiteral("Abre a tela de uma vez e sai quando ela fecha."));
    const QCommandLineOption exportCaches(
        QStringLiteral("export-caches"),
        QStringLiteral("Grava os arquivos de cadastro ao lado do programa a partir do banco da "
                       "loja e sai."));
    const QCommandLineOption screenshot(QStringLiteral("screenshot"),
                                        QStringLiteral("Abre a tela, grava uma imagem dela em "
                                                       "<arquivo> e sai."),
                                        QStringLiteral("arquivo"));
    const QCommandLineOption talao(
        QStringLiteral("talao"),
        QStringLiteral("Talão de notas: depois de cada venda gravada, a tela abre de novo com o "
                       "cabeçalho da nota seguinte (número de ordem mais um); ao sair, mostra "
                       "os números do talão gravados e os que faltam. Com --launch ou com a "
                       "janela."));
    parser.addOptions({help, launch, talao, exportCaches, screenshot});
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    if (!parser.parse(args)) {
        const QStringList unknown = parser.unknownOptionNames();
        return fail(unknown.isEmpty()
                        ? parser.errorText()
                        : QStringLiteral("opção desconhecida: %1 (as opções: qelpos --help).")
                              .arg(unknown.join(QStringLiteral(", "))));
    }
    if (parser.isSet(help)) {
        // No application object yet, so the parser does not know the program's name.
        QTextStream(stdout) << parser.helpText().replace(QStringLiteral("<executable_name>"),
                                                         QStringLiteral("qelpos"));
        return 0;
    }

    if (parser.isSet(exportCaches)) {
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

    if (parser.isSet(screenshot)) {
        saveScreenshotWhenShown(parser.value(screenshot));
        loader.launch();
        return 0;
    }
    if (parser.isSet(launch)) {
        if (parser.isSet(talao))
            loader.launchPad();
        else
            loader.launch();
        return 0;
    }
    LauncherWindow window(loader, parser.isSet(talao));
    window.show();
    window.activateWindow();
    return app.exec();
}
