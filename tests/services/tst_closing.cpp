// The closing routine on a real store: a manual sale stored once, whole or not at all, with
// the screen's own item and movement datasets.
#include "storefixture.h"
#include "storeconnection.h"
#include "testenv.h"

#include "clientdataset.h"
#include "dbconnection.h"
#include "qelservices.h"
#include "screen/frmregvenman.h"
#include "screenservices.h"
#include "store.h"

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>

#include <memory>

namespace {

struct Item
{
    QString produto;
    double quantidade;
    double preco;
};
struct Pagamento
{
    QString tipo;
    QString idTipo; // 'A' cash
    double valor;
};

// A manual sale as the screen hands it over.
struct Venda
{
    QString filial = QStringLiteral("0001");
    QString loja = QStringLiteral("001");
    QString ordem = QStringLiteral("4711");
    QString serie = QStringLiteral("1");
    QString subSerie = QStringLiteral("2");
    QList<Item> itens = {{QStringLiteral("000010"), 2, 12.5}, {QStringLiteral("000020"), 1, 10}};
    QList<Pagamento> pagamentos = {{QStringLiteral("001"), QStringLiteral("A"), 20},
                                   {QStringLiteral("002"), QStringLiteral("B"), 15}};
    QDateTime abertura{QDate::currentDate(), QTime(8, 15, 30, 123)};
    QDateTime movimento{QDate::currentDate(), QTime(0, 0)};
};

// One of the lists the screen hands the routine, as the screen declares it.
ClientDataSet *lista(TfrmRegVenMan &tela, const char *nome)
{
    return tela.findChild<ClientDataSet *>(QLatin1String(nome));
}

// Fills the screen's item and movement lists as the screen leaves them for recording.
void preenche(TfrmRegVenMan &tela, const Venda &v)
{
    ClientDataSet *p = lista(tela, "cdsProdutos");
    p->Close();
    p->CreateDataSet();
    const QDateTime emissao(QDate::currentDate(), QTime(0, 0));
    int n = 0;
    for (const Item &i : v.itens) {
        const auto f = [p](const char *c) { return p->FieldByName(QString::fromLatin1(c)); };
        p->Append();
        f("NRSEQUITVENDA").setAsString(Ajusta(QString::number(++n), 3));
        f("CDPRODUTO").setAsString(i.produto);
        f("NMPRODUTO").setAsString(QStringLiteral("Produto ") + i.produto);
        f("QTPRODVEND").setAsFloat(i.quantidade);
        f("VRUNITVEND").setAsFloat(i.preco);
        f("VRTOTVEND").setAsFloat(i.quantidade * i.preco);
        f("VRDESITVEND").setAsFloat(0.5);
        f("VRACRITVEND").setAsFloat(0.25);
        f("NMIMPOSTO").setAsString(QStringLiteral("ICMS"));
        f("SGIMPOSTO").setAsString(QStringLiteral("01"));
        f("VRPEALIMPFIS").setAsFloat(18);
        f("DTVENDA").setAsDateTime(emissao);
        f("DTENTRVENDA").setAsDateTime(emissao.addSecs(3600));
        f("DTFECHAVENDA").setAsDateTime(emissao.addSecs(3601));
        f("CDOPERADOR").setAsString(QStringLiteral("1001"));
        f("NRMESA").setAsString(QStringLiteral("0007"));
        f("CDSALA").setAsString(QStringLiteral("SL1"));
        f("CDFILIAL").setAsString(v.filial);
        f("CDLOJA").setAsString(v.loja);
        f("NRORDEMVND").setAsString(v.ordem);
        f("NRSERIEVND").setAsString(v.serie);
        f("NRSUBSERIEVND").setAsString(v.subSerie);
        p->Post();
    }
    ClientDataSet *m = lista(tela, "cdsMovCaixa");
    m->Close();
    m->CreateDataSet();
    for (const Pagamento &pg : v.pagamentos) {
        const auto f = [m](const char *c) { return m->FieldByName(QString::fromLatin1(c)); };
        m->Append();
        f("CDFILIAL").setAsString(v.filial);
        f("IDTIPOMOVIVE").setAsString(pg.idTipo == QLatin1String("A") ? QStringLiteral("T")
                                                                      : QStringLiteral("E"));
        f("CDTIPORECE").setAsString(pg.tipo);
        f("NMTIPORECE").setAsString(QStringLiteral("Tipo ") + pg.tipo);
        f("IDTIPORECE").setAsString(pg.idTipo);
        f("VRMOVIVEND").setAsFloat(pg.valor);
        f("DTHRINCMOV").setAsDateTime(emissao.addSecs(7200));
        f("DTMOVIMCAIXA").setAsDateTime(emissao);
        f("DSIMPFISCAL").setAsString(QStringLiteral("Fiscal ") + pg.tipo);
        m->Post();
    }
}

// Calls the routine with the ten datasets and the 33 values, as the screen's recording does.
QVariant chama(TfrmRegVenMan &tela, const Venda &v, QVariant &ov)
{
    QVariantList valores(33, QVariant(QString(QLatin1String(""))));
    valores[0] = QStringLiteral("001");
    valores[1] = v.abertura;
    valores[2] = QStringLiteral("01");
    valores[5] = v.filial;
    valores[8] = v.loja;
    valores[9] = QStringLiteral("0007");
    valores[11] = QStringLiteral("POS");
    valores[16] = 1;
    valores[20] = v.movimento;
    valores[32] = QStringLiteral("QEL_MAN");
    ClientDataSet *dataSets[10];
    const char *const nomes[10] = {"cdsProdutos",      "cdsMovCaixa",    "cdsVendaCancelada",
                                   "cdsFamiliaSaldo",  "cdsEmprestimoFam", "cdsItPromoComb",
                                   "cdsVazio",         "cdsVazio",       "cdsVazio",
                                   "cdsVazio"};
    for (int i = 0; i < 10; ++i)
        dataSets[i] = lista(tela, nomes[i]);
    ov = QVariant(QVariantList(10));
    return SetConcluiFechamento(dataSets, 9, valores.constData(), 32, ov);
}

QVariant grava(TfrmRegVenMan &tela, const Venda &v, QVariant &ov)
{
    preenche(tela, v);
    return chama(tela, v, ov);
}

// Child process of the concurrency test: records `count` sales whose order numbers start
// with `prefix` (or the same document every time) and prints one line per result.
int gravaEmLote(const QString &prefix, int count, bool mesmoDocumento)
{
    TfrmRegVenMan tela;
    QTextStream out(stdout);
    for (int i = 0; i < count; ++i) {
        Venda v;
        v.ordem = mesmoDocumento ? prefix : prefix + QString::number(i);
        QVariant ov;
        const QVariant r = grava(tela, v, ov);
        if (r.isValid())
            out << "ERR " << r.toString().replace(u'\n', u' ') << '\n';
        else
            out << "OK " << ov.toList().value(0).toString() << '\n';
        out.flush();
    }
    return 0;
}

} // namespace

