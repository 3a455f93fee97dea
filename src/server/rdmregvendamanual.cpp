#include "rdmregvendamanual.h"

#include "exception.h"
#include "qelservices.h"

#include <QAtomicInt>
#include <QLocale>
#include <QSqlQuery>

#include <limits>

TrdmRegVendaManual *rdmRegVendaManual = nullptr;

namespace {

// A query's SQL is a list of lines, each ending in a line break.
QString lines(std::initializer_list<const char *> list)
{
    QString text;
    for (const char *line : list)
        text += QString::fromUtf8(line) + QLatin1Char('\n');
    return text;
}

// The tax rows of a branch's products: the whole table (getAliqSistema) or, with the product's
// key added, one product's (getAliqProduto).
QString impostosDaFilial()
{
    return lines({"SELECT",
                  "   PR.CDPRODUTO, PR.NMPRODUTO, IM.IDTPIMPOSFIS, AQ.CDIMPOSTO, AQ.VRPEALIMPFIS,",
                  "   IM.NMIMPOSTO, IM.SGIMPOSTO, IM.CDINTIMPOSTO",
                  "FROM",
                  "   PRODUTO PR, IMPOSTO IM, ALIQIMPFIS AQ",
                  "WHERE  (AQ.CDFILIAL    = :P_CDFILIAL  )"});
}

ParamDecl text(const char *name)
{
    ParamDecl p;
    p.name = QString::fromLatin1(name);
    return p;
}

ParamDecl dateTime(const char *name, int precision, int scale, bool nullable)
{
    ParamDecl p = text(name);
    p.type = ParamType::DateTime;
    p.precision = precision;
    p.scale = scale;
    p.nullable = nullable;
    return p;
}

ParamDecl integer(const char *name)
{
    ParamDecl p = text(name);
    p.type = ParamType::Integer;
    return p;
}

// Each module gets its own Qt connection, so tests can hold a second module beside the global.
QString uniqueConnectionName()
{
    static QAtomicInt counter;
    const int n = counter.fetchAndAddRelaxed(1);
    return n == 0 ? QStringLiteral("adcRegVendaManual")
                  : QStringLiteral("adcRegVendaManual_%1").arg(n);
}

} // namespace

