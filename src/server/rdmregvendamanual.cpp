#include "rdmregvendamanual.h"

#include "exception.h"
#include "qelservices.h"

#include <QAtomicInt>
#include <QLocale>
#include <QSqlQuery>

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
      dspVendaGravada(adqVendaGravada)
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
