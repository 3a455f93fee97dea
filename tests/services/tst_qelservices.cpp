#include "modaldriver.h"
#include "scriptedpresenter.h"
#include "testenv.h"

#include "clientdataset.h"
#include "datapacket.h"
#include "dbconnection.h"
#include "dbwork.h"
#include "exception.h"
#include "qelservices.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <future>
#include <thread>

namespace {

// A store file as the store tool leaves it: its schema table, in rollback-journal mode.
bool makeStore(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.close();
    DbConnection c(QStringLiteral("tst_makeStore"));
    c.ConnectionString = QStringLiteral("sqlite:") + path;
    c.setConnected(true);
    QSqlQuery q(c.database());
    return q.exec(QStringLiteral("CREATE TABLE SCHEMAVERSION (NRVERSAO INT)"));
}

} // namespace

class TestQelServices : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { TestEnv::usePtBr(); }
    void ajusta();
    void roundDec_data();
    void roundDec();
    void emptyStringAndIif();
    void mensagemRecordsAllArguments();
    void mensagemMetodoShowsThenRaisesErrorText();
    void mensagemMetodoPassesOtherResults();
    void messagesCatalogueLookup();
    void checkResultServ();
    void connectionStringSources();
    void sqliteSessionAndConnectErrors();
    void connectionMessagesNeverShowThePassword_data();
    void connectionMessagesNeverShowThePassword();
    void sqliteSessionWaitsForAWriter();
    void messageBoxKeys();
};

void TestQelServices::ajusta()
{
    // Codes are stored at fixed width (tables 4, payment types and items 3, coupons 10);
    // a value already wider must pass through intact rather than be cut to a different code.
    QCOMPARE(Ajusta(QStringLiteral("7"), 4), QStringLiteral("0007"));
    QCOMPARE(Ajusta(QStringLiteral("12"), 3), QStringLiteral("012"));
    QCOMPARE(Ajusta(QStringLiteral("123"), 3), QStringLiteral("123"));
    QCOMPARE(Ajusta(QStringLiteral("12345"), 4), QStringLiteral("12345"));
    QCOMPARE(Ajusta(QString(), 3), QStringLiteral("000"));
    QCOMPARE(Ajusta(QStringLiteral("1"), 10), QStringLiteral("0000000001"));
}

void TestQelServices::roundDec_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("places");
    QTest::addColumn<double>("expected");
    QTest::newRow("2.675 stored below the half") << 2.675 << 2 << 2.68;
    QTest::newRow("1.005 stored below the half") << 1.005 << 2 << 1.01;
    QTest::newRow("0.285") << 0.285 << 2 << 0.29;
    QTest::newRow("negative half away from zero") << -2.675 << 2 << -2.68;
    QTest::newRow("just below the half") << 1.0049999 << 2 << 1.0;
    QTest::newRow("sum with binary noise") << (0.1 + 0.2) << 2 << 0.3;
    QTest::newRow("places 0 half up") << 2.5 << 0 << 3.0;
    QTest::newRow("places 0 negative") << -0.5 << 0 << -1.0;
    QTest::newRow("places 0 below") << 0.49 << 0 << 0.0;
    QTest::newRow("places 3") << 1.0005 << 3 << 1.001;
    QTest::newRow("places 3 negative") << -3.14159 << 3 << -3.142;
    QTest::newRow("carry through") << 9.995 << 2 << 10.0;
    QTest::newRow("tiny to zero") << 0.004 << 2 << 0.0;
    QTest::newRow("large amount") << 1234567.125 << 2 << 1234567.13;
    QTest::newRow("already exact") << 19.9 << 2 << 19.9;
}

void TestQelServices::roundDec()
{
    // Totals are compared only after rounding, so a binary double just below a decimal
    // half (2.675 is 2.67499999...) must still round away from zero, as the operator reads it.
    QFETCH(double, value);
    QFETCH(int, places);
    QFETCH(double, expected);
    const double got = RoundDec(value, places);
    QCOMPARE(got, expected);
    QVERIFY(!std::signbit(RoundDec(-0.001, 2))); // never a "-0,00" on screen
}

void TestQelServices::emptyStringAndIif()
{
    // Entry captions of blanks count as empty so a required field cannot be passed with
    // spaces; iif must hand back the branch's value unchanged (type included).
    QVERIFY(EmptyString(QString()));
    QVERIFY(EmptyString(QStringLiteral("   ")));
    QVERIFY(!EmptyString(QStringLiteral(" 0 ")));
    QCOMPARE(iif(true, QVariant(1.5), QVariant(QStringLiteral("x"))), QVariant(1.5));
    QCOMPARE(iif(false, QVariant(1.5), QVariant(QStringLiteral("x"))),
             QVariant(QStringLiteral("x")));
}

