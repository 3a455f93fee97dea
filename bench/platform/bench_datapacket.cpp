// Loading the product cache at store size, as a launch of the screen meets it: each measured
// load runs in a process of its own that has not read the file before, beside a bare pass of
// Qt's XML reader over the same file in the same way. Then copy and Locate figures in this
// process. Run by hand (never by ctest):
//   build-bench/bin/bench_datapacket [rows, 200000] [--runs N, 9]
#include "clientdataset.h"
#include "datapacket.h"
#include "dbconnection.h"
#include "exception.h"
#include "store.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QThread>
#include <QXmlStreamReader>

#include <algorithm>
#include <cstdio>

namespace {

// kB figure of a line of /proc/self/status ("VmHWM", "VmRSS").
qint64 statusKb(const char *key)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix = QByteArray(key) + ':';
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').first().toLongLong();
    return -1;
}

// Resets the peak so that VmHWM measures from here (Linux 4.0+); false when not allowed.
bool resetPeak()
{
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    return f.open(QIODevice::WriteOnly) && f.write("5") == 1;
}

// A store's product cache, as the host exports it from a demo store of `rows` products; the
// same bytes at every run.
QString exportProducts(const QString &dir, int rows)
{
    auto store =
        Store::connect(QStringLiteral("sqlite:") + dir + QStringLiteral("/loja.db"), true);
    Store::DemoOptions options;
    options.products = rows;
    options.today = QDate(2024, 1, 31);
    Store::generateDemo(store->database(), options);
    Store::exportCaches(store->database(), dir);
    return dir + QStringLiteral("/Dados/Cadastros/Produtos.cds");
}

// The reference: Qt's XML reader reading the file and visiting every element and attribute.
qint64 barePass(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Exception(QStringLiteral("cannot read ") + path);
    QXmlStreamReader xml(&file);
    qint64 visited = 0;
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement) {
            ++visited;
            for (const QXmlStreamAttribute &a : xml.attributes())
                visited += a.name().size() + a.value().size();
        }
    }
    if (xml.hasError())
        throw Exception(xml.errorString());
    return visited;
}

// One measured load in this fresh process: prints milliseconds, peak and resident kB before.
int child(const QString &what, const QString &path)
{
    const qint64 before = statusKb("VmRSS");
    const bool reset = resetPeak();
    QElapsedTimer t;
    t.start();
    qint64 result = 0;
    if (what == u"load")
        result = DataPacket::loadFromFile(path).rowCount();
    else
        result = barePass(path);
    const double ms = t.nsecsElapsed() / 1e6;
    std::printf("%.3f %lld %lld %d %lld\n", ms, statusKb("VmHWM"), before, reset ? 1 : 0,
                result);
    return 0;
}

struct Figure
{
    double ms;
    qint64 peakKb;
    qint64 beforeKb;
    bool reset;
    qint64 result;
};

Figure measure(const QString &what, const QString &path)
{
    QProcess p;
    p.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--child"), what, path});
    if (!p.waitForFinished(-1) || p.exitCode() != 0)
        throw Exception(QStringLiteral("child %1 failed: %2")
                            .arg(what, QString::fromLocal8Bit(p.readAllStandardError())));
    const QList<QByteArray> f = p.readAllStandardOutput().trimmed().split(' ');
    if (f.size() != 5)
        throw Exception(QStringLiteral("child %1 printed nothing").arg(what));
    return {f[0].toDouble(), f[1].toLongLong(), f[2].toLongLong(), f[3] == "1", f[4].toLongLong()};
}

