// Faults while a sale is recorded: the store stopped and started again, the connection broken
// inside the closing's transaction, a full disk, a read-only store. After each one the store
// holds no partial sale, the operator read a clear message, the sale is still on the screen,
// and Alt+G once the fault is gone stores it exactly once.
#include "operador.h"
#include "screenfixture.h"
#include "scriptedpresenter.h"
#include "testenv.h"
#include "vendaconsistente.h"

#include "blended.h"
#include "clientdataset.h"
#include "dbconnection.h"
#include "dbwork.h"
#include "exception.h"
#include "qelservices.h"
#include "screen/globals.h"
#include "server/rdmregvendamanual.h"
#include "store.h"
#include "storeconnection.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>
#include <QThread>
#include <QUrl>

#include <atomic>
#include <cmath>
#include <csignal>
#include <future>
#include <thread>

#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const QString Gravado = QStringLiteral("Dados gravados corretamente.");
const QString NaoGravada = QStringLiteral("A venda não foi gravada");

// Runs one statement on a short connection of its own, so a store that restarted or a
// connection of the screen's that broke never disturbs what the test reads.
QList<QVariantList> consulta(const QString &conexao, const QString &sql)
{
    static int n = 0;
    DbConnection c(QStringLiteral("faults_check_%1").arg(++n));
    c.ConnectionString = conexao;
    c.setConnected(true);
    QList<QVariantList> linhas;
    QSqlQuery q(c.database());
    if (!q.exec(sql))
        throw Exception(sql + QStringLiteral(": ") + q.lastError().text());
    while (q.next()) {
        QVariantList l;
        for (int i = 0; i < q.record().count(); ++i)
            l << q.value(i);
        linhas << l;
    }
    return linhas;
}

QVariant valor(const QString &conexao, const QString &sql)
{
    const QList<QVariantList> l = consulta(conexao, sql);
    return l.isEmpty() || l.first().isEmpty() ? QVariant() : l.first().first();
}

qint64 numero(const QString &conexao, const QString &sql)
{
    const QVariant v = valor(conexao, sql);
    return v.isValid() ? std::llround(v.toDouble()) : -1;
}

// A TCP port of the loopback that nobody listens on now, for a private server.
int portaLivre()
{
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    int porta = 0;
    if (::bind(s, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0
        && ::getsockname(s, reinterpret_cast<sockaddr *>(&a), &len) == 0)
        porta = ntohs(a.sin_port);
    ::close(s);
    return porta;
}

// scripts/pg on a port of its own; prints its connection string on start and up.
QString scriptPg(int porta, const QString &verbo)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QEL_PG_PORT"), QString::number(porta));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(QEL_SOURCE_DIR "/scripts/pg"), {verbo});
    if (!p.waitForFinished(180000) || p.exitCode() != 0)
        throw Exception(QStringLiteral("scripts/pg %1: %2")
                            .arg(verbo, QString::fromLocal8Bit(p.readAllStandardError())));
    const QString saida = QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
    const int igual = saida.indexOf(u'=');
    return igual < 0 ? QString() : saida.mid(igual + 1);
}

// The private server is stopped and removed whatever way the test leaves.
struct ServidorPrivado
{
    int porta = 0;
    ~ServidorPrivado()
    {
        if (porta)
            try {
                scriptPg(porta, QStringLiteral("stop"));
            } catch (const Exception &) {
            }
    }
};

// Every write to a regular file of this process fails as on a full disk, while it lives.
class DiscoCheio
{
public:
    DiscoCheio()
    {
        getrlimit(RLIMIT_FSIZE, &m_antes);
        m_sinal = std::signal(SIGXFSZ, SIG_IGN); // the write fails instead of killing us
        rlimit r = m_antes;
        r.rlim_cur = 0;
        setrlimit(RLIMIT_FSIZE, &r);
    }
    ~DiscoCheio()
    {
        setrlimit(RLIMIT_FSIZE, &m_antes);
        std::signal(SIGXFSZ, m_sinal);
    }

private:
    rlimit m_antes{};
    void (*m_sinal)(int) = nullptr;
};

} // namespace

class TestFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void storeRestartedWhileScreenOpen();
    void connectionBrokenInsideClosing();
    void diskFullWhileRecording();
    void readOnlyStoreWhileRecording();
    void storeLockedWhileRecording();
    void storeRefusedAtLaunch_data();
    void storeRefusedAtLaunch();

