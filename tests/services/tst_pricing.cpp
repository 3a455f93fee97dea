// The price lookup of the screen services on a real store: which table prices a sale, the
// failure codes the screen maps to its messages, and the price row it hands back.
#include "storefixture.h"
#include "storeconnection.h"
#include "testenv.h"

#include "clientdataset.h"
#include "dbconnection.h"
#include "screenservices.h"
#include "store.h"

#include <QDate>
#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

#include <memory>

namespace {

const QString Filial = QStringLiteral("0001");
const QString Loja = QStringLiteral("001");
const QString Cliente = QStringLiteral("0000000001");

QDate dia(int offset)
{
    return QDate::currentDate().addDays(offset);
}

// The columns of the screen's price row.
QList<FieldDecl> colunasPreco()
{
    const auto coluna = [](const char *nome, FieldType tipo, int tamanho) {
        FieldDecl d;
        d.name = QString::fromLatin1(nome);
        d.type = tipo;
        d.size = tamanho;
        return d;
    };
    QList<FieldDecl> decls;
    for (const char *c : {"VRPRECO", "VRDESCONTO", "VRACRESCIMO", "VRPRECOCLIE"})
        decls.append(coluna(c, FieldType::Float, 0));
    for (const char *c : {"IDPRECVARIA", "IDPERCVALOR", "IDACREDESC"})
        decls.append(coluna(c, FieldType::String, 1));
    decls.append(coluna("VRPRECODIA", FieldType::Float, 0));
    return decls;
}

} // namespace

class TestPricing : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { TestEnv::usePtBr(); }
    void cleanup();

    void failureCodes_data();
    void failureCodes();
    void precedence_data();
    void precedence();
    void validityOnToday_data();
    void validityOnToday();
    void priceRowFilled_data();
    void priceRowFilled();
    void quotesAreData_data();
    void quotesAreData();
    void storeGoneAndBack_data();
    void storeGoneAndBack();

private:
    // A fresh store of the backend with the schema, the services pointed at it.
    void openStore(const QString &backend);
    void sql(const QString &statement, const QVariantList &binds = {});
    void produto(const QString &codigo, bool bloqueado = false);
    void tabela(const QString &codigo, const QString &tipo, const QString &filial,
                const QString &loja, const QString &cliente, const QDate &inicio,
                const QDate &fim);
    void preco(const QString &tabela, const QString &produto, const QVariant &valor);
    QVariant consulta(const QString &produto, const QString &cliente = QString(),
                      const QString &loja = Loja, const QString &filial = Filial);

    std::unique_ptr<DbConnection> m_db;
    QString m_conexao;
    ClientDataSet m_preco{QStringLiteral("cdsRetornaPreco")};
};

void TestPricing::openStore(const QString &backend)
{
    m_conexao = StoreFixture::freshDatabase(backend, QStringLiteral("tst_pricing"));
    m_db = Store::connect(m_conexao);
    Store::createSchema(m_db->database());
    // The services keep one connection for the process: start it afresh on this store.
    storeConnection().setConnected(false);
    qputenv("QEL_CONEXAO", m_conexao.toUtf8());
    m_preco.setFieldDecls(colunasPreco());
}

void TestPricing::cleanup()
{
    storeConnection().setConnected(false);
    m_db.reset();
}

void TestPricing::sql(const QString &statement, const QVariantList &binds)
{
    m_db->setConnected(true);
    QSqlQuery q(m_db->database());
    QVERIFY2(q.prepare(statement), qPrintable(q.lastError().text()));
    for (const QVariant &b : binds)
        q.addBindValue(b);
    QVERIFY2(q.exec(), qPrintable(q.lastError().text()));
}

void TestPricing::produto(const QString &codigo, bool bloqueado)
{
    sql(QStringLiteral("INSERT INTO PRODUTO (CDPRODUTO, NMPRODUTO, IDBLOQPROD) VALUES (?, ?, ?)"),
        {codigo, QStringLiteral("Produto ") + codigo,
         bloqueado ? QStringLiteral("S") : QStringLiteral("N")});
}

