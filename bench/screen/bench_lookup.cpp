// The screen's benchmark suite: for demo stores of 2,000, 20,000 and 200,000 products, on
// SQLite and on PostgreSQL (its fast test setting and its durable defaults), sales keyed in
// through the real screen, one table out:
//   - launch: from the start of a new process (a small host: this program, linked with the
//     package) until the screen is shown, active and has taken a key, every store size in the
//     same rounds; and until the product list is ready, when every lookup answers at once;
//   - warm launch: the creator called again in a process that already opened the screen;
//   - product lookup: Enter on the product field until name, price and tax are on screen (or
//     the code is refused), for a 13-digit code held only by the last of the five searched
//     columns, a bar code sharing its first 9 digits with a thousand others, and a code that
//     names no product; the first lookup of the process; and after a tax change;
//   - item addition: Alt+P after a lookup until the item is in the grid;
//   - recording: Alt+G on a sale of three items and one payment until the closing routine
//     returned and the creator came back with the screen closed;
//   - peak memory: the RSS high-water mark of the process that keyed the sales.
//
// The stores are built by this process; every measurement runs in a copy of this executable
// in the row's own directory, because the screen reads its caches beside the executable, the
// screen services keep their connection for the life of the process, and the peak memory of
// one store size must not include another's.

#include "blended.h"
#include "clientdataset.h"
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
#include <cstdlib>
#include <ctime>
#include <functional>
#include <optional>

extern "C" void CriaRegVendaManual();

