// The screen's benchmark suite: for demo stores of 2,000, 20,000 and 200,000 products, on
// SQLite and on PostgreSQL, sales keyed in through the real screen as the host opens it, one
// table out:
//   - launch: the creator called until the screen is shown and active (ready for keys), with
//     the cache files in place;
//   - product lookup: Enter on the product field until name, price and tax are on screen,
//     the first of the process and the steady state (found by keyboard code, the last of the
//     five searched columns), and after another terminal changed the tax tables;
//   - item addition: Alt+P after a lookup until the item is in the grid;
//   - recording: Alt+G on a sale of three items and one payment until the closing routine
//     returned and the creator came back with the screen closed;
//   - peak memory: the RSS high-water mark of the measuring process.
//
// The stores are built by this process; each row is then measured by a copy of this
// executable in the row's own directory, because the screen reads its caches beside the
// executable, the screen services keep their connection for the life of the process, and
// the peak memory of one store size must not include another's.

#include "blended.h"
#include "dbconnection.h"
#include "dialogosrecusados.h"
#include "exception.h"
#include "operador.h"
#include "scriptedpresenter.h"
#include "screen/frmregvenman.h"
#include "screen/globals.h"
#include "screenservices.h"
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
#include <QTextStream>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <optional>

extern "C" void CriaRegVendaManual();

namespace {

// Typed into a field of at most 10 digits; no other code of the demo has this form.
const QString KeyboardCode = QStringLiteral("4242424242");
// The two other items of each sale, present in every demo store.
const QStringList OtherItems = {QStringLiteral("000010"), QStringLiteral("000025")};

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

QVariant scalar(QSqlDatabase db, const QString &sql)
{
    QSqlQuery q(db);
    if (!q.exec(sql) || !q.next()) throw Exception(sql + QStringLiteral(": ") + q.lastError().text());
    return q.value(0);
}

void exec(QSqlDatabase db, const QString &sql)
{
    QSqlQuery q(db);
    if (!q.exec(sql)) throw Exception(sql + QStringLiteral(": ") + q.lastError().text());
}

// A short connection of its own, for what runs outside the store being measured.
void execOn(const QString &connectionString, const QString &sql)
{
    static int counter = 0;
    DbConnection c(QStringLiteral("bench_%1").arg(++counter));
    c.ConnectionString = connectionString;
    c.setConnected(true);
    exec(c.database(), sql);
}

// Drops a database of the PostgreSQL server when it is there (asking first keeps the
// server's notice about a missing one out of the output).
void dropDatabase(const QString &server, const QString &name)
{
    DbConnection c(QStringLiteral("bench_drop"));
    c.ConnectionString = server;
    c.setConnected(true);
    if (scalar(c.database(), QStringLiteral("SELECT COUNT(*) FROM pg_database WHERE datname = '%1'")
                                 .arg(name))
            .toInt() > 0)
        exec(c.database(), QStringLiteral("DROP DATABASE %1 WITH (FORCE)").arg(name));
}

QString firstLine(const QString &path, const QString &prefix)
{
    // Files of /proc report no size: read to the end, not to the size.
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return QString();
    for (const QString &line : QString::fromUtf8(f.readAll()).split(u'\n'))
        if (line.startsWith(prefix)) return line.mid(line.indexOf(u':') + 1).trimmed();
    return QString();
}

// VmHWM: the resident-set high-water mark of this process, in MB.
double peakRssMb()
{
    return firstLine(QStringLiteral("/proc/self/status"), QStringLiteral("VmHWM"))
               .section(u' ', 0, 0).toDouble() / 1024.0;
}

QString machine()
{
    const QString cpu = firstLine(QStringLiteral("/proc/cpuinfo"), QStringLiteral("model name"));
    const double ramGb =
        firstLine(QStringLiteral("/proc/meminfo"), QStringLiteral("MemTotal")).section(u' ', 0, 0)
            .toDouble() / (1024.0 * 1024.0);
    return QStringLiteral("%1, %2 cores, %3 GB RAM")
        .arg(cpu.isEmpty() ? QStringLiteral("unknown CPU") : cpu)
        .arg(QThread::idealThreadCount())
        .arg(ramGb, 0, 'f', 1);
}

QString loadAverage()
{
    QFile f(QStringLiteral("/proc/loadavg"));
    return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()).section(u' ', 0, 2)
                                       : QString();
}