void TestPricing::tabela(const QString &codigo, const QString &tipo, const QString &filial,
                         const QString &loja, const QString &cliente, const QDate &inicio,
                         const QDate &fim)
{
    const auto textoOuNulo = [](const QString &t) {
        return t.isEmpty() ? QVariant(QMetaType::fromType<QString>()) : QVariant(t);
    };
    sql(QStringLiteral("INSERT INTO TABPRECO (CDTABPRECO, NMTABPRECO, IDTIPOTABPRECO, CDFILIAL, "
                       "CDLOJA, CDCLIENTE, DTINIVGTABPRECO, DTFINVGTABPRECO) "
                       "VALUES (?, ?, ?, ?, ?, ?, ?, ?)"),
        {codigo, QStringLiteral("Tabela ") + codigo, tipo, filial, textoOuNulo(loja),
         textoOuNulo(cliente), inicio.isValid() ? QVariant(inicio) : QVariant(QMetaType::fromType<QDate>()),
         fim.isValid() ? QVariant(fim) : QVariant(QMetaType::fromType<QDate>())});
}

void TestPricing::preco(const QString &tabela, const QString &produto, const QVariant &valor)
{
    sql(QStringLiteral("INSERT INTO ITTABPRECO (CDTABPRECO, CDPRODUTO, VRPRECO) VALUES (?, ?, ?)"),
        {tabela, produto, valor});
}

QVariant TestPricing::consulta(const QString &produto, const QString &cliente,
                               const QString &loja, const QString &filial)
{
    const QVariant valores[7] = {filial, cliente, produto, loja, QString(), QString(), QString()};
    QVariant saida;
    return ChamaFuncaoGetRetornaPreco(valores, 6, &m_preco, saida);
}

void TestPricing::failureCodes_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<QString>("cenario");
    QTest::addColumn<QString>("esperado");
    const QList<std::pair<const char *, const char *>> casos = {
        {"sem tabela", "TABENCAD"},         {"produto fora da tabela", "PRECNCAD"},
        {"produto desconhecido", "PRECNCAD"}, {"preço zero", "PRECZERO"},
        {"preço negativo", "PRECZERO"},     {"preço nulo", "PRECZERO"},
        {"bloqueado", "BLOQUEADO"},         {"bloqueado e tabela vencida", "BLOQUEADO"},
        {"cliente vencida", "DTCLI"},
        {"loja vencida", "DTLOJ"},          {"padrão vencida", "DTPAR"}};
    for (const char *backend : {"sqlite", "postgresql"}) {
        for (const auto &[cenario, esperado] : casos)
            QTest::addRow("%s/%s", backend, cenario)
                << QString::fromLatin1(backend) << QString::fromUtf8(cenario)
                << QString::fromLatin1(esperado);
    }
}

void TestPricing::failureCodes()
{
    // Each failure code the screen turns into its own message comes back as the bare code;
    // a wrong or missing code would show the operator a database text or sell unpriced.
    QFETCH(QString, backend);
    SKIP_UNAVAILABLE(backend);
    QFETCH(QString, cenario);
    QFETCH(QString, esperado);
    openStore(backend);
    produto(QStringLiteral("100"));
    produto(QStringLiteral("200"), true);
    if (cenario != QStringLiteral("sem tabela"))
        tabela(QStringLiteral("LJ"), QStringLiteral("L"), Filial, Loja, {}, dia(-10), dia(10));
    if (cenario == QStringLiteral("cliente vencida"))
        tabela(QStringLiteral("CL"), QStringLiteral("C"), Filial, {}, Cliente, dia(-10), dia(-1));
    if (cenario == QStringLiteral("loja vencida")) {
        sql(QStringLiteral("UPDATE TABPRECO SET DTFINVGTABPRECO = ? WHERE CDTABPRECO = 'LJ'"),
            {dia(-1)});
        tabela(QStringLiteral("PD"), QStringLiteral("F"), Filial, {}, {}, dia(-10), {});
        preco(QStringLiteral("PD"), QStringLiteral("100"), 5.0);
    }
    if (cenario == QStringLiteral("bloqueado e tabela vencida"))
        sql(QStringLiteral("UPDATE TABPRECO SET DTFINVGTABPRECO = ? WHERE CDTABPRECO = 'LJ'"),
            {dia(-1)});
    if (cenario == QStringLiteral("padrão vencida")) {
        sql(QStringLiteral("DELETE FROM TABPRECO"));
        tabela(QStringLiteral("PD"), QStringLiteral("F"), Filial, {}, {}, dia(-10), dia(-1));
    }
    if (cenario == QStringLiteral("preço zero"))
        preco(QStringLiteral("LJ"), QStringLiteral("100"), 0.0);
    else if (cenario == QStringLiteral("preço negativo"))
        preco(QStringLiteral("LJ"), QStringLiteral("100"), -2.5);
    else if (cenario == QStringLiteral("preço nulo"))
        preco(QStringLiteral("LJ"), QStringLiteral("100"), QVariant(QMetaType::fromType<double>()));
    else if (cenario != QStringLiteral("produto fora da tabela"))
        preco(QStringLiteral("LJ"), QStringLiteral("100"), 9.9);
    if (cenario.startsWith(QStringLiteral("bloqueado")))
        preco(QStringLiteral("LJ"), QStringLiteral("200"), 9.9);

    const QString codigo = cenario.startsWith(QStringLiteral("bloqueado")) ? QStringLiteral("200")
                           : cenario == QStringLiteral("produto desconhecido")
                               ? QStringLiteral("999")
                               : QStringLiteral("100");
    const QString cliente = cenario == QStringLiteral("cliente vencida") ? Cliente : QString();
    const QVariant r = consulta(codigo, cliente);
    QCOMPARE(r.toString(), esperado);
}

