#include "closing.h"

#include "clientdataset.h"
#include "conversions.h"
#include "dbconnection.h"
#include "dbwork.h"
#include "exception.h"
#include "qelservices.h"
#include "storeconnection.h"
#include "venda/dinheiro.h"

#include <QLocale>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <optional>

namespace {

// The manual document a sale comes from: branch, store, order number, series, sub-series.
struct Documento
{
    QString filial, loja, ordem, serie, subSerie;

    QString descricao() const
    {
        return QStringLiteral("ordem %1, série %2, sub-série %3 (filial %4, loja %5)")
            .arg(ordem, serie, subSerie, filial, loja);
    }
};

QString texto(const DataPacket &p, int row, const char *column)
{
    const int c = p.indexOf(QString::fromLatin1(column));
    return c < 0 ? QString() : p.value(row, c).toString();
}

QVariant valorDe(const DataPacket &p, int row, const char *column)
{
    const int c = p.indexOf(QString::fromLatin1(column));
    return c < 0 ? QVariant() : p.value(row, c);
}

// The sum of a column in cents; false when a value holds a fraction of a cent. A sale is
// stored only when its lines are cents and add up to the cent, so what was shown, paid and
// stored are one and the same figure.
bool soma(const DataPacket &p, const char *column, Dinheiro::Centavos &total)
{
    total = 0;
    for (int r = 0; r < p.rowCount(); ++r) {
        const double v = valorDe(p, r, column).toDouble();
        if (!Dinheiro::centavosExatos(v))
            return false;
        total += Dinheiro::emCentavos(v);
    }
    return true;
}

// An amount or quantity that is not a number, or beyond what a sale may hold, is never stored:
// the message names the first one found.
QString valorForaDoLimite(const DataPacket &itens, const DataPacket &movs)
{
    static const char *const doItem[] = {"QTPRODVEND",  "VRUNITVEND",  "VRTOTVEND",
                                         "VRDESITVEND", "VRACRITVEND", "VRPEALIMPFIS"};
    static const char *const doMovimento[] = {"VRMOVIVEND"};
    const auto procura = [](const DataPacket &p, auto &nomes) {
        for (int r = 0; r < p.rowCount(); ++r) {
            for (const char *nome : nomes) {
                const QVariant v = valorDe(p, r, nome);
                if (v.isNull() || Sys::fitsAmount(v.toDouble()))
                    continue;
                return QStringLiteral("Fechamento: valor fora do limite em %1 (linha %2): %3.")
                    .arg(QLatin1String(nome))
                    .arg(r + 1)
                    .arg(v.toDouble(), 0, 'g', QLocale::FloatingPointShortest);
            }
        }
        return QString();
    };
    const QString item = procura(itens, doItem);
    return item.isEmpty() ? procura(movs, doMovimento) : item;
}

QString jaRegistrado(const Documento &d, const QString &venda)
{
    return QStringLiteral("Documento manual já registrado%1: %2. A venda não foi gravada de novo.")
        .arg(venda.isEmpty() ? QString() : QStringLiteral(" na venda %1").arg(venda),
             d.descricao());
}

// The sale's number: the branch's counter, raised inside the recording's transaction so two
// terminals never get the same number.
QString novoNumero(QSqlDatabase db, const QString &filial)
{
    QSqlQuery q(db);
    runSql(q,
        QStringLiteral("INSERT INTO CONTADORVENDA (CDFILIAL, NRULTVENDA) VALUES (:F, 0) "
                       "ON CONFLICT (CDFILIAL) DO NOTHING"),
        {{"F", filial}});
    runSql(q,
        QStringLiteral("UPDATE CONTADORVENDA SET NRULTVENDA = NRULTVENDA + 1 WHERE CDFILIAL = :F"),
        {{"F", filial}});
    runSql(q, QStringLiteral("SELECT NRULTVENDA FROM CONTADORVENDA WHERE CDFILIAL = :F"),
        {{"F", filial}});
    if (!q.next())
        throw Exception(QStringLiteral("Contador de vendas da filial %1 indisponível.").arg(filial));
    return Ajusta(QString::number(q.value(0).toLongLong()), 10);
}

QString registrada(QSqlDatabase db, const Documento &d)
{
    QSqlQuery q(db);
    runSql(q,
        QStringLiteral("SELECT NRSEQVENDA FROM VENDA WHERE CDFILIAL = :F AND CDLOJA = :L AND "
                       "NRORDEMVND = :O AND NRSERIEVND = :S AND NRSUBSERIEVND = :U"),
        {{"F", d.filial}, {"L", d.loja}, {"O", d.ordem}, {"S", d.serie}, {"U", d.subSerie}});
    return q.next() ? q.value(0).toString() : QString();
}

// A column of a list stored under its own name: as text (empty for none) or as the value it
// holds (null for none).
struct Coluna
{
    const char *nome;
    bool texto;
};

// Every row of a list into one table: the values the whole sale shares, the row's number
// (001 on) where the table numbers its rows, then the row's own columns. Bound, never spliced.
void gravaLinhas(QSqlQuery &q, const char *tabela, const QVariantMap &daVenda,
                 const char *numeroDaLinha, std::initializer_list<Coluna> colunas,
                 const DataPacket &linhas)
{
    QStringList nomes = daVenda.keys();
    if (numeroDaLinha)
        nomes << QString::fromLatin1(numeroDaLinha);
    for (const Coluna &c : colunas)
        nomes << QString::fromLatin1(c.nome);
    QStringList marcas;
    for (int i = 0; i < nomes.size(); ++i)
        marcas << QStringLiteral(":P%1").arg(i);
    const QString sql = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                            .arg(QLatin1String(tabela), nomes.join(QStringLiteral(", ")),
                                 marcas.join(QStringLiteral(", ")));
    for (int r = 0; r < linhas.rowCount(); ++r) {
        QVariantList valores = daVenda.values();
        if (numeroDaLinha)
            valores << Ajusta(QString::number(r + 1), 3);
        for (const Coluna &c : colunas)
            valores << (c.texto ? QVariant(texto(linhas, r, c.nome))
                                : valorDe(linhas, r, c.nome));
        QVariantMap binds;
        for (int i = 0; i < valores.size(); ++i)
            binds.insert(QStringLiteral("P%1").arg(i), valores.at(i));
        runSql(q, sql, binds);
    }
}

void gravaItens(QSqlQuery &q, const Documento &d, const QString &venda, const DataPacket &itens)
{
    gravaLinhas(q, "ITVENDA", {{"CDFILIAL", d.filial}, {"NRSEQVENDA", venda}}, nullptr,
                {{"NRSEQUITVENDA", true}, {"CDPRODUTO", true},    {"NMPRODUTO", true},
                 {"QTPRODVEND", false},   {"VRUNITVEND", false},  {"VRTOTVEND", false},
                 {"VRDESITVEND", false},  {"VRACRITVEND", false}, {"NMIMPOSTO", true},
                 {"SGIMPOSTO", true},     {"VRPEALIMPFIS", false}, {"DTVENDA", false},
                 {"DTENTRVENDA", false},  {"DTFECHAVENDA", false}, {"CDOPERADOR", true},
                 {"NRMESA", true},        {"CDSALA", true}},
                itens);
}

void gravaMovimentos(QSqlQuery &q, const Documento &d, const QString &venda,
                     const QString &caixa, const DataPacket &movs)
{
    gravaLinhas(q, "MOVCAIXA",
                {{"CDFILIAL", d.filial}, {"NRSEQVENDA", venda}, {"CDCAIXA", caixa}}, "NRSEQUMOVI",
                {{"IDTIPOMOVIVE", true}, {"CDTIPORECE", true},  {"NMTIPORECE", true},
                 {"IDTIPORECE", true},   {"VRMOVIVEND", false}, {"CDTIPOTROCO", true},
                 {"NRORDTROCO", true},   {"CDCLIENTE", true},   {"CDCONSUMIDOR", true},
                 {"CDCCUSCLIE", true},   {"DTHRINCMOV", false}, {"DTMOVIMCAIXA", false},
                 {"DSIMPFISCAL", true}},
                movs);
}

// What the store holds for the document now, asked on a connection that answers.
struct Situacao
{
    bool conhecida = false; // the store answered
    QString numero;         // the sale the document is stored under, if any
    bool nossa = false;     // that sale is the one this recording wrote
};

Situacao situacaoAgora(const Documento &d, const QString &venda, const QString &caixa,
                       const QDateTime &gravacao)
{
    Situacao s;
    try {
        s.numero = registrada(storeDatabase(), d);
        if (!s.numero.isEmpty() && s.numero == venda) {
            // Number, terminal and recording time together tell this recording's sale.
            QSqlQuery q(storeDatabase());
            runSql(q,
                QStringLiteral("SELECT COUNT(*) FROM VENDA WHERE CDFILIAL = :F AND "
                               "NRSEQVENDA = :V AND CDCAIXA = :C AND DTHRGRAVACAO = :G"),
                {{"F", d.filial}, {"V", venda}, {"C", caixa}, {"G", gravacao}});
            s.nossa = q.next() && q.value(0).toInt() == 1;
        }
        s.conhecida = true;
    } catch (const Exception &) {
    }
    return s;
}

// Why the store refused, in the operator's words (the cause by the database's code of error).
QString causaDa(const QSqlError &erro, const QString &driver)
{
    switch (recusaDoBanco(erro, driver)) {
    case RecusaDoBanco::SomenteLeitura:
        return QStringLiteral("o banco de dados está somente para leitura");
    case RecusaDoBanco::DiscoCheio:
        return QStringLiteral("o disco do banco de dados está cheio ou não aceita gravação");
    case RecusaDoBanco::Conexao: return QStringLiteral("a conexão com o banco de dados falhou");
    case RecusaDoBanco::EmUso:
        return QStringLiteral("o banco de dados está bloqueado por outro programa");
    case RecusaDoBanco::SemTabela: return QStringLiteral("falta uma tabela no banco de dados");
    case RecusaDoBanco::Danificado: return QStringLiteral("o banco de dados está danificado");
    case RecusaDoBanco::Outra: break;
    }
    return QStringLiteral("o banco de dados recusou a gravação");
}

// A sale the store refused, told so the operator knows what happened to it and what to do;
// the database's own words come last, for whoever looks into it.
QString naoGravada(const Exception &falha, const QString &driver, bool conferido)
{
    const QString texto = falha.Message().simplified();
    const QString conselho =
        conferido ? QStringLiteral("Nada dela ficou registrado; grave de novo.")
                  : QStringLiteral("Confira o banco de dados antes de gravar de novo.");
    return QStringLiteral("A venda não foi gravada: %1. %2 (%3)")
        .arg(causaDa(falha.sqlError(), driver), conselho,
             texto.isEmpty() ? QStringLiteral("sem detalhe do banco de dados") : texto);
}

} // namespace