private:
    // A demo store at `conexao` (created and filled), its caches beside the executable, and
    // the terminal pointed at it; both connections of the terminal start anew on it.
    void preparaLoja(const QString &conexao, bool criar);
    VendaDigitada vendaDeDemo(const QString &ordem);
    void abreTela();
    // A new SQLite store of that name with a sale of that order keyed in on the open screen.
    VendaDigitada vendaNaTelaSqlite(const QString &nome, const QString &ordem);

    // What each fault must leave: nothing half stored, the sale still on the screen, and a
    // clear message that is not the success one.
    void confereNadaGravado(int turnosEsperados);
    void confereVendaNaTela(const VendaDigitada &v);
    void confereMensagem(const QString &inicio);
    // The retry: one sale, its items and movements once, totals right, its cash shift there.
    void confereGravadaUmaVez(const VendaDigitada &v, int turnosEsperados);
    // Both in turn: the sale refused whole, then the operator's retry stores it once.
    // The sale refused with `mensagem` (its start), left on the screen, nothing stored; a
    // second Alt+G records it once.
    void confereRecusadaERegravada(const VendaDigitada &v, int turnosAntes,
                                   const QString &mensagem);

    QString m_conexao;
    std::unique_ptr<TfrmRegVenMan> m_tela;
    std::unique_ptr<Operador> m_operador;
    std::unique_ptr<ScreenFixture::FakeServices> m_servicos;
    std::unique_ptr<ScriptedPresenter> m_presenter;
};

void TestFaults::initTestCase()
{
    TestEnv::usePtBr();
}

void TestFaults::init()
{
    // No dialog may open on the keyboard road; the messages are recorded, never shown.
    m_servicos = std::make_unique<ScreenFixture::FakeServices>();
    m_presenter = std::make_unique<ScriptedPresenter>();
}

void TestFaults::cleanup()
{
    if (m_tela && m_tela->isVisible())
        m_tela->done(QDialog::Rejected);
    m_operador.reset();
    m_tela.reset();
    if (rdmRegVendaManual)
        rdmRegVendaManual->adcRegVendaManual.setConnected(false);
    storeConnection().setConnected(false);
    m_presenter.reset();
    m_servicos.reset();
}

void TestFaults::preparaLoja(const QString &conexao, bool criar)
{
    m_conexao = conexao;
    auto c = Store::connect(conexao, criar);
    Store::DemoOptions opcoes;
    opcoes.products = 60;
    Store::generateDemo(c->database(), opcoes);
    TestEnv::removeCaches();
    Store::exportCaches(c->database(), TestEnv::exeDir());
    qputenv("QEL_CONEXAO", conexao.toUtf8());
    if (rdmRegVendaManual)
        rdmRegVendaManual->adcRegVendaManual.setConnected(false);
    storeConnection().setConnected(false);
}

// Three items of the demo store (branch 0001, store 001), cash and card.
VendaDigitada TestFaults::vendaDeDemo(const QString &ordem)
{
    VendaDigitada v{ordem, QStringLiteral("4"), QStringLiteral("2"), QStringLiteral("7"), {}, {}};
    for (const auto &[produto, quantidade] :
         {std::pair{"000010", "2"}, std::pair{"000020", "1"}, std::pair{"000030", "3"}}) {
        const qint64 preco =
            numero(m_conexao, QStringLiteral("SELECT VRPRECO * 100 FROM ITTABPRECO WHERE "
                                             "CDTABPRECO = 'LJ0001001' AND CDPRODUTO = '%1'")
                                  .arg(QLatin1String(produto)));
        v.itens.append({QLatin1String(produto), QLatin1String(produto), QLatin1String(quantidade),
                        preco});
    }
    const qint64 dinheiro = v.total() / 3;
    v.pagamentos = {{QStringLiteral("1"), QStringLiteral("001"), dinheiro},
                    {QStringLiteral("2"), QStringLiteral("002"), v.total() - dinheiro}};
    return v;
}

void TestFaults::abreTela()
{
    m_tela = std::make_unique<TfrmRegVenMan>(nullptr);
    m_tela->InicializaForm();
    m_tela->show();
    QVERIFY(QTest::qWaitForWindowActive(m_tela.get()));
    m_operador = std::make_unique<Operador>(m_tela.get());
}