class TestClosing : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { TestEnv::usePtBr(); }
    void cleanup();

    void storesSaleAsHanded_data();
    void storesSaleAsHanded();
    void sameDocumentRefused_data();
    void sameDocumentRefused();
    void totalsMustAddUp_data();
    void totalsMustAddUp();
    void failureRollsBack_data();
    void failureRollsBack();
    void concurrentSalesNeverShareNumber_data();
    void concurrentSalesNeverShareNumber();
    void replacedStoreFileGetsTheSale();

private:
    void openStore(const QString &backend);
    QVariant value(const QString &sql);
    QList<QVariantMap> rows(const QString &sql);
    void exec(const QString &sql);
    int count(const char *table) { return value(QStringLiteral("SELECT COUNT(*) FROM %1")
                                                    .arg(QLatin1String(table))).toInt(); }

    std::unique_ptr<DbConnection> m_db;
    QString m_conexao;
    std::unique_ptr<TfrmRegVenMan> m_tela;
};

void TestClosing::openStore(const QString &backend)
{
    m_conexao = StoreFixture::freshDatabase(backend, QStringLiteral("tst_closing"));
    m_db = Store::connect(m_conexao);
    Store::createSchema(m_db->database());
    storeConnection().setConnected(false);
    qputenv("QEL_CONEXAO", m_conexao.toUtf8());
    m_tela = std::make_unique<TfrmRegVenMan>();
}

void TestClosing::cleanup()
{
    m_tela.reset();
    storeConnection().setConnected(false);
    m_db.reset();
}