// ---------------------------------------------------------------------------------------
// Stores

struct PreparedStore
{
    QString connection;
    QString produto; // the product given the keyboard code
    double buildSeconds = 0;
};

// The demo store, its caches exported into dir, and the product near the end of the list
// given a keyboard code that only the last of the five searched columns holds.
PreparedStore prepareStore(const QString &backend, int products, const QString &dir,
                           const QString &pgServer)
{
    PreparedStore s;
    QElapsedTimer t;
    t.start();
    if (backend == QLatin1String("sqlite")) {
        const QString path = dir + QStringLiteral("/loja.db");
        for (const char *suffix : {"", "-wal", "-shm", "-journal"})
            QFile::remove(path + QLatin1String(suffix));
        s.connection = QStringLiteral("sqlite:") + path;
    } else {
        const QString name = QStringLiteral("qelbench_%1").arg(products);
        dropDatabase(pgServer, name);
        execOn(pgServer, QStringLiteral("CREATE DATABASE %1").arg(name));
        QUrl url(pgServer);
        url.setPath(QLatin1Char('/') + name);
        s.connection = url.toString();
    }
    auto store = Store::connect(s.connection, true);
    QSqlDatabase db = store->database();
    Store::DemoOptions options;
    options.products = products;
    Store::generateDemo(db, options);
    s.produto =
        scalar(db, "SELECT MAX(CDPRODUTO) FROM PRODUTO WHERE CDPRODUTO < '900000'").toString();
    exec(db, QStringLiteral("UPDATE PRODUTO SET CDPROTECLADO = '%1' WHERE CDPRODUTO = '%2'")
                 .arg(KeyboardCode, s.produto));
    const int others = scalar(db, QStringLiteral("SELECT COUNT(*) FROM PRODUTO WHERE "
                                                 "CDPRODUTO = '%1' OR CDARVPROD = '%1' OR "
                                                 "CDBARPRODUTO = '%1' OR CDPRODINTE = '%1'")
                                      .arg(KeyboardCode))
                           .toInt();
    if (others != 0) throw Exception(QStringLiteral("código de teclado repetido"));
    Store::exportCaches(db, dir);
    s.buildSeconds = t.nsecsElapsed() / 1e9;
    return s;
}

// ---------------------------------------------------------------------------------------
// The measuring process

struct Figures
{
    QList<double> launch, steady, steadyCpu, changed, add, record;
    double first = -1;
};

// One sale keyed into the open screen by the operator, its steps timed; a step that does not
// show what it should throws.
class TimedSale
{
public:
    TimedSale(TfrmRegVenMan &screen, ScriptedPresenter &boxes, Figures &figures)
        : m_screen(screen), m_boxes(boxes), m_figures(figures), m_operator(&screen)
    {
    }

    // One lookup as the operator makes it: the code in the product field, Enter.
    double lookup(const QString &code, double *cpu = nullptr)
    {
        m_screen.inCampoAtual = 6;
        m_screen.MudaCor();
        m_screen.bldCodigo->setCaption(code);
        m_screen.lblProd->setText(QString());
        m_screen.lblImpAliq->setText(QString());
        m_screen.bldPrecoUn->setCaption(QString());
        QCoreApplication::processEvents();
        const double cpuStart = cpuMs();
        QElapsedTimer t;
        t.start();
        m_operator.enter();
        const double ms = t.nsecsElapsed() / 1e6;
        if (cpu) *cpu = cpuMs() - cpuStart;
        if (m_screen.lblProd->text().isEmpty() || m_screen.lblImpAliq->text().isEmpty()
            || m_screen.bldPrecoUn->Caption().isEmpty())
            fail(QStringLiteral("produto %1 não exibido").arg(code));
        return ms;
    }

    void header(int order)
    {
        m_operator.cabecalho({QString::number(order), QStringLiteral("1"), QStringLiteral("1"),
                              QStringLiteral("7"), {}, {}});
        check();
    }