void TestPricing::precedence_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<QString>("cliente");
    QTest::addColumn<QString>("loja");
    QTest::addColumn<double>("esperado");
    for (const char *b : {"sqlite", "postgresql"}) {
        const QString backend = QString::fromLatin1(b);
        QTest::addRow("%s/cliente antes da loja", b) << backend << Cliente << Loja << 7.0;
        QTest::addRow("%s/cliente sem tabela usa a loja", b)
            << backend << QStringLiteral("0000000099") << Loja << 8.0;
        QTest::addRow("%s/sem cliente usa a loja", b) << backend << QString() << Loja << 8.0;
        QTest::addRow("%s/loja sem tabela usa a padrão", b)
            << backend << QString() << QStringLiteral("002") << 9.0;
        QTest::addRow("%s/cliente antes da padrão", b)
            << backend << Cliente << QStringLiteral("002") << 7.0;
    }
}

void TestPricing::precedence()
{
    // Client table over store table over the branch default, and tables of another branch or
    // store never count: a wrong level would charge the wrong price without any message.
    QFETCH(QString, backend);
    SKIP_UNAVAILABLE(backend);
    QFETCH(QString, cliente);
    QFETCH(QString, loja);
    QFETCH(double, esperado);
    openStore(backend);
    produto(QStringLiteral("100"));
    tabela(QStringLiteral("CL"), QStringLiteral("C"), Filial, {}, Cliente, dia(-5), dia(5));
    tabela(QStringLiteral("LJ"), QStringLiteral("L"), Filial, Loja, {}, dia(-5), dia(5));
    tabela(QStringLiteral("PD"), QStringLiteral("F"), Filial, {}, {}, dia(-5), {});
    // Same store code and client in another branch, with other prices.
    tabela(QStringLiteral("XL"), QStringLiteral("L"), QStringLiteral("0002"), QStringLiteral("002"),
           {}, dia(-5), dia(5));
    tabela(QStringLiteral("XC"), QStringLiteral("C"), QStringLiteral("0002"), {},
           QStringLiteral("0000000099"), dia(-5), dia(5));
    preco(QStringLiteral("CL"), QStringLiteral("100"), 7.0);
    preco(QStringLiteral("LJ"), QStringLiteral("100"), 8.0);
    preco(QStringLiteral("PD"), QStringLiteral("100"), 9.0);
    preco(QStringLiteral("XL"), QStringLiteral("100"), 1.0);
    preco(QStringLiteral("XC"), QStringLiteral("100"), 2.0);

    const QVariant r = consulta(QStringLiteral("100"), cliente, loja);
    QVERIFY2(r.toString().isEmpty(), qPrintable(r.toString()));
    QCOMPARE(m_preco.RecordCount(), 1);
    QCOMPARE(m_preco.FieldByName(QStringLiteral("VRPRECO")).AsFloat(), esperado);
}

void TestPricing::validityOnToday_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<int>("inicio"); // days from today; 99: no date
    QTest::addColumn<int>("fim");
    QTest::addColumn<QString>("esperado");
    for (const char *b : {"sqlite", "postgresql"}) {
        const QString backend = QString::fromLatin1(b);
        QTest::addRow("%s/começa hoje", b) << backend << 0 << 30 << QString();
        QTest::addRow("%s/termina hoje", b) << backend << -30 << 0 << QString();
        QTest::addRow("%s/só hoje", b) << backend << 0 << 0 << QString();
        QTest::addRow("%s/terminou ontem", b) << backend << -30 << -1 << QStringLiteral("DTLOJ");
        QTest::addRow("%s/começa amanhã", b) << backend << 1 << 30 << QStringLiteral("DTLOJ");
        QTest::addRow("%s/sem fim", b) << backend << -30 << 99 << QString();
        QTest::addRow("%s/sem início", b) << backend << 99 << 30 << QString();
    }
}