namespace {

// The two other items of each sale, present in every demo store.
const QStringList OtherItems = {QStringLiteral("000010"), QStringLiteral("000025")};
const QString CodigoInvalido = QStringLiteral("Código do produto inválido.");

double cpuMs()
{
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// The system-wide monotonic clock, comparable between this process and its children.
qint64 monotonicNs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

QString ean13(const QString &twelveDigits)
{
    int sum = 0;
    for (int i = 0; i < 12; ++i)
        sum += twelveDigits.at(i).digitValue() * (i % 2 ? 3 : 1);
    return twelveDigits + QString::number((10 - sum % 10) % 10);
}

// The codes a lookup is timed with, and the products they name.
struct Chaves
{
    QString ultimaColuna, produtoUltima; // 13 digits, held only by CDPROTECLADO
    QString prefixo, produtoPrefixo;     // a bar code; 9 digits shared with 1,000 others
    QString ausente;                     // 13 digits, the next bar code: names nothing

    QString join() const
    {
        return QStringList{ultimaColuna, produtoUltima, prefixo, produtoPrefixo, ausente}.join(
            u',');
    }
    static Chaves split(const QString &text)
    {
        const QStringList p = text.split(u',');
        if (p.size() != 5) throw Exception(QStringLiteral("chaves: ") + text);
        return {p[0], p[1], p[2], p[3], p[4]};
    }
};

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
    Chaves chaves;
    double buildSeconds = 0;
};

// The demo store with its caches exported into dir. The last product but one is given, as
// its keyboard code (the last of the five columns searched), a 13-digit code that no other
// column of any product holds; the last product's bar code and the next one, which no
// product has, are the other two keys.
PreparedStore prepareStore(const QString &server, int products, const QString &dir,
                           const QString &database)
{
    PreparedStore s;
    QElapsedTimer t;
    t.start();
    if (server.isEmpty()) {
        const QString path = dir + QStringLiteral("/loja.db");
        for (const char *suffix : {"", "-wal", "-shm", "-journal"})
            QFile::remove(path + QLatin1String(suffix));
        s.connection = QStringLiteral("sqlite:") + path;
    } else {
        dropDatabase(server, database);
        execOn(server, QStringLiteral("CREATE DATABASE %1").arg(database));
        QUrl url(server);
        url.setPath(QLatin1Char('/') + database);
        s.connection = url.toString();
    }
    auto store = Store::connect(s.connection, true);
    QSqlDatabase db = store->database();
    Store::DemoOptions options;
    options.products = products;
    Store::generateDemo(db, options);
    const QString regular = QStringLiteral("FROM PRODUTO WHERE CDPRODUTO < '900000'");
    Chaves &k = s.chaves;
    k.produtoPrefixo = scalar(db, QStringLiteral("SELECT MAX(CDPRODUTO) ") + regular).toString();
    k.prefixo = scalar(db, QStringLiteral("SELECT CDBARPRODUTO FROM PRODUTO WHERE CDPRODUTO = '%1'")
                               .arg(k.produtoPrefixo))
                    .toString();
    k.produtoUltima = scalar(db, QStringLiteral("SELECT MAX(CDPRODUTO) ") + regular
                                     + QStringLiteral(" AND CDPRODUTO < '%1'").arg(k.produtoPrefixo))
                          .toString();
    k.ultimaColuna = ean13(QStringLiteral("7890015") + k.produtoUltima.right(5));
    k.ausente = ean13(k.prefixo.left(3) + QString::number(k.prefixo.mid(3, 9).toLongLong() + 1)
                                              .rightJustified(9, u'0'));
    exec(db, QStringLiteral("UPDATE PRODUTO SET CDPROTECLADO = '%1' WHERE CDPRODUTO = '%2'")
                 .arg(k.ultimaColuna, k.produtoUltima));
    for (const QString &code : {k.ultimaColuna, k.ausente}) {
        const int holders = scalar(db, QStringLiteral("SELECT COUNT(*) FROM PRODUTO WHERE "
                                                      "CDPRODUTO = '%1' OR CDARVPROD = '%1' OR "
                                                      "CDBARPRODUTO = '%1' OR CDPRODINTE = '%1' "
                                                      "OR CDPROTECLADO = '%1'")
                                               .arg(code))
                                .toInt();
        if (holders != (code == k.ultimaColuna ? 1 : 0))
            throw Exception(QStringLiteral("código %1 repetido").arg(code));
    }
    Store::exportCaches(db, dir);
    s.buildSeconds = t.nsecsElapsed() / 1e9;
    return s;
}

// ---------------------------------------------------------------------------------------
// The measuring process

struct Figures
{
    QList<double> warmLaunch, ultima, prefixo, ausente, steadyCpu, changed, add, record;
    double first = -1;
};

// One sale keyed into the open screen by the operator, its steps timed; a step that does not
// show what it should throws.
class TimedSale
{
public:
    TimedSale(TfrmRegVenMan &screen, ScriptedPresenter &boxes, Figures &figures)
        : m_boxes(boxes), m_figures(figures), m_operator(&screen)
    {
    }

    // One lookup: Enter round the fields to the product field, the code put in it (in its
    // caption: a 13-digit code is longer than the field takes from the keyboard), Enter,
    // until the product is on screen or, with `found` false, the code refused.
    double lookup(const QString &code, bool found = true, double *cpu = nullptr)
    {
        m_operator.vaiPara(6);
        check();
        m_operator.campo(6)->setCaption(code);
        m_boxes.clear();
        QCoreApplication::processEvents();
        const double cpuStart = cpuMs();
        QElapsedTimer t;
        t.start();
        m_operator.enter();
        const double ms = t.nsecsElapsed() / 1e6;
        if (cpu) *cpu = cpuMs() - cpuStart;
        const bool shown = !m_operator.produto().isEmpty() && !m_operator.aliquota().isEmpty()
                           && !m_operator.preco().isEmpty();
        if (found && !shown) fail(QStringLiteral("produto %1 não exibido").arg(code));
        if (!found) {
            if (shown || m_boxes.texts() != QStringList{CodigoInvalido})
                fail(QStringLiteral("código %1 não recusado").arg(code));
            m_boxes.clear();
        }
        return ms;
    }

    void header(int order)
    {
        m_operator.cabecalho({QString::number(order), QStringLiteral("1"), QStringLiteral("1"),
                              QStringLiteral("7"), {}, {}});
        check();
    }