QList<QVariantMap> TestClosing::rows(const QString &sql)
{
    QList<QVariantMap> out;
    QSqlQuery q(m_db->database());
    if (!q.exec(sql)) {
        QTest::qFail(qPrintable(q.lastError().text()), __FILE__, __LINE__);
        return out;
    }
    while (q.next()) {
        QVariantMap row;
        for (int c = 0; c < q.record().count(); ++c)
            row.insert(q.record().fieldName(c).toUpper(), q.value(c));
        out.append(row);
    }
    return out;
}

QVariant TestClosing::value(const QString &sql)
{
    const QList<QVariantMap> r = rows(sql);
    return r.isEmpty() ? QVariant() : r.first().first();
}

void TestClosing::exec(const QString &sql)
{
    QSqlQuery q(m_db->database());
    QVERIFY2(q.exec(sql), qPrintable(q.lastError().text()));
}

void TestClosing::storesSaleAsHanded_data()
{
    StoreFixture::addBackendColumn();
    StoreFixture::addBackendRows();
}

void TestClosing::storesSaleAsHanded()
{
    // Header, items and movements land as handed, with the number from the counter, the
    // origin, opening time and business date from the value list; the result is unassigned
    // and the number comes back in ovFechamento's first element.
    QFETCH(QString, backend);
    SKIP_UNAVAILABLE(backend);
    openStore(backend);
    Venda v;
    QVariant ov;
    const QVariant r = grava(*m_tela, v, ov);
    QVERIFY2(!r.isValid(), qPrintable(r.toString()));

    const QList<QVariantMap> vendas = rows(QStringLiteral("SELECT * FROM VENDA"));
    QCOMPARE(vendas.size(), 1);
    const QVariantMap h = vendas.first();
    const int contador = value(QStringLiteral("SELECT NRULTVENDA FROM CONTADORVENDA "
                                              "WHERE CDFILIAL = '0001'")).toInt();
    QCOMPARE(contador, 1);
    QCOMPARE(h["NRSEQVENDA"].toString(), Ajusta(QStringLiteral("1"), 10));
    const QVariantList ovl = ov.toList();
    QCOMPARE(ovl.size(), 10);
    QCOMPARE(ovl[0].toString(), h["NRSEQVENDA"].toString());
    for (int i = 1; i < 10; ++i)
        QVERIFY(!ovl[i].isValid());
    QCOMPARE(h["CDFILIAL"].toString(), v.filial);
    QCOMPARE(h["CDLOJA"].toString(), v.loja);
    QCOMPARE(h["CDCAIXA"].toString(), QStringLiteral("001"));
    QCOMPARE(h["CDEMPRESA"].toString(), QStringLiteral("01"));
    QCOMPARE(h["NRORDEMVND"].toString(), v.ordem);
    QCOMPARE(h["NRSERIEVND"].toString(), v.serie);
    QCOMPARE(h["NRSUBSERIEVND"].toString(), v.subSerie);
    QCOMPARE(h["NRMESA"].toString(), QStringLiteral("0007"));
    QCOMPARE(h["CDSALA"].toString(), QStringLiteral("SL1"));
    QCOMPARE(h["CDOPERADOR"].toString(), QStringLiteral("1001"));
    QCOMPARE(h["IDORIGEMVENDA"].toString(), QStringLiteral("QEL_MAN"));
    QCOMPARE(h["DTABERCAIX"].toDateTime(), v.abertura);
    QCOMPARE(h["DTMOVIMENTO"].toDateTime(), v.movimento);
    QCOMPARE(h["DTVENDA"].toDateTime(), QDateTime(QDate::currentDate(), QTime(0, 0)));
    QCOMPARE(h["VRTOTVENDA"].toDouble(), 35.0);
    QCOMPARE(h["VRTOTRECEB"].toDouble(), 35.0);
    QCOMPARE(h["QTITENS"].toInt(), 2);

    const QList<QVariantMap> itens =
        rows(QStringLiteral("SELECT * FROM ITVENDA ORDER BY NRSEQUITVENDA"));
    QCOMPARE(itens.size(), 2);
    for (int i = 0; i < 2; ++i) {
        const QVariantMap &it = itens[i];
        QCOMPARE(it["NRSEQVENDA"].toString(), h["NRSEQVENDA"].toString());
        QCOMPARE(it["NRSEQUITVENDA"].toString(), Ajusta(QString::number(i + 1), 3));
        QCOMPARE(it["CDPRODUTO"].toString(), v.itens[i].produto);
        QCOMPARE(it["NMPRODUTO"].toString(), QStringLiteral("Produto ") + v.itens[i].produto);
        QCOMPARE(it["QTPRODVEND"].toDouble(), v.itens[i].quantidade);
        QCOMPARE(it["VRUNITVEND"].toDouble(), v.itens[i].preco);
        QCOMPARE(it["VRTOTVEND"].toDouble(), v.itens[i].quantidade * v.itens[i].preco);
        QCOMPARE(it["VRDESITVEND"].toDouble(), 0.5);
        QCOMPARE(it["VRACRITVEND"].toDouble(), 0.25);
        QCOMPARE(it["NMIMPOSTO"].toString(), QStringLiteral("ICMS"));
        QCOMPARE(it["SGIMPOSTO"].toString(), QStringLiteral("01"));
        QCOMPARE(it["VRPEALIMPFIS"].toDouble(), 18.0);
        QCOMPARE(it["DTENTRVENDA"].toDateTime().time(), QTime(1, 0));
        QCOMPARE(it["DTFECHAVENDA"].toDateTime().time(), QTime(1, 0, 1));
        QCOMPARE(it["NRMESA"].toString(), QStringLiteral("0007"));
    }

    const QList<QVariantMap> movs =
        rows(QStringLiteral("SELECT * FROM MOVCAIXA ORDER BY NRSEQUMOVI"));
    QCOMPARE(movs.size(), 2);
    for (int i = 0; i < 2; ++i) {
        const QVariantMap &m = movs[i];
        const Pagamento &pg = v.pagamentos[i];
        QCOMPARE(m["NRSEQVENDA"].toString(), h["NRSEQVENDA"].toString());
        QCOMPARE(m["NRSEQUMOVI"].toString(), Ajusta(QString::number(i + 1), 3));
        QCOMPARE(m["CDCAIXA"].toString(), QStringLiteral("001"));
        QCOMPARE(m["IDTIPOMOVIVE"].toString(), i == 0 ? QStringLiteral("T") : QStringLiteral("E"));
        QCOMPARE(m["CDTIPORECE"].toString(), pg.tipo);
        QCOMPARE(m["NMTIPORECE"].toString(), QStringLiteral("Tipo ") + pg.tipo);
        QCOMPARE(m["IDTIPORECE"].toString(), pg.idTipo);
        QCOMPARE(m["VRMOVIVEND"].toDouble(), pg.valor);
        QCOMPARE(m["DSIMPFISCAL"].toString(), QStringLiteral("Fiscal ") + pg.tipo);
        QCOMPARE(m["DTMOVIMCAIXA"].toDate(), QDate::currentDate());
    }
}