void TestQelServices::mensagemRecordsAllArguments()
{
    // Every box goes through the installed presenter with its nine arguments (the dataset by
    // name), and a question returns the operator's answer: the screen's exits depend on it.
    ScriptedPresenter presenter;
    presenter.answer(false);
    ClientDataSet ds(QStringLiteral("cdsReceb"));
    QVERIFY(!Mensagem(QStringLiteral("Sair?"), QStringLiteral("a2"), QStringLiteral("N"),
                      QStringLiteral("S"), tmInformacao, QStringLiteral("a6"),
                      QStringLiteral("002"), 7, &ds));
    QVERIFY(Mensagem(QStringLiteral("De novo?"), QString(), QStringLiteral("N"),
                     QStringLiteral("S"), tmInformacao, QString(), QStringLiteral("002"), 0,
                     nullptr));
    QCOMPARE(presenter.calls.size(), 2);
    MessageCall first = questionCall(QStringLiteral("Sair?"), QStringLiteral("002"));
    first.arg2 = QStringLiteral("a2");
    first.arg6 = QStringLiteral("a6");
    first.arg8 = 7;
    first.dataSet = QStringLiteral("cdsReceb");
    QCOMPARE(presenter.calls.at(0), first);
}

void TestQelServices::mensagemMetodoShowsThenRaisesErrorText()
{
    // A server error text must reach the operator as an error box and then stop the caller:
    // the step after a failed recording must not run.
    ScriptedPresenter presenter;
    const QString error = QStringLiteral("Falha ao gravar: chave duplicada em TURCAIXA");
    bool raised = false;
    try {
        MensagemMetodo(QVariant(error), true, 10, QStringLiteral("setConcluiFechamento"),
                       QStringLiteral("Cli_Tor00071"), QStringLiteral("p"),
                       QStringLiteral("002"));
    } catch (const Exception &e) {
        raised = true;
        QCOMPARE(e.Message(), error);
    }
    QVERIFY(raised);
    QCOMPARE(presenter.calls.size(), 1);
    QCOMPARE(presenter.calls.at(0), errorCall(error, QStringLiteral("002")));
}

void TestQelServices::mensagemMetodoPassesOtherResults()
{
    // Success comes back as a data packet (or an empty text); neither may show a box or
    // throw, and the packet must come back as the same shared rows.
    ScriptedPresenter presenter;
    DataPacket packet({FieldDef{QStringLiteral("NRMESA"), FieldType::String, 4}});
    packet.appendRow({QStringLiteral("0001")});
    const QVariant back = MensagemMetodo(QVariant::fromValue(packet), true, 0,
                                         QStringLiteral("getStatusMesa"),
                                         QStringLiteral("Cli_Lum00071"), QString(),
                                         QStringLiteral("002"));
    QVERIFY(back.canConvert<DataPacket>());
    QVERIFY(back.value<DataPacket>().sharesRowsWith(packet));
    QCOMPARE(MensagemMetodo(QVariant(QString()), true, 0, {}, {}, {}, {}), QVariant(QString()));
    QVERIFY(MensagemMetodo(QVariant(), true, 0, {}, {}, {}, {}).isNull());
    QCOMPARE(MensagemMetodo(QVariant(true), true, 0, {}, {}, {}, {}), QVariant(true));
    QVERIFY(presenter.calls.isEmpty());
}

void TestQelServices::messagesCatalogueLookup()
{
    // Keys are exact and case-sensitive, the first line wins, and a text may itself hold "|":
    // a loose match would show the operator another message's text.
    TMessages msg;
    msg.Items << QStringLiteral("NRMESA|Número da mesa") << QStringLiteral("nrmesa|minúscula")
              << QStringLiteral("NRMESA2|outra") << QStringLiteral("NRMESA|segunda")
              << QStringLiteral("SAIR|Deseja sair? (S|N)") << QStringLiteral("sem barra");
    QCOMPARE(msg.Msg(QStringLiteral("NRMESA")), QStringLiteral("Número da mesa"));
    QCOMPARE(msg.Msg(QStringLiteral("nrmesa")), QStringLiteral("minúscula"));
    QCOMPARE(msg.Msg(QStringLiteral("NRMESA2")), QStringLiteral("outra"));
    QCOMPARE(msg.Msg(QStringLiteral("SAIR")), QStringLiteral("Deseja sair? (S|N)"));
    QCOMPARE(msg.Msg(QStringLiteral("NRMES")), QString());
    QCOMPARE(msg.Msg(QStringLiteral("sem barra")), QString());
}