QVariant concluiFechamento(ClientDataSet *const *dataSets, int highDataSets,
                           const QVariant *values, int highValues, QVariant &ovFechamento)
{
    try {
        if (!dataSets || highDataSets < 1 || !values || highValues < 32)
            return QStringLiteral("Fechamento: dados da venda incompletos.");
        const DataPacket itens = dataSets[0] && dataSets[0]->Active() ? dataSets[0]->Data()
                                                                       : DataPacket();
        const DataPacket movs = dataSets[1] && dataSets[1]->Active() ? dataSets[1]->Data()
                                                                      : DataPacket();
        if (itens.rowCount() == 0)
            return QStringLiteral("Fechamento: a venda não tem itens.");
        if (movs.rowCount() == 0)
            return QStringLiteral("Fechamento: a venda não tem recebimentos.");

        Documento doc{values[5].toString(), values[8].toString(), texto(itens, 0, "NRORDEMVND"),
                      texto(itens, 0, "NRSERIEVND"), texto(itens, 0, "NRSUBSERIEVND")};
        for (int r = 1; r < itens.rowCount(); ++r) {
            if (texto(itens, r, "NRORDEMVND") != doc.ordem
                || texto(itens, r, "NRSERIEVND") != doc.serie
                || texto(itens, r, "NRSUBSERIEVND") != doc.subSerie)
                return QStringLiteral("Fechamento: os itens pertencem a documentos diferentes.");
        }
        if (doc.ordem.isEmpty() || doc.serie.isEmpty() || doc.subSerie.isEmpty())
            return QStringLiteral("Fechamento: documento sem ordem, série ou sub-série.");

        const QString foraDoLimite = valorForaDoLimite(itens, movs);
        if (!foraDoLimite.isEmpty())
            return foraDoLimite;

        // Items must match the payments to the cent; a cent short is not a sale.
        Dinheiro::Centavos totalItens = 0, totalRecebido = 0;
        if (!soma(itens, "VRTOTVEND", totalItens) || !soma(movs, "VRMOVIVEND", totalRecebido))
            return QStringLiteral("Fechamento: valor com fração de centavo.");
        if (totalItens != totalRecebido) {
            return QStringLiteral("Fechamento: itens (%1) e recebimentos (%2) não conferem.")
                .arg(Dinheiro::emReais(totalItens), 0, 'f', 2)
                .arg(Dinheiro::emReais(totalRecebido), 0, 'f', 2);
        }

        QString venda;
        std::optional<Exception> falha;
        QString driver;
        const QDateTime gravacao = QDateTime::currentDateTime();
        try {
            QSqlDatabase db = storeDatabase();
            driver = db.driverName();
            // Declared before the transaction so they outlive it: on PostgreSQL a statement
            // freed inside a failed transaction cannot be released and stays in the session.
            QSqlQuery q(db), qItens(db), qMovimentos(db);
            Transaction transacao(db);
            const QString anterior = registrada(db, doc);
            if (!anterior.isEmpty())
                return jaRegistrado(doc, anterior);
            venda = novoNumero(db, doc.filial);
            runSql(q,
                QStringLiteral(
                    "INSERT INTO VENDA (CDFILIAL, NRSEQVENDA, CDLOJA, CDCAIXA, CDEMPRESA, "
                    "NRORDEMVND, NRSERIEVND, NRSUBSERIEVND, DTVENDA, NRMESA, CDSALA, CDOPERADOR, "
                    "DTABERCAIX, DTMOVIMENTO, IDORIGEMVENDA, VRTOTVENDA, VRTOTRECEB, QTITENS, "
                    "DTHRGRAVACAO) VALUES (:F, :V, :L, :C, :E, :O, :S, :U, :D, :M, :SA, :OP, "
                    ":AB, :MV, :OR, :TV, :TR, :QI, :G)"),
                {{"F", doc.filial},
                 {"V", venda},
                 {"L", doc.loja},
                 {"C", values[0].toString()},
                 {"E", values[2].toString()},
                 {"O", doc.ordem},
                 {"S", doc.serie},
                 {"U", doc.subSerie},
                 {"D", valorDe(itens, 0, "DTVENDA")},
                 {"M", values[9].toString()},
                 {"SA", texto(itens, 0, "CDSALA")},
                 {"OP", texto(itens, 0, "CDOPERADOR")},
                 {"AB", values[1]},
                 {"MV", values[20]},
                 {"OR", values[32].toString()},
                 {"TV", double(totalItens) / 100},
                 {"TR", double(totalRecebido) / 100},
                 {"QI", itens.rowCount()},
                 {"G", gravacao}});
            gravaItens(qItens, doc, venda, itens);
            gravaMovimentos(qMovimentos, doc, venda, values[0].toString(), movs);
            transacao.commit();
        } catch (const Exception &e) {
            falha = e;
        }
        if (falha) {
            // What the store holds now decides, asked on a connection that answers (the
            // failure may have been that connection's): another terminal's recording of the
            // same document stopped this one at its unique key, or the commit reached the
            // store before the connection was lost, and then this sale is stored.
            // A session cut for want of a reply (replywatch.h) leaves its transaction with a
            // server that may yet carry out a commit it has received: nothing is promised.
            const bool cortada = storeConnection().repliesCut();
            const Situacao agora = situacaoAgora(doc, venda, values[0].toString(), gravacao);
            if (agora.numero.isEmpty())
                return naoGravada(*falha, driver, agora.conhecida && !cortada);
            if (!agora.nossa)
                return jaRegistrado(doc, agora.numero);
        }
        QVariantList ov = ovFechamento.toList();
        ov.resize(10);
        ov[0] = venda;
        ovFechamento = ov;
        return QVariant();
    } catch (const std::exception &e) {
        return exceptionMessage(e);
    }
}
