#include "store.h"

#include "exception.h"
#include "storesql.h"

#include <QSqlError>
#include <QSqlQuery>

#include <cmath>
#include <random>

namespace Store {

namespace {

// Multi-row INSERTs through one prepared statement: a few hundred rows per round trip keeps
// 200,000 products within seconds on SQLite and PostgreSQL alike.
class BulkInsert
{
public:
    BulkInsert(QSqlDatabase db, QString table, QStringList columns)
        : m_db(db), m_table(std::move(table)), m_columns(std::move(columns))
    {
        // SQLite allows 32,766 bound values per statement; stay well below.
        m_chunk = qMax(1, 4000 / int(m_columns.size()));
    }
    // Rows still pending are dropped: callers flush, so a failure is never thrown from here.
    ~BulkInsert() = default;

    void add(const QVariantList &row)
    {
        Q_ASSERT(row.size() == m_columns.size());
        m_pending << row;
        if (m_pending.size() >= m_chunk) flush();
    }

    void flush()
    {
        if (m_pending.isEmpty()) return;
        QSqlQuery *q = statement(int(m_pending.size()));
        for (const QVariantList &row : std::as_const(m_pending))
            for (const QVariant &v : row)
                q->addBindValue(v);
        const bool ok = q->exec();
        const QString error = q->lastError().text();
        m_pending.clear();
        if (!ok) throw Exception(QStringLiteral("%1: %2").arg(m_table, error));
    }

private:
    QSqlQuery *statement(int rows)
    {
        if (rows == m_chunk) {
            if (!m_full) m_full = prepare(rows);
            return m_full.get();
        }
        if (!m_partial || m_partialRows != rows) {
            m_partial = prepare(rows);
            m_partialRows = rows;
        }
        return m_partial.get();
    }

    std::unique_ptr<QSqlQuery> prepare(int rows)
    {
        const QString one =
            QLatin1Char('(') +
            QStringList(m_columns.size(), QStringLiteral("?")).join(QLatin1Char(',')) +
            QLatin1Char(')');
        const QString sql = QStringLiteral("INSERT INTO %1 (%2) VALUES %3")
                                .arg(m_table, m_columns.join(QLatin1Char(',')),
                                     QStringList(rows, one).join(QLatin1Char(',')));
        auto q = std::make_unique<QSqlQuery>(m_db);
        if (!q->prepare(sql))
            throw Exception(QStringLiteral("%1: %2").arg(m_table, q->lastError().text()));
        return q;
    }

