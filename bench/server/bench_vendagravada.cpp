// The header's question "is this slip already recorded?" (getVendaGravada) on a store of
// 1,000,000 recorded sales, SQLite and (when QEL_TEST_PG is set) PostgreSQL.
//
// Headline: each measuring process is new. It connects (not timed: the screen is connected
// before the operator keys the header), then times its first question, on a document it has
// never asked about, once for a recorded document and once for a free one. Beside it, warm:
// the median of 30 further questions in the same process, each on another document. Last, the
// question as the header asks it (getVendaGravadaAte: a thread and a connection of its own,
// connected in the background when the module connects, as at launch): its first question,
// on a connection that has asked nothing yet, though after this process's other questions.
//   bench_vendagravada [--sales N] [--processes N] [--keep]

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
#include <QThread>

#include <algorithm>

namespace {

QString ordem(int n)
{
    return QString::number(100000 + n);
}

double timedCall(const QString &nrOrdem, const QString &subSerie, bool expectRecorded)
{
    QElapsedTimer t;
    t.start();
    const QVariant r = getVendaGravada(QStringLiteral("0001"), QStringLiteral("001"), nrOrdem,
                                       QStringLiteral("1"), subSerie);
    const double ms = t.nsecsElapsed() / 1e6;
    if (r.typeId() != qMetaTypeId<DataPacket>())
        throw Exception(QStringLiteral("getVendaGravada: ") + r.toString());
    if ((r.value<DataPacket>().rowCount() == 1) != expectRecorded)
        throw Exception(QStringLiteral("getVendaGravada: wrong answer for ") + nrOrdem);
    return ms;
}

double timedHeaderCall(const QString &nrOrdem)
{
    QElapsedTimer t;
    t.start();
    const QVariant r = getVendaGravadaAte(5000, QStringLiteral("0001"), QStringLiteral("001"),
                                          nrOrdem, QStringLiteral("1"), QStringLiteral("2"));
    const double ms = t.nsecsElapsed() / 1e6;
    if (r.typeId() != qMetaTypeId<DataPacket>() || r.value<DataPacket>().rowCount() != 1)
        throw Exception(QStringLiteral("getVendaGravadaAte: no answer for ") + nrOrdem);
    return ms;
}

void fill(const QString &connectionString, int sales)
{
    auto connection = Store::connect(connectionString, true);
    QSqlDatabase db = connection->database();
    Store::createSchema(db);
    QSqlQuery q(db);
    const bool pg = db.driverName() == QLatin1String("QPSQL");
    Transaction tx(db);
    q.exec(QStringLiteral("DELETE FROM VENDA"));
    if (pg) {
        // Documents 100000.. in series 1, sub-series 2, one per sale, as terminals leave them.
        if (!q.exec(QStringLiteral(
                "INSERT INTO VENDA (CDFILIAL, NRSEQVENDA, CDLOJA, CDCAIXA, NRORDEMVND, NRSERIEVND, "
                "NRSUBSERIEVND, CDOPERADOR, VRTOTVENDA, DTHRGRAVACAO) SELECT '0001', "
                "lpad(n::text, 10, '0'), '001', '00' || (n % 4 + 1), (100000 + n)::text, '1', '2', "
                "'1001', (n % 50000) / 100.0, TIMESTAMP '2026-01-01' + n * INTERVAL '20 second' "
                "FROM generate_series(0, %1) AS n").arg(sales - 1)))
            throw Exception(q.lastError().text());
    } else {
        q.prepare(QStringLiteral(
            "INSERT INTO VENDA (CDFILIAL, NRSEQVENDA, CDLOJA, CDCAIXA, NRORDEMVND, NRSERIEVND, "
            "NRSUBSERIEVND, CDOPERADOR, VRTOTVENDA, DTHRGRAVACAO) VALUES ('0001', ?, '001', ?, ?, "
            "'1', '2', '1001', ?, ?)"));
        const QDateTime start(QDate(2026, 1, 1), QTime(0, 0));
        for (int n = 0; n < sales; ++n) {
            q.addBindValue(QString::number(n).rightJustified(10, u'0'));
            q.addBindValue(QStringLiteral("00%1").arg(n % 4 + 1));
            q.addBindValue(ordem(n));
            q.addBindValue((n % 50000) / 100.0);
            q.addBindValue(start.addSecs(qint64(n) * 20));
            if (!q.exec())
                throw Exception(q.lastError().text());
        }
    }
    tx.commit();
}

// One measuring process: connected, then its first questions and 30 warm ones.
int measure(int sales)
{
    QTextStream out(stdout);
    getStatusMesa(QStringLiteral("0001"), QStringLiteral("001")); // connects the module
    // As the launch does: the header's own connection is made while the screen opens and the
    // operator keys three fields, which takes far longer than the 300 ms allowed here.
    preparaVendaGravada();
    QThread::msleep(300);
    QRandomGenerator random(QRandomGenerator::global()->generate());
    const double recorded = timedCall(ordem(random.bounded(sales)), QStringLiteral("2"), true);
    const double free = timedCall(ordem(random.bounded(sales)), QStringLiteral("3"), false);
    QList<double> warm;
    for (int i = 0; i < 30; ++i)
        warm << timedCall(ordem(random.bounded(sales)), QStringLiteral("2"), true);
    const double header = timedHeaderCall(ordem(random.bounded(sales)));
    out << recorded << ' ' << free << ' ' << median(warm) << ' ' << header << '\n';
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption salesOpt("sales", "recorded sales in the store", "n", "1000000");
    const QCommandLineOption processes("processes", "measuring processes per database", "n",
                                       "10");
    const QCommandLineOption keep("keep", "SQLite: keep a store left by an earlier run");
    const QCommandLineOption child("measure", "(internal) one measuring process");
    parser.addOptions({salesOpt, processes, keep, child});
    parser.process(app);
    const int sales = qMax(1, parser.value(salesOpt).toInt());
    try {
        if (parser.isSet(child))
            return measure(sales);

        QTextStream out(stdout);
        const QString file = QDir::currentPath() + QStringLiteral("/bench_vendagravada.db");
        const auto stores = storesToMeasure(file, out);
        const int runs = qMax(1, parser.value(processes).toInt());
        out << "getVendaGravada on " << sales << " recorded sales; " << runs
            << " new processes per database, each connected first (not timed); times in ms\n";
        for (const auto &[name, cs] : stores) {
            if (!(parser.isSet(keep) && name == QLatin1String("SQLite") && QFile::exists(file))) {
                QElapsedTimer t;
                t.start();
                fill(cs, sales);
                out << name << ": store filled in " << t.elapsed() / 1000.0 << " s\n";
                out.flush();
            }
            QList<double> recorded, free, warm, header;
            for (int i = 0; i < runs; ++i) {
                QProcess p;
                QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
                env.insert(QStringLiteral("QEL_CONEXAO"), cs);
                p.setProcessEnvironment(env);
                p.start(QCoreApplication::applicationFilePath(),
                        {QStringLiteral("--measure"), QStringLiteral("--sales"),
                         QString::number(sales)});
                if (!p.waitForFinished(60000) || p.exitCode() != 0)
                    throw Exception(name + QStringLiteral(": measuring process failed: ")
                                    + QString::fromLocal8Bit(p.readAllStandardError()));
                const QStringList f =
                    QString::fromLatin1(p.readAllStandardOutput()).simplified().split(u' ');
                if (f.size() != 4)
                    throw Exception(name + QStringLiteral(": unexpected output"));
                recorded << f[0].toDouble();
                free << f[1].toDouble();
                warm << f[2].toDouble();
                header << f[3].toDouble();
            }
            out << QStringLiteral("%1: first question of a new process, median of %2: recorded "
                                  "document %3 ms (max %4), free document %5 ms (max %6); warm "
                                  "(same process, 30 other documents, median of the medians): "
                                  "%7 ms; goal 5 ms; as the header asks it (its own connection, "
                                  "made at launch) first question %8 ms (max %9)\n")
                       .arg(name)
                       .arg(runs)
                       .arg(median(recorded), 0, 'f', 2)
                       .arg(*std::max_element(recorded.begin(), recorded.end()), 0, 'f', 2)
                       .arg(median(free), 0, 'f', 2)
                       .arg(*std::max_element(free.begin(), free.end()), 0, 'f', 2)
                       .arg(median(warm), 0, 'f', 2)
                       .arg(median(header), 0, 'f', 2)
                       .arg(*std::max_element(header.begin(), header.end()), 0, 'f', 2);
            out.flush();
        }
    } catch (const std::exception &e) {
        QTextStream(stderr) << "bench_vendagravada: " << exceptionMessage(e) << "\n";
        return 1;
    }
    return 0;
}