template <typename T>
T median(QList<T> v)
{
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    try {
        if (args.size() == 4 && args[1] == u"--child")
            return child(args[2], args[3]);

        int rows = 200000;
        int runs = 9;
        for (int i = 1; i < args.size(); ++i) {
            if (args[i] == u"--runs" && i + 1 < args.size())
                runs = std::max(1, args[++i].toInt());
            else
                rows = args[i].toInt();
        }
        QTemporaryDir dir;
        std::printf("exporting the product cache of a store of %d products ...\n", rows);
        const QString path = exportProducts(dir.path(), rows);
        // Read once unmeasured, so that every run finds the file in the system's page cache.
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            throw Exception(QStringLiteral("cannot read ") + path);
        const double fileMb = f.readAll().size() / 1048576.0;
        f.close();

        // The two alternate, so that a busy moment of the machine falls on both alike.
        QList<double> loadMs, bareMs, peakMb, peakGrowthMb;
        bool reset = true;
        for (int i = 0; i < runs; ++i) {
            const Figure load = measure(QStringLiteral("load"), path);
            const Figure bare = measure(QStringLiteral("bare"), path);
            if (load.result < rows)
                throw Exception(QStringLiteral("loaded %1 rows").arg(load.result));
            loadMs.append(load.ms);
            bareMs.append(bare.ms);
            peakMb.append(load.peakKb / 1024.0);
            peakGrowthMb.append((load.peakKb - load.beforeKb) / 1024.0);
            reset = reset && load.reset;
        }
        const double load = median(loadMs), bare = median(bareMs);
        const double growth = median(peakGrowthMb);

        ClientDataSet a(QStringLiteral("cdsCarregaProduto"));
        a.LoadFromFile(path);
        ClientDataSet b(QStringLiteral("cdsValidaProd"));
        const qint64 rssBefore = statusKb("VmRSS");
        QElapsedTimer t;
        t.start();
        b.setData(a.Data());
        const double copyUs = t.nsecsElapsed() / 1e3;
        const qint64 rssAfter = statusKb("VmRSS");
        const bool shared = b.Data().sharesRowsWith(a.Data());

        // Worst case: the bar code of the last row.
        const DataPacket &data = b.Data();
        const QString key =
            data.value(data.rowCount() - 1, data.indexOf(QStringLiteral("CDBARPRODUTO"))).toString();
        double locate = 1e99;
        for (int i = 0; i < 5; ++i) {
            b.First();
            t.restart();
            const bool found = b.Locate(QStringLiteral("CDBARPRODUTO"), key);
            locate = std::min(locate, t.nsecsElapsed() / 1e6);
            if (!found || b.RecNo() != data.rowCount())
                throw Exception(QStringLiteral("locate missed"));
        }
        t.restart();
        const bool miss = b.Locate(QStringLiteral("CDBARPRODUTO"), QStringLiteral("nada"));
        const double missMs = t.nsecsElapsed() / 1e6;

        std::printf("\nmachine: %s, %d cores\n", qPrintable(QSysInfo::prettyProductName()),
                    QThread::idealThreadCount());
        std::printf("command: %s\n", qPrintable(args.join(u' ')));
        std::printf("product file: %d products, %.1f MB, the demo store's export\n", rows,
                    fileMb);
        std::printf("%d runs of each load, alternating, each in a new process; medians. Timed "
                    "from opening the file to\nthe packet built; process start excluded; the "
                    "file in the system's page cache (read once before).\n\n",
                    runs);
        std::printf("%-48s %12s %12s\n", "measure", "value", "goal");
        std::printf("%-48s %9.1f ms   (%.1f-%.1f)\n", "DataPacket::loadFromFile, new process", load,
                    *std::min_element(loadMs.begin(), loadMs.end()),
                    *std::max_element(loadMs.begin(), loadMs.end()));
        std::printf("%-48s %9.1f ms   (%.1f-%.1f)\n", "bare QXmlStreamReader pass of the file",
                    bare, *std::min_element(bareMs.begin(), bareMs.end()),
                    *std::max_element(bareMs.begin(), bareMs.end()));
        std::printf("%-48s %12.2f %12s\n", "load / bare pass (medians)", load / bare, "<= 0.35");
        std::printf("%-48s %9.1f MB\n", "peak RSS (VmHWM) of the loading process",
                    median(peakMb));
        std::printf("%-48s %9.1f MB%s\n", "peak growth during the load", growth,
                    reset ? "" : "  (peak not reset: includes the process start)");
        std::printf("%-48s %12.2f %12s\n", "peak growth / file size", growth / fileMb, "<= 2");
        std::printf("\nin this process, the file loaded once more:\n");
        std::printf("%-48s %9.1f us %12s\n", "Data -> setData copy", copyUs, "constant");
        std::printf("%-48s %9lld kB %12s\n", "RSS growth of the copy", rssAfter - rssBefore,
                    "~0");
        std::printf("%-48s %12s\n", "rows shared after copy", shared ? "yes" : "NO");
        std::printf("%-48s %9.3f ms %12s\n", "Locate, last row (best of 5)", locate, "<= 5 ms");
        std::printf("%-48s %9.3f ms %12s\n", "Locate, absent value", missMs, "<= 5 ms");
        return miss ? 1 : 0;
    } catch (const Exception &e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.Message()));
        return 1;
    }
}