// The SQL one line per source line, as it is run.
// clang-format off
TrdmRegVendaManual::TrdmRegVendaManual(QObject *owner)
    : QObject(owner),
      adcRegVendaManual(uniqueConnectionName()),
      adqStatusMesa(adcRegVendaManual,
                    lines({"SELECT",
                           "   NRMESA, NMMESA, CDSALA, IDSTMESAAUX",
                           "FROM",
                           "   MESA",
                           "WHERE",
                           "   (CDFILIAL = :P_CDFILIAL) AND",
                           "   (CDLOJA   = :P_CDLOJA  ) AND",
                           "   (IDSTMESA = 'A'        )"}),
                    {text("P_CDFILIAL"), text("P_CDLOJA")}),
      dspStatusMesa(adqStatusMesa),
      adqAliqSistema(adcRegVendaManual,
                     impostosDaFilial() +
                     lines({"   AND (PR.CDPRODUTO   = AQ.CDPRODUTO )",
                            "   AND (AQ.CDIMPOSTO   = IM.CDIMPOSTO )",
                            " "}),
                     {text("P_CDFILIAL")}),
      dspAliqSistema(adqAliqSistema),
      adqAliqProduto(adcRegVendaManual,
                     impostosDaFilial() +
                     lines({"   AND (AQ.CDPRODUTO   = :P_CDPRODUTO )",
                            "   AND (PR.CDPRODUTO   = AQ.CDPRODUTO )",
                            "   AND (AQ.CDIMPOSTO   = IM.CDIMPOSTO )"}),
                     {text("P_CDFILIAL"), text("P_CDPRODUTO")}),
      dspAliqProduto(adqAliqProduto),
      adqVersaoAliq(adcRegVendaManual,
                    lines({"SELECT NMTABELA, NRVERSAO FROM TABVERSAO",
                           "WHERE NMTABELA IN ('ALIQIMPFIS', 'IMPOSTO', 'PRODUTO')",
                           "ORDER BY NMTABELA"}),
                    {}),
      adqCupomInicial(adcRegVendaManual,
                      lines({"SELECT",
                             "   NRSEQUENCIAL",
                             "FROM",
                             "   NOVOCODIGO",
                             "WHERE (CDCONTADOR = :P_CDCONTADOR)"}),
                      {text("P_CDCONTADOR")}, {QStringLiteral("NRSEQUENCIAL")}),
      acmInsCupomInicial(adcRegVendaManual,
                         QStringLiteral("INSERT INTO  NOVOCODIGO \r\n"
                                        "   (CDCONTADOR, NRSEQUENCIAL) \r\n"
                                        "VALUES\r\n"
                                        "   (:P_CDCONTADOR, :P_NRSEQUENCIAL)"),
                         {text("P_CDCONTADOR"), text("P_NRSEQUENCIAL")}),
      acmInsTurCaixa(adcRegVendaManual,
                     QStringLiteral("INSERT INTO TURCAIXA\r\n"
                                    "(CDFILIAL, CDCAIXA, DTABERCAIX, CDOPERADOR,\r\n"
                                    "CDOPERABER, CDOPERFECH, DTFECHCAIX, DTMOVTURCAIX)\r\n"
                                    "VALUES\r\n"
                                    "(:P_CDFILIAL, :P_CDCAIXA, :P_DTABERCAIXA, :P_CDOPERADOR, "
                                        ":P_CDOPERABER,  :P_CDOPERFECH, :P_DTFECHCAIX, "
                                        ":P_DTMOVTURCAIX)"),
                     {text("P_CDFILIAL"), text("P_CDCAIXA"),
                      dateTime("P_DTABERCAIXA", 23, 3, false),
                      text("P_CDOPERADOR"), text("P_CDOPERABER"), text("P_CDOPERFECH"),
                      dateTime("P_DTFECHCAIX", 0, 0, false),
                      dateTime("P_DTMOVTURCAIX", 23, 3, true)}),
      adqVendaGravada(adcRegVendaManual,
                      lines({"SELECT",
                             "   DTHRGRAVACAO, CDCAIXA, CDOPERADOR, VRTOTVENDA",
                             "FROM",
                             "   VENDA",
                             "WHERE (CDFILIAL      = :P_CDFILIAL     )",
                             "  AND (CDLOJA        = :P_CDLOJA       )",
                             "  AND (NRORDEMVND    = :P_NRORDEMVND   )",
                             "  AND (NRSERIEVND    = :P_NRSERIEVND   )",
                             "  AND (NRSUBSERIEVND = :P_NRSUBSERIEVND)"}),
                      {text("P_CDFILIAL"), text("P_CDLOJA"), text("P_NRORDEMVND"),
                       text("P_NRSERIEVND"), text("P_NRSUBSERIEVND")}),
      dspVendaGravada(adqVendaGravada),
      adqTalao(adcRegVendaManual,
               lines({"SELECT",
                      "   LTRIM(NRORDEMVND, '0') AS NRORDEM, NRSEQVENDA,",
                      "   DTHRGRAVACAO, CDCAIXA, CDOPERADOR, VRTOTVENDA",
                      "FROM",
                      "   VENDA",
                      "WHERE (CDFILIAL      = :P_CDFILIAL     )",
                      "  AND (CDLOJA        = :P_CDLOJA       )",
                      "  AND (NRSERIEVND    = :P_NRSERIEVND   )",
                      "  AND (NRSUBSERIEVND = :P_NRSUBSERIEVND)",
                      "  AND (LENGTH(LTRIM(NRORDEMVND, '0')) = :P_DIGITOS)",
                      "  AND (LTRIM(NRORDEMVND, '0') BETWEEN :P_DE AND :P_ATE)",
                      "  AND (LTRIM(NRORDEMVND, '0123456789') = '')"}),
               {text("P_CDFILIAL"), text("P_CDLOJA"), text("P_NRSERIEVND"),
                text("P_NRSUBSERIEVND"), integer("P_DIGITOS"), text("P_DE"), text("P_ATE")}),
      dspTalao(adqTalao)
// clang-format on
{
    adcRegVendaManual.BeforeConnect = [this](DbConnection &c) {
        adcRegVendaManualBeforeConnect(c);
    };
    adcRegVendaManual.AfterConnect = [this](DbConnection &c) { adcRegVendaManualAfterConnect(c); };
}

TrdmRegVendaManual::~TrdmRegVendaManual() = default;

void TrdmRegVendaManual::MtsDataModuleActivate()
{
    TryConnect(&adcRegVendaManual);
}

void TrdmRegVendaManual::MtsDataModuleDeactivate()
{
    adcRegVendaManual.setConnected(false);
}