void TestQelServices::checkResultServ()
{
    // The price lookup reports failure as a code text; the code itself must be the exception
    // message (the screen maps it to a catalogue text), and success must pass silently.
    CheckResultServ(QVariant(QString()), true, 0);
    CheckResultServ(QVariant(), true, 0);
    CheckResultServ(QVariant::fromValue(DataPacket()), true, 0);
    CheckResultServ(QVariant(QStringLiteral("PRECZERO")), false, 0);
    QString message;
    try {
        CheckResultServ(QVariant(QStringLiteral("PRECZERO")), true, 0);
    } catch (const Exception &e) {
        message = e.Message();
    }
    QCOMPARE(message, QStringLiteral("PRECZERO"));
}

void TestQelServices::connectionStringSources()
{
    // The store is found by the environment first, then conexao.txt beside the executable,
    // then the SQLite file there; a wrong order would point a terminal at the wrong store.
    const QString file = QCoreApplication::applicationDirPath() + QStringLiteral("/conexao.txt");
    QFile::remove(file);
    qunsetenv("QEL_CONEXAO");
    QCOMPARE(_GetStringConexQel(QString()),
             QStringLiteral("sqlite:") + QCoreApplication::applicationDirPath()
                 + QStringLiteral("/Dados/loja.db"));

    {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("\xEF\xBB\xBFpostgresql://pdv:x@servidor:5432/loja  \r\nsegunda linha\r\n");
    }
    QCOMPARE(_GetStringConexQel(QString()),
             QStringLiteral("postgresql://pdv:x@servidor:5432/loja"));

    qputenv("QEL_CONEXAO", "sqlite:/tmp/outra.db");
    QCOMPARE(_GetStringConexQel(QString()), QStringLiteral("sqlite:/tmp/outra.db"));
    qunsetenv("QEL_CONEXAO");
    QFile::remove(file);
}

void TestQelServices::sqliteSessionAndConnectErrors()
{
    // Terminals share the SQLite store, so each session must run in WAL with a busy wait and
    // enforced foreign keys; a failed connect must raise, and its report be one readable line.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("loja.db"));
    QVERIFY(makeStore(path));
    DbConnection conn(QStringLiteral("tst_session"));
    conn.ConnectionString = QStringLiteral("sqlite:") + path;
    conn.AfterConnect = [](DbConnection &c) { SetADODBSession(&c); };
    TryConnect(&conn);
    QVERIFY(conn.Connected());
    QSqlQuery q(conn.database());
    QVERIFY(q.exec(QStringLiteral("PRAGMA journal_mode")) && q.next());
    QCOMPARE(q.value(0).toString(), QStringLiteral("wal"));
    QVERIFY(q.exec(QStringLiteral("PRAGMA foreign_keys")) && q.next());
    QCOMPARE(q.value(0).toInt(), 1);
    QVERIFY(q.exec(QStringLiteral("PRAGMA busy_timeout")) && q.next());
    QCOMPARE(q.value(0).toInt(), 5000);
    q.finish();

    DbConnection missing(QStringLiteral("tst_missing"));
    missing.ConnectionString = QStringLiteral("sqlite:") + dir.filePath(QStringLiteral("nada.db"));
    QString text;
    try {
        TryConnect(&missing);
    } catch (const Exception &e) {
        text = ADOExceptionMessage(Exception(e.Message() + QStringLiteral("\nlinha 2")),
                                   &missing, QString());
    }
    QVERIFY(!text.isEmpty());
    QVERIFY(!text.contains(QLatin1Char('\n')));
    QVERIFY(text.contains(QStringLiteral("linha 2")));
    bool raised = false;
    try {
        TryConnect(nullptr);
    } catch (const Exception &) {
        raised = true;
    }
    QVERIFY(raised);
}

void TestQelServices::connectionMessagesNeverShowThePassword_data()
{
    QTest::addColumn<QString>("connection");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("named"); // what the message must show of the connection
    const QString pw = QStringLiteral("S3nha@Secreta");
    QTest::newRow("@ typed in the password, server down")
        << "postgresql://caixa:" + pw + "@127.0.0.1:1/loja" << pw
        << "postgresql://caixa@127.0.0.1:1/loja";
    QTest::newRow("no host") << "postgresql://caixa:" + pw + "@/loja" << pw
                             << "postgresql://caixa@/loja";
    QTest::newRow("port 99999") << "postgresql://caixa:" + pw + "@dbhost:99999/loja" << pw
                                << "caixa@dbhost:99999";
    QTest::newRow("scheme typo") << "postgrsql://caixa:" + pw + "@dbhost/loja" << pw
                                 << "postgrsql://caixa@dbhost/loja";
    QTest::newRow("unsupported scheme") << "mysql://caixa:" + pw + "@dbhost:3306/loja" << pw
                                        << "mysql://caixa@dbhost:3306/loja";
    QTest::newRow("@ typed in an option")
        << "postgresql://caixa@127.0.0.1:1/loja?password=" + pw << pw << "postgresql://caixa@";
    QTest::newRow("odbc PWD") << "odbc:DSN=loja;UID=caixa;PWD={" + pw + ";x}" << pw
                              << "DSN=loja;UID=caixa";
    QTest::newRow("\"//\" left out") << "postgresql:/caixa:" + pw + "@dbhost/loja" << pw
                                     << "@dbhost/loja";
}