    QSqlDatabase m_db;
    QString m_table;
    QStringList m_columns;
    int m_chunk = 100;
    QList<QVariantList> m_pending;
    std::unique_ptr<QSqlQuery> m_full;
    std::unique_ptr<QSqlQuery> m_partial;
    int m_partialRows = 0;
};

QStringList cols(const char *list)
{
    return QString::fromLatin1(list).split(QLatin1Char(','));
}

QVariant nil()
{
    return QVariant();
}
QVariant s(const char *text)
{
    return QString::fromUtf8(text);
}

// Deterministic for a seed on every platform: raw engine output, no library distributions.
class Random
{
public:
    explicit Random(quint32 seed) : m_engine(seed) {}
    int below(int n) { return int(m_engine() % quint32(n)); }
    double between(double low, double high)
    {
        return low + (high - low) * (m_engine() / 4294967296.0);
    }

private:
    std::mt19937 m_engine;
};

QString ean13(const QString &twelveDigits)
{
    int sum = 0;
    for (int i = 0; i < 12; ++i)
        sum += twelveDigits.at(i).digitValue() * (i % 2 ? 3 : 1);
    return twelveDigits + QString::number((10 - sum % 10) % 10);
}

QString pad(qint64 n, int width)
{
    return QString::number(n).rightJustified(width, QLatin1Char('0'));
}

struct Category
{
    const char *grupo;
    const char *imposto; // CDIMPOSTO
    double minPrice, maxPrice;
    std::initializer_list<const char *> bases;
};

const Category categories[] = {
    {"01",
     "01",
     38,
     89,
     {"Picanha na Chapa", "Filé à Parmegiana", "Alcatra Acebolada", "Frango Grelhado",
      "Costela no Bafo", "Bife à Cavalo", "Escalope ao Madeira", "Strogonoff de Carne",
      "Cupim Assado", "Maminha na Brasa"}},
    {"02",
     "01",
     45,
     120,
     {"Moqueca de Peixe", "Tilápia Grelhada", "Salmão ao Maracujá", "Bacalhau à Gomes de Sá",
      "Camarão na Moranga", "Peixe Frito com Pirão", "Caldeirada de Frutos do Mar"}},
    {"03",
     "01",
     32,
     70,
     {"Feijoada Completa", "Baião de Dois", "Galinhada", "Virado à Paulista", "Arroz Carreteiro",
      "Escondidinho de Carne Seca", "Vaca Atolada", "Tutu à Mineira", "Frango com Quiabo"}},
    {"04",
     "02",
     9,
     28,
     {"Arroz Branco", "Feijão Tropeiro", "Farofa de Bacon", "Batata Frita", "Mandioca Frita",
      "Vinagrete", "Salada Verde", "Polenta Frita", "Purê de Batata", "Couve Refogada"}},
    {"05",
     "02",
     6,
     45,
     {"Pastel de Carne", "Pastel de Queijo", "Coxinha de Frango", "Bolinho de Bacalhau",
      "Pão de Queijo", "Esfiha de Carne", "Quibe Frito", "Torresmo", "Calabresa Acebolada",
      "Dadinho de Tapioca"}},
    {"06",
     "05",
     5,
     15,
     {"Guaraná Lata 350ml", "Refrigerante Lata 350ml", "Água Mineral 500ml", "Água com Gás 500ml",
      "Suco de Laranja", "Suco de Maracujá", "Suco de Caju", "Limonada Suíça", "Água de Coco",
      "Chá Mate Gelado"}},
    {"07",
     "04",
     9,
     35,
     {"Caipirinha de Limão", "Caipiroska de Morango", "Cerveja Long Neck 355ml", "Chope 300ml",
      "Cachaça Artesanal Dose", "Vinho Tinto Taça", "Batida de Coco"}},
    {"08",
     "03",
     8,
     25,
     {"Pudim de Leite", "Brigadeiro de Colher", "Quindim", "Mousse de Maracujá", "Romeu e Julieta",
      "Cocada Cremosa", "Pavê de Chocolate", "Sorvete 2 Bolas", "Açaí na Tigela", "Petit Gâteau"}},
};

const char *const variants[] = {
    "",
    " - Meia Porção",
    " - Porção Família",
    " - Individual",
    " - Executivo",
    " - Para Viagem",
    " - Especial",
    " - da Casa",
    " - Tradicional",
    " - Kids",
    " - Duplo",
    " - Gourmet",
    " - Light",
    " - Sem Lactose",
    " - Combo",
    " - Grande",
    " - Pequeno",
    " - Rodízio",
    " - Promoção do Dia",
    " - Happy Hour",
    " - Almoço",
    " - Jantar",
    " - Fim de Semana",
    " - Delivery",
    " - Balcão",
};

struct Weighed
{
    const char *name;
    const char *imposto;
    double pricePerKg;
};
const Weighed weighed[] = {
    {"Buffet por Quilo", "01", 69.90},      {"Churrasco por Quilo", "01", 89.90},
    {"Saladas por Quilo", "02", 49.90},     {"Sobremesas por Quilo", "03", 59.90},
    {"Picanha Fatiada (kg)", "01", 119.90}, {"Costela Desfiada (kg)", "01", 79.90},
};

const double taxRates[] = {18.0, 12.0, 7.0, 25.0, 0.0}; // by CDIMPOSTO "01".."05"

double money(double v)
{
    return std::round(v * 100.0) / 100.0;
}

struct Price
{
    QString code;
    double value;
};

void insertCatalogue(QSqlDatabase db, const QDate &today, Random &random, int productCount,
                     QList<Price> &prices)
{
    BulkInsert produto(db, QStringLiteral("PRODUTO"),
                       cols("CDPRODUTO,CDARVPROD,NMPRODUTO,IDPESAPROD,QTTARAPROD,CDFAMILISALD,"
                            "SGUNIDADE,IDTIPOCOMPPROD,IDIMPPRODUTO,DTINIVGPROMOC,DTFINVGPROMOC,"
                            "CDBARPRODUTO,CDPRODINTE,CDPROTECLADO,IDBLOQPROD"));
    BulkInsert aliq(db, QStringLiteral("ALIQIMPFIS"),
                    cols("CDFILIAL,CDPRODUTO,CDIMPOSTO,VRPEALIMPFIS"));
    const QDateTime promoStart = today.addDays(-2).startOfDay();
    const QDateTime promoEnd = QDateTime(today.addDays(5), QTime(23, 59, 59));

    auto add = [&](const QString &code, const QString &arv, const QString &name, bool kg,
                   const char *imposto, int n, const QString &bar, bool blocked) {
        const bool promo = n % 50 == 7;
        produto.add({code, arv, name, kg ? s("S") : s("N"), kg ? 0.015 : 0.0, nil(),
                     kg ? s("KG") : s("UN"), s("N"), s("S"), promo ? QVariant(promoStart) : nil(),
                     promo ? QVariant(promoEnd) : nil(), bar, QStringLiteral("1") + pad(n, 6),
                     n <= 300 ? QVariant(QString::number(n)) : nil(), blocked ? s("S") : s("N")});
        const QString tax = QString::fromLatin1(imposto);
        const QVariant rate = taxRates[tax.toInt() - 1];
        aliq.add({s("0001"), code, tax, rate});
        if (n <= 50) { // the other branches carry a short menu
            aliq.add({s("0002"), code, tax, rate});
            aliq.add({s("0003"), code, tax, rate});
        }
    };

    int n = 0;
    for (const Weighed &w : weighed) {
        if (n >= productCount) break;
        ++n;
        const QString code = pad(n, 6);
        add(code, QStringLiteral("09") + pad(n, 7), QString::fromUtf8(w.name), true, w.imposto, n,
            ean13(QStringLiteral("2") + pad(n, 6) + QStringLiteral("00000")), false);
        prices << Price{code, w.pricePerKg};
    }
    const int variantCount = int(std::size(variants));
    for (int round = 0; n < productCount; ++round) {
        for (int v = 0; v < variantCount && n < productCount; ++v) {
            for (const Category &c : categories) {
                int b = 0;
                for (const char *base : c.bases) {
                    if (n >= productCount) break;
                    ++n;
                    QString name = QString::fromUtf8(base) + QString::fromUtf8(variants[v]);
                    if (round > 0) name += QStringLiteral(" %1").arg(round + 1);
                    name.truncate(50);
                    const QString code = pad(n, 6);
                    add(code, QString::fromLatin1(c.grupo) + pad(b + 1, 2) + pad(n, 7), name, false,
                        c.imposto, n, ean13(QStringLiteral("789") + pad(1000000 + n, 9)), false);
                    prices << Price{code, money(random.between(c.minPrice, c.maxPrice))};
                    ++b;
                }
            }
        }
    }

    // Products that make the price lookup fail in each of its ways (see README.md).
    add(QStringLiteral("900001"), QStringLiteral("100000001"), QStringLiteral("Rodízio de Massas"),
        false, "01", 900001, ean13(QStringLiteral("789") + pad(9900001, 9)), false);
    add(QStringLiteral("900002"), QStringLiteral("100000002"), QStringLiteral("Cafezinho Cortesia"),
        false, "05", 900002, ean13(QStringLiteral("789") + pad(9900002, 9)), false);
    add(QStringLiteral("900003"), QStringLiteral("100000003"),
        QStringLiteral("Lagosta Grelhada (fora de estação)"), false, "01", 900003,
        ean13(QStringLiteral("789") + pad(9900003, 9)), true);
    prices << Price{QStringLiteral("900002"), 0.0} << Price{QStringLiteral("900003"), 189.90};
    produto.flush();
    aliq.flush();
}

void insertPrices(QSqlDatabase db, const QDate &today, const QList<Price> &prices)
{
    BulkInsert tab(db, QStringLiteral("TABPRECO"),
                   cols("CDTABPRECO,NMTABPRECO,IDTIPOTABPRECO,CDFILIAL,CDLOJA,CDCLIENTE,"
                        "DTINIVGTABPRECO,DTFINVGTABPRECO"));
    const QVariant noEnd = QVariant(QMetaType::fromType<QDate>());
    tab.add({s("LJ0001001"), s("Salão Principal"), s("L"), s("0001"), s("001"), nil(),
             today.addDays(-30), today.addDays(335)});
    tab.add({s("LJ0001002"), s("Quiosque (tabela vencida)"), s("L"), s("0001"), s("002"), nil(),
             today.addDays(-400), today.addDays(-35)});
    tab.add({s("PD0001"), s("Padrão Centro"), s("F"), s("0001"), nil(), nil(), today.addDays(-365),
             noEnd});
    tab.add({s("PD0002"), s("Padrão Pinheiros (vencida)"), s("F"), s("0002"), nil(), nil(),
             today.addDays(-400), today.addDays(-1)});
    tab.add({s("CL0000001"), s("Convênio Construtora Horizonte"), s("C"), s("0001"), nil(),
             s("0000000001"), today.addDays(-10), today.addDays(80)});
    tab.add({s("CL0000002"), s("Convênio Clube Vila Nova (vencida)"), s("C"), s("0001"), nil(),
             s("0000000002"), today.addDays(-200), today.addDays(-20)});
    tab.flush();

    BulkInsert item(db, QStringLiteral("ITTABPRECO"),
                    cols("CDTABPRECO,CDPRODUTO,VRPRECO,VRDESCONTO,VRACRESCIMO,VRPRECOCLIE,"
                         "IDPRECVARIA,IDPERCVALOR,IDACREDESC,VRPRECODIA"));
    auto row = [&](const char *table, const Price &p, double price, double clientPrice,
                   double discount) {
        item.add(
            {s(table), p.code, price, discount, 0.0, clientPrice, s("N"), s("V"), s("D"), price});
    };
    int i = 0;
    for (const Price &p : prices) {
        row("LJ0001001", p, p.value, p.value, 0.0);
        row("PD0001", p, money(p.value * 1.05), money(p.value * 1.05), 0.0);
        if (i < 100) {
            const double client = money(p.value * 0.9);
            row("CL0000001", p, p.value, client, money(p.value - client));
        }
        if (i < 20) {
            row("LJ0001002", p, p.value, p.value, 0.0);
            row("PD0002", p, p.value, p.value, 0.0);
            row("CL0000002", p, p.value, p.value, 0.0);
        }
        ++i;
    }
    item.flush();
}

void insertFixedData(QSqlDatabase db, const QDate &today)
{
    BulkInsert filial(db, QStringLiteral("FILIAL"),
                      cols("CDFILIAL,NMFILIAL,CDEMPRESA,SGESTADOFILI,NRINSJUREMPR,CDINSCESTAEMPR"));
    filial.add({s("0001"), s("Sabor da Terra - Centro"), s("01"), s("SP"), s("12.345.678/0001-90"),
                s("110.042.490.114")});
    filial.add({s("0002"), s("Sabor da Terra - Pinheiros"), s("01"), s("SP"),
                s("12.345.678/0002-71"), s("110.042.490.115")});
    filial.add({s("0003"), s("Sabor da Terra - Campinas"), s("01"), s("SP"),
                s("12.345.678/0003-52"), s("244.123.456.117")});
    filial.flush();

    BulkInsert loja(db, QStringLiteral("LOJA"), cols("CDFILIAL,CDLOJA,NMLOJA"));
    loja.add({s("0001"), s("001"), s("Salão Principal")});
    loja.add({s("0001"), s("002"), s("Quiosque da Praça")});
    loja.add({s("0001"), s("003"), s("Terraço")});
    loja.add({s("0002"), s("001"), s("Salão")});
    loja.add({s("0003"), s("001"), s("Salão")});
    loja.flush();

    BulkInsert terminal(db, QStringLiteral("TERMINAL"),
                        cols("CDFILIAL,IDESQUEMA,CDLOJA,CDCCUSCLIE,DTABERCAIX,CDEMPRESA,CDCAIXA,"
                             "IDPAISINTEGRA,NRSERIEECF,IDTIPOIMPFIS,DSMODELOECFVE,DSMARCAECFVE,"
                             "ECFIMP,SGESTADOFILI,DSDIRCAD,STTOTCV,DSOBSCUPFIS,IDIMPBARRCUP,"
                             "IDIMPSALDOCUPOM,IDTPTELAVE,DSMENSCPFCUP,NRINSJUREMPR,"
                             "CDINSCESTAEMPR,IDPARIMPRLIMVDC,NRSERIEIMP"));
    auto term = [&](const char *filialCode, const char *lojaCode, const char *caixa,
                    const char *serie, const char *cnpj, const char *ie) {
        terminal.add({s(filialCode),
                      s("001"),
                      s(lojaCode),
                      nil(),
                      QDateTime(today, QTime(8, 0)),
                      s("01"),
                      s(caixa),
                      s("N"),
                      s(serie),
                      1,
                      s("IF-3000 FI"),
                      s("GENÉRICA"),
                      s("IF3000"),
                      s("SP"),
                      nil(),
                      s("S"),
                      s("Obrigado pela preferência!"),
                      s("N"),
                      s("N"),
                      s("1"),
                      s("CPF na nota?"),
                      s(cnpj),
                      s(ie),
                      s("N"),
                      s("IMP0000001")});
    };
    term("0001", "001", "001", "EC0100000000000001", "12.345.678/0001-90", "110.042.490.114");
    term("0001", "001", "002", "EC0100000000000002", "12.345.678/0001-90", "110.042.490.114");
    term("0002", "001", "001", "EC0100000000000003", "12.345.678/0002-71", "110.042.490.115");
    terminal.flush();

    BulkInsert operador(db, QStringLiteral("OPERADOR"), cols("CDOPERADOR,NMOPERADOR,IDATIVO"));
    operador.add({s("1001"), s("Maria Aparecida Souza"), s("S")});
    operador.add({s("1002"), s("João Carlos Lima"), s("S")});
    operador.add({s("1003"), s("Ana Paula Ribeiro"), s("N")});
    operador.flush();

    BulkInsert movimento(db, QStringLiteral("DATAMOVIMENTO"), cols("CDFILIAL,DATAMOVIMENTO"));
    for (const char *f : {"0001", "0002", "0003"})
        movimento.add({s(f), today.startOfDay()});
    movimento.flush();

    BulkInsert cliente(db, QStringLiteral("CLIENTE"), cols("CDCLIENTE,NMCLIENTE"));
    cliente.add({s("0000000001"), s("Construtora Horizonte Ltda")});
    cliente.add({s("0000000002"), s("Clube Recreativo Vila Nova")});
    cliente.add({s("0000000003"), s("Padaria Estrela do Sul")});
    cliente.flush();

    BulkInsert imposto(db, QStringLiteral("IMPOSTO"),
                       cols("CDIMPOSTO,NMIMPOSTO,SGIMPOSTO,IDTPIMPOSFIS,CDINTIMPOSTO"));
    imposto.add({s("01"), s("ICMS 18%"), s("T18"), s("T"), s("T1800")});
    imposto.add({s("02"), s("ICMS 12%"), s("T12"), s("T"), s("T1200")});
    imposto.add({s("03"), s("ICMS 7%"), s("T07"), s("T"), s("T0700")});
    imposto.add({s("04"), s("ICMS 25%"), s("T25"), s("T"), s("T2500")});
    imposto.add({s("05"), s("Substituição tributária"), s("F"), s("F"), s("F1")});
    imposto.flush();

    BulkInsert ecf(db, QStringLiteral("ALIQECF"),
                   cols("CDFILIAL,CDALIQIMPFIS,VRALIQIMPFIS,IDALIQIMPFIS"));
    for (const char *f : {"0001", "0002", "0003"}) {
        ecf.add({s(f), s("01"), 18.0, s("T")});
        ecf.add({s(f), s("02"), 12.0, s("T")});
        ecf.add({s(f), s("03"), 7.0, s("T")});
        ecf.add({s(f), s("04"), 25.0, s("T")});
        ecf.add({s(f), s("F1"), 0.0, s("F")});
        ecf.add({s(f), s("I1"), 0.0, s("I")});
        ecf.add({s(f), s("N1"), 0.0, s("N")});
    }
    ecf.flush();

    BulkInsert sala(db, QStringLiteral("SALA"), cols("CDFILIAL,CDLOJA,CDSALA,NMSALA"));
    sala.add({s("0001"), s("001"), s("00001"), s("Salão")});
    sala.add({s("0001"), s("001"), s("00002"), s("Varanda")});
    sala.add({s("0001"), s("001"), s("00003"), s("Mezanino")});
    sala.add({s("0001"), s("002"), s("00001"), s("Quiosque")});
    sala.add({s("0001"), s("003"), s("00001"), s("Terraço")});
    sala.flush();

    // Store 001: 40 free tables in three rooms, then occupied and closed ones. Store 003 has
    // none free.
    BulkInsert mesa(db, QStringLiteral("MESA"),
                    cols("CDFILIAL,CDLOJA,NRMESA,NMMESA,CDSALA,IDSTMESA,IDSTMESAAUX"));
    for (int n = 1; n <= 48; ++n) {
        const char *room = n <= 20 ? "00001" : n <= 32 ? "00002" : n <= 40 ? "00003" : "00001";
        const char *status = n <= 40 ? "A" : n <= 45 ? "O" : "F";
        mesa.add({s("0001"), s("001"), pad(n, 4), QStringLiteral("Mesa %1").arg(pad(n, 2)), s(room),
                  s(status), s("N")});
    }
    for (int n = 1; n <= 8; ++n)
        mesa.add({s("0001"), s("002"), pad(n, 4), QStringLiteral("Quiosque %1").arg(n), s("00001"),
                  s("A"), s("N")});
    for (int n = 1; n <= 4; ++n)
        mesa.add({s("0001"), s("003"), pad(n, 4), QStringLiteral("Terraço %1").arg(n), s("00001"),
                  s("F"), s("N")});
    mesa.flush();

    // Payment types of the Centro branch. 005 and 006 are hidden from the search, 007 has no
    // visibility flag at all, 008 has no fiscal payment form.
    BulkInsert tipo(db, QStringLiteral("TIPORECE"),
                    cols("CDFILIAL,CDTIPORECE,NMTIPORECE,DSBUTTON,VRTAXAADMI,VRMINCARTAO,"
                         "CDTIPOTROCO,NRORDTROCO,IDEMIVALE,IDVALE,IDDEBCLIE,CDFPIMPFIS,IDTIPORECE,"
                         "CDTPINDICE,IDPERVALOR,CDINDICE,NRCONFTELA,IDTPBUTTON,NRBUTTON,"
                         "NRPGCONFTELA,NRPGCONFTAUX,IDTPBUTONAUX,NRBUTTONAUX,CDIDENTBUTON,"
                         "NRCOLORTEXT,NRCOLORBACK,DSMESSAGEBUT,DSIMAGEMBUT,DSIMPFISCAL,"
                         "CDADMINCART,CDBANCARTCR,IDMOSTRARECE,IDDESABTEF,NRFONTETEXT,"
                         "IDSANGRIAAUTO"));
    struct Tipo
    {
        const char *code, *name, *button, *id, *fiscal, *show, *fiscalText;
        double fee;
        bool vale, debit;
    };
    const Tipo tipos[] = {
        {"001", "Dinheiro", "DINHEIRO", "A", "01", "S", "Dinheiro", 0.0, false, false},
        {"002", "Cartão de Crédito", "CRÉDITO", "C", "03", "S", "Cartao Credito", 3.2, false,
         false},
        {"003", "Cartão de Débito", "DÉBITO", "D", "04", "S", "Cartao Debito", 1.5, false, false},
        {"004", "Vale-Refeição", "VALE REFEIÇÃO", "V", "05", "S", "Vale Refeicao", 5.0, true,
         false},
        {"005", "Cheque", "CHEQUE", "H", "02", "N", "Cheque", 0.0, false, false},
        {"006", "Convênio Empresa", "CONVÊNIO", "E", "06", "N", "Convenio", 0.0, false, true},
        {"007", "Cortesia da Gerência", "CORTESIA", "X", "07", nullptr, "Cortesia", 0.0, false,
         false},
        {"008", "Vale-Presente", "VALE PRESENTE", "P", nullptr, "S", "Vale Presente", 0.0, true,
         false},
    };
    int button = 0;
    for (const Tipo &t : tipos) {
        ++button;
        tipo.add({s("0001"),
                  s(t.code),
                  s(t.name),
                  s(t.button),
                  t.fee,
                  t.fee > 0 ? QVariant(5.0) : QVariant(0.0),
                  s("001"),
                  s("001"),
                  s("N"),
                  t.vale ? s("S") : s("N"),
                  t.debit ? s("S") : s("N"),
                  t.fiscal ? s(t.fiscal) : nil(),
                  s(t.id),
                  nil(),
                  s("V"),
                  nil(),
                  s("00001"),
                  s("R"),
                  pad(button, 5),
                  s("01"),
                  nil(),
                  nil(),
                  nil(),
                  QStringLiteral("REC") + QString::fromLatin1(t.code),
                  16777215.0,
                  32768.0,
                  nil(),
                  nil(),
                  s(t.fiscalText),
                  nil(),
                  nil(),
                  t.show ? s(t.show) : nil(),
                  s("N"),
                  12.0,
                  s("N")});
    }
    tipo.flush();
}

} // namespace

void generateDemo(QSqlDatabase db, const DemoOptions &options)
{
    createSchema(db);
    Transaction tx(db);
    QStringList names;
    for (const TableDecl &t : tables())
        names << t.name;
    // Children first, should foreign keys ever be added.
    for (auto it = names.crbegin(); it != names.crend(); ++it)
        exec(db, QStringLiteral("DELETE FROM %1").arg(*it));

    Random random(options.seed);
    insertFixedData(db, options.today);
    QList<Price> prices;
    insertCatalogue(db, options.today, random, qMax(0, options.products), prices);
    insertPrices(db, options.today, prices);
    tx.commit();
    // Fresh statistics, so the planner uses the keys of the new data.
    exec(db, QStringLiteral("ANALYZE"));
}

} // namespace Store
