// The pad report (getTalao) for a pad of 1,000 numbers on a store of 1,000,000 sales, SQLite
// and (when QEL_TEST_PG is set) PostgreSQL.
//
// The store is shaped like a real one: nine sales in ten come from the registers, with no
// series; every tenth is a hand-written slip, in turn from four pads' series and sub-series
// (1/1, 1/2, 2/1, 3/1), consecutive numbers over the store's three years, one in five keyed
// with leading zeros ("000305") and one number in fifty never recorded (a lost slip).
//
// Headline: each measuring process is new. It connects (not timed: the report's tool connects
// before it asks), then times its first report, of a pad of --pad numbers at a random start in
// a random series; beside it, warm, the median of 20 further reports in the same process, each
// another pad. Every report is checked number by number against the store's shape.
//   bench_talao [--sales N] [--pad N] [--processes N] [--keep]

#include "benchstores.h"
#include "dbconnection.h"
#include "dbwork.h"
#include "exception.h"
#include "server/rdmregvendamanual.h"
#include "store.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QSqlError>
#include <QSqlQuery>
#include <QTextStream>

#include <algorithm>

namespace {

const char *const series[4][2] = {{"1", "1"}, {"1", "2"}, {"2", "1"}, {"3", "1"}};

// The highest number each pad reached in a store of `sales` sales.
qint64 ultimoNumero(int sales, int pad)
{
    const int manuais = (sales + 9) / 10; // sales 0, 10, 20 ...
    return manuais / 4 + (pad < manuais % 4 ? 1 : 0);
}

void fill(const QString &connectionString, int sales)
{
    auto connection = Store::connect(connectionString, true);
    QSqlDatabase db = connection->database();
    Store::createSchema(db);
    const bool pg = db.driverName() == QLatin1String("QPSQL");
    QSqlQuery q(db);
    Transaction tx(db);
    if (!q.exec(QStringLiteral("DELETE FROM VENDA"))) throw Exception(q.lastError().text());
    // Sale n: a slip when n is a multiple of 10 and its number k is not a multiple of 50.
    const QString slip = QStringLiteral("(n % 10 = 0 AND ((n / 10) / 4 + 1) % 50 <> 0)");
    const QString k = QStringLiteral("((n / 10) / 4 + 1)");
    const QString pad = QStringLiteral("((n / 10) % 4)");
    const QString sql =
        QStringLiteral(
            "INSERT INTO VENDA (CDFILIAL, NRSEQVENDA, CDLOJA, CDCAIXA, NRORDEMVND, NRSERIEVND, "
            "NRSUBSERIEVND, CDOPERADOR, VRTOTVENDA, DTVENDA, DTHRGRAVACAO) "
            "SELECT '0001', %1, '001', '00' || (n % 4 + 1), "
            "CASE WHEN %2 THEN CASE WHEN %3 % 5 = 0 THEN %4 ELSE %5 END ELSE %6 END, "
            "CASE WHEN %2 THEN CASE %7 WHEN 2 THEN '2' WHEN 3 THEN '3' ELSE '1' END ELSE '' END, "
            "CASE WHEN %2 THEN CASE %7 WHEN 1 THEN '2' ELSE '1' END ELSE '' END, "
            "'100' || (n % 2 + 1), (n % 50000) / 100.0, %8, %8 FROM %9")
            .arg(pg ? QStringLiteral("lpad(n::text, 10, '0')")
                    : QStringLiteral("printf('%010d', n)"),
                 slip, k,
                 pg ? QStringLiteral("lpad(%1::text, 6, '0')").arg(k)
                    : QStringLiteral("printf('%06d', ") + k + QLatin1Char(')'),
                 pg ? k + QStringLiteral("::text") : QStringLiteral("CAST(%1 AS TEXT)").arg(k),
                 pg ? QStringLiteral("lpad(n::text, 7, '0')") : QStringLiteral("printf('%07d', n)"),
                 pad,
                 pg ? QStringLiteral("TIMESTAMP '2024-01-01' + n * INTERVAL '90 second'")
                    : QStringLiteral("datetime('2024-01-01', '+' || (n * 90) || ' seconds')"),
                 pg ? QStringLiteral("generate_series(0, %1) AS n").arg(sales - 1)
                    : QStringLiteral("s"));
    const QString from = pg ? sql
                            : QStringLiteral("WITH RECURSIVE s(n) AS (SELECT 0 UNION ALL "
                                             "SELECT n + 1 FROM s WHERE n < %1) ")
                                      .arg(sales - 1)
                                  + sql;
    if (!q.exec(from)) throw Exception(q.lastError().text() + QStringLiteral("\n") + from);
    tx.commit();
    // On a store's server, autovacuum has long since gone over rows years old: statistics, and
    // each row marked as committed. Rows just written are not, and the first read of each
    // would pay for that marking, which no report on a real store pays.
    if (pg && !q.exec(QStringLiteral("VACUUM ANALYZE VENDA")))
        throw Exception(q.lastError().text());
}

// How the database runs the report's query for a pad crossing from four to five digits: the
// plan's first lines, which must name the pad index.
QString plan(const QString &connectionString)
{
    auto connection = Store::connect(connectionString);
    QSqlDatabase db = connection->database();
    const bool pg = db.driverName() == QLatin1String("QPSQL");
    TrdmRegVendaManual rdm; // for its SQL only, never connected
    QString sql = rdm.adqTalao.SQL();
    for (const auto &[name, literal] :
         {std::pair{":P_CDFILIAL", "'0001'"}, {":P_CDLOJA", "'001'"}, {":P_NRSERIEVND", "'1'"},
          {":P_NRSUBSERIEVND", "'2'"}, {":P_DIGITOS", "4"}, {":P_DE", "'9501'"},
          {":P_ATE", "'9999'"}})
        sql.replace(QLatin1String(name), QLatin1String(literal));
    QSqlQuery q(db);
    if (!q.exec((pg ? QStringLiteral("EXPLAIN ") : QStringLiteral("EXPLAIN QUERY PLAN ")) + sql))
        throw Exception(q.lastError().text());
    QStringList lines;
    while (q.next())
        lines << q.value(pg ? 0 : 3).toString().simplified();
    const QString text = lines.mid(0, 2).join(QStringLiteral(" / "));
    if (!text.contains(QLatin1String("IXVENDA_TALAO"), Qt::CaseInsensitive))
        throw Exception(QStringLiteral("the pad index is not used: ") + text);
    return text;
}

double timedReport(int sales, int pad, QRandomGenerator &random)
{
    const int s = random.bounded(4);
    const qint64 de = 1 + random.bounded(int(ultimoNumero(sales, s) - pad + 1));
    const qint64 ate = de + pad - 1;
    QElapsedTimer t;
    t.start();
    const QVariant r = getTalao(QStringLiteral("0001"), QStringLiteral("001"),
                                QLatin1String(series[s][0]), QLatin1String(series[s][1]), de, ate);
    const double ms = t.nsecsElapsed() / 1e6;
    if (r.typeId() != qMetaTypeId<DataPacket>())
        throw Exception(QStringLiteral("getTalao: ") + r.toString());
    const DataPacket p = r.value<DataPacket>();
    if (p.rowCount() != pad) throw Exception(QStringLiteral("getTalao: wrong number of rows"));
    for (int i = 0; i < pad; ++i) {
        const bool recorded = (de + i) % 50 != 0;
        if ((p.value(i, 1).toString() == QLatin1String("gravada")) != recorded)
            throw Exception(QStringLiteral("getTalao: wrong situation of %1").arg(de + i));
    }
    return ms;
}

// One measuring process: connected, then its first report and 20 warm ones.
int measure(int sales, int pad)
{
    getStatusMesa(QStringLiteral("0001"), QStringLiteral("001")); // connects the module
    QRandomGenerator random(QRandomGenerator::global()->generate());
    const double first = timedReport(sales, pad, random);
    QList<double> warm;
    for (int i = 0; i < 20; ++i)
        warm << timedReport(sales, pad, random);
    std::sort(warm.begin(), warm.end());
    QTextStream(stdout) << first << ' ' << warm.at(warm.size() / 2) << '\n';
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption salesOpt("sales", "sales in the store", "n", "1000000");
    const QCommandLineOption padOpt("pad", "numbers of the pad asked for", "n", "1000");
    const QCommandLineOption processes("processes", "measuring processes per database", "n",
                                       "10");
    const QCommandLineOption keep("keep", "SQLite: keep a store left by an earlier run");
    const QCommandLineOption child("measure", "(internal) one measuring process");
    parser.addOptions({salesOpt, padOpt, processes, keep, child});
    parser.process(app);
    const int sales = qMax(1000, parser.value(salesOpt).toInt());
    const int pad = qBound(1, parser.value(padOpt).toInt(), int(ultimoNumero(sales, 3)));
    try {
        if (parser.isSet(child))
            return measure(sales, pad);

        QTextStream out(stdout);
        const QString file = QDir::currentPath() + QStringLiteral("/bench_talao.db");
        const auto stores = storesToMeasure(file, out);
        const int runs = qMax(1, parser.value(processes).toInt());
        out << "getTalao, a pad of " << pad << " numbers, on " << sales << " sales; " << runs
            << " new processes per database, each connected first (not timed); times in ms\n";
        for (const auto &[name, cs] : stores) {
            if (!(parser.isSet(keep) && name == QLatin1String("SQLite") && QFile::exists(file))) {
                QElapsedTimer t;
                t.start();
                fill(cs, sales);
                out << name << ": store filled in " << t.elapsed() / 1000.0 << " s\n";
            }
            out << name << ": plan: " << plan(cs) << '\n';
            out.flush();
            QList<double> first, warm;
            for (int i = 0; i < runs; ++i) {
                QProcess p;
                QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
                env.insert(QStringLiteral("QEL_CONEXAO"), cs);
                p.setProcessEnvironment(env);
                p.start(QCoreApplication::applicationFilePath(),
                        {QStringLiteral("--measure"), QStringLiteral("--sales"),
                         QString::number(sales), QStringLiteral("--pad"), QString::number(pad)});
                if (!p.waitForFinished(120000) || p.exitCode() != 0)
                    throw Exception(name + QStringLiteral(": measuring process failed: ")
                                    + QString::fromLocal8Bit(p.readAllStandardError()));
                const QStringList f =
                    QString::fromLatin1(p.readAllStandardOutput()).simplified().split(u' ');
                if (f.size() != 2) throw Exception(name + QStringLiteral(": unexpected output"));
                first << f[0].toDouble();
                warm << f[1].toDouble();
            }
            out << QStringLiteral("%1: first report of a new process, median of %2: %3 ms "
                                  "(min %4, max %5); warm (same process, 20 other pads, median "
                                  "of the medians): %6 ms; goal 50 ms\n")
                       .arg(name)
                       .arg(runs)
                       .arg(median(first), 0, 'f', 2)
                       .arg(*std::min_element(first.begin(), first.end()), 0, 'f', 2)
                       .arg(*std::max_element(first.begin(), first.end()), 0, 'f', 2)
                       .arg(median(warm), 0, 'f', 2);
            out.flush();
        }
    } catch (const std::exception &e) {
        QTextStream(stderr) << "bench_talao: " << exceptionMessage(e) << "\n";
        return 1;
    }
    return 0;
}