void TestFaults::confereNadaGravado(int turnosEsperados)
{
    for (const char *tabela : {"VENDA", "ITVENDA", "MOVCAIXA"})
        QCOMPARE(numero(m_conexao, QStringLiteral("SELECT COUNT(*) FROM %1")
                                       .arg(QLatin1String(tabela))),
                 0);
    // The counter is raised inside the closing's transaction: a rolled-back sale took no number.
    QCOMPARE(numero(m_conexao, QStringLiteral("SELECT COALESCE(MAX(NRULTVENDA), 0) FROM "
                                              "CONTADORVENDA")),
             0);
    QCOMPARE(numero(m_conexao, QStringLiteral("SELECT COUNT(*) FROM TURCAIXA")), turnosEsperados);
}

void TestFaults::confereVendaNaTela(const VendaDigitada &v)
{
    QVERIFY(m_tela->isVisible());
    QCOMPARE(m_operador->linhas(Operador::Itens), v.itens.size());
    QCOMPARE(m_operador->linhas(Operador::Pagamentos), 2);
    QCOMPARE(std::llround(doTotal * 100), v.total());
    QCOMPARE(m_operador->total(), virgula(v.total()));
    QCOMPARE(m_operador->legenda(1), v.ordem);
}

void TestFaults::confereMensagem(const QString &inicio)
{
    const QStringList textos = m_presenter->texts();
    QVERIFY2(!textos.isEmpty(), "the operator was told nothing");
    QVERIFY2(!textos.contains(Gravado), qPrintable(textos.join(u'|')));
    for (const MessageCall &c : std::as_const(m_presenter->calls)) {
        QCOMPARE(c.kind, 3);
        QVERIFY2(c.text.startsWith(inicio), qPrintable(c.text));
        // The database's own words follow the explanation, never alone.
        QVERIFY2(c.text.size() > inicio.size() + 5, qPrintable(c.text));
    }
}

void TestFaults::confereRecusadaERegravada(const VendaDigitada &v, int turnosAntes,
                                           const QString &mensagem)
{
    confereMensagem(mensagem);
    confereVendaNaTela(v);
    confereNadaGravado(turnosAntes);

    m_presenter->clear();
    m_operador->grava();
    confereGravadaUmaVez(v, turnosAntes + 1);
}

void TestFaults::confereGravadaUmaVez(const VendaDigitada &v, int turnosEsperados)
{
    QCOMPARE(m_presenter->texts(), QStringList{Gravado});
    QVERIFY(!m_tela->isVisible());
    const QList<QVariantList> vendas = consulta(
        m_conexao, QStringLiteral("SELECT NRSEQVENDA, NRORDEMVND, VRTOTVENDA FROM VENDA"));
    QCOMPARE(vendas.size(), 1);
    const QString nr = vendas[0][0].toString();
    QCOMPARE(vendas[0][1].toString(), v.ordem);
    QCOMPARE(std::llround(vendas[0][2].toDouble() * 100), v.total());
    // Received, items and movements agree with that total; its cash shift is there.
    DbConnection banco(QStringLiteral("faults_consistencia"));
    banco.ConnectionString = m_conexao;
    banco.setConnected(true);
    const QStringList discrepancias = confereVendas(banco.database());
    QVERIFY2(discrepancias.isEmpty(), qPrintable(discrepancias.join(u'\n')));
    QCOMPARE(numero(m_conexao,
                    QStringLiteral("SELECT COUNT(*) FROM ITVENDA WHERE NRSEQVENDA = '%1'").arg(nr)),
             v.itens.size());
    // The movements were rebuilt for the retry, not appended to those of the failed attempt.
    QCOMPARE(numero(m_conexao, QStringLiteral("SELECT COUNT(*) FROM MOVCAIXA WHERE NRSEQVENDA = "
                                              "'%1'")
                                   .arg(nr)),
             2);
    QCOMPARE(numero(m_conexao, QStringLiteral("SELECT COUNT(*) FROM ITVENDA")), v.itens.size());
    QCOMPARE(numero(m_conexao, QStringLiteral("SELECT COUNT(*) FROM MOVCAIXA")), 2);
    QCOMPARE(numero(m_conexao, QStringLiteral("SELECT ROUND(SUM(VRMOVIVEND) * 100) FROM MOVCAIXA "
                                              "WHERE IDTIPOMOVIVE = 'T'")),
             v.pagamentos[0].centavos);
    // Each press of Alt+G that reached the store wrote its cash shift; the sale carries the
    // one of the press that stored it.
    QCOMPARE(numero(m_conexao, QStringLiteral("SELECT COUNT(*) FROM TURCAIXA")), turnosEsperados);
    QCOMPARE(numero(m_conexao, QStringLiteral("SELECT COUNT(*) FROM TURCAIXA T, VENDA V WHERE "
                                              "T.DTABERCAIX = V.DTABERCAIX AND T.CDFILIAL = "
                                              "V.CDFILIAL AND T.CDCAIXA = V.CDCAIXA")),
             1);
    QCOMPARE(numero(m_conexao, QStringLiteral("SELECT MAX(NRULTVENDA) FROM CONTADORVENDA")), 1);
}