void TestClosing::sameDocumentRefused_data()
{
    StoreFixture::addBackendColumn();
    StoreFixture::addBackendRows();
}

void TestClosing::sameDocumentRefused()
{
    // A hand-written slip keyed twice must be counted once: the second recording gets a text
    // naming the document and writes nothing (not even a counter step); another document
    // after it gets the next number.
    QFETCH(QString, backend);
    SKIP_UNAVAILABLE(backend);
    openStore(backend);
    Venda v;
    QVariant ov;
    QVERIFY(!grava(*m_tela, v, ov).isValid());

    Venda outra = v;
    outra.itens = {{QStringLiteral("000030"), 1, 35}};
    const QVariant r = grava(*m_tela, outra, ov);
    QVERIFY(r.isValid());
    const QString texto = r.toString();
    for (const QString &parte : {v.ordem, v.serie, v.subSerie, v.filial, v.loja})
        QVERIFY2(texto.contains(parte), qPrintable(texto));
    QVERIFY2(texto.contains(QStringLiteral("já registrado")), qPrintable(texto));
    for (const QVariant &e : ov.toList())
        QVERIFY(!e.isValid());
    QCOMPARE(count("VENDA"), 1);
    QCOMPARE(count("ITVENDA"), 2);
    QCOMPARE(count("MOVCAIXA"), 2);
    QCOMPARE(value(QStringLiteral("SELECT NRULTVENDA FROM CONTADORVENDA")).toInt(), 1);

    // Same order number in another series, and in another store: different documents.
    Venda serie = v;
    serie.serie = QStringLiteral("3");
    QVERIFY(!grava(*m_tela, serie, ov).isValid());
    QCOMPARE(ov.toList().value(0).toString(), Ajusta(QStringLiteral("2"), 10));
    Venda loja = v;
    loja.loja = QStringLiteral("002");
    QVERIFY(!grava(*m_tela, loja, ov).isValid());
    QCOMPARE(ov.toList().value(0).toString(), Ajusta(QStringLiteral("3"), 10));
    QCOMPARE(count("VENDA"), 3);
}

