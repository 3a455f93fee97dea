// Command-line tool of the store database: schema, demo restaurant, cache export, pad report.

#include "dbconnection.h"
#include "exception.h"
#include "server/rdmregvendamanual.h"
#include "store.h"
#include "talao.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QTextStream>

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

// The PostgreSQL password comes from a file or QEL_SENHA, never from the command line. It
// reaches libpq as PGPASSWORD, which libpq uses for a connection string without a password
// (as it uses PGPASSWORD or ~/.pgpass set by the caller).
void usePassword(const QString &file)
{
    QString password = qEnvironmentVariable("QEL_SENHA");
    if (!file.isEmpty()) {
        QFile f(file);
        if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
            throw Exception(QStringLiteral("--password-file %1: %2").arg(file, f.errorString()));
        password = QString::fromUtf8(f.readLine());
        while (password.endsWith(u'\n') || password.endsWith(u'\r'))
            password.chop(1);
    }
    if (!password.isEmpty())
        qputenv("PGPASSWORD", password.toUtf8());
}

// Whether the command line asks for a PDF, before the application is made: only the PDF needs
// Qt Gui (its fonts and writer), and only then is a QGuiApplication made.
bool pedePdf(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--pdf") == 0 || std::strncmp(argv[i], "--pdf=", 6) == 0)
            return true;
    }
    return false;
}