    // The first lookup of the process, steady lookups, and lookups after a tax change made
    // by another terminal (the branch's tax table is read again).
    void lookups(const QString &produto, int runs)
    {
        double cpu = 0;
        m_figures.first = lookup(KeyboardCode);
        m_operator.confere(6, produto);
        check();
        for (int i = 0; i < runs; ++i) {
            m_figures.steady << lookup(KeyboardCode, &cpu);
            m_figures.steadyCpu << cpu;
        }
        DbConnection other(QStringLiteral("otherTerminal"));
        other.ConnectionString = qEnvironmentVariable("QEL_CONEXAO");
        other.setConnected(true);
        for (int i = 0; i < 3; ++i) {
            exec(other.database(), QStringLiteral("UPDATE ALIQIMPFIS SET VRPEALIMPFIS = "
                                                  "VRPEALIMPFIS WHERE CDFILIAL = '0001' AND "
                                                  "CDPRODUTO = '000001'"));
            m_figures.changed << lookup(KeyboardCode);
        }
    }

    void items()
    {
        QStringList codes = {KeyboardCode};
        codes += OtherItems;
        for (const QString &code : codes) {
            lookup(code);
            const int before = m_operator.linhas();
            QElapsedTimer t;
            t.start();
            m_operator.alt(Qt::Key_P);
            m_figures.add << t.nsecsElapsed() / 1e6;
            m_operator.confereLinhas(before + 1);
            m_operator.confere(6, QString());
            check();
        }
    }

    // From the empty product field, past the quantity, to the payment type; cash for the
    // whole total.
    void payment()
    {
        m_operator.enter();
        m_operator.enter();
        if (m_screen.inCampoAtual != 8) fail(QStringLiteral("foco fora do tipo de recebimento"));
        bool ok = false;
        const double total = QLocale().toDouble(m_screen.lblTotal->text(), &ok);
        if (!ok || total <= 0)
            fail(QStringLiteral("total da venda: ") + m_screen.lblTotal->text());
        m_operator.pagamento(
            {QStringLiteral("1"), QStringLiteral("001"), std::llround(total * 100)});
        check();
    }

    // Alt+G; the recording is timed by the caller until the creator returns.
    void record(QElapsedTimer &clock)
    {
        if (!m_boxes.calls.isEmpty())
            fail(QStringLiteral("mensagem na tela: ") + m_boxes.calls.first().text);
        clock.start();
        m_operator.grava();
    }

private:
    void check()
    {
        if (!m_operator.falhas.isEmpty()) fail(m_operator.falhas.join(QStringLiteral("; ")));
    }
    void fail(const QString &what)
    {
        QString text = what;
        if (!m_boxes.calls.isEmpty())
            text += QStringLiteral(" (mensagem: ") + m_boxes.calls.first().text + u')';
        if (!dialogosAbertos().isEmpty())
            text += QStringLiteral(" (diálogo: ") + dialogosAbertos().join(u',') + u')';
        throw Exception(text);
    }

    TfrmRegVenMan &m_screen;
    ScriptedPresenter &m_boxes;
    Figures &m_figures;
    Operador m_operator;
};

