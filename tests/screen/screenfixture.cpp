#include "screenfixture.h"

#include "blended.h"
#include "clientdataset.h"
#include "dbconnection.h"
#include "operador.h"
#include "store.h"
#include "testenv.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

namespace ScreenFixture {

namespace {

// Lives as long as the process: Qt SQL's registry is gone by the time statics are destroyed.
DbConnection *g_store = nullptr;

QVariantList row(const QList<FieldDef> &layout, const QMap<QString, QVariant> &values)
{
    QVariantList out;
    for (const FieldDef &f : layout)
        out << values.value(f.name);
    return out;
}

QList<FieldDef> without(QList<FieldDef> layout, const QStringList &drop)
{
    layout.erase(std::remove_if(layout.begin(), layout.end(),
                                [&](const FieldDef &f) { return drop.contains(f.name); }),
                 layout.end());
    return layout;
}

// Products, taxes and the store's price table behind the product cache of writeCaches().
void seedPrices()
{
    const char *produtos[][3] = {{"0000000101", "Feijoada", "N"},   {"0000000102", "Moqueca", "N"},
                                 {"0000000103", "Picanha", "N"},    {"0000000104", "Sem preco", "N"},
                                 {"0000000105", "Preco zero", "N"}, {"0000000106", "Bloqueado", "S"},
                                 {"0000000107", "Sem imposto", "N"}};
    for (const auto &p : produtos)
        exec(QStringLiteral("INSERT INTO PRODUTO (CDPRODUTO, NMPRODUTO, IDBLOQPROD) "
                            "VALUES ('%1', '%2', '%3')")
                 .arg(QLatin1String(p[0]), QLatin1String(p[1]), QLatin1String(p[2])));
    exec(QStringLiteral("INSERT INTO IMPOSTO (CDIMPOSTO, NMIMPOSTO, SGIMPOSTO, IDTPIMPOSFIS) "
                        "VALUES ('01', 'ICMS', 'T18', 'T')"));
    exec(QStringLiteral("INSERT INTO IMPOSTO (CDIMPOSTO, NMIMPOSTO, SGIMPOSTO, IDTPIMPOSFIS) "
                        "VALUES ('02', 'ICMS Reduzido', 'T07', 'T')"));
    for (const char *p : {"0000000101", "0000000103", "0000000104", "0000000105", "0000000106"})
        exec(QStringLiteral("INSERT INTO ALIQIMPFIS (CDFILIAL, CDPRODUTO, CDIMPOSTO, VRPEALIMPFIS)"
                            " VALUES ('0001', '%1', '01', 18)")
                 .arg(QLatin1String(p)));
    exec(QStringLiteral("INSERT INTO ALIQIMPFIS (CDFILIAL, CDPRODUTO, CDIMPOSTO, VRPEALIMPFIS) "
                        "VALUES ('0001', '0000000102', '02', 7.5)"));
    exec(QStringLiteral("INSERT INTO TABPRECO (CDTABPRECO, NMTABPRECO, IDTIPOTABPRECO, CDFILIAL,"
                        " CDLOJA, DTINIVGTABPRECO, DTFINVGTABPRECO) VALUES ('LOJA01', 'Loja',"
                        " 'L', '0001', '01', '2020-01-01', NULL)"));
    const char *precos[][2] = {{"0000000101", "12.5"}, {"0000000102", "1.333"},
                               {"0000000103", "500"},  {"0000000105", "0"},
                               {"0000000106", "10"},   {"0000000107", "7"}};
    for (const auto &p : precos)
        exec(QStringLiteral("INSERT INTO ITTABPRECO (CDTABPRECO, CDPRODUTO, VRPRECO, VRDESCONTO,"
                            " VRACRESCIMO) VALUES ('LOJA01', '%1', %2, 0.5, 0.25)")
                 .arg(QLatin1String(p[0]), QLatin1String(p[1])));
}

} // namespace

QSqlDatabase store()
{
    if (!g_store) {
        const QString path = TestEnv::exeDir() + QStringLiteral("/store.db");
        QFile::remove(path);
        qputenv("QEL_CONEXAO", QByteArray("sqlite:") + path.toUtf8());
        g_store = Store::connect(QStringLiteral("sqlite:") + path, true).release();
        Store::createSchema(g_store->database());
        exec(QStringLiteral("INSERT INTO MESA (CDFILIAL, CDLOJA, NRMESA, NMMESA, CDSALA, IDSTMESA,"
                            " IDSTMESAAUX) VALUES ('0001', '01', '0007', 'Mesa 7', 'SAL01',"
                            " 'A', 'L')"));
        exec(QStringLiteral("INSERT INTO MESA (CDFILIAL, CDLOJA, NRMESA, NMMESA, CDSALA, IDSTMESA,"
                            " IDSTMESAAUX) VALUES ('0001', '01', '0012', 'Mesa 12', 'SAL02',"
                            " 'A', 'L')"));
        exec(QStringLiteral("INSERT INTO MESA (CDFILIAL, CDLOJA, NRMESA, NMMESA, CDSALA, IDSTMESA,"
                            " IDSTMESAAUX) VALUES ('0001', '01', '0020', 'Mesa 20', 'SAL02',"
                            " 'F', 'L')"));
        seedPrices();
    }
    return g_store->database();
}

void exec(const QString &sql)
{
    QSqlQuery q(store());
    if (!q.exec(sql))
        QFAIL(qPrintable(sql + QStringLiteral(": ") + q.lastError().text()));
}

void writePacket(const QString &relativePath, const QList<FieldDef> &fields,
                 const QList<QVariantList> &rows)
{
    DataPacket packet(fields);
    for (const QVariantList &r : rows)
        packet.appendRow(r);
    const QString path = TestEnv::exeDir() + QLatin1Char('/') + relativePath;
    QDir().mkpath(QFileInfo(path).absolutePath());
    packet.saveToFile(path);
}

void writeParameters(const QMap<QString, QVariant> &overrides, const QStringList &drop)
{
    QMap<QString, QVariant> values{
        {"CDFILIAL", "0001"},
        {"IDESQUEMA", "E01"},
        {"CDLOJA", "01"},
        {"CDCCUSCLIE", "CC01"},
        {"DTABERCAIX", QDateTime(QDate::currentDate(), QTime(8, 0))},
        {"CDEMPRESA", "01"},
        {"CDCAIXA", "001"},
        {"IDPAISINTEGRA", "S"},
        {"NRSERIEECF", "BE0123456789"},
        {"IDTIPOIMPFIS", 1},
        {"DSMODELOECFVE", "MP-4200"},
        {"DSMARCAECFVE", "MARCA"},
        {"ECFIMP", "ECF1"},
        {"SGESTADOFILI", "SP"},
        {"DSDIRCAD", TestEnv::exeDir() + QStringLiteral("/Dados/")},
        {"STTOTCV", "S"},
        {"DSOBSCUPFIS", "Obrigado"},
        {"IDIMPBARRCUP", "N"},
        {"IDIMPSALDOCUPOM", "N"},
        {"IdTpTelaVe", "1"},
        {"DSMENSCPFCUP", ""},
        {"NRINSJUREMPR", "12345678000199"},
        {"CDINSCESTAEMPR", "123456789"},
        {"IDPARIMPRLIMVDC", "N"},
        {"NRSERIEIMP", "IMP01"},
    };
    for (auto it = overrides.begin(); it != overrides.end(); ++it)
        values[it.key()] = it.value();
    const QList<FieldDef> layout = without(Store::parametersLayout(), drop);
    writePacket(Store::parametersFile(), layout, {row(layout, values)});
}

void writeCaches()
{
    const QString dir = QStringLiteral("Dados/Cadastros/");
    writePacket(dir + QStringLiteral("ControleAcess.cds"), Store::controleAcessLayout(),
                {row(Store::controleAcessLayout(),
                     {{"CDOPERADOR", "OP01"}, {"NMOPERADOR", "Maria Souza"}})});
    writePacket(dir + QStringLiteral("DataMovimento.cds"), Store::dataMovimentoLayout(),
                {row(Store::dataMovimentoLayout(),
                     {{"DATAMOVIMENTO", QDateTime(QDate::currentDate(), QTime())}})});
    const QList<FieldDef> tipos = Store::confTipoReceLayout();
    const auto tipo = [&](const char *code, const char *name, const QVariant &mostra,
                          const QVariant &fiscal, const char *id) {
        return row(tipos, {{"CDFILIAL", "0001"},
                           {"CDTIPORECE", code},
                           {"NMTIPORECE", name},
                           {"DSBUTTON", name},
                           {"IDMOSTRARECE", mostra},
                           {"CDFPIMPFIS", fiscal},
                           {"IDTIPORECE", id},
                           {"CDTIPOTROCO", "001"},
                           {"NRORDTROCO", "1"},
                           {"DSIMPFISCAL", name}});
    };
    writePacket(dir + QStringLiteral("ConfTipoRece.cds"), tipos,
                {tipo("001", "Dinheiro", "S", "01", "A"), tipo("002", "Cartão Crédito", "S", "03", "B"),
                 tipo("003", "Vale Refeição", QVariant(), "05", "C"),
                 tipo("004", "Cortesia", "S", QVariant(), "D"),
                 tipo("005", "Cheque", "N", "02", "E")});
    const QList<FieldDef> produtos = Store::produtosLayout();
    const auto produto = [&](const char *cd, const char *arv, const char *nome, const char *bar,
                             const char *inte, const char *tecl) {
        return row(produtos, {{"CDPRODUTO", cd},
                              {"CDARVPROD", arv},
                              {"NMPRODUTO", nome},
                              {"IDPESAPROD", "N"},
                              {"SGUNIDADE", "UN"},
                              {"CDBARPRODUTO", bar},
                              {"CDPRODINTE", inte},
                              {"CDPROTECLADO", tecl}});
    };
    writePacket(dir + QStringLiteral("Produtos.cds"), produtos,
                {produto("0000000101", "01.01", "Feijoada", "78900101", "I101", "101"),
                 produto("0000000102", "0000000101", "Moqueca", "78900102", "I102", "102"),
                 produto("0000000103", "01.03", "Picanha", "78900103", "I103", "103"),
                 produto("0000000104", "01.04", "Sem preco", "78900104", "I104", "104"),
                 produto("0000000105", "01.05", "Preco zero", "78900105", "I105", "105"),
                 produto("0000000106", "01.06", "Bloqueado", "78900106", "I106", "106"),
                 produto("0000000107", "01.07", "Sem imposto", "78900107", "I107", "107")});
    writePacket(dir + QStringLiteral("AliqImpFis.cds"), Store::aliqImpFisLayout(),
                {row(Store::aliqImpFisLayout(),
                     {{"CDALIQIMPFIS", "T18"}, {"VRALIQIMPFIS", 18.0}, {"IDALIQIMPFIS", "T"}})});
}

void prepareTerminal()
{
    TestEnv::usePtBr();
    store();
    writeParameters();
    writeCaches();
}

std::unique_ptr<TfrmRegVenMan> openScreen()
{
    store();
    auto screen = std::make_unique<TfrmRegVenMan>(nullptr);
    screen->InicializaForm();
    screen->show();
    QApplication::setActiveWindow(screen.get()); // as the host's window is: Alt keys reach it
    return screen;
}

ClientDataSet *dataset(QWidget *screen, const char *name)
{
    auto *ds = screen->findChild<ClientDataSet *>(QLatin1String(name));
    if (!ds)
        QTest::qFail(qPrintable(QStringLiteral("no dataset %1").arg(QLatin1String(name))),
                     __FILE__, __LINE__);
    return ds;
}

void type(QWidget *screen, const QString &text)
{
    Operador(screen).digita(text);
}

void key(QWidget *screen, Qt::Key k, Qt::KeyboardModifiers modifiers)
{
    Operador(screen).tecla(k, modifiers);
}

void header(TfrmRegVenMan *screen, const QString &ordem, const QString &data,
            const QString &mesa)
{
    FakeServices own; // the calendar's answer; the test's own dialogs see nothing of it
    own.calendar = {data};
    Operador operador(screen);
    for (const QString &campo : {ordem, QStringLiteral("1")}) {
        operador.digita(campo);
        operador.enter();
    }
    operador.digita(QStringLiteral("2"));
    operador.toca(TfrmRegVenMan::CampoData);
    operador.enter();
    operador.digita(mesa);
    operador.enter();
}

void tocaItem(Operador &op, FakeServices &f, const QString &code, const QString &quantity)
{
    f.pesquisa = [code](ClientDataSet *ds) { return ds->Locate("CDPROTECLADO", code); };
    f.numeric = {{true, quantity}};
    op.toca(TfrmRegVenMan::CampoCodigo);
    op.toca(TfrmRegVenMan::CampoQuant);
    op.toca(Operador::AdicionarProduto);
}

void pay(TfrmRegVenMan *screen, const QString &code, const QString &value)
{
    Operador operador(screen);
    // From the header (back there after a warning) a touch, its search cancelled; else Enter.
    if (operador.foco() < TfrmRegVenMan::CampoCodigo) {
        const FakeServices own; // whatever the caller scripted is not for this search
        operador.toca(TfrmRegVenMan::CampoTipoRece);
    }
    operador.vaiPara(TfrmRegVenMan::CampoTipoRece);
    operador.digita(code);
    operador.enter();
    operador.digita(value);
    operador.enter();
    operador.toca(Operador::AdicionarRecebimento);
}

FakeServices *FakeServices::current = nullptr;

FakeServices::FakeServices()
    : m_numeric(TecladoNumerico), m_alpha(TecladoAlfaNumerico), m_calendar(TouchCalendar),
      m_pesquisa(Pesquisa), m_rel(RelFiscais), m_previous(current)
{
    current = this;
    TecladoNumerico = [](QString &result, const QString &title, const QString &prompt,
                         const QString &required, int max, int f1, int f2, int a8, int a9,
                         int a10) {
        FakeServices *f = FakeServices::current;
        f->calls.append({QStringLiteral("TecladoNumerico"),
                         {title, prompt, required, max, f1, f2, a8, a9, a10}});
        if (f->numeric.isEmpty())
            return false;
        const auto [ok, text] = f->numeric.takeFirst();
        if (ok)
            result = text;
        return ok;
    };
    TecladoAlfaNumerico = [](const QString &a, const QString &b, const QString &c, int d) {
        FakeServices *f = FakeServices::current;
        f->calls.append({QStringLiteral("TecladoAlfaNumerico"), {a, b, c, d}});
        return f->alpha.isEmpty() ? QString() : f->alpha.takeFirst();
    };
    TouchCalendar = [](const QString &a, const QString &b, const QString &c) {
        FakeServices *f = FakeServices::current;
        f->calls.append({QStringLiteral("TouchCalendar"), {a, b, c}});
        return f->calendar.isEmpty() ? QString() : f->calendar.takeFirst();
    };
    Pesquisa = [](ClientDataSet *ds, const QString &a, const QString &b, int c, int d, int e,
                  int g, int h) {
        FakeServices *f = FakeServices::current;
        f->calls.append({QStringLiteral("Pesquisa"), {ds->Name(), a, b, c, d, e, g, h}});
        return f->pesquisa ? f->pesquisa(ds) : false;
    };
    RelFiscais = [] {
        FakeServices::current->calls.append({QStringLiteral("RelFiscais"), {}});
        ++FakeServices::current->relFiscais;
    };
}

FakeServices::~FakeServices()
{
    TecladoNumerico = m_numeric;
    TecladoAlfaNumerico = m_alpha;
    TouchCalendar = m_calendar;
    Pesquisa = m_pesquisa;
    RelFiscais = m_rel;
    current = m_previous;
}

QString today()
{
    return QDate::currentDate().toString(QStringLiteral("dd/MM/yyyy"));
}

QString tomorrow()
{
    return QDate::currentDate().addDays(1).toString(QStringLiteral("dd/MM/yyyy"));
}

} // namespace ScreenFixture
