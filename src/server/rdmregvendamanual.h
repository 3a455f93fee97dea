#pragma once

#include "dbconnection.h"
#include "dbwork.h"
#include "serverquery.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QVariant>

// The server side of the package: one connection to the store database and the SQL of the
// four server functions. It lives in the host's process; the screen creates it on its first
// launch and it is never released.
class Q_DECL_EXPORT TrdmRegVendaManual : public QObject
{
    Q_OBJECT
public:
    explicit TrdmRegVendaManual(QObject *owner = nullptr);
    ~TrdmRegVendaManual() override;

    DbConnection adcRegVendaManual;
    ServerQuery adqStatusMesa;
    DataSetProvider dspStatusMesa;
    ServerQuery adqAliqSistema;
    DataSetProvider dspAliqSistema;
    // adqAliqSistema narrowed to one product: what the product lookup shows.
    ServerQuery adqAliqProduto;
    DataSetProvider dspAliqProduto;
    // The change counters of the tables behind adqAliqSistema (stores of schema 3 onwards).
    ServerQuery adqVersaoAliq;
    ServerQuery adqCupomInicial;
    ServerQuery acmInsCupomInicial;
    ServerQuery acmInsTurCaixa;
    ServerQuery adqVendaGravada;
    DataSetProvider dspVendaGravada;
    // The sales of a pad whose order numbers, without their leading zeros, have P_DIGITOS
    // digits and lie from P_DE to P_ATE; orders that are not all digits are left out.
    ServerQuery adqTalao;
    DataSetProvider dspTalao;

    // Published for a transaction server; nothing in the package calls them.
    Q_INVOKABLE void MtsDataModuleActivate();
    Q_INVOKABLE void MtsDataModuleDeactivate();

    void adcRegVendaManualBeforeConnect(DbConnection &connection);
    void adcRegVendaManualAfterConnect(DbConnection &connection);

    // The branch's tax packet of adqAliqSistema. The packet of the previous call is handed
    // back as it is (shared, not copied) while the branch and the store's change counters
    // are those it was read at; without readable counters the query simply runs. Throws
    // Exception as the query does.
    DataPacket aliqSistemaPacket(const QString &cdFilial);
    void forgetAliqSistema(); // nothing read before a new session is trusted

    // The packet of adqVendaGravada for one hand-written document. Throws Exception.
    DataPacket vendaGravada(const QString &cdFilial, const QString &cdLoja, const QString &nrOrdem,
                            const QString &nrSerie, const QString &nrSubSerie);

    // getTalao's packet, one row per number from de to ate (a range getTalao accepted).
    // Throws Exception.
    DataPacket talao(const QString &cdFilial, const QString &cdLoja, const QString &nrSerie,
                     const QString &nrSubSerie, qint64 de, qint64 ate);

private:
    QList<qint64> versoesAliq();

    struct LastAliq
    {
        QString cdFilial;
        QList<qint64> versoes;
        DataPacket packet;
    } m_lastAliq;
};

// The one instance, created without owner on the first launch (or by the first server call).
Q_DECL_EXPORT extern TrdmRegVendaManual *rdmRegVendaManual;

// The server functions. Each returns one variant: a DataPacket (query functions), an empty
// result (commands: an empty QString from setAbreCaixa, an unassigned QVariant from
// setGravaCupomInicial), or, on any database failure, the error text of ADOExceptionMessage.
// They never throw and never retry; each command commits by itself.
Q_DECL_EXPORT QVariant getStatusMesa(const QString &cdFilial, const QString &cdLoja);
Q_DECL_EXPORT QVariant getAliqSistema(const QString &cdFilial);
// The rows getAliqSistema gives for one product of the branch (none when it has no tax there),
// read by key: the lookup's cost does not grow with the number of products.
Q_DECL_EXPORT QVariant getAliqProduto(const QString &cdFilial, const QString &cdProduto);
Q_DECL_EXPORT QVariant setGravaCupomInicial(const QString &key1, const QString &key2,
                                            const QString &number, const QDateTime &date);
// The sale already recorded under a hand-written document (branch, store, order, series,
// sub-series), the key under which the closing routine refuses a second one: a packet of
// DTHRGRAVACAO, CDCAIXA, CDOPERADOR and VRTOTVENDA, empty when the document is free.
Q_DECL_EXPORT QVariant getVendaGravada(const QString &cdFilial, const QString &cdLoja,
                                       const QString &nrOrdem, const QString &nrSerie,
                                       const QString &nrSubSerie);
// The pad report: every order number from de to ate of a series and sub-series of the store,
// in order, in a packet of NUMERO (integer), SITUACAO ("gravada" or "falta"), and for a
// recorded number DTHRGRAVACAO, CDCAIXA, CDOPERADOR and VRTOTVENDA of its sale. Numbers are
// compared as numbers ("0301" is 301); an order that is not all digits is no number of the
// pad. A number recorded twice, written differently ("301" and "0301"), shows its earliest
// sale. A range that does not start at 1 or more, ends before it starts or holds more than
// 100,000 numbers is refused, with a text saying so, before the store is asked.
Q_DECL_EXPORT QVariant getTalao(const QString &cdFilial, const QString &cdLoja,
                                const QString &nrSerie, const QString &nrSubSerie, qint64 de,
                                qint64 ate);
// dtAbertura receives the time the shift was stamped with, also when the insert fails: the
// result (empty, or the failure text) is what tells whether the shift was stored.
// getVendaGravada asked on a connection and a thread of its own, the answer awaited at most
// limiteMs: a store that does not answer never holds the caller up. An invalid QVariant says
// no answer came in time; while that question stays unanswered no other is asked (the call
// returns an invalid QVariant at once), so a silent store costs one wait, not one per call.
// The connection follows _GetStringConexQel, as the module's own does.
Q_DECL_EXPORT QVariant getVendaGravadaAte(int limiteMs, const QString &cdFilial,
                                          const QString &cdLoja, const QString &nrOrdem,
                                          const QString &nrSerie, const QString &nrSubSerie);
// Connects getVendaGravadaAte's own connection in the background, so that its first question
// waits for the answer only. Returns at once.
Q_DECL_EXPORT void preparaVendaGravada();
Q_DECL_EXPORT QVariant setAbreCaixa(const QString &cdFilial, const QString &cdCaixa,
                                    const QString &cdOperador, QDateTime &dtAbertura);

// Why the database refused the last server function called (RecusaDoBanco::Outra when it succeeded,
// or failed for another reason): the screen words its message to the operator by it, where
// the function's result carries only the database's text.
Q_DECL_EXPORT RecusaDoBanco recusaDaUltimaChamada();
