// Load, copy, locate and memory figures of the product cache at store size.
#include "clientdataset.h"
#include "datapacket.h"
#include "exception.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QXmlStreamReader>

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

QList<FieldDef> productFields()
{
    auto s = [](const char *n, int w) {
        return FieldDef{QString::fromLatin1(n), FieldType::String, w};
    };
    FieldDef tara{QStringLiteral("QTTARAPROD"), FieldType::Float};
    FieldDef ini{QStringLiteral("DTINIVGPROMOC"), FieldType::DateTime};
    FieldDef fim{QStringLiteral("DTFINVGPROMOC"), FieldType::DateTime};
    return {s("CDPRODUTO", 10), s("CDARVPROD", 20), s("NMPRODUTO", 50), s("IDPESAPROD", 1),
            tara, s("CDFAMILISALD", 3), s("SGUNIDADE", 10), s("IDTIPOCOMPPROD", 1),
            s("IDIMPPRODUTO", 1), ini, fim, s("CDBARPRODUTO", 30), s("CDPRODINTE", 20),
            s("CDPROTECLADO", 20)};
}

void generate(const QString &path, int rows)
{
    DataPacket p(productFields());
    const QDateTime from(QDate(2024, 1, 1), QTime(8, 0));
    for (int i = 0; i < rows; ++i) {
        const QString n = QString::number(i);
        const bool promo = i % 3 == 0;
        p.appendRow({n.rightJustified(10, u'0'), QStringLiteral("1.%1").arg(i % 997),
                     QStringLiteral("PRODUTO DE TESTE Nº %1 - PÃO DE QUEIJO").arg(i),
                     i % 5 ? QStringLiteral("N") : QStringLiteral("S"), (i % 7) * 0.125,
                     QStringLiteral("%1").arg(i % 100, 3, 10, QLatin1Char('0')),
                     QStringLiteral("UN"), QStringLiteral("1"), QStringLiteral("S"),
                     promo ? QVariant(from.addDays(i % 30)) : QVariant(),
                     promo ? QVariant(from.addDays(i % 30 + 7)) : QVariant(),
                     QStringLiteral("789%1").arg(i, 10, 10, QLatin1Char('0')),
                     QStringLiteral("EXT%1").arg(i), QStringLiteral("T%1").arg(i)});
    }
    p.saveToFile(path);
}

