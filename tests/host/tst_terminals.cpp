// Several terminals on one store at once, each a process of its own keying sales into the real
// screen (qelterminal), and a terminal killed while it stores a sale: every sale is stored
// whole and once, with a number no other terminal got.
#include "storefixture.h"
#include "testenv.h"
#include "vendaconsistente.h"

#include "dbconnection.h"
#include "exception.h"
#include "store.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>
#include <QUrl>

#include <cmath>
#include <memory>

namespace {

// What a terminal reported it keyed in for one sale.
struct Keyed
{
    QString caixa;
    int itens = 0;
    qint64 centavos = 0;
    int pagamentos = 0;
};
using KeyedSales = QMap<QString, Keyed>; // by order number, unique across the terminals

struct Terminal
{
    QString caixa;
    QString dir;
    std::shared_ptr<QProcess> process;

    QString output() const
    {
        QString text;
        for (const char *name : {"/saida.txt", "/erros.txt"}) {
            QFile f(dir + QLatin1String(name));
            if (f.open(QIODevice::ReadOnly))
                text += QString::fromUtf8(f.readAll());
        }
        return text;
    }
    QString report() const
    {
        return QStringLiteral("--- caixa %1 (%2) ---\n%3").arg(caixa, dir, output());
    }
};

QString cents(double value)
{
    return QString::number(std::llround(value * 100));
}

} // namespace

class TestTerminals : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void eightTerminalsOnPostgres();
    void sameDocumentsOnTwoTerminals();
    void twoTerminalsOnSqlite();
    void lockedSqliteStoreWaits_data();
    void lockedSqliteStoreWaits();
    void killedWhileStoring_data();
    void killedWhileStoring();

private:
    void openStore(const QString &backend, const QString &name);
    QVariant value(const QString &sql);
    Terminal prepareTerminal(const QString &name, const QString &caixa);
    void start(Terminal &t, int sales, int firstOrder,
               const QProcessEnvironment &extra = QProcessEnvironment());
    bool waitAll(QList<Terminal> &terminals, int ms, QString *report);
    void collect(const Terminal &t, KeyedSales *sales);
    void checkStore(const KeyedSales &sales, const QStringList &caixas, int cashShifts);
    // Every terminal ends without a failure, and the store holds each sale keyed, once.
    void checkAllStored(QList<Terminal> &terminals, const QStringList &caixas, int sales);

    QString m_cs;
    QString m_pgDatabase;
    std::unique_ptr<DbConnection> m_store;
};

void TestTerminals::initTestCase()
{
    TestEnv::usePtBr();
    QVERIFY2(QFile::exists(QStringLiteral(QEL_TERMINAL)), QEL_TERMINAL);
}

void TestTerminals::cleanup()
{
    m_store.reset();
    if (!m_pgDatabase.isEmpty()) {
        StoreFixture::execSql(qEnvironmentVariable("QEL_TEST_PG"),
                              QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)")
                                  .arg(m_pgDatabase));
        m_pgDatabase.clear();
    }
}

void TestTerminals::openStore(const QString &backend, const QString &name)
{
    m_cs = StoreFixture::freshDemoStore(backend, name, 400);
    if (backend == QLatin1String("postgresql"))
        m_pgDatabase = QUrl(m_cs).path().mid(1);
    m_store = Store::connect(m_cs);
}

