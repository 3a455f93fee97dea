// Command-line tool of the store database: schema, demo restaurant, cache export.

#include "dbconnection.h"
#include "exception.h"
#include "store.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTextStream>

#include <cstdio>

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

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("qelstore"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Store database of the manual sales register.\n"
                       "  create   create or upgrade the schema\n"
                       "  demo     create the schema and fill the demo restaurant\n"
                       "  export   write the cache files of a terminal into a directory\n"
                       "  share    give a SQLite store to the group of its folder, so every\n"
                       "           operator of the install may use it (as root)"));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("command"),
                                 QStringLiteral("create, demo, export or share"));
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
    const QCommandLineOption filial(QStringLiteral("filial"), QStringLiteral("export: branch"),
                                    QStringLiteral("code"));
    const QCommandLineOption caixa(QStringLiteral("caixa"), QStringLiteral("export: register"),
                                   QStringLiteral("code"));
    const QCommandLineOption operador(QStringLiteral("operador"),
                                      QStringLiteral("export: operator"), QStringLiteral("code"));
    parser.addOptions(
        {database, passwordFile, products, seed, today, dir, filial, caixa, operador});
    parser.process(app);

    QTextStream err(stderr);
    const QStringList args = parser.positionalArguments();
    const QString command = args.value(0);
    if (args.size() != 1 || !parser.isSet(database) ||
        !QStringList{QStringLiteral("create"), QStringLiteral("demo"), QStringLiteral("export"),
                     QStringLiteral("share")}
             .contains(command)) {
        err << parser.helpText();
        return 2;
    }

    try {
        if (command == QLatin1String("share")) {
            // Files only: a store nobody may write is still one to hand over.
            Store::shareStore(parser.value(database));
            return 0;
        }
        usePassword(parser.isSet(passwordFile) ? parser.value(passwordFile) : QString());
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
