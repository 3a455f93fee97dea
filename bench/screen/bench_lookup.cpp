// Product lookup through the real screen on a demo store of 20,000 and 200,000 products
// (SQLite): time from Enter on the product field to name, price and tax on screen, first
// lookup and steady state, and the launch of the screen (InicializaForm).
//
// Each size runs in a copy of this executable in its own directory, because the screen reads
// its caches beside the executable and the screen services keep their connection for the
// life of the process.

#include "blended.h"
#include "dbconnection.h"
#include "exception.h"
#include "scriptedpresenter.h"
#include "screen/frmregvenman.h"
#include "server/rdmregvendamanual.h"
#include "store.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

#include <algorithm>
#include <ctime>

namespace {

// Typed into a field of at most 10 digits; no other code of the demo has this form.
const QString KeyboardCode = QStringLiteral("4242424242");

double cpuMs()
{
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

double median(QList<double> v)
{
    if (v.isEmpty()) return 0;
    std::sort(v.begin(), v.end());
    return v.at(v.size() / 2);
}

double p90(QList<double> v)
{
    if (v.isEmpty()) return 0;
    std::sort(v.begin(), v.end());
    return v.at(qMin(v.size() - 1, v.size() * 9 / 10));
}

QVariant scalar(QSqlDatabase db, const QString &sql)
{
    QSqlQuery q(db);
    if (!q.exec(sql) || !q.next()) throw Exception(sql + QStringLiteral(": ") + q.lastError().text());
    return q.value(0);
}

// The demo store beside the executable, its caches exported there, and the product near the
// end of the list given a keyboard code that only the last of the five searched columns holds.
QString prepareStore(int products, double &buildMs)
{
    const QString dir = QCoreApplication::applicationDirPath();
    const QString path = dir + QStringLiteral("/loja.db");
    QFile::remove(path);
    QElapsedTimer t;
    t.start();
    auto store = Store::connect(QStringLiteral("sqlite:") + path, true);
    QSqlDatabase db = store->database();
    Store::DemoOptions options;
    options.products = products;
    Store::generateDemo(db, options);
    const QString produto =
        scalar(db, "SELECT MAX(CDPRODUTO) FROM PRODUTO WHERE CDPRODUTO < '900000'").toString();
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("UPDATE PRODUTO SET CDPROTECLADO = '%1' WHERE CDPRODUTO = '%2'")
                    .arg(KeyboardCode, produto)))
        throw Exception(q.lastError().text());
    const int others = scalar(db, QStringLiteral("SELECT COUNT(*) FROM PRODUTO WHERE "
                                                 "CDPRODUTO = '%1' OR CDARVPROD = '%1' OR "
                                                 "CDBARPRODUTO = '%1' OR CDPRODINTE = '%1'")
                                      .arg(KeyboardCode))
                           .toInt();
    if (others != 0) throw Exception(QStringLiteral("código de teclado repetido"));
    Store::exportCaches(db, dir);
    buildMs = t.nsecsElapsed() / 1e6;
    qputenv("QEL_CONEXAO", (QStringLiteral("sqlite:") + path).toUtf8());
    return produto;
}

// One lookup as the operator makes it: the code in the product field, Enter.
double lookup(TfrmRegVenMan &screen, double &cpu)
{
    screen.inCampoAtual = 6;
    screen.MudaCor();
    screen.bldCodigo->setCaption(KeyboardCode);
    screen.lblProd->setText(QString());
    screen.lblImpAliq->setText(QString());
    screen.bldPrecoUn->setCaption(QString());
    QCoreApplication::processEvents();
    const double cpuStart = cpuMs();
    QElapsedTimer t;
    t.start();
    QTest::keyClick(&screen, Qt::Key_Return);
    const double ms = t.nsecsElapsed() / 1e6;
    cpu = cpuMs() - cpuStart;
    return ms;
}

void check(const TfrmRegVenMan &screen, const QString &produto, const ScriptedPresenter &boxes)
{
    if (!boxes.calls.isEmpty())
        throw Exception(QStringLiteral("mensagem na tela: ") + boxes.calls.first().text);
    if (screen.bldCodigo->Caption() != produto || screen.lblProd->text().isEmpty() ||
        screen.lblImpAliq->text().isEmpty() || screen.bldPrecoUn->Caption().isEmpty())
        throw Exception(QStringLiteral("produto não exibido (%1 | %2 | %3)")
                            .arg(screen.lblProd->text(), screen.lblImpAliq->text(),
                                 screen.bldPrecoUn->Caption()));
}