void TestPricing::validityOnToday()
{
    // The table's first and last days both count as valid, a missing date leaves that side
    // open, and a day outside the period reports the store's code instead of falling back to
    // the default table.
    QFETCH(QString, backend);
    SKIP_UNAVAILABLE(backend);
    QFETCH(int, inicio);
    QFETCH(int, fim);
    QFETCH(QString, esperado);
    openStore(backend);
    produto(QStringLiteral("100"));
    tabela(QStringLiteral("LJ"), QStringLiteral("L"), Filial, Loja, {},
           inicio == 99 ? QDate() : dia(inicio), fim == 99 ? QDate() : dia(fim));
    // An older table of the same store, long expired, never hides the one in force.
    tabela(QStringLiteral("LJ0"), QStringLiteral("L"), Filial, Loja, {}, dia(-400), dia(-200));
    preco(QStringLiteral("LJ0"), QStringLiteral("100"), 1.0);
    tabela(QStringLiteral("PD"), QStringLiteral("F"), Filial, {}, {}, dia(-30), {});
    preco(QStringLiteral("LJ"), QStringLiteral("100"), 4.5);
    preco(QStringLiteral("PD"), QStringLiteral("100"), 6.0);
    QCOMPARE(consulta(QStringLiteral("100")).toString(), esperado);
    if (esperado.isEmpty())
        QCOMPARE(m_preco.FieldByName(QStringLiteral("VRPRECO")).AsFloat(), 4.5);
}

void TestPricing::priceRowFilled_data()
{
    StoreFixture::addBackendColumn();
    StoreFixture::addBackendRows();
}

void TestPricing::priceRowFilled()
{
    // All eight columns of the price row arrive as stored, and the next lookup replaces the
    // row: a product without a discount must not inherit the previous product's one.
    QFETCH(QString, backend);
    SKIP_UNAVAILABLE(backend);
    openStore(backend);
    produto(QStringLiteral("100"));
    produto(QStringLiteral("101"));
    tabela(QStringLiteral("LJ"), QStringLiteral("L"), Filial, Loja, {}, dia(-1), dia(1));
    sql(QStringLiteral("INSERT INTO ITTABPRECO (CDTABPRECO, CDPRODUTO, VRPRECO, VRDESCONTO, "
                       "VRACRESCIMO, VRPRECOCLIE, IDPRECVARIA, IDPERCVALOR, IDACREDESC, "
                       "VRPRECODIA) VALUES ('LJ', '100', 12.5, 1.25, 0.75, 11.0, 'S', 'P', 'D', "
                       "10.9)"));
    preco(QStringLiteral("LJ"), QStringLiteral("101"), 3.0);

    QVariant r = consulta(QStringLiteral("100"));
    QVERIFY(r.isValid() && r.toString().isEmpty());
    QCOMPARE(m_preco.RecordCount(), 1);
    const auto f = [this](const char *c) { return m_preco.FieldByName(QString::fromLatin1(c)); };
    QCOMPARE(f("VRPRECO").AsFloat(), 12.5);
    QCOMPARE(f("VRDESCONTO").AsFloat(), 1.25);
    QCOMPARE(f("VRACRESCIMO").AsFloat(), 0.75);
    QCOMPARE(f("VRPRECOCLIE").AsFloat(), 11.0);
    QCOMPARE(f("IDPRECVARIA").AsString(), QStringLiteral("S"));
    QCOMPARE(f("IDPERCVALOR").AsString(), QStringLiteral("P"));
    QCOMPARE(f("IDACREDESC").AsString(), QStringLiteral("D"));
    QCOMPARE(f("VRPRECODIA").AsFloat(), 10.9);

    r = consulta(QStringLiteral("101"));
    QVERIFY(r.toString().isEmpty());
    QCOMPARE(m_preco.RecordCount(), 1);
    QCOMPARE(f("VRPRECO").AsFloat(), 3.0);
    for (const char *c : {"VRDESCONTO", "VRACRESCIMO", "VRPRECOCLIE", "IDPRECVARIA",
                          "IDPERCVALOR", "IDACREDESC", "VRPRECODIA"})
        QVERIFY2(f(c).IsNull(), c);
}