void TrdmRegVendaManual::adcRegVendaManualBeforeConnect(DbConnection &connection)
{
    connection.ConnectionString = _GetStringConexQel(QString());
}

void TrdmRegVendaManual::adcRegVendaManualAfterConnect(DbConnection &connection)
{
    // The new session may be another database whose counters happen to be equal.
    forgetAliqSistema();
    SetADODBSession(&connection);
}

void TrdmRegVendaManual::forgetAliqSistema()
{
    m_lastAliq = LastAliq();
}

QList<qint64> TrdmRegVendaManual::versoesAliq()
{
    // Any failure here (an older store without the table, a lost connection) only means the
    // query runs; the query itself reports what is wrong.
    QList<qint64> versoes;
    try {
        adqVersaoAliq.Open();
        QSqlQuery &q = adqVersaoAliq.result();
        while (q.next()) {
            bool ok = false;
            const qint64 n = q.value(1).toLongLong(&ok);
            if (!ok) {
                versoes.clear();
                break;
            }
            versoes << n;
        }
    } catch (const Exception &) {
        versoes.clear();
    }
    adqVersaoAliq.Close();
    // A counter missing means changes to its table go uncounted.
    if (versoes.size() != 3) versoes.clear();
    return versoes;
}

DataPacket TrdmRegVendaManual::aliqSistemaPacket(const QString &cdFilial)
{
    const QList<qint64> versoes = versoesAliq();
    if (!versoes.isEmpty() && versoes == m_lastAliq.versoes && cdFilial == m_lastAliq.cdFilial)
        return m_lastAliq.packet;
    forgetAliqSistema();
    const DataPacket packet = dspAliqSistema.GetData({{"P_CDFILIAL", cdFilial}});
    if (!versoes.isEmpty()) m_lastAliq = {cdFilial, versoes, packet};
    return packet;
}

DataPacket TrdmRegVendaManual::vendaGravada(const QString &cdFilial, const QString &cdLoja,
                                             const QString &nrOrdem, const QString &nrSerie,
                                             const QString &nrSubSerie)
{
    return dspVendaGravada.GetData({{"P_CDFILIAL", cdFilial},
                                    {"P_CDLOJA", cdLoja},
                                    {"P_NRORDEMVND", nrOrdem},
                                    {"P_NRSERIEVND", nrSerie},
                                    {"P_NRSUBSERIEVND", nrSubSerie}});
}

namespace {

// Where a number's sale is: a row of one query's packet; none for a number the store lacks.
struct VendaDoTalao
{
    int pacote = -1;
    int linha = -1;
};

// Of two sales under one number written differently ("301", "0301"), always in one packet:
// whether row a was recorded before row b (by time, then by its sequence in the branch). Dates
// are read only here: reading one costs a conversion, and a number is seldom recorded twice.
bool gravadaAntes(const DataPacket &p, int a, int b)
{
    const int gravada = p.indexOf(QStringLiteral("DTHRGRAVACAO"));
    const QDateTime quandoA = p.value(a, gravada).toDateTime();
    const QDateTime quandoB = p.value(b, gravada).toDateTime();
    if (quandoA.isValid() != quandoB.isValid()) return quandoA.isValid();
    if (quandoA != quandoB) return quandoA < quandoB;
    const int nrSeq = p.indexOf(QStringLiteral("NRSEQVENDA"));
    return p.textAt(a, nrSeq) < p.textAt(b, nrSeq);
}

// The largest number of `digitos` digits, within qint64.
qint64 maiorComDigitos(int digitos)
{
    if (digitos > 18) return std::numeric_limits<qint64>::max();
    qint64 n = 0;
    for (int i = 0; i < digitos; ++i)
        n = n * 10 + 9;
    return n;
}

} // namespace