void TestFaults::storeRestartedWhileScreenOpen()
{
    // The store's server stops while a sale is being keyed in and starts again: the price
    // lookup and Alt+G meanwhile tell the operator and store nothing; once it is back the
    // lookup works and Alt+G stores the sale once, through both connections of the terminal.
    REQUIRE_PG();
    ServidorPrivado servidor;
    servidor.porta = portaLivre();
    QVERIFY(servidor.porta > 0);
    const QString url = scriptPg(servidor.porta, QStringLiteral("start"));
    QVERIFY2(url.startsWith(QLatin1String("postgresql://")), qPrintable(url));
    preparaLoja(url, false);
    const VendaDigitada v = vendaDeDemo(QStringLiteral("31001"));
    abreTela();
    QVERIFY(m_operador->cabecalho(v));
    QVERIFY2(m_presenter->calls.isEmpty(), qPrintable(m_presenter->texts().join(u'|')));

    scriptPg(servidor.porta, QStringLiteral("down"));
    m_operador->digita(v.itens[0].produto);
    m_operador->enter();
    QVERIFY(m_tela->isVisible());
    QVERIFY(m_operador->preco().isEmpty());
    QCOMPARE(m_operador->foco(), 7); // on to the quantity, the code left in its field
    QCOMPARE(m_operador->linhas(Operador::Itens), 0);
    confereMensagem(QStringLiteral("Não foi possível conectar ao banco de dados"));

    scriptPg(servidor.porta, QStringLiteral("up"));
    m_presenter->clear();
    QVERIFY2(m_operador->itens(v) && m_operador->pagamentos(v),
             qPrintable(m_operador->falhas.join(u'|')));
    QVERIFY2(m_presenter->calls.isEmpty(), qPrintable(m_presenter->texts().join(u'|')));

    scriptPg(servidor.porta, QStringLiteral("down"));
    m_operador->grava();
    confereMensagem(NaoGravada);
    confereVendaNaTela(v);
    scriptPg(servidor.porta, QStringLiteral("up"));
    confereNadaGravado(0);

    m_presenter->clear();
    m_operador->grava();
    confereGravadaUmaVez(v, 1);

    // A restart while the next sale waits on the screen: Alt+G's first call after it is the
    // cash shift's, on a connection that still looks open. The cash shift must be written too.
    for (const char *tabela : {"VENDA", "ITVENDA", "MOVCAIXA", "TURCAIXA", "CONTADORVENDA"})
        consulta(m_conexao, QStringLiteral("DELETE FROM %1").arg(QLatin1String(tabela)));
    const VendaDigitada outra = vendaDeDemo(QStringLiteral("31005"));
    abreTela();
    QVERIFY2(m_operador->digitaVenda(outra), qPrintable(m_operador->falhas.join(u'|')));
    scriptPg(servidor.porta, QStringLiteral("down"));
    scriptPg(servidor.porta, QStringLiteral("up"));
    m_presenter->clear();
    m_operador->grava();
    confereGravadaUmaVez(outra, 1);
}

