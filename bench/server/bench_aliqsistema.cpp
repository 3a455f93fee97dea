// Time from the getAliqSistema call to its packet loaded into the screen's tax dataset, on a
// branch of 20,000 products, for SQLite and (when QEL_TEST_PG is set) PostgreSQL: the branch
// read from the database, and the packet handed back again while the tax tables are unchanged.

#include "benchstores.h"
#include "clientdataset.h"
#include "dbconnection.h"
#include "exception.h"
#include "server/rdmregvendamanual.h"
#include "store.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QSqlQuery>
#include <QTextStream>
#include <QUrl>

#include <algorithm>
#include <ctime>

namespace {

struct Figures
{
    double min, median, p90, max, queryMedian, cpuMedian;
    int rows;
};

// CPU time of this process: on a machine shared with builds, wall time mostly measures the
// neighbours.
double cpuMs()
{
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

Figures measure(const QString &connectionString, int runs, bool reused)
{
    qputenv("QEL_CONEXAO", connectionString.toUtf8());
    delete rdmRegVendaManual;
    rdmRegVendaManual = nullptr;

    ClientDataSet cdsImposto(QStringLiteral("cdsImposto"));
    cdsImposto.setFieldDecls({Decl::text("CDPRODUTO", 10), Decl::text("NMPRODUTO", 50),
                              Decl::text("NMIMPOSTO", 30), Decl::num("VRPEALIMPFIS"),
                              Decl::text("SGIMPOSTO", 10)});
    cdsImposto.CreateDataSet();

    QList<double> total, query, cpu;
    int rows = 0;
    for (int i = 0; i < runs + 3; ++i) {
        if (!reused && rdmRegVendaManual) rdmRegVendaManual->forgetAliqSistema();
        QElapsedTimer t;
        const double cpuStart = cpuMs();
        t.start();
        const QVariant result = getAliqSistema(QStringLiteral("0001"));
        const qint64 afterCall = t.nsecsElapsed();
        if (result.typeId() != qMetaTypeId<DataPacket>())
            throw Exception(QStringLiteral("getAliqSistema: ") + result.toString());
        cdsImposto.setData(result.value<DataPacket>());
        const qint64 loaded = t.nsecsElapsed();
        const double cpuUsed = cpuMs() - cpuStart;
        rows = cdsImposto.RecordCount();
        if (i >= 3) { // the first calls connect and warm the caches
            total << loaded / 1e6;
            query << afterCall / 1e6;
            cpu << cpuUsed;
        }
    }
    std::sort(total.begin(), total.end());
    std::sort(query.begin(), query.end());
    std::sort(cpu.begin(), cpu.end());
    return {total.first(), total.at(total.size() / 2), total.at(total.size() * 9 / 10),
            total.last(),  query.at(query.size() / 2), cpu.at(cpu.size() / 2),
            rows};
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption products("products", "products of the branch", "n", "20000");
    const QCommandLineOption runs("runs", "measured calls per database", "n", "30");
    const QCommandLineOption reuse("reuse", "SQLite only: keep a store left by an earlier run");
    parser.addOptions({products, runs, reuse});
    parser.process(app);
    const int productCount = parser.value(products).toInt();
    const int runCount = qMax(1, parser.value(runs).toInt());

    QTextStream out(stdout);
    const QString file = QDir::currentPath() + "/bench_aliq.db";
    const auto stores = storesToMeasure(file, out);

    try {
        for (const auto &[name, cs] : stores) {
            if (!(parser.isSet(reuse) && name == QLatin1String("SQLite") && QFile::exists(file))) {
                QFile::remove(file);
                auto connection = Store::connect(cs, true);
                Store::DemoOptions options;
                options.products = productCount;
                Store::generateDemo(connection->database(), options);
            }
            for (const bool reused : {false, true}) {
                const Figures f = measure(cs, runCount, reused);
                out << QStringLiteral("%1, %2: getAliqSistema, %3 rows into cdsImposto, %4 calls: "
                                      "min %5 ms, median %6 ms, p90 %7 ms, max %8 ms (call alone: "
                                      "median %9 ms; CPU of this process: median %10 ms)\n")
                           .arg(name, reused ? QStringLiteral("unchanged tables")
                                             : QStringLiteral("read from the database"))
                           .arg(f.rows)
                           .arg(runCount)
                           .arg(f.min, 0, 'f', 2)
                           .arg(f.median, 0, 'f', 2)
                           .arg(f.p90, 0, 'f', 2)
                           .arg(f.max, 0, 'f', 2)
                           .arg(f.queryMedian, 0, 'f', 2)
                           .arg(f.cpuMedian, 0, 'f', 2);
                out.flush();
            }
        }
    } catch (const std::exception &e) {
        out << "bench_aliqsistema: " << exceptionMessage(e) << "\n";
        return 1;
    }
    return 0;
}