// The pad report through the server's getTalao on the store of `database`; 1 on a refusal or
// a failure, said on err.
int talao(const QString &database, const Talao::Pedido &pedido, const QString &pdf,
          QTextStream &err)
{
    // The server module connects where the terminal's would: QEL_CONEXAO.
    qputenv("QEL_CONEXAO", database.toUtf8());
    const QVariant resultado = getTalao(pedido.cdFilial, pedido.cdLoja, pedido.nrSerie,
                                        pedido.nrSubSerie, pedido.de, pedido.ate);
    delete rdmRegVendaManual;
    rdmRegVendaManual = nullptr;
    if (resultado.typeId() != qMetaTypeId<DataPacket>()) {
        err << "qelstore: " << resultado.toString() << "\n";
        return 1;
    }
    const DataPacket relatorio = resultado.value<DataPacket>();
    if (pdf.isEmpty()) {
        QFile out;
        if (!out.open(stdout, QIODevice::WriteOnly)
            || out.write(Talao::textoCsv(relatorio)) < 0 || !out.flush())
            throw Exception(QStringLiteral("saída padrão: %1").arg(out.errorString()));
    } else {
        Talao::gravaPdf(relatorio, pedido, pdf);
    }
    err << "talão " << pedido.de << " a " << pedido.ate << ": " << relatorio.rowCount()
        << " números, " << Talao::faltas(relatorio) << " em falta"
        << (pdf.isEmpty() ? QString() : QStringLiteral("; PDF em ") + pdf) << "\n";
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    const bool pdf = pedePdf(argc, argv);
    // A PDF is drawn, never shown: no display is needed, nor used when there is one.
    if (pdf && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const std::unique_ptr<QCoreApplication> app =
        pdf ? std::make_unique<QGuiApplication>(argc, argv)
            : std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("qelstore"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Store database of the manual sales register.\n"
                       "  create   create or upgrade the schema\n"
                       "  demo     create the schema and fill the demo restaurant\n"
                       "  export   write the cache files of a terminal into a directory\n"
                       "  share    give a SQLite store to the group of its folder, so every\n"
                       "           operator of the install may use it (as root)\n"
                       "  talao    the pad report: every order number from --de to --ate of a\n"
                       "           series and sub-series of a store, recorded (when, register,\n"
                       "           operator, total) or missing, as CSV on standard output or a\n"
                       "           one-page PDF (--pdf); \"0301\" is number 301, and a number\n"
                       "           recorded twice shows its earliest sale"));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("command"),
                                 QStringLiteral("create, demo, export, share or talao"));
    const QCommandLineOption database(
        QStringLiteral("database"),
        QStringLiteral("sqlite:PATH, a file path, or postgresql://user@host:port/db (the "
                       "password from --password-file, QEL_SENHA or PGPASSWORD: on the command "
                       "line ps shows it to every user)"),
        QStringLiteral("connection"));
    const QCommandLineOption passwordFile(
        QStringLiteral("password-file"),
        QStringLiteral("file whose first line is the PostgreSQL password"),
        QStringLiteral("file"));
    const QCommandLineOption products(QStringLiteral("products"),
                                      QStringLiteral("number of demo products (default 2000)"),
                                      QStringLiteral("n"), QStringLiteral("2000"));
    const QCommandLineOption seed(QStringLiteral("seed"), QStringLiteral("demo random seed"),
                                  QStringLiteral("s"), QStringLiteral("20240131"));
    const QCommandLineOption today(QStringLiteral("today"),
                                   QStringLiteral("business date of the demo (yyyy-MM-dd)"),
                                   QStringLiteral("date"));
    const QCommandLineOption dir(QStringLiteral("dir"),
                                 QStringLiteral("export: directory of the host executable"),
                                 QStringLiteral("path"));
    const QCommandLineOption filial(QStringLiteral("filial"),
                                    QStringLiteral("export, talao: branch"),
                                    QStringLiteral("code"));
    const QCommandLineOption caixa(QStringLiteral("caixa"), QStringLiteral("export: register"),
                                   QStringLiteral("code"));
    const QCommandLineOption operador(QStringLiteral("operador"),
                                      QStringLiteral("export: operator"), QStringLiteral("code"));
    const QCommandLineOption loja(QStringLiteral("loja"), QStringLiteral("talao: store"),
                                  QStringLiteral("code"));
    const QCommandLineOption serie(QStringLiteral("serie"), QStringLiteral("talao: series"),
                                   QStringLiteral("text"));
    const QCommandLineOption subserie(QStringLiteral("subserie"),
                                      QStringLiteral("talao: sub-series"), QStringLiteral("text"));
    const QCommandLineOption de(QStringLiteral("de"),
                                QStringLiteral("talao: first order number of the pad"),
                                QStringLiteral("n"));
    const QCommandLineOption ate(QStringLiteral("ate"),
                                 QStringLiteral("talao: last order number of the pad"),
                                 QStringLiteral("m"));
    const QCommandLineOption pdfFile(QStringLiteral("pdf"),
                                     QStringLiteral("talao: write a PDF page instead of CSV"),
                                     QStringLiteral("file"));
    parser.addOptions({database, passwordFile, products, seed, today, dir, filial, caixa,
                       operador, loja, serie, subserie, de, ate, pdfFile});
    parser.process(*app);

    QTextStream err(stderr);
    const QStringList args = parser.positionalArguments();
    const QString command = args.value(0);
    if (args.size() != 1 || !parser.isSet(database) ||
        !QStringList{QStringLiteral("create"), QStringLiteral("demo"), QStringLiteral("export"),
                     QStringLiteral("share"), QStringLiteral("talao")}
             .contains(command)) {
        err << parser.helpText();
        return 2;
    }
    Talao::Pedido pedido;
    if (command == QLatin1String("talao")) {
        bool ok = parser.isSet(filial) && parser.isSet(loja) && parser.isSet(serie)
                  && parser.isSet(subserie);
        pedido = {parser.value(filial), parser.value(loja), parser.value(serie),
                  parser.value(subserie), 0, 0};
        bool numero = false;
        pedido.de = parser.value(de).toLongLong(&numero);
        ok = ok && numero;
        pedido.ate = parser.value(ate).toLongLong(&numero);
        if (!ok || !numero) {
            err << "qelstore talao: --filial, --loja, --serie, --subserie, and --de and --ate as "
                   "whole numbers, are needed\n\n"
                << parser.helpText();
            return 2;
        }
    }

    try {
        if (command == QLatin1String("share")) {
            // Files only: a store nobody may write is still one to hand over.
            Store::shareStore(parser.value(database));
            return 0;
        }
        usePassword(parser.isSet(passwordFile) ? parser.value(passwordFile) : QString());
        if (command == QLatin1String("talao"))
            return talao(parser.value(database), pedido, parser.value(pdfFile), err);
        QElapsedTimer timer;
        timer.start();
        auto connection =
            Store::connect(parser.value(database), command != QLatin1String("export"));
        QSqlDatabase db = connection->database();
        if (command == QLatin1String("create")) {
            const int before = Store::createSchema(db);
            err << "schema version " << Store::latestSchemaVersion() << " (was " << before << ")\n";
        } else if (command == QLatin1String("demo")) {
            Store::DemoOptions options;
            bool ok = true;
            options.products = parser.value(products).toInt(&ok);
            if (!ok || options.products < 0)
                throw Exception(QStringLiteral("--products: número inválido"));
            options.seed = parser.value(seed).toUInt(&ok);
            if (!ok) throw Exception(QStringLiteral("--seed: número inválido"));
            if (parser.isSet(today)) {
                options.today = QDate::fromString(parser.value(today), Qt::ISODate);
                if (!options.today.isValid())
                    throw Exception(QStringLiteral("--today: data inválida"));
            }
            Store::generateDemo(db, options);
            err << "demo store with " << options.products << " products in " << timer.elapsed()
                << " ms\n";
        } else {
            if (!parser.isSet(dir)) throw Exception(QStringLiteral("export: falta --dir"));
            Store::exportCaches(
                db, parser.value(dir),
                {parser.value(filial), parser.value(caixa), parser.value(operador)});
            err << "caches written to " << parser.value(dir) << "\n";
        }
    } catch (const std::exception &e) {
        err << "qelstore: " << exceptionMessage(e) << "\n";
        return 1;
    }
    return 0;
}