void TestClosing::totalsMustAddUp_data()
{
    StoreFixture::addBackendColumn();
    StoreFixture::addBackendRows();
}

void TestClosing::totalsMustAddUp()
{
    // Payments a cent short of the items are refused whatever the number of items, and so
    // are lines worth a fraction of a cent.
    QFETCH(QString, backend);
    SKIP_UNAVAILABLE(backend);
    openStore(backend);
    QVariant ov;
    Venda curta;
    curta.itens = {{QStringLiteral("000010"), 1, 10},
                   {QStringLiteral("000020"), 1, 10},
                   {QStringLiteral("000030"), 1, 15}};
    curta.pagamentos = {{QStringLiteral("001"), QStringLiteral("A"), 20},
                        {QStringLiteral("002"), QStringLiteral("B"), 14.99}};
    QVariant r = grava(*m_tela, curta, ov);
    QVERIFY2(r.isValid() && r.toString().contains(QStringLiteral("não conferem")),
             qPrintable(r.toString()));
    Venda sobra = curta;
    sobra.pagamentos[1].valor = 15.01;
    QVERIFY(grava(*m_tela, sobra, ov).isValid());
    QCOMPARE(count("VENDA"), 0);
    QCOMPARE(count("ITVENDA"), 0);
    QCOMPARE(count("MOVCAIXA"), 0);

    // A line of 1,333 x 3 = 3,999 is not what anybody was shown or paid: the screen rounds
    // each line to the cent, and a line that was not rounded is not stored.
    Venda fracionada;
    fracionada.itens = {{QStringLiteral("000010"), 2, 12.5}, {QStringLiteral("000040"), 3, 1.333}};
    fracionada.pagamentos = {{QStringLiteral("001"), QStringLiteral("A"), 29}};
    r = grava(*m_tela, fracionada, ov);
    QVERIFY2(r.toString().contains(QStringLiteral("fração de centavo")), qPrintable(r.toString()));
    QCOMPARE(count("VENDA"), 0);
}

void TestClosing::failureRollsBack_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<QString>("falha");
    for (const char *b : {"sqlite", "postgresql"}) {
        QTest::addRow("%s/item repetido", b) << QString::fromLatin1(b) << QStringLiteral("item");
        QTest::addRow("%s/sem MOVCAIXA", b) << QString::fromLatin1(b) << QStringLiteral("tabela");
    }
}

void TestClosing::failureRollsBack()
{
    // A failure after the header and some rows were written leaves no header, no item, no
    // movement and no counter step behind, returns the database's text, and leaves no
    // statement stranded in the terminal's long-lived session.
    QFETCH(QString, backend);
    QFETCH(QString, falha);
    SKIP_UNAVAILABLE(backend);
    QTest::failOnWarning(QRegularExpression(QStringLiteral("Unable to free statement")));
    openStore(backend);
    Venda v;
    QVariant ov;
    QVariant r;
    if (falha == QLatin1String("tabela")) {
        exec(QStringLiteral("DROP TABLE MOVCAIXA"));
        r = grava(*m_tela, v, ov);
    } else {
        // Three items, the third numbered like the first: its insert fails after the header
        // and two items are in.
        v.itens.append(v.itens.first());
        v.pagamentos[0].valor += 25;
        preenche(*m_tela, v);
        ClientDataSet *p = lista(*m_tela, "cdsProdutos");
        p->Last();
        p->Edit();
        p->FieldByName(QStringLiteral("NRSEQUITVENDA")).setAsString(QStringLiteral("001"));
        p->Post();
        r = chama(*m_tela, v, ov);
    }
    QVERIFY2(r.isValid() && !r.toString().isEmpty(), "a failure must come back as text");
    QCOMPARE(count("VENDA"), 0);
    QCOMPARE(count("ITVENDA"), 0);
    if (falha == QLatin1String("item"))
        QCOMPARE(count("MOVCAIXA"), 0);
    QCOMPARE(value(QStringLiteral("SELECT COALESCE(MAX(NRULTVENDA), 0) FROM CONTADORVENDA"))
                 .toInt(),
             0);
    QVERIFY(!ov.toList().value(0).isValid());

    // The failure left no open transaction: the next sale goes through.
    if (falha == QLatin1String("tabela"))
        return;
    Venda proxima;
    proxima.ordem = QStringLiteral("4713");
    r = grava(*m_tela, proxima, ov);
    QVERIFY2(!r.isValid(), qPrintable(r.toString()));
    QCOMPARE(ov.toList().value(0).toString(), Ajusta(QStringLiteral("1"), 10));
}