QVariant TestTerminals::value(const QString &sql)
{
    // No row gives a null value (a poll that finds nothing yet); a failed query a warning too.
    QSqlQuery q(m_store->database());
    if (!q.exec(sql)) {
        qWarning("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
        return QVariant();
    }
    return q.next() ? q.value(0) : QVariant();
}

// A terminal of store 0001/001 with its own register code: its TERMINAL row (a copy of the
// demo's terminal 001), and a directory with its copy of the driver beside its cache files,
// where the screen looks for them.
Terminal TestTerminals::prepareTerminal(const QString &name, const QString &caixa)
{
    QStringList columns, source;
    for (const Store::TableDecl &t : Store::tables()) {
        if (t.name != QLatin1String("TERMINAL"))
            continue;
        for (const Store::ColumnDecl &c : t.columns) {
            columns << c.name;
            source << (c.name == QLatin1String("CDCAIXA") ? QStringLiteral("'%1'").arg(caixa)
                                                          : c.name);
        }
    }
    QSqlQuery q(m_store->database());
    if (!q.exec(QStringLiteral("INSERT INTO TERMINAL (%1) SELECT %2 FROM TERMINAL WHERE "
                               "CDFILIAL = '0001' AND CDCAIXA = '001'")
                    .arg(columns.join(u','), source.join(u','))))
        throw Exception(q.lastError().text());

    Terminal t;
    t.caixa = caixa;
    t.dir = QDir::currentPath() + QStringLiteral("/terminais/") + name;
    QDir(t.dir).removeRecursively();
    QDir().mkpath(t.dir);
    const QString exe = t.dir + QStringLiteral("/qelterminal");
    if (!QFile::copy(QStringLiteral(QEL_TERMINAL), exe))
        throw Exception(QStringLiteral("não foi possível copiar o terminal para ") + exe);
    Store::exportCaches(m_store->database(), t.dir, {QStringLiteral("0001"), caixa, QString()});
    return t;
}

void TestTerminals::start(Terminal &t, int sales, int firstOrder, const QProcessEnvironment &extra)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QEL_CONEXAO"), m_cs);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(extra);
    t.process = std::make_shared<QProcess>();
    t.process->setProcessEnvironment(env);
    t.process->setWorkingDirectory(t.dir);
    // Files, not pipes: a terminal never blocks on a full pipe while the test waits on another.
    t.process->setStandardOutputFile(t.dir + QStringLiteral("/saida.txt"));
    t.process->setStandardErrorFile(t.dir + QStringLiteral("/erros.txt"));
    t.process->start(t.dir + QStringLiteral("/qelterminal"),
                     {QStringLiteral("--caixa"), t.caixa, QStringLiteral("--vendas"),
                      QString::number(sales), QStringLiteral("--ordem"),
                      QString::number(firstOrder)});
}

// Waits for every terminal within one deadline; one still running then is a hang: all are
// killed and their output reported.
bool TestTerminals::waitAll(QList<Terminal> &terminals, int ms, QString *report)
{
    QElapsedTimer clock;
    clock.start();
    bool all = true;
    for (Terminal &t : terminals) {
        const int left = int(qMax<qint64>(0, ms - clock.elapsed()));
        if (!t.process->waitForFinished(left))
            all = false;
    }
    for (Terminal &t : terminals) {
        const bool running = t.process->state() != QProcess::NotRunning;
        if (running) {
            t.process->kill();
            t.process->waitForFinished(10000);
        }
        if (running || t.process->exitStatus() != QProcess::NormalExit
            || t.process->exitCode() != 0) {
            all = false;
            *report += (running ? QStringLiteral("PASSOU DO PRAZO\n") : QString()) + t.report();
        }
    }
    return all;
}

void TestTerminals::collect(const Terminal &t, KeyedSales *sales)
{
    for (const QString &line : t.output().split(u'\n')) {
        const QStringList f = line.split(u' ');
        if (f.size() == 8 && f[0] == QLatin1String("VENDA"))
            sales->insert(f[1], {t.caixa, f[5].toInt(), f[6].toLongLong(), f[7].toInt()});
    }
}

void TestTerminals::checkAllStored(QList<Terminal> &terminals, const QStringList &caixas, int sales)
{
    QString report;
    QVERIFY2(waitAll(terminals, 300000, &report), qPrintable(report));
    KeyedSales keyed;
    for (const Terminal &t : terminals)
        collect(t, &keyed);
    QCOMPARE(keyed.size(), sales);
    checkStore(keyed, caixas, sales);
}