// Measures one row (store size and database) in this process; prints its figures on one
// line for the suite.
int runChild(const QString &produto, int runs, int sales)
{
    // The touch dialogs must never open: the sale is keyed in with the keyboard alone.
    TecladoNumerico = &DialogosRecusados::tecladoNumerico;
    TecladoAlfaNumerico = &DialogosRecusados::tecladoAlfaNumerico;
    TouchCalendar = &DialogosRecusados::calendario;
    Pesquisa = &DialogosRecusados::pesquisa;
    ScriptedPresenter boxes;
    Figures figures;
    QString failure;

    for (int s = 0; s < sales && failure.isEmpty(); ++s) {
        boxes.clear();
        QElapsedTimer launch, recording;
        bool recorded = false;
        // Inside the creator's modal loop: as soon as the screen is shown and active, the
        // launch is over and the sale is keyed in.
        QTimer ready;
        ready.setInterval(0);
        QObject::connect(&ready, &QTimer::timeout, [&] {
            TfrmRegVenMan *screen = frmRegVenMan;
            const bool shown = screen && screen->isVisible()
                               && QApplication::activeWindow() == screen;
            if (!shown) {
                if (launch.elapsed() > 60000) {
                    ready.stop();
                    failure = QStringLiteral("a tela não ficou pronta");
                    if (screen) screen->done(QDialog::Rejected);
                }
                return;
            }
            ready.stop();
            figures.launch << launch.nsecsElapsed() / 1e6;
            try {
                TimedSale driver(*screen, boxes, figures);
                driver.header(90000 + s);
                if (s == 0) driver.lookups(produto, runs);
                driver.items();
                driver.payment();
                driver.record(recording);
                recorded = !screen->isVisible();
                if (!recorded) throw Exception(QStringLiteral("Alt+G não fechou a tela"));
            } catch (const std::exception &e) {
                failure = exceptionMessage(e);
                if (screen->isVisible()) screen->done(QDialog::Rejected);
            }
        });
        ready.start();
        launch.start();
        CriaRegVendaManual();
        if (recorded) figures.record << recording.nsecsElapsed() / 1e6;
        ready.stop();
        if (failure.isEmpty() && boxes.texts() != QStringList{QStringLiteral("Dados gravados corretamente.")})
            failure = QStringLiteral("mensagens ao gravar: ") + boxes.texts().join(QStringLiteral(" | "));
    }
    if (!failure.isEmpty()) throw Exception(failure);

    // Every sale must be in the store, once.
    DbConnection check(QStringLiteral("check"));
    check.ConnectionString = qEnvironmentVariable("QEL_CONEXAO");
    check.setConnected(true);
    const int stored = scalar(check.database(), QStringLiteral("SELECT COUNT(*) FROM VENDA")).toInt();
    if (stored != sales)
        throw Exception(QStringLiteral("%1 vendas gravadas, esperadas %2").arg(stored).arg(sales));

    QTextStream(stdout) << "figures "
                        << QStringList{QString::number(median(figures.launch), 'f', 1),
                                       QString::number(figures.launch.value(0), 'f', 1),
                                       QString::number(figures.first, 'f', 2),
                                       QString::number(median(figures.steady), 'f', 2),
                                       QString::number(median(figures.steadyCpu), 'f', 2),
                                       QString::number(median(figures.changed), 'f', 1),
                                       QString::number(median(figures.add), 'f', 2),
                                       QString::number(median(figures.record), 'f', 1),
                                       QString::number(peakRssMb(), 'f', 0)}
                               .join(u' ')
                        << "\n";
    return 0;
}

// ---------------------------------------------------------------------------------------
// The suite

// A figure with its goal: "112 (≤ 300)" when met, "412 (≤ 300) MISSED" when not.
QString withGoal(const QString &figure, std::optional<double> goal)
{
    if (!goal) return figure;
    const bool met = figure.toDouble() <= *goal;
    return QStringLiteral("%1 (≤ %2)%3")
        .arg(figure, QString::number(*goal), met ? QString() : QStringLiteral(" MISSED"));
}

std::optional<double> launchGoal(int products)
{
    if (products == 20000) return 300;
    if (products == 200000) return 1500;
    return std::nullopt;
}