DataPacket TrdmRegVendaManual::talao(const QString &cdFilial, const QString &cdLoja,
                                     const QString &nrSerie, const QString &nrSubSerie,
                                     qint64 de, qint64 ate)
{
    // One question per digit count: within it, text order is number order.
    QList<DataPacket> pacotes;
    QList<VendaDoTalao> vendas(ate - de + 1);
    for (qint64 inicio = de; inicio <= ate;) {
        const QString primeiro = QString::number(inicio);
        const qint64 fim = qMin(ate, maiorComDigitos(int(primeiro.size())));
        const DataPacket p = dspTalao.GetData({{"P_CDFILIAL", cdFilial},
                                               {"P_CDLOJA", cdLoja},
                                               {"P_NRSERIEVND", nrSerie},
                                               {"P_NRSUBSERIEVND", nrSubSerie},
                                               {"P_DIGITOS", int(primeiro.size())},
                                               {"P_DE", primeiro},
                                               {"P_ATE", QString::number(fim)}});
        const int numero = p.indexOf(QStringLiteral("NRORDEM"));
        for (int r = 0; r < p.rowCount(); ++r) {
            bool ok = false;
            const qint64 n = p.textAt(r, numero).toLongLong(&ok);
            if (!ok || n < inicio || n > fim) continue;
            VendaDoTalao &atual = vendas[n - de];
            if (atual.linha < 0 || gravadaAntes(p, r, atual.linha))
                atual = {int(pacotes.size()), r};
        }
        pacotes << p;
        if (fim == ate) break;
        inicio = fim + 1;
    }

    // The sale's columns as the store declares them, after the number and its situation.
    const QStringList colunas{QStringLiteral("DTHRGRAVACAO"), QStringLiteral("CDCAIXA"),
                              QStringLiteral("CDOPERADOR"), QStringLiteral("VRTOTVENDA")};
    QList<FieldDef> campos{{QStringLiteral("NUMERO"), FieldType::LargeInt},
                           {QStringLiteral("SITUACAO"), FieldType::String, 7}};
    QList<int> indices;
    for (const QString &coluna : colunas) {
        indices << pacotes.constFirst().indexOf(coluna);
        campos << pacotes.constFirst().fields().at(indices.constLast());
    }
    DataPacket relatorio(campos);
    QVariantList linha(campos.size());
    for (qint64 i = 0; i < vendas.size(); ++i) {
        const VendaDoTalao &venda = vendas.at(i);
        linha[0] = QVariant(qlonglong(de + i));
        linha[1] = QVariant(venda.linha < 0 ? QStringLiteral("falta") : QStringLiteral("gravada"));
        for (int c = 0; c < indices.size(); ++c)
            linha[2 + c] =
                venda.linha < 0 ? QVariant() : pacotes.at(venda.pacote).value(venda.linha,
                                                                               indices.at(c));
        relatorio.appendRow(linha);
    }
    return relatorio;
}

namespace {

// A pad range the report refuses, in the manager's words; empty when it is taken.
QString recusaDoTalao(qint64 de, qint64 ate)
{
    constexpr qint64 maximo = 100000;
    const QString talao = QStringLiteral("O talão de %1 a %2 ").arg(de).arg(ate);
    if (de < 1)
        return talao + QStringLiteral("começa antes do número 1, o primeiro das vendas manuais: "
                                      "informe o primeiro número do talão.");
    if (ate < de)
        return talao + QStringLiteral("termina antes de começar: o último número deve ser igual "
                                      "ou maior que o primeiro.");
    if (ate - de >= maximo)
        return talao + QStringLiteral("tem %1 números: o relatório cobre um talão de cada vez, "
                                      "de no máximo %2 números.")
                           .arg(QLocale().toString(qlonglong(ate - de) + 1),
                                QLocale().toString(maximo));
    return QString();
}

// The database's cause of the last call's failure, kept for recusaDaUltimaChamada.
RecusaDoBanco ultimaRecusa = RecusaDoBanco::Outra;

// Runs one server function: the module on demand, and every failure turned into the text the
// callers expect. Nothing may leave these functions as an exception: they are called across
// the package boundary.
template <typename Work> QVariant serve(Work work)
{
    ultimaRecusa = RecusaDoBanco::Outra;
    try {
        if (!rdmRegVendaManual) {
            rdmRegVendaManual = new TrdmRegVendaManual(nullptr);
            rdmRegVendaManual->adcRegVendaManual.setConnected(true);
        }
        return work(*rdmRegVendaManual);
    } catch (const Exception &e) {
        if (rdmRegVendaManual)
            ultimaRecusa = recusaDoBanco(
                e.sqlError(), driverFor(rdmRegVendaManual->adcRegVendaManual.ConnectionString));
        try {
            return QVariant(ADOExceptionMessage(
                e, rdmRegVendaManual ? &rdmRegVendaManual->adcRegVendaManual : nullptr, QString()));
        } catch (const std::exception &) {
            return QVariant(e.Message());
        }
    } catch (const std::exception &e) {
        return QVariant(exceptionMessage(e));
    }
}

// The counter key of an initial coupon number: prefix, both keys and the date as the machine
// writes short dates.
QString cupomKey(const QString &key1, const QString &key2, const QDateTime &date)
{
    return QStringLiteral("CUPINICIAL") + key1 + key2 +
           QLocale().toString(date.date(), QLocale::ShortFormat);
}

} // namespace