// The store holds exactly the sales the terminals keyed: each whole (its items and movements,
// totals that agree, its cash shift), once, under a number of its own; nothing else.
void TestTerminals::checkStore(const KeyedSales &sales, const QStringList &caixas, int cashShifts)
{
    const QStringList discrepancies = confereVendas(m_store->database());
    QVERIFY2(discrepancies.isEmpty(), qPrintable(discrepancies.join(u'\n')));
    const QString in = QStringLiteral("('") + caixas.join(QStringLiteral("','"))
                       + QStringLiteral("')");
    QSqlQuery q(m_store->database());
    QVERIFY2(q.exec(QStringLiteral(
                 "SELECT V.NRORDEMVND, V.CDCAIXA, V.VRTOTVENDA, V.QTITENS, "
                 "(SELECT COUNT(*) FROM MOVCAIXA M WHERE M.CDFILIAL = V.CDFILIAL AND "
                 "M.NRSEQVENDA = V.NRSEQVENDA AND M.CDCAIXA = V.CDCAIXA), "
                 "(SELECT COUNT(*) FROM TURCAIXA T WHERE T.CDFILIAL = V.CDFILIAL AND "
                 "T.CDCAIXA = V.CDCAIXA AND T.DTABERCAIX = V.DTABERCAIX) "
                 "FROM VENDA V WHERE V.CDCAIXA IN %1")
                         .arg(in)),
             qPrintable(q.lastError().text()));
    QSet<QString> seen;
    while (q.next()) {
        const QString ordem = q.value(0).toString();
        QVERIFY2(sales.contains(ordem), qPrintable(QStringLiteral("venda %1 não foi digitada")
                                                       .arg(ordem)));
        QVERIFY2(!seen.contains(ordem), qPrintable(QStringLiteral("venda %1 duas vezes")
                                                       .arg(ordem)));
        seen.insert(ordem);
        const Keyed &k = sales[ordem];
        const QString where = QStringLiteral("venda %1: ").arg(ordem);
        QCOMPARE(where + q.value(1).toString(), where + k.caixa);
        QCOMPARE(where + cents(q.value(2).toDouble()), where + QString::number(k.centavos));
        QCOMPARE(where + q.value(3).toString(), where + QString::number(k.itens));
        QCOMPARE(where + q.value(4).toString(), where + QString::number(k.pagamentos));
        QCOMPARE(where + q.value(5).toString(), where + QStringLiteral("1"));
    }
    QCOMPARE(seen.size(), sales.size());

    // Across the whole store: numbers and documents unique, no row without its sale, the
    // counter where the last sale left it, one cash shift per recording.
    QCOMPARE(value(QStringLiteral("SELECT COUNT(*) - COUNT(DISTINCT NRSEQVENDA) FROM VENDA"))
                 .toInt(),
             0);
    QCOMPARE(value(QStringLiteral("SELECT COUNT(*) FROM (SELECT 1 FROM VENDA GROUP BY "
                                  "CDFILIAL, CDLOJA, NRORDEMVND, NRSERIEVND, NRSUBSERIEVND "
                                  "HAVING COUNT(*) > 1) D"))
                 .toInt(),
             0);
    for (const char *table : {"ITVENDA", "MOVCAIXA"})
        QCOMPARE(value(QStringLiteral("SELECT COUNT(*) FROM %1 X WHERE NOT EXISTS (SELECT 1 "
                                      "FROM VENDA V WHERE V.CDFILIAL = X.CDFILIAL AND "
                                      "V.NRSEQVENDA = X.NRSEQVENDA)")
                           .arg(QLatin1String(table)))
                     .toInt(),
                 0);
    const int stored = value(QStringLiteral("SELECT COUNT(*) FROM VENDA")).toInt();
    QCOMPARE(value(QStringLiteral("SELECT NRULTVENDA FROM CONTADORVENDA WHERE CDFILIAL = '0001'"))
                 .toInt(),
             stored);
    QCOMPARE(value(QStringLiteral("SELECT MAX(NRSEQVENDA) FROM VENDA")).toString(),
             QString::number(stored).rightJustified(10, u'0'));
    QCOMPARE(value(QStringLiteral("SELECT COUNT(*) FROM TURCAIXA WHERE CDCAIXA IN %1").arg(in))
                 .toInt(),
             cashShifts);
}