// The reference: a reader that only visits every attribute, from memory or from the file.
double bareReaderMs(const QByteArray &bytes, const QString &path, qsizetype &visited)
{
    QElapsedTimer t;
    t.start();
    QFile file(path);
    QXmlStreamReader xml;
    if (path.isEmpty()) {
        xml.addData(bytes);
    } else {
        file.open(QIODevice::ReadOnly);
        xml.setDevice(&file);
    }
    visited = 0;
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement)
            for (const QXmlStreamAttribute &a : xml.attributes())
                visited += a.name().size() + a.value().size();
    }
    return t.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int rows = args.size() > 1 && args[1] != u"--memory" ? args[1].toInt() : 200000;
    const QString path = QDir::temp().filePath(QStringLiteral("bench_produtos_%1.cds").arg(rows));
    try {
        if (args.contains(QStringLiteral("--memory"))) {
            // A fresh process, so the peak is the load's alone.
            const qint64 base = statusKb("VmRSS");
            const bool reset = resetPeak();
            ClientDataSet ds(QStringLiteral("cdsCarregaProduto"));
            ds.LoadFromFile(path);
            const qint64 peak = statusKb("VmHWM");
            const qint64 held = statusKb("VmRSS");
            std::printf("%lld %lld %lld %d\n", peak - (reset ? 0 : 0) - base, held - base,
                        qint64(ds.RecordCount()), reset ? 1 : 0);
            return 0;
        }
        if (!QFileInfo::exists(path)) {
            std::printf("generating %d rows in %s ...\n", rows, qPrintable(path));
            generate(path, rows);
        }
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            throw Exception(QStringLiteral("cannot read ") + path);
        const QByteArray bytes = f.readAll();
        const double fileMb = bytes.size() / 1048576.0;

        QProcess child;
        child.start(QCoreApplication::applicationFilePath(),
                    {QString::number(rows), QStringLiteral("--memory")});
        child.waitForFinished(-1);
        const QList<QByteArray> mem = child.readAllStandardOutput().trimmed().split(' ');
        const double peakMb = mem.value(0).toLongLong() / 1024.0;
        const double heldMb = mem.value(1).toLongLong() / 1024.0;

        double bareMem = 1e99, bareFile = 1e99, fromBytes = 1e99, load = 1e99;
        qsizetype visited = 0;
        for (int i = 0; i < 3; ++i) {
            bareMem = std::min(bareMem, bareReaderMs(bytes, QString(), visited));
            bareFile = std::min(bareFile, bareReaderMs(bytes, path, visited));
            QElapsedTimer t;
            t.start();
            const DataPacket p = DataPacket::fromXml(bytes, path);
            fromBytes = std::min(fromBytes, t.nsecsElapsed() / 1e6);
            t.restart();
            const DataPacket q = DataPacket::loadFromFile(path);
            load = std::min(load, t.nsecsElapsed() / 1e6);
            if (p.rowCount() != rows || q.rowCount() != rows)
                throw Exception(QStringLiteral("row count %1").arg(p.rowCount()));
        }
        const double bare = std::min(bareMem, bareFile);

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

        // Worst case: the last row, on the last code column the screen tries.
        const QString key = QStringLiteral("T%1").arg(rows - 1);
        double locate = 1e99;
        for (int i = 0; i < 5; ++i) {
            b.First();
            t.restart();
            const bool found = b.Locate(QStringLiteral("CDPROTECLADO"), key);
            locate = std::min(locate, t.nsecsElapsed() / 1e6);
            if (!found || b.RecNo() != rows)
                throw Exception(QStringLiteral("locate missed"));
        }
        t.restart();
        const bool miss = b.Locate(QStringLiteral("CDBARPRODUTO"), QStringLiteral("nada"));
        const double missMs = t.nsecsElapsed() / 1e6;

        std::printf("\nproduct file: %d rows, %.1f MB (%lld attribute chars visited)\n", rows,
                    fileMb, qint64(visited));
        std::printf("%-44s %12s %12s\n", "measure", "value", "goal");
        std::printf("%-44s %9.1f ms\n", "bare QXmlStreamReader pass, from memory", bareMem);
        std::printf("%-44s %9.1f ms\n", "bare QXmlStreamReader pass, from the file", bareFile);
        std::printf("%-44s %9.1f ms\n", "DataPacket::fromXml (bytes in memory)", fromBytes);
        std::printf("%-44s %9.1f ms\n", "DataPacket::loadFromFile", load);
        std::printf("%-44s %12.2f %12s\n", "loadFromFile / faster bare pass", load / bare,
                    "<= 1.5");
        std::printf("%-44s %9.1f us %12s\n", "Data -> setData copy", copyUs, "constant");
        std::printf("%-44s %9lld kB %12s\n", "RSS growth of the copy", rssAfter - rssBefore, "~0");
        std::printf("%-44s %12s\n", "rows shared after copy", shared ? "yes" : "NO");
        std::printf("%-44s %9.3f ms %12s\n", "Locate, last row", locate, "<= 5 ms");
        std::printf("%-44s %9.3f ms %12s\n", "Locate, absent value", missMs, "<= 5 ms");
        std::printf("%-44s %9.1f MB\n", "memory held by the loaded dataset", heldMb);
        std::printf("%-44s %9.1f MB %12s\n", "peak memory of the load", peakMb, "");
        std::printf("%-44s %12.2f %12s\n", "peak / file size", peakMb / fileMb, "<= 3");
        return miss ? 1 : 0;
    } catch (const Exception &e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.Message()));
        return 1;
    }
}