    // The first lookup of the process, steady lookups of each key, and lookups after a tax
    // change made by another terminal.
    void lookups(const Chaves &k, int runs)
    {
        double cpu = 0;
        m_figures.first = lookup(k.ultimaColuna);
        m_operator.confere(6, k.produtoUltima);
        check();
        lookup(k.prefixo);
        m_operator.confere(6, k.produtoPrefixo);
        check();
        for (int i = 0; i < runs; ++i) {
            m_figures.ultima << lookup(k.ultimaColuna, true, &cpu);
            m_figures.steadyCpu << cpu;
            m_figures.prefixo << lookup(k.prefixo);
            m_figures.ausente << lookup(k.ausente, false);
        }
        DbConnection other(QStringLiteral("otherTerminal"));
        other.ConnectionString = qEnvironmentVariable("QEL_CONEXAO");
        other.setConnected(true);
        for (int i = 0; i < 3; ++i) {
            exec(other.database(), QStringLiteral("UPDATE ALIQIMPFIS SET VRPEALIMPFIS = "
                                                  "VRPEALIMPFIS WHERE CDFILIAL = '0001' AND "
                                                  "CDPRODUTO = '000001'"));
            m_figures.changed << lookup(k.ultimaColuna);
        }
    }

    void items(const Chaves &k)
    {
        QStringList codes = {k.ultimaColuna};
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
        if (m_operator.foco() != 8) fail(QStringLiteral("foco fora do tipo de recebimento"));
        bool ok = false;
        const double total = QLocale().toDouble(m_operator.total(), &ok);
        if (!ok || total <= 0)
            fail(QStringLiteral("total da venda: ") + m_operator.total());
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

    ScriptedPresenter &m_boxes;
    Figures &m_figures;
    Operador m_operator;
};


// Calls the creator and runs `work` inside its modal loop as soon as the screen is shown and
// active; `work` ends the modal display. Returns what went wrong, empty when nothing did.
QString withScreen(const std::function<void(TfrmRegVenMan &)> &work)
{
    QString failure;
    QElapsedTimer waited;
    QTimer ready;
    ready.setInterval(0);
    QObject::connect(&ready, &QTimer::timeout, [&] {
        TfrmRegVenMan *screen = frmRegVenMan;
        if (!(screen && screen->isVisible() && QApplication::activeWindow() == screen)) {
            if (waited.elapsed() > 60000) {
                ready.stop();
                failure = QStringLiteral("a tela não ficou pronta");
                if (screen) screen->done(QDialog::Rejected);
            }
            return;
        }
        ready.stop();
        try {
            work(*screen);
        } catch (const std::exception &e) {
            failure = exceptionMessage(e);
        }
        if (screen->isVisible()) screen->done(QDialog::Rejected);
    });
    waited.start();
    ready.start();
    CriaRegVendaManual();
    return failure;
}

// A new process's launch, as the parent measures it from the moment it started this one:
// prints the monotonic clock when the screen was shown, active and had taken a key, and when
// the product list was ready, then leaves at once.
int runLaunchChild()
{
    DialogosRecusados::instala(); // the sale is keyed in with the keyboard alone
    ScriptedPresenter boxes;
    qint64 ready = 0, listed = 0;
    const QString failure = withScreen([&](TfrmRegVenMan &screen) {
        Operador op(&screen);
        op.digita(QStringLiteral("7")); // the order number: the first field
        if (!op.confere(1, QStringLiteral("7")))
            throw Exception(op.falhas.join(QStringLiteral("; ")));
        ready = monotonicNs();
        screen.produtosProntos();
        if (screen.findChild<ClientDataSet *>(QStringLiteral("cdsValidaProd"))->IsEmpty())
            throw Exception(QStringLiteral("lista de produtos vazia"));
        listed = monotonicNs();
    });
    if (!failure.isEmpty() || !boxes.calls.isEmpty()) {
        QTextStream(stderr) << "bench_lookup: " << failure << boxes.texts().join(u'|') << "\n";
        std::_Exit(1);
    }
    QTextStream(stdout) << "launch " << ready << ' ' << listed << Qt::endl;
    // Nothing after this is measured: the process need not tidy up.
    std::_Exit(0);
}

// Measures one row (store size and database) in this process: lookups, item additions and
// recordings of `sales` sales, each sale in a launch of its own; prints its figures on one
// line for the suite.
int runChild(const Chaves &chaves, int runs, int sales)
{
    DialogosRecusados::instala(); // the sale is keyed in with the keyboard alone
    ScriptedPresenter boxes;
    Figures figures;
    QString failure;

    for (int s = 0; s < sales && failure.isEmpty(); ++s) {
        boxes.clear();
        QElapsedTimer launch, recording;
        bool recorded = false;
        launch.start();
        failure = withScreen([&](TfrmRegVenMan &screen) {
            if (s > 0) figures.warmLaunch << launch.nsecsElapsed() / 1e6;
            TimedSale driver(screen, boxes, figures);
            if (s == 0) screen.produtosProntos(); // the first lookup meets a ready list
            driver.header(90000 + s);
            if (s == 0) driver.lookups(chaves, runs);
            driver.items(chaves);
            driver.payment();
            driver.record(recording);
            recorded = !screen.isVisible();
            if (!recorded) throw Exception(QStringLiteral("Alt+G não fechou a tela"));
        });
        if (recorded) figures.record << recording.nsecsElapsed() / 1e6;
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
                        << QStringList{QString::number(median(figures.warmLaunch), 'f', 1),
                                       QString::number(figures.first, 'f', 2),
                                       QString::number(median(figures.ultima), 'f', 2),
                                       QString::number(median(figures.prefixo), 'f', 2),
                                       QString::number(median(figures.ausente), 'f', 2),
                                       QString::number(median(figures.steadyCpu), 'f', 2),
                                       QString::number(median(figures.changed), 'f', 2),
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
    if (products == 200000) return 5;
    return std::nullopt;
}

// One row of the table: a store size on one database.
struct Row
{
    int size = 0;
    QString database; // as the table names it
    QString server;   // PostgreSQL server URL; empty for SQLite
    QString dir;
    PreparedStore store;
    QList<double> launch, listed;
};

QProcessEnvironment environmentFor(const Row &row)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QEL_CONEXAO"), row.store.connection);
    return env;
}

// The reason a child failed, from its "bench_lookup:" line when it wrote one.
QString failureOf(QProcess &p, bool finished)
{
    QString reason = finished ? QStringLiteral("exit %1").arg(p.exitCode())
                              : QStringLiteral("timeout");
    for (const QString &line : QString::fromUtf8(p.readAllStandardError()).split(u'\n'))
        if (line.startsWith(QLatin1String("bench_lookup:"))) reason = line;
    return reason;
}

// One launch in a new process, timed from just before it is started.
bool measureLaunch(Row &row, QString &reason)
{
    QProcess p;
    p.setProcessEnvironment(environmentFor(row));
    const qint64 start = monotonicNs();
    p.start(row.dir + QStringLiteral("/bench_lookup"), {QStringLiteral("--launch-child")});
    const bool finished = p.waitForFinished(5 * 60 * 1000);
    const QStringList f = QString::fromUtf8(p.readAllStandardOutput()).trimmed().split(u' ');
    if (!finished || p.exitCode() != 0 || f.size() != 3 || f[0] != QLatin1String("launch")) {
        reason = failureOf(p, finished);
        return false;
    }
    row.launch << (f[1].toLongLong() - start) / 1e6;
    row.listed << (f[2].toLongLong() - start) / 1e6;
    return true;
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
    const QCommandLineOption launches("launches", "timed launches (new processes) per row", "n",
                                      "7");
    const QCommandLineOption runs("runs", "steady-state lookups per key and row", "n", "30");
    const QCommandLineOption sales("sales", "sales keyed in and recorded per row", "n", "5");
    const QCommandLineOption pg("pg", "PostgreSQL server URL, fast test setting "
                                      "(default: QEL_TEST_PG)", "url",
                                qEnvironmentVariable("QEL_TEST_PG"));
    const QCommandLineOption pgDurable("pg-durable", "PostgreSQL server URL, durable settings "
                                                     "(default: QEL_TEST_PG_DURABLE)", "url",
                                       qEnvironmentVariable("QEL_TEST_PG_DURABLE"));
    const QCommandLineOption noPg("no-pg", "SQLite rows only");
    const QCommandLineOption keep("keep", "build the stores under DIR and keep them", "dir");
    const QCommandLineOption child("child", "internal: measure one row here", "keys");
    const QCommandLineOption launchChild("launch-child", "internal: one launch");
    parser.addOptions({products, launches, runs, sales, pg, pgDurable, noPg, keep, child,
                       launchChild});
    parser.process(app);
    const int launchCount = qMax(1, parser.value(launches).toInt());
    const int runCount = qMax(1, parser.value(runs).toInt());
    const int saleCount = qMax(2, parser.value(sales).toInt());

    try {
        if (parser.isSet(launchChild)) return runLaunchChild();
        if (parser.isSet(child))
            return runChild(Chaves::split(parser.value(child)), runCount, saleCount);

        QTextStream out(stdout);
        const QString command = qEnvironmentVariable("QEL_BENCH_COMMAND",
                                                     QCoreApplication::arguments().join(u' '));
        out << "machine: " << machine() << "\n"
            << "command: " << command << "\n"
            << "load average before: " << loadAverage() << "\n";
        out.flush();

        struct Backend
        {
            QString name, server, database;
        };
        QList<Backend> backends = {{QStringLiteral("SQLite"), {}, {}}};
        if (!parser.isSet(noPg)) {
            if (!parser.value(pg).isEmpty())
                backends.append({QStringLiteral("PostgreSQL, fsync off"), parser.value(pg),
                                 QStringLiteral("qelbench")});
            if (!parser.value(pgDurable).isEmpty())
                backends.append({QStringLiteral("PostgreSQL, durable"), parser.value(pgDurable),
                                 QStringLiteral("qelbench")});
        }

        QTemporaryDir temp;
        const QString root = parser.isSet(keep) ? parser.value(keep) : temp.path();
        QList<int> sizes;
        for (const QString &sizeText : parser.value(products).split(u','))
            sizes << sizeText.trimmed().toInt();
        QList<Row> rows;
        for (int size : sizes) {
            for (int b = 0; b < backends.size(); ++b) {
                Row row;
                row.size = size;
                row.database = backends[b].name;
                row.server = backends[b].server;
                row.dir = QStringLiteral("%1/%2-%3").arg(root).arg(b).arg(size);
                QDir(row.dir).removeRecursively();
                QDir().mkpath(row.dir);
                row.store = prepareStore(row.server, size, row.dir,
                                         QStringLiteral("qelbench_%1").arg(size));
                if (!QFile::copy(QCoreApplication::applicationFilePath(),
                                 row.dir + QStringLiteral("/bench_lookup")))
                    throw Exception(QStringLiteral("não foi possível copiar para ") + row.dir);
                rows << row;
            }
        }

        // Launches in rounds over every row, so that the store sizes meet the same machine;
        // the first round (executable and caches read from disk for the first time) is not
        // counted.
        QStringList failures(rows.size());
        for (int round = 0; round <= launchCount; ++round) {
            for (int i = 0; i < rows.size(); ++i) {
                if (!failures[i].isEmpty()) continue;
                Row &row = rows[i];
                const int before = int(row.launch.size());
                if (!measureLaunch(row, failures[i])) continue;
                if (round == 0) {
                    row.launch.resize(before);
                    row.listed.resize(before);
                }
            }
        }

        out << "times in ms, medians: launch and product list ready over " << launchCount
            << " new processes per row (taken in rounds over all rows, after one round not "
               "counted); warm launch over "
            << saleCount - 1 << " launches after the first in one process; lookups over "
            << runCount << " per key; item addition over " << 3 * saleCount
            << "; recording over " << saleCount
            << " sales of 3 items and 1 payment. Store build in s, peak RSS in MB; goals in "
               "parentheses\n\n"
            << "| products | database | store build | launch | product list ready | warm launch "
               "| lookup first | lookup 13 digits, last column | lookup bar code, shared prefix | "
               "lookup no such code | lookup after a tax change | item addition | recording | "
               "peak RSS |\n"
            << "|---:|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n";
        out.flush();

        bool allRan = true;
        for (int i = 0; i < rows.size(); ++i) {
            Row &row = rows[i];
            const QString size = QLocale::c().toString(row.size);
            if (!failures[i].isEmpty()) {
                allRan = false;
                out << QStringLiteral("| %1 | %2 | failed: %3 |\n").arg(size, row.database, failures[i]);
                continue;
            }
            QProcess p;
            p.setProcessEnvironment(environmentFor(row));
            p.start(row.dir + QStringLiteral("/bench_lookup"),
                    {QStringLiteral("--child"), row.store.chaves.join(), QStringLiteral("--runs"),
                     QString::number(runCount), QStringLiteral("--sales"),
                     QString::number(saleCount)});
            const bool finished = p.waitForFinished(15 * 60 * 1000);
            QStringList f;
            for (const QString &line : QString::fromUtf8(p.readAllStandardOutput()).split(u'\n'))
                if (line.startsWith(QLatin1String("figures "))) f = line.mid(8).split(u' ');
            if (!finished || p.exitCode() != 0 || f.size() != 10) {
                allRan = false;
                out << QStringLiteral("| %1 | %2 | failed: %3 |\n")
                           .arg(size, row.database, failureOf(p, finished));
                out.flush();
                continue;
            }
            const auto ms = [](double v) { return QString::number(v, 'f', 1); };
            const std::optional<double> lookupMax = lookupGoal(row.size);
            out << QStringLiteral("| %1 | %2 | %3 | %4 | %5 | %6 | %7 | ")
                       .arg(size, row.database, QString::number(row.store.buildSeconds, 'f', 1),
                            withGoal(ms(median(row.launch)), launchGoal(row.size)),
                            ms(median(row.listed)), f[0], f[1])
                << QStringLiteral("%1 | %2 | %3 | %4 | %5 | %6 | %7 |\n")
                       .arg(withGoal(f[2], lookupMax), withGoal(f[3], lookupMax),
                            withGoal(f[4], lookupMax), f[6], f[7],
                            withGoal(f[8], row.server.isEmpty() ? std::optional<double>(50)
                                                                : std::nullopt),
                            f[9]);
            out.flush();
            if (!row.server.isEmpty() && !parser.isSet(keep))
                dropDatabase(row.server, QStringLiteral("qelbench_%1").arg(row.size));
        }

        // Launch of the largest store against the smallest, database by database.
        if (sizes.size() > 1) {
            const int small = *std::min_element(sizes.begin(), sizes.end());
            const int large = *std::max_element(sizes.begin(), sizes.end());
            out << "\nlaunch at " << QLocale::c().toString(large) << " products / at "
                << QLocale::c().toString(small) << " (goal ≤ 1.3):";
            for (const Backend &b : backends) {
                double a = 0, z = 0;
                for (const Row &row : rows) {
                    if (row.database != b.name || row.launch.isEmpty()) continue;
                    if (row.size == small) a = median(row.launch);
                    if (row.size == large) z = median(row.launch);
                }
                if (a > 0 && z > 0)
                    out << ' ' << b.name << ' ' << QString::number(z / a, 'f', 2)
                        << (z / a <= 1.3 ? "" : " MISSED") << ';';
            }
            out << "\n";
        }
        out << "load average after: " << loadAverage() << "\n";
        if (backends.size() == 1)
            out << "PostgreSQL rows skipped: no server (--pg URL or QEL_TEST_PG)\n";
        return allRan ? 0 : 1;
    } catch (const std::exception &e) {
        QTextStream(stderr) << "bench_lookup: " << exceptionMessage(e) << "\n";
        return 1;
    }
}