void TestTerminals::eightTerminalsOnPostgres()
{
    // Eight terminals of one store record fifty sales each at the same time on PostgreSQL:
    // all 400 are stored whole, each with its own number and cash shift, none lost or doubled,
    // and no terminal waits forever for another.
    REQUIRE_PG();
    openStore(QStringLiteral("postgresql"), QStringLiteral("qel_terminais"));
    QList<Terminal> terminals;
    QStringList caixas;
    for (int k = 1; k <= 8; ++k) {
        const QString caixa = QString::number(100 + k);
        terminals.append(prepareTerminal(QStringLiteral("pg") + caixa, caixa));
        caixas << caixa;
    }
    for (int k = 0; k < terminals.size(); ++k)
        start(terminals[k], 50, 10000 + 1000 * (k + 1));
    checkAllStored(terminals, caixas, 400);
    QCOMPARE(value(QStringLiteral("SELECT COUNT(*) FROM VENDA")).toInt(), 400);
}

void TestTerminals::sameDocumentsOnTwoTerminals()
{
    // Two terminals key in the same twenty documents at the same time (the same paper sales
    // typed twice): each document is stored once, by whichever terminal got there first, and
    // the other terminal is told it is already recorded instead of storing a second copy.
    REQUIRE_PG();
    openStore(QStringLiteral("postgresql"), QStringLiteral("qel_terminais_repetidos"));
    QList<Terminal> terminals{prepareTerminal(QStringLiteral("pg131"), QStringLiteral("131")),
                              prepareTerminal(QStringLiteral("pg132"), QStringLiteral("132"))};
    start(terminals[0], 20, 30000);
    start(terminals[1], 20, 30000);
    KeyedSales sales;
    int stored = 0;
    int refusedByClosing = 0;
    for (Terminal &t : terminals) {
        QVERIFY2(t.process->waitForFinished(300000), qPrintable(t.report()));
        QVERIFY2(t.process->exitStatus() == QProcess::NormalExit, qPrintable(t.report()));
        collect(t, &sales);
        // Every sale a terminal did not store was refused as a repeated document: at the
        // header when the other terminal had stored it by then, else by the closing routine.
        const QString output = t.output();
        const int failed = int(output.count(QStringLiteral("\nFALHA ")));
        const QRegularExpression repeated(
            QStringLiteral("\nFALHA [^\n]*(já registrado|Venda manual já gravada)"));
        QVERIFY2(int(output.count(repeated)) == failed, qPrintable(t.report()));
        QCOMPARE(t.process->exitCode(), failed == 0 ? 0 : 1);
        stored += int(output.count(QStringLiteral("\nVENDA ")));
        refusedByClosing +=
            int(output.count(QRegularExpression(QStringLiteral("\nFALHA [^\n]*já registrado"))));
    }
    QCOMPARE(stored, 20);
    QCOMPARE(sales.size(), 20);
    // Each attempt that reached the recording opened its cash shift before the closing,
    // stored or not; one told at the header never got there.
    checkStore(sales, {QStringLiteral("131"), QStringLiteral("132")}, 20 + refusedByClosing);
}

void TestTerminals::twoTerminalsOnSqlite()
{
    // Two terminals share one SQLite file and record fifty sales each at once: a terminal that
    // finds the file busy waits its turn, so every sale is stored, whole and once.
    openStore(QStringLiteral("sqlite"), QStringLiteral("terminais"));
    QList<Terminal> terminals{prepareTerminal(QStringLiteral("sqlite201"), QStringLiteral("201")),
                              prepareTerminal(QStringLiteral("sqlite202"), QStringLiteral("202"))};
    start(terminals[0], 50, 21000);
    start(terminals[1], 50, 22000);
    checkAllStored(terminals, {QStringLiteral("201"), QStringLiteral("202")}, 100);
}