// A message about the connection reaches the screen, the log and stderr; it must say which
// store (kind, user, host, port, database) and never the password, however the string is
// mistyped.
void TestQelServices::connectionMessagesNeverShowThePassword()
{
    QFETCH(QString, connection);
    QFETCH(QString, password);
    QFETCH(QString, named);
    DbConnection conn(QStringLiteral("tst_password"));
    conn.ConnectionString = connection;
    QString message;
    try {
        TryConnect(&conn);
    } catch (const Exception &e) {
        message = ADOExceptionMessage(e, &conn, QString());
    }
    QVERIFY2(!message.contains(password) && !message.contains(QStringLiteral("S3nha")),
             qPrintable(message));
    QVERIFY2(message.contains(named), qPrintable(message));
}

void TestQelServices::sqliteSessionWaitsForAWriter()
{
    // A terminal starting while another holds the store's write lock (storing a sale) waits
    // for it, as every statement does, instead of failing at once with "database is locked"
    // when it switches a store still in rollback-journal mode to WAL.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("loja.db"));
    QVERIFY(makeStore(path));
    std::promise<QString> held;
    std::thread writer([&] {
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"),
                                                        QStringLiteral("tst_writer"));
            db.setDatabaseName(path);
            try {
                if (!db.open()) throw Exception(db.lastError().text());
                const Transaction gravacao(db); // the other terminal's write holds the lock
                held.set_value(QString());
                QThread::msleep(1000);
            } catch (const Exception &e) {
                held.set_value(e.Message());
            }
        }
        QSqlDatabase::removeDatabase(QStringLiteral("tst_writer"));
    });
    const QString lockError = held.get_future().get();
    DbConnection conn(QStringLiteral("tst_waits"));
    conn.ConnectionString = QStringLiteral("sqlite:") + path;
    conn.AfterConnect = [](DbConnection &c) { SetADODBSession(&c); };
    QElapsedTimer clock;
    clock.start();
    QString error;
    try {
        TryConnect(&conn);
    } catch (const Exception &e) {
        error = e.Message();
    }
    const qint64 waited = clock.elapsed();
    writer.join();
    QVERIFY2(lockError.isEmpty(), qPrintable(lockError));
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QVERIFY2(waited >= 500, "the write lock was not held while the session started");
    QSqlQuery q(conn.database());
    QVERIFY(q.exec(QStringLiteral("PRAGMA journal_mode")) && q.next());
    QCOMPARE(q.value(0).toString(), QStringLiteral("wal"));
}

void TestQelServices::messageBoxKeys()
{
    // The library's own box: Enter confirms a question, Escape answers no, and a stray key
    // must not dismiss it unread (nor may the box's buttons take Enter for themselves).
    QVERIFY(setMessagePresenter(nullptr) == nullptr);
    ModalDriver driver;
    bool stillOpenAfterStrayKey = false;
    driver.whenShown([&](QDialog *d) {
        ModalDriver::type(d, QStringLiteral("x"));
        ModalDriver::press(d, Qt::Key_F5);
        stillOpenAfterStrayKey = d->isVisible();
        ModalDriver::press(d, Qt::Key_Return);
    });
    QVERIFY(Mensagem(QStringLiteral("Confirma?"), QString(), QStringLiteral("N"),
                     QStringLiteral("S"), tmInformacao, QString(), QStringLiteral("002"), 0,
                     nullptr));
    QVERIFY(driver.ran() && !driver.leftOpen());
    QVERIFY(stillOpenAfterStrayKey);

    driver.whenShown([](QDialog *d) { ModalDriver::press(d, Qt::Key_Escape); });
    QVERIFY(!Mensagem(QStringLiteral("Confirma?"), QString(), QStringLiteral("N"),
                      QStringLiteral("S"), tmInformacao, QString(), QString(), 0, nullptr));
    QVERIFY(driver.ran() && !driver.leftOpen());

    driver.whenShown([](QDialog *d) { ModalDriver::press(d, Qt::Key_Enter); });
    Mensagem(QStringLiteral("Falhou."), QString(), QStringLiteral("N"), QStringLiteral("N"),
             tmErro, QString(), QString(), 0, nullptr);
    QVERIFY(driver.ran() && !driver.leftOpen());
}

QTEST_MAIN(TestQelServices)
#include "tst_qelservices.moc"