void TestClosing::concurrentSalesNeverShareNumber_data()
{
    StoreFixture::addBackendColumn();
    StoreFixture::addBackendRows();
}

void TestClosing::concurrentSalesNeverShareNumber()
{
    // Two terminals (processes) record at the same time: every sale gets its own number, and
    // one slip keyed on both at once is stored by exactly one of them.
    QFETCH(QString, backend);
    SKIP_UNAVAILABLE(backend);
    openStore(backend);
    const int porTerminal = 15;
    const auto inicia = [this](QProcess &p, const QStringList &args) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QEL_CONEXAO"), m_conexao);
        p.setProcessEnvironment(env);
        p.start(QCoreApplication::applicationFilePath(),
                QStringList{QStringLiteral("--grava")} + args);
    };
    QProcess a, b;
    inicia(a, {QStringLiteral("A"), QString::number(porTerminal), QStringLiteral("0")});
    inicia(b, {QStringLiteral("B"), QString::number(porTerminal), QStringLiteral("0")});
    QProcess c, d;
    inicia(c, {QStringLiteral("MESMA"), QStringLiteral("1"), QStringLiteral("1")});
    inicia(d, {QStringLiteral("MESMA"), QStringLiteral("1"), QStringLiteral("1")});
    QStringList linhas;
    for (QProcess *p : {&a, &b, &c, &d}) {
        QVERIFY(p->waitForFinished(120000));
        QCOMPARE(p->exitCode(), 0);
        linhas += QString::fromUtf8(p->readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    }
    QSet<QString> numeros;
    int recusadas = 0;
    for (const QString &l : linhas) {
        if (l.startsWith(QLatin1String("OK ")))
            numeros.insert(l.mid(3));
        else if (l.contains(QStringLiteral("já registrado")))
            ++recusadas;
        else
            QFAIL(qPrintable(l));
    }
    QCOMPARE(recusadas, 1);
    QCOMPARE(numeros.size(), 2 * porTerminal + 1);
    QCOMPARE(count("VENDA"), 2 * porTerminal + 1);
    QCOMPARE(value(QStringLiteral("SELECT COUNT(DISTINCT NRSEQVENDA) FROM VENDA")).toInt(),
             2 * porTerminal + 1);
    QCOMPARE(value(QStringLiteral("SELECT NRULTVENDA FROM CONTADORVENDA")).toInt(),
             2 * porTerminal + 1);
    QCOMPARE(count("ITVENDA"), 2 * (2 * porTerminal + 1));
}

void TestClosing::replacedStoreFileGetsTheSale()
{
    // A store file replaced while the terminal runs (a restored copy) must receive the next
    // sale; writing through the old handle would put it in a file that no longer exists.
    openStore(QStringLiteral("sqlite"));
    Venda v;
    QVariant ov;
    QVERIFY(!grava(*m_tela, v, ov).isValid());

    const QString arquivo = m_conexao.mid(7);
    m_db.reset();
    QVERIFY(QFile::remove(arquivo));
    QFile::remove(arquivo + QStringLiteral("-wal"));
    QFile::remove(arquivo + QStringLiteral("-shm"));
    m_db = Store::connect(m_conexao, true);
    Store::createSchema(m_db->database());

    Venda segunda;
    segunda.ordem = QStringLiteral("4720");
    const QVariant r = grava(*m_tela, segunda, ov);
    QVERIFY2(!r.isValid(), qPrintable(r.toString()));
    QCOMPARE(value(QStringLiteral("SELECT NRORDEMVND FROM VENDA")).toString(), segunda.ordem);
    QCOMPARE(count("VENDA"), 1);
}

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc >= 5 && qstrcmp(argv[1], "--grava") == 0)
        return gravaEmLote(QString::fromLocal8Bit(argv[2]), QString::fromLatin1(argv[3]).toInt(),
                           qstrcmp(argv[4], "1") == 0);
    TestClosing test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_closing.moc"