void TestTerminals::lockedSqliteStoreWaits_data()
{
    QTest::addColumn<bool>("wal");
    QTest::addColumn<QStringList>("lock");
    QTest::addColumn<QString>("reached");
    // A new store is still in rollback-journal mode; the terminal's first connection switches
    // it to WAL, which needs the file to itself while another program reads it.
    QTest::newRow("switching to WAL")
        << false
        << QStringList{QStringLiteral("BEGIN"), QStringLiteral("SELECT COUNT(*) FROM PRODUTO")}
        << QStringLiteral("PRONTO");
    // Alt+G pressed while another program holds the write lock.
    QTest::newRow("recording") << true << QStringList{QStringLiteral("BEGIN IMMEDIATE")}
                               << QStringLiteral("GRAVANDO 23000");
}

void TestTerminals::lockedSqliteStoreWaits()
{
    // Another program holds a lock on the SQLite store when a terminal needs it: the terminal
    // waits instead of failing with "database is locked", and stores its sale once the lock
    // is released.
    QFETCH(bool, wal);
    QFETCH(QStringList, lock);
    QFETCH(QString, reached);
    openStore(QStringLiteral("sqlite"), QStringLiteral("espera"));
    Terminal t = prepareTerminal(QStringLiteral("sqlite203"), QStringLiteral("203"));
    QSqlQuery q(m_store->database());
    if (wal)
        QVERIFY(q.exec(QStringLiteral("PRAGMA journal_mode=WAL")));
    for (const QString &sql : lock)
        QVERIFY2(q.exec(sql), qPrintable(q.lastError().text()));
    start(t, 1, 23000);
    QVERIFY2(QTest::qWaitFor([&] { return t.output().contains(reached)
                                          || t.process->state() == QProcess::NotRunning; },
                             120000),
             qPrintable(t.report()));
    // Well inside the terminal's patience: it must still be waiting, not have given up.
    QVERIFY2(!t.process->waitForFinished(1500), qPrintable(t.report()));
    q.finish();
    QVERIFY(q.exec(QStringLiteral("ROLLBACK")));
    QVERIFY2(t.process->waitForFinished(120000), qPrintable(t.report()));
    QVERIFY2(t.process->exitStatus() == QProcess::NormalExit && t.process->exitCode() == 0,
             qPrintable(t.report()));
    KeyedSales sales;
    collect(t, &sales);
    QCOMPARE(sales.size(), 1);
    checkStore(sales, {t.caixa}, 1);
}

void TestTerminals::killedWhileStoring_data()
{
    QTest::addColumn<QString>("blocker");
    QTest::addColumn<QStringList>("written"); // tables the held transaction has written
    // The sale counter, taken before anything of the sale is written.
    QTest::newRow("at the counter")
        << QStringLiteral("UPDATE CONTADORVENDA SET NRULTVENDA = NRULTVENDA WHERE "
                          "CDFILIAL = '0001'")
        << QStringList();
    // A movement of the very number the sale gets: the sale and its items are written by then.
    QTest::newRow("at the movements")
        << QStringLiteral("INSERT INTO MOVCAIXA (CDFILIAL, NRSEQVENDA, NRSEQUMOVI) VALUES "
                          "('0001', '%1', '001')")
        << QStringList{QStringLiteral("venda"), QStringLiteral("itvenda")};
}

