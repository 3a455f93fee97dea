// The price rule: the client's price table when a client code is given and the client has
// one, else the store's table, else the branch's default table; the table that applies must
// be valid today. A blocked product has no price.
#include "pricing.h"

#include "clientdataset.h"
#include "dbwork.h"
#include "exception.h"
#include "storeconnection.h"

#include <QDate>
#include <QSqlQuery>

namespace {

const char *const ColunasPreco[] = {"VRPRECO",     "VRDESCONTO",  "VRACRESCIMO", "VRPRECOCLIE",
                                    "IDPRECVARIA", "IDPERCVALOR", "IDACREDESC",  "VRPRECODIA"};

QString valor(const QVariant *values, int high, int index)
{
    return values && index <= high ? values[index].toString() : QString();
}

enum class Tabela { NaoHa, Vencida, Vigente };

// The table of one kind for the sale: none, one not valid today, or the valid one.
Tabela tabela(QSqlDatabase db, const QString &where, const QVariantMap &binds, QString &codigo)
{
    QSqlQuery q(db);
    runSql(q,
        QStringLiteral("SELECT CDTABPRECO, DTINIVGTABPRECO, DTFINVGTABPRECO FROM TABPRECO WHERE ")
            + where + QStringLiteral(" ORDER BY DTINIVGTABPRECO DESC, CDTABPRECO"),
        binds);
    const QDate hoje = QDate::currentDate();
    bool alguma = false;
    while (q.next()) {
        alguma = true;
        const QDate inicio = q.value(1).toDate();
        const QDate fim = q.value(2).toDate();
        if ((!inicio.isValid() || inicio <= hoje) && (!fim.isValid() || fim >= hoje)) {
            codigo = q.value(0).toString();
            return Tabela::Vigente;
        }
    }
    return alguma ? Tabela::Vencida : Tabela::NaoHa;
}

// The code of the table that prices the sale, or the failure code. The kinds are tried in
// order; the first that has a table decides: its valid table, or its own failure code.
QString escolheTabela(QSqlDatabase db, const QString &filial, const QString &cliente,
                      const QString &loja, QString &codigo)
{
    const struct
    {
        bool usada;
        const char *onde;
        QVariantMap binds;
        const char *vencida;
    } tipos[] = {
        {!cliente.isEmpty(), "IDTIPOTABPRECO = 'C' AND CDFILIAL = :F AND CDCLIENTE = :C",
         {{"F", filial}, {"C", cliente}}, "DTCLI"},
        {true, "IDTIPOTABPRECO = 'L' AND CDFILIAL = :F AND CDLOJA = :L",
         {{"F", filial}, {"L", loja}}, "DTLOJ"},
        {true, "IDTIPOTABPRECO = 'F' AND CDFILIAL = :F", {{"F", filial}}, "DTPAR"},
    };
    for (const auto &t : tipos) {
        if (!t.usada)
            continue;
        switch (tabela(db, QString::fromLatin1(t.onde), t.binds, codigo)) {
        case Tabela::Vigente:
            return QString();
        case Tabela::Vencida:
            return QString::fromLatin1(t.vencida);
        case Tabela::NaoHa:
            break;
        }
    }
    return QStringLiteral("TABENCAD");
}

} // namespace

QVariant retornaPreco(const QVariant *values, int highValues, ClientDataSet *cdsRetornaPreco,
                      QVariant &)
{
    try {
        const QString filial = valor(values, highValues, 0);
        const QString cliente = valor(values, highValues, 1);
        const QString produto = valor(values, highValues, 2);
        const QString loja = valor(values, highValues, 3);
        QSqlDatabase db = storeDatabase();

        QSqlQuery p(db);
        runSql(p, QStringLiteral("SELECT IDBLOQPROD FROM PRODUTO WHERE CDPRODUTO = :P"),
            {{"P", produto}});
        if (!p.next())
            return QStringLiteral("PRECNCAD");
        if (p.value(0).toString() == QLatin1String("S"))
            return QStringLiteral("BLOQUEADO");

        QString codigo;
        const QString falha = escolheTabela(db, filial, cliente, loja, codigo);
        if (!falha.isEmpty())
            return falha;

        QSqlQuery q(db);
        runSql(q,
            QStringLiteral("SELECT VRPRECO, VRDESCONTO, VRACRESCIMO, VRPRECOCLIE, IDPRECVARIA, "
                           "IDPERCVALOR, IDACREDESC, VRPRECODIA FROM ITTABPRECO "
                           "WHERE CDTABPRECO = :T AND CDPRODUTO = :P"),
            {{"T", codigo}, {"P", produto}});
        if (!q.next())
            return QStringLiteral("PRECNCAD");
        if (q.value(0).isNull() || q.value(0).toDouble() <= 0)
            return QStringLiteral("PRECZERO");

        if (!cdsRetornaPreco)
            return QStringLiteral("Preço: conjunto de dados do preço não informado.");
        cdsRetornaPreco->Close();
        cdsRetornaPreco->CreateDataSet();
        NewRow preco(*cdsRetornaPreco, NewRow::AtEnd);
        for (int i = 0; i < 8; ++i) {
            if (!q.value(i).isNull())
                preco[ColunasPreco[i]].setValue(q.value(i));
        }
        preco.post();
        return QString();
    } catch (const std::exception &e) {
        return exceptionMessage(e);
    }
}