void TestPricing::quotesAreData_data()
{
    StoreFixture::addBackendColumn();
    StoreFixture::addBackendRows();
}

void TestPricing::quotesAreData()
{
    // Codes come from the terminal and the host; quotes and SQL fragments in them must be
    // matched as plain text, never run, and never widen the match to other rows.
    QFETCH(QString, backend);
    SKIP_UNAVAILABLE(backend);
    openStore(backend);
    const QString prod = QStringLiteral("O'B;--");
    const QString loja = QStringLiteral("L'1");
    const QString cliente = QStringLiteral("C' OR '1'='1");
    produto(prod);
    tabela(QStringLiteral("LJ"), QStringLiteral("L"), Filial, loja, {}, dia(-1), dia(1));
    tabela(QStringLiteral("CL"), QStringLiteral("C"), Filial, {}, cliente, dia(-1), dia(1));
    tabela(QStringLiteral("OT"), QStringLiteral("C"), Filial, {}, QStringLiteral("X"), dia(-9),
           dia(-1));
    preco(QStringLiteral("LJ"), prod, 2.0);
    preco(QStringLiteral("CL"), prod, 1.5);

    QVERIFY(consulta(prod, cliente, loja).toString().isEmpty());
    QCOMPARE(m_preco.FieldByName(QStringLiteral("VRPRECO")).AsFloat(), 1.5);
    QVERIFY(consulta(prod, QString(), loja).toString().isEmpty());
    QCOMPARE(m_preco.FieldByName(QStringLiteral("VRPRECO")).AsFloat(), 2.0);
    // An injected condition is a client code like any other: no table of its own.
    QVERIFY(consulta(prod, QStringLiteral("' OR 1=1 --"), loja).toString().isEmpty());
    QCOMPARE(m_preco.FieldByName(QStringLiteral("VRPRECO")).AsFloat(), 2.0);
    QCOMPARE(consulta(QStringLiteral("' OR ''='"), QString(), loja).toString(),
             QStringLiteral("PRECNCAD"));
    // The tables survived every lookup.
    m_db->setConnected(true);
    QSqlQuery q(m_db->database());
    QVERIFY(q.exec(QStringLiteral("SELECT COUNT(*) FROM TABPRECO")) && q.next());
    QCOMPARE(q.value(0).toInt(), 3);
}

void TestPricing::storeGoneAndBack_data()
{
    StoreFixture::addBackendColumn();
    StoreFixture::addBackendRows();
}

void TestPricing::storeGoneAndBack()
{
    // A store out of reach gives the database's text as the result (the screen shows it), not
    // a crash or a failure code; once it is back the very next lookup prices again.
    QFETCH(QString, backend);
    SKIP_UNAVAILABLE(backend);
    openStore(backend);
    produto(QStringLiteral("100"));
    tabela(QStringLiteral("LJ"), QStringLiteral("L"), Filial, Loja, {}, dia(-1), dia(1));
    preco(QStringLiteral("LJ"), QStringLiteral("100"), 2.0);
    QVERIFY(consulta(QStringLiteral("100")).toString().isEmpty());

    const QStringList codigos = {"PRECNCAD", "TABENCAD", "DTCLI", "DTPAR", "DTLOJ",
                                 "PRECZERO", "BLOQUEADO"};
    QString erro;
    if (backend == QLatin1String("postgresql")) {
        StoreFixture::setServerUp(m_conexao, false);
        erro = consulta(QStringLiteral("100")).toString();
        StoreFixture::setServerUp(m_conexao, true);
    } else {
        // The file moved away under the open handle (a store being restored).
        const QString arquivo = m_conexao.mid(7);
        m_db.reset();
        QVERIFY(QFile::rename(arquivo, arquivo + QStringLiteral(".fora")));
        erro = consulta(QStringLiteral("100")).toString();
        QVERIFY(QFile::rename(arquivo + QStringLiteral(".fora"), arquivo));
    }
    QVERIFY2(!erro.isEmpty() && !codigos.contains(erro), qPrintable(erro));

    const QVariant r = consulta(QStringLiteral("100"));
    QVERIFY2(r.toString().isEmpty(), qPrintable(r.toString()));
    QCOMPARE(m_preco.FieldByName(QStringLiteral("VRPRECO")).AsFloat(), 2.0);
}

QTEST_MAIN(TestPricing)
#include "tst_pricing.moc"