void TestTerminals::killedWhileStoring()
{
    // A terminal is killed (SIGKILL) while the closing routine's transaction is open, held
    // there by a lock of the test's own: the store keeps nothing of that sale and its counter
    // is untouched; the same sale keyed again is stored once, and a third time refused.
    QFETCH(QString, blocker);
    QFETCH(QStringList, written);
    REQUIRE_PG();
    openStore(QStringLiteral("postgresql"), QStringLiteral("qel_terminal_morto"));
    Terminal t = prepareTerminal(QStringLiteral("morto"), QStringLiteral("120"));

    // A first sale, so the terminal is known to work and the counter row exists.
    start(t, 1, 80000);
    QVERIFY2(t.process->waitForFinished(180000) && t.process->exitCode() == 0,
             qPrintable(t.report()));
    KeyedSales sales;
    collect(t, &sales);
    QCOMPARE(sales.size(), 1);
    const int before = value(QStringLiteral("SELECT NRULTVENDA FROM CONTADORVENDA")).toInt();
    const QString next = QString::number(before + 1).rightJustified(10, u'0');

    DbConnection holder(QStringLiteral("tst_terminals_lock"));
    holder.ConnectionString = m_cs;
    holder.setConnected(true);
    QSqlQuery h(holder.database());
    QVERIFY(h.exec(QStringLiteral("SELECT pg_backend_pid()")) && h.next());
    const int holderPid = h.value(0).toInt();
    QVERIFY(holder.database().transaction());
    QVERIFY2(h.exec(blocker.contains(u'%') ? blocker.arg(next) : blocker),
             qPrintable(h.lastError().text()));

    QProcessEnvironment env;
    env.insert(QStringLiteral("PGAPPNAME"), QStringLiteral("qelterminal_morto"));
    start(t, 1, 80001, env);
    const QString waiting = QStringLiteral(
        "SELECT pid FROM pg_stat_activity WHERE application_name = 'qelterminal_morto' "
        "AND %1 = ANY(pg_blocking_pids(pid))").arg(holderPid);
    int driverPid = 0;
    QVERIFY2(QTest::qWaitFor([&] { driverPid = value(waiting).toInt();
                                   return driverPid != 0
                                          || t.process->state() == QProcess::NotRunning; },
                             180000),
             qPrintable(t.report()));
    QVERIFY2(t.process->state() == QProcess::Running, qPrintable(t.report()));
    for (const QString &table : written)
        QVERIFY2(value(QStringLiteral("SELECT COUNT(*) FROM pg_locks L JOIN pg_class C ON "
                                      "C.oid = L.relation WHERE L.pid = %1 AND "
                                      "C.relname = '%2' AND L.mode = 'RowExclusiveLock'")
                           .arg(driverPid)
                           .arg(table))
                         .toInt() == 1,
                 qPrintable(table + QStringLiteral(" not written in the held transaction")));
    t.process->kill();
    QVERIFY(t.process->waitForFinished(30000));
    QCOMPARE(t.process->exitStatus(), QProcess::CrashExit);
    QVERIFY(holder.database().rollback());
    // The server ends the orphaned session once it finds its client gone.
    const QString sessions = QStringLiteral(
        "SELECT COUNT(*) FROM pg_stat_activity WHERE application_name = 'qelterminal_morto'");
    QVERIFY(QTest::qWaitFor([&] { return value(sessions).toInt() == 0; }, 60000));

    QCOMPARE(value(QStringLiteral("SELECT COUNT(*) FROM VENDA WHERE NRORDEMVND = '80001'"))
                 .toInt(),
             0);
    for (const char *table : {"VENDA", "ITVENDA", "MOVCAIXA"})
        QCOMPARE(value(QStringLiteral("SELECT COUNT(*) FROM %1 WHERE NRSEQVENDA = '%2'")
                           .arg(QLatin1String(table), next))
                     .toInt(),
                 0);
    // The shift was opened before the closing began, as every recording does.
    checkStore(sales, {t.caixa}, 2);
    if (QTest::currentTestFailed())
        return;

    // The operator keys the same sale in again: stored once, under the number it would have had.
    start(t, 1, 80001);
    QVERIFY2(t.process->waitForFinished(180000) && t.process->exitCode() == 0,
             qPrintable(t.report()));
    collect(t, &sales);
    QCOMPARE(sales.size(), 2);
    checkStore(sales, {t.caixa}, 3);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(value(QStringLiteral("SELECT NRSEQVENDA FROM VENDA WHERE NRORDEMVND = '80001'"))
                 .toString(),
             next);

    // And once more: the document is already stored, so the terminal is told at the header
    // and stores nothing.
    start(t, 1, 80001);
    QVERIFY(t.process->waitForFinished(180000));
    QCOMPARE(t.process->exitCode(), 1);
    QVERIFY2(t.output().contains(QStringLiteral("Venda manual já gravada")),
             qPrintable(t.report()));
    checkStore(sales, {t.caixa}, 3); // told before the recording: no shift opened
}

QTEST_MAIN(TestTerminals)
#include "tst_terminals.moc"