// Measures one store size in this process; prints one row of the table.
int runChild(int products, int runs)
{
    QTextStream out(stdout);
    double buildMs = 0;
    const QString produto = prepareStore(products, buildMs);
    ScriptedPresenter boxes;

    QElapsedTimer launch;
    launch.start();
    auto screen = std::make_unique<TfrmRegVenMan>(nullptr);
    const double created = launch.nsecsElapsed() / 1e6;
    screen->InicializaForm();
    const double initialised = launch.nsecsElapsed() / 1e6;
    screen->show();
    QCoreApplication::processEvents();
    const double shown = launch.nsecsElapsed() / 1e6;
    if (!boxes.calls.isEmpty())
        throw Exception(QStringLiteral("mensagem na abertura: ") + boxes.calls.first().text);

    double cpu = 0;
    const double first = lookup(*screen, cpu);
    check(*screen, produto, boxes);
    QList<double> steady, steadyCpu;
    for (int i = 0; i < runs; ++i) {
        steady << lookup(*screen, cpu);
        steadyCpu << cpu;
        check(*screen, produto, boxes);
    }

    // A tax change by another terminal between lookups: the branch is read again.
    QList<double> changed;
    DbConnection other(QStringLiteral("otherTerminal"));
    other.ConnectionString = qEnvironmentVariable("QEL_CONEXAO");
    other.setConnected(true);
    for (int i = 0; i < 5; ++i) {
        QSqlQuery q(other.database());
        if (!q.exec(QStringLiteral("UPDATE ALIQIMPFIS SET VRPEALIMPFIS = VRPEALIMPFIS "
                                   "WHERE CDFILIAL = '0001' AND CDPRODUTO = '000001'")))
            throw Exception(q.lastError().text());
        changed << lookup(*screen, cpu);
        check(*screen, produto, boxes);
    }

    out << QStringLiteral("%1 | %2 | %3 | %4 | %5 | %6 | %7 | %8 | %9\n")
               .arg(products, 8)
               .arg(buildMs / 1000, 6, 'f', 1)
               .arg(initialised - created, 8, 'f', 1)
               .arg(shown, 8, 'f', 1)
               .arg(first, 8, 'f', 1)
               .arg(median(steady), 8, 'f', 2)
               .arg(p90(steady), 6, 'f', 2)
               .arg(median(steadyCpu), 6, 'f', 2)
               .arg(median(changed), 8, 'f', 1);
    out.flush();
    screen.reset();
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption products("products", "store sizes, comma separated", "list",
                                      "20000,200000");
    const QCommandLineOption runs("runs", "steady-state lookups per size", "n", "50");
    const QCommandLineOption keep("keep", "build the stores under DIR and keep them", "dir");
    const QCommandLineOption child("child", "internal: measure one size here", "n");
    parser.addOptions({products, runs, keep, child});
    parser.process(app);
    const int runCount = qMax(1, parser.value(runs).toInt());

    try {
        if (parser.isSet(child)) return runChild(parser.value(child).toInt(), runCount);

        QTemporaryDir temp;
        const QString root = parser.isSet(keep) ? parser.value(keep) : temp.path();
        QTextStream out(stdout);
        out << "SQLite store, product found by keyboard code (5th column searched), "
            << runCount << " steady lookups; times in ms (store build in s)\n"
            << "products | build  | InicializaForm | launch-to-shown | first lookup | "
               "steady median | p90 | CPU median | after a tax change\n";
        out.flush();
        for (const QString &size : parser.value(products).split(QLatin1Char(','))) {
            const QString dir = root + QLatin1Char('/') + size.trimmed();
            QDir().mkpath(dir);
            const QString exe = dir + QStringLiteral("/bench_lookup");
            QFile::remove(exe);
            if (!QFile::copy(QCoreApplication::applicationFilePath(), exe))
                throw Exception(QStringLiteral("não foi possível copiar para ") + exe);
            QProcess p;
            p.setProcessChannelMode(QProcess::ForwardedChannels);
            p.start(exe, {QStringLiteral("--child"), size.trimmed(), QStringLiteral("--runs"),
                          QString::number(runCount)});
            if (!p.waitForFinished(-1) || p.exitCode() != 0)
                throw Exception(QStringLiteral("medição de %1 produtos falhou").arg(size));
        }
    } catch (const std::exception &e) {
        QTextStream(stderr) << "bench_lookup: " << exceptionMessage(e) << "\n";
        return 1;
    }
    return 0;
}