RecusaDoBanco recusaDaUltimaChamada()
{
    return ultimaRecusa;
}

QVariant getStatusMesa(const QString &cdFilial, const QString &cdLoja)
{
    return serve([&](TrdmRegVendaManual &rdm) {
        return QVariant::fromValue(
            rdm.dspStatusMesa.GetData({{"P_CDFILIAL", cdFilial}, {"P_CDLOJA", cdLoja}}));
    });
}

QVariant getAliqSistema(const QString &cdFilial)
{
    return serve([&](TrdmRegVendaManual &rdm) {
        return QVariant::fromValue(rdm.aliqSistemaPacket(cdFilial));
    });
}

QVariant getAliqProduto(const QString &cdFilial, const QString &cdProduto)
{
    return serve([&](TrdmRegVendaManual &rdm) {
        return QVariant::fromValue(
            rdm.dspAliqProduto.GetData({{"P_CDFILIAL", cdFilial}, {"P_CDPRODUTO", cdProduto}}));
    });
}

QVariant getVendaGravada(const QString &cdFilial, const QString &cdLoja, const QString &nrOrdem,
                         const QString &nrSerie, const QString &nrSubSerie)
{
    return serve([&](TrdmRegVendaManual &rdm) {
        return QVariant::fromValue(
            rdm.vendaGravada(cdFilial, cdLoja, nrOrdem, nrSerie, nrSubSerie));
    });
}

QVariant getTalao(const QString &cdFilial, const QString &cdLoja, const QString &nrSerie,
                  const QString &nrSubSerie, qint64 de, qint64 ate)
{
    const QString recusa = recusaDoTalao(de, ate);
    if (!recusa.isEmpty()) {
        ultimaRecusa = RecusaDoBanco::Outra;
        return QVariant(recusa);
    }
    return serve([&](TrdmRegVendaManual &rdm) {
        return QVariant::fromValue(rdm.talao(cdFilial, cdLoja, nrSerie, nrSubSerie, de, ate));
    });
}

QVariant setGravaCupomInicial(const QString &key1, const QString &key2, const QString &number,
                              const QDateTime &date)
{
    return serve([&](TrdmRegVendaManual &rdm) {
        rdm.adqCupomInicial.Close();
        rdm.adqCupomInicial.setParamValue(QStringLiteral("P_CDCONTADOR"),
                                          cupomKey(key1, key2, date));
        rdm.adqCupomInicial.Open();
        const bool absent = rdm.adqCupomInicial.IsEmpty();
        rdm.adqCupomInicial.Close();
        if (absent) {
            rdm.acmInsCupomInicial.setParamValue(QStringLiteral("P_CDCONTADOR"),
                                                 cupomKey(key1, key2, date));
            rdm.acmInsCupomInicial.setParamValue(QStringLiteral("P_NRSEQUENCIAL"),
                                                 Ajusta(number, 10));
            rdm.acmInsCupomInicial.ExecSQL();
        }
        return QVariant();
    });
}

QVariant setAbreCaixa(const QString &cdFilial, const QString &cdCaixa, const QString &cdOperador,
                      QDateTime &dtAbertura)
{
    // Read the clock once, before anything can fail. The movement date comes from the same
    // reading, so a call at midnight cannot write a movement day after the opening day.
    dtAbertura = QDateTime::currentDateTime();
    const QDateTime movimento = dtAbertura.date().startOfDay();
    return serve([&](TrdmRegVendaManual &rdm) {
        ServerQuery &cmd = rdm.acmInsTurCaixa;
        cmd.setParamValue(QStringLiteral("P_CDFILIAL"), cdFilial);
        cmd.setParamValue(QStringLiteral("P_CDCAIXA"), cdCaixa);
        cmd.setParamValue(QStringLiteral("P_DTABERCAIXA"), dtAbertura);
        cmd.setParamValue(QStringLiteral("P_CDOPERADOR"), cdOperador);
        cmd.setParamValue(QStringLiteral("P_CDOPERABER"), cdOperador);
        cmd.setParamValue(QStringLiteral("P_CDOPERFECH"), cdOperador);
        cmd.setParamValue(QStringLiteral("P_DTFECHCAIX"), dtAbertura);
        cmd.setParamValue(QStringLiteral("P_DTMOVTURCAIX"), movimento);
        cmd.ExecSQL();
        return QVariant(QString(QLatin1String("")));
    });
}