void TestFaults::connectionBrokenInsideClosing()
{
    // The closing's connection is cut while its transaction has written the sale and its
    // items: a helper holds the key of the first movement, waits until the closing queues on
    // it and terminates that backend. Failure is reported, nothing stays, the retry stores it.
    REQUIRE_PG();
    QUrl base(qEnvironmentVariable("QEL_TEST_PG"));
    const QString banco =
        QStringLiteral("tst_faults_corte") + qEnvironmentVariable("QEL_TEST_DB_SUFFIX");
    consulta(base.toString(), QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(banco));
    consulta(base.toString(), QStringLiteral("CREATE DATABASE %1").arg(banco));
    base.setPath(QLatin1Char('/') + banco);
    preparaLoja(base.toString(), false);
    const VendaDigitada v = vendaDeDemo(QStringLiteral("31002"));
    abreTela();
    QVERIFY2(m_operador->digitaVenda(v), qPrintable(m_operador->falhas.join(u'|')));
    QVERIFY2(m_presenter->calls.isEmpty(), qPrintable(m_presenter->texts().join(u'|')));

    std::promise<QString> preso;
    std::atomic<bool> gravacaoTerminou{false};
    QString cortado;
    std::thread ajudante([&] {
        // Connections belong to the thread that made them.
        DbConnection trava(QStringLiteral("faults_trava"));
        DbConnection olha(QStringLiteral("faults_olha"));
        try {
            trava.ConnectionString = olha.ConnectionString = m_conexao;
            trava.setConnected(true);
            olha.setConnected(true);
            QSqlQuery t(trava.database());
            if (!t.exec(QStringLiteral("SELECT pg_backend_pid()")) || !t.next())
                throw Exception(t.lastError().text());
            const QString travaPid = t.value(0).toString();
            const Transaction segura(trava.database()); // holds the key until the end
            if (!t.exec(QStringLiteral("INSERT INTO MOVCAIXA (CDFILIAL, NRSEQVENDA, NRSEQUMOVI)"
                                       " VALUES ('0001', '%1', '%2')")
                            .arg(Ajusta(QStringLiteral("1"), 10), Ajusta(QStringLiteral("1"), 3))))
                throw Exception(t.lastError().text());
            preso.set_value(QString());
            QSqlQuery q(olha.database());
            QDeadlineTimer prazo(20000);
            QString pid;
            while (pid.isEmpty() && !prazo.hasExpired() && !gravacaoTerminou) {
                // Whoever waits for the transaction that holds the movement's key.
                if (!q.exec(QStringLiteral("SELECT l.pid FROM pg_locks l WHERE NOT "
                                           "l.granted AND l.locktype = 'transactionid' AND "
                                           "l.transactionid = (SELECT backend_xid FROM "
                                           "pg_stat_activity WHERE pid = %1)")
                                .arg(travaPid)))
                    break;
                if (q.next())
                    pid = q.value(0).toString();
                else
                    QThread::yieldCurrentThread();
            }
            if (!pid.isEmpty() && q.exec(QStringLiteral("SELECT pg_terminate_backend(%1)").arg(pid))
                && q.next() && q.value(0).toBool())
                cortado = pid;
            q.finish();
        } catch (const Exception &e) {
            try {
                preso.set_value(e.Message());
            } catch (const std::future_error &) {
            }
        }
    });
    const QString erroTrava = preso.get_future().get();
    if (erroTrava.isEmpty())
        m_operador->grava();
    gravacaoTerminou = true;
    ajudante.join();
    QVERIFY2(erroTrava.isEmpty(), qPrintable(erroTrava));
    QVERIFY2(!cortado.isEmpty(),
             qPrintable(QStringLiteral("the closing never queued on the held movement: ")
                        + m_presenter->texts().join(u'|')));
    confereRecusadaERegravada(v, 1,
                              NaoGravada + QStringLiteral(": a conexão com o banco de dados falhou"));
}

VendaDigitada TestFaults::vendaNaTelaSqlite(const QString &nome, const QString &ordem)
{
    const QString arquivo = TestEnv::exeDir() + QStringLiteral("/Dados/") + nome
                            + QStringLiteral(".db");
    for (const char *s : {"", "-wal", "-shm"})
        QFile::remove(arquivo + QLatin1String(s));
    preparaLoja(QStringLiteral("sqlite:") + arquivo, true);
    const VendaDigitada v = vendaDeDemo(ordem);
    abreTela();
    if (!m_operador->digitaVenda(v))
        QTest::qFail(qPrintable(m_operador->falhas.join(u'|')), __FILE__, __LINE__);
    return v;
}

void TestFaults::diskFullWhileRecording()
{
    // SQLite on a full disk: every write of the process to a file fails (RLIMIT_FSIZE at 0)
    // while Alt+G runs. The cash shift and the sale are both refused, the operator is told,
    // and once there is room again the retry stores the sale once.
    const VendaDigitada v =
        vendaNaTelaSqlite(QStringLiteral("faults_cheio"), QStringLiteral("31003"));
    if (QTest::currentTestFailed())
        return;
    QVERIFY2(m_presenter->calls.isEmpty(), qPrintable(m_presenter->texts().join(u'|')));
    {
        DiscoCheio cheio;
        m_operador->grava();
    }
    confereRecusadaERegravada(
        v, 0,
        NaoGravada + QStringLiteral(" e nada dela ficou registrado. O disco do banco de dados da "
                                    "loja %1 está cheio")
                         .arg(describeConnection(m_conexao)));
}