std::optional<double> lookupGoal(int products)
{
    if (products == 20000) return 16;
    if (products == 200000) return 50;
    return std::nullopt;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Launch, lookup, item addition, recording and peak memory of the sale-entry screen.");
    parser.addHelpOption();
    const QCommandLineOption products("products", "store sizes, comma separated", "list",
                                      "2000,20000,200000");
    const QCommandLineOption runs("runs", "steady-state lookups per row", "n", "30");
    const QCommandLineOption sales("sales", "sales keyed in and recorded per row", "n", "5");
    const QCommandLineOption pg("pg", "PostgreSQL server URL (default: QEL_TEST_PG)", "url",
                                qEnvironmentVariable("QEL_TEST_PG"));
    const QCommandLineOption noPg("no-pg", "SQLite rows only");
    const QCommandLineOption keep("keep", "build the stores under DIR and keep them", "dir");
    const QCommandLineOption child("child", "internal: measure one row here", "produto");
    parser.addOptions({products, runs, sales, pg, noPg, keep, child});
    parser.process(app);
    const int runCount = qMax(1, parser.value(runs).toInt());
    const int saleCount = qMax(1, parser.value(sales).toInt());

    try {
        if (parser.isSet(child)) return runChild(parser.value(child), runCount, saleCount);

        QTextStream out(stdout);
        const QString command = qEnvironmentVariable("QEL_BENCH_COMMAND",
                                                     QCoreApplication::arguments().join(u' '));
        out << "machine: " << machine() << "\n"
            << "command: " << command << "\n"
            << "load average before: " << loadAverage() << "\n"
            << "times in ms (medians; launch and recording over " << saleCount
            << " sales of 3 items and 1 payment, steady lookup over " << runCount
            << " lookups), store build in s, peak RSS in MB; goals in parentheses\n\n"
            << "| products | database | store build | launch | first launch | lookup first | lookup steady | "
               "lookup after a tax change | item addition | recording | peak RSS |\n"
            << "|---:|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n";
        out.flush();

        QStringList backends = {QStringLiteral("sqlite")};
        const QString pgServer = parser.value(pg);
        if (!parser.isSet(noPg) && !pgServer.isEmpty()) backends << QStringLiteral("postgresql");

        QTemporaryDir temp;
        const QString root = parser.isSet(keep) ? parser.value(keep) : temp.path();
        bool allRan = true;
        for (const QString &sizeText : parser.value(products).split(u',')) {
            const int size = sizeText.trimmed().toInt();
            for (const QString &backend : backends) {
                const QString dir = QStringLiteral("%1/%2-%3").arg(root, backend).arg(size);
                QDir(dir).removeRecursively();
                QDir().mkpath(dir);
                const PreparedStore store = prepareStore(backend, size, dir, pgServer);
                // A terminal's caches were exported long before the screen opens; a file
                // written in the last two seconds is parsed at every launch (see
                // DataPacket::loadFromFile), so the measurement starts once they have settled.
                QElapsedTimer settled;
                settled.start();
                while (settled.elapsed() < 2500) QThread::msleep(100);
                const QString exe = dir + QStringLiteral("/bench_lookup");
                if (!QFile::copy(QCoreApplication::applicationFilePath(), exe))
                    throw Exception(QStringLiteral("não foi possível copiar para ") + exe);
                QProcess p;
                QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
                env.insert(QStringLiteral("QEL_CONEXAO"), store.connection);
                p.setProcessEnvironment(env);
                p.setProcessChannelMode(QProcess::SeparateChannels);
                p.setReadChannel(QProcess::StandardOutput);
                p.start(exe, {QStringLiteral("--child"), store.produto, QStringLiteral("--runs"),
                              QString::number(runCount), QStringLiteral("--sales"),
                              QString::number(saleCount)});
                const bool finished = p.waitForFinished(15 * 60 * 1000);
                const QString output = QString::fromUtf8(p.readAllStandardOutput());
                const QString errors = QString::fromUtf8(p.readAllStandardError());
                QStringList f;
                for (const QString &line : output.split(u'\n'))
                    if (line.startsWith(QLatin1String("figures ")))
                        f = line.mid(8).split(u' ');
                const QString db = backend == QLatin1String("sqlite") ? QStringLiteral("SQLite")
                                                                      : QStringLiteral("PostgreSQL");
                if (!finished || p.exitCode() != 0 || f.size() != 9) {
                    allRan = false;
                    QString reason = finished ? QStringLiteral("exit %1").arg(p.exitCode())
                                              : QStringLiteral("timeout");
                    for (const QString &line : errors.split(u'\n'))
                        if (line.startsWith(QLatin1String("bench_lookup:"))) reason = line;
                    out << QStringLiteral("| %1 | %2 | failed: %3 |\n")
                               .arg(QLocale::c().toString(size), db, reason);
                    out.flush();
                    continue;
                }
                out << QStringLiteral("| %1 | %2 | %3 | %4 | %5 | %6 | %7 | %8 | %9 | ")
                           .arg(QLocale::c().toString(size), db,
                                QString::number(store.buildSeconds, 'f', 1),
                                withGoal(f[0], launchGoal(size)), withGoal(f[1], launchGoal(size)), f[2],
                                withGoal(f[3], lookupGoal(size)), f[5], f[6])
                    << QStringLiteral("%1 | %2 |\n")
                           .arg(withGoal(f[7], backend == QLatin1String("sqlite")
                                                   ? std::optional<double>(50)
                                                   : std::nullopt),
                                f[8]);
                out.flush();
                if (backend != QLatin1String("sqlite") && !parser.isSet(keep))
                    dropDatabase(pgServer, QStringLiteral("qelbench_%1").arg(size));
            }
        }
        out << "\nload average after: " << loadAverage() << "\n";
        if (backends.size() == 1)
            out << "PostgreSQL rows skipped: no server (--pg URL or QEL_TEST_PG)\n";
        return allRan ? 0 : 1;
    } catch (const std::exception &e) {
        QTextStream(stderr) << "bench_lookup: " << exceptionMessage(e) << "\n";
        return 1;
    }
}