void TestFaults::readOnlyStoreWhileRecording()
{
    // The closing's connection finds the store read-only (SQLite's query_only switch on that
    // connection, as a store opened read-only would be): the sale is refused whole, the
    // operator is told, and once writable again the retry stores it once.
    const VendaDigitada v =
        vendaNaTelaSqlite(QStringLiteral("faults_leitura"), QStringLiteral("31004"));
    if (QTest::currentTestFailed())
        return;
    QSqlDatabase fechamento = storeDatabase();
    QSqlQuery q(fechamento);
    QVERIFY(q.exec(QStringLiteral("PRAGMA query_only = 1")));
    m_operador->grava();
    QVERIFY(q.exec(QStringLiteral("PRAGMA query_only = 0")));
    confereRecusadaERegravada(v, 1, NaoGravada + QStringLiteral(": o banco de dados está somente"));
}

void TestFaults::storeLockedWhileRecording()
{
    // Another program holds the SQLite store's write lock while Alt+G runs: after the busy
    // wait the cash shift is refused and the operator reads that another program holds the
    // store; once it lets go, the retry stores the sale once.
    const VendaDigitada v =
        vendaNaTelaSqlite(QStringLiteral("faults_travada"), QStringLiteral("31006"));
    if (QTest::currentTestFailed())
        return;
    {
        DbConnection outro(QStringLiteral("faults_outro_programa"));
        outro.ConnectionString = m_conexao;
        outro.setConnected(true);
        const Transaction trava(outro.database());
        m_operador->grava();
    }
    confereRecusadaERegravada(
        v, 0,
        NaoGravada + QStringLiteral(" e nada dela ficou registrado. O banco de dados da loja %1 "
                                    "está bloqueado por outro programa")
                         .arg(describeConnection(m_conexao)));
}

void TestFaults::storeRefusedAtLaunch_data()
{
    QTest::addColumn<QString>("falha");
    QTest::addColumn<bool>("abre");
    QTest::addColumn<QString>("mensagem");
    // Held by another program before any terminal switched it to WAL: not even read.
    QTest::newRow("locked") << QStringLiteral("BEGIN EXCLUSIVE") << false
                            << QStringLiteral("A tela não pode ser aberta. O banco de dados da "
                                              "loja %1 está bloqueado por outro programa");
    // The tables of the header are asked for: the screen opens, and says what is missing.
    QTest::newRow("missing table") << QStringLiteral("DROP TABLE MESA") << true
                                   << QStringLiteral("Falta uma tabela no banco de dados da "
                                                     "loja %1");
}

void TestFaults::storeRefusedAtLaunch()
{
    // A store the launch cannot use is told in the operator's words, the store named.
    QFETCH(QString, falha);
    QFETCH(bool, abre);
    QFETCH(QString, mensagem);
    const QString arquivo = TestEnv::exeDir() + QStringLiteral("/Dados/faults_abertura.db");
    for (const char *s : {"", "-wal", "-shm"})
        QFile::remove(arquivo + QLatin1String(s));
    preparaLoja(QStringLiteral("sqlite:") + arquivo, true);
    DbConnection outro(QStringLiteral("faults_abertura"));
    outro.ConnectionString = m_conexao;
    outro.setConnected(true);
    QSqlQuery q(outro.database());
    QVERIFY2(q.exec(falha), qPrintable(q.lastError().text()));
    QString recusada;
    {
        TfrmRegVenMan tela(nullptr);
        try {
            tela.InicializaForm();
        } catch (const Exception &e) {
            recusada = e.Message();
        }
    }
    if (falha.startsWith(QLatin1String("BEGIN")))
        q.exec(QStringLiteral("ROLLBACK"));
    QCOMPARE(recusada.isEmpty(), abre);
    const QString lida = abre ? m_presenter->texts().value(0) : recusada;
    QVERIFY2(lida.startsWith(mensagem.arg(describeConnection(m_conexao))), qPrintable(lida));
}

QTEST_MAIN(TestFaults)
#include "tst_faults.moc"
