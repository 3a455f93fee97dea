#include "vendaconsistente.h"

#include <QDateTime>
#include <QMap>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <algorithm>
#include <cmath>

namespace {

// Rows of one query by branch and sale number (its first two columns), in key order.
QMap<QString, QList<QSqlRecord>> porVenda(const QSqlDatabase &db, const QString &sql,
                                          const QString &filial, const QString &venda,
                                          QStringList *erros)
{
    QMap<QString, QList<QSqlRecord>> linhas;
    QSqlQuery q(db);
    q.prepare(sql
              + (venda.isEmpty() ? QString()
                                 : QStringLiteral(" WHERE CDFILIAL = :F AND NRSEQVENDA = :V"))
              + QStringLiteral(" ORDER BY 1, 2, 3"));
    if (!venda.isEmpty()) {
        q.bindValue(QStringLiteral(":F"), filial);
        q.bindValue(QStringLiteral(":V"), venda);
    }
    if (!q.exec())
        *erros << sql + QStringLiteral(": ") + q.lastError().text();
    while (q.next())
        linhas[q.value(0).toString() + u'/' + q.value(1).toString()].append(q.record());
    return linhas;
}

QString texto(const QSqlRecord &linha, const char *coluna)
{
    return linha.value(QLatin1String(coluna)).toString();
}

// SQLite hands date-times back as the ISO text Qt wrote, PostgreSQL as timestamps.
QDateTime instante(const QVariant &v)
{
    if (v.typeId() != QMetaType::QString)
        return v.toDateTime();
    const QString iso = v.toString().trimmed().replace(u' ', u'T');
    const QDateTime t = QDateTime::fromString(iso, Qt::ISODateWithMs);
    return t.isValid() ? t : QDateTime(QDate::fromString(iso, Qt::ISODate), QTime(0, 0));
}

QString dia(const QSqlRecord &linha, const char *coluna)
{
    return instante(linha.value(QLatin1String(coluna))).date().toString(Qt::ISODate);
}

QString segundo(const QVariant &v)
{
    return instante(v).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

// A cash shift by branch, register and opening time to the second.
QString turno(const QString &filial, const QString &caixa, const QVariant &abertura)
{
    return filial + u'/' + caixa + u'/' + segundo(abertura);
}

qint64 centavos(const QSqlRecord &linha, const char *coluna)
{
    return std::llround(linha.value(QLatin1String(coluna)).toDouble() * 100);
}

bool centavosInteiros(double valor)
{
    const double c = valor * 100;
    return std::abs(c - std::round(c)) <= 1e-9 * std::max(1.0, std::abs(c));
}

} // namespace

QStringList confereVendas(const QSqlDatabase &db, const QString &filial, const QString &nrSeqVenda)
{
    QStringList erros;
    const auto vendas = porVenda(
        db,
        QStringLiteral("SELECT CDFILIAL, NRSEQVENDA, CDCAIXA, DTVENDA, NRMESA, CDSALA, "
                       "CDOPERADOR, DTABERCAIX, VRTOTVENDA, VRTOTRECEB, QTITENS FROM VENDA"),
        filial, nrSeqVenda, &erros);
    const auto itens = porVenda(
        db,
        QStringLiteral("SELECT CDFILIAL, NRSEQVENDA, NRSEQUITVENDA, VRTOTVEND, DTVENDA, NRMESA, "
                       "CDSALA, CDOPERADOR FROM ITVENDA"),
        filial, nrSeqVenda, &erros);
    const auto movimentos = porVenda(
        db,
        QStringLiteral("SELECT CDFILIAL, NRSEQVENDA, NRSEQUMOVI, VRMOVIVEND, DTMOVIMCAIXA "
                       "FROM MOVCAIXA"),
        filial, nrSeqVenda, &erros);
    QSet<QString> turnos;
    QSqlQuery t(db);
    if (!t.exec(QStringLiteral("SELECT CDFILIAL, CDCAIXA, DTABERCAIX FROM TURCAIXA")))
        erros << t.lastError().text();
    while (t.next())
        turnos << turno(t.value(0).toString(), t.value(1).toString(), t.value(2));
    if (!erros.isEmpty())
        return erros;
    if (!nrSeqVenda.isEmpty() && vendas.isEmpty())
        return {QStringLiteral("venda %1/%2 não está no banco").arg(filial, nrSeqVenda)};

    for (auto v = vendas.cbegin(); v != vendas.cend(); ++v) {
        const QSqlRecord &venda = v.value().first();
        const auto nota = [&](const QString &discrepancia) {
            erros << QStringLiteral("venda %1: ").arg(v.key()) + discrepancia;
        };
        const QString data = dia(venda, "DTVENDA");
        // Items and movements alike: whole cents, summed, dated the sale's day.
        const auto soma = [&](const QList<QSqlRecord> &linhas, const QString &nome,
                              const char *chave, const char *valor, const char *quando) {
            if (linhas.isEmpty())
                nota(QStringLiteral("sem ") + nome);
            qint64 total = 0;
            for (const QSqlRecord &l : linhas) {
                const QString onde = QStringLiteral("%1 %2: ").arg(nome, texto(l, chave));
                if (!centavosInteiros(l.value(QLatin1String(valor)).toDouble()))
                    nota(onde + QStringLiteral("%1 %2 não é um número inteiro de centavos")
                                    .arg(QLatin1String(valor), texto(l, valor)));
                total += centavos(l, valor);
                if (dia(l, quando) != data)
                    nota(onde + QStringLiteral("%1 %2, a venda %3")
                                    .arg(QLatin1String(quando), dia(l, quando), data));
            }
            return total;
        };
        const QList<QSqlRecord> seusItens = itens.value(v.key());
        const qint64 somaItens =
            soma(seusItens, QStringLiteral("item"), "NRSEQUITVENDA", "VRTOTVEND", "DTVENDA");
        const qint64 somaMovimentos = soma(movimentos.value(v.key()), QStringLiteral("movimento"),
                                           "NRSEQUMOVI", "VRMOVIVEND", "DTMOVIMCAIXA");
        for (const QSqlRecord &i : seusItens)
            for (const char *coluna : {"NRMESA", "CDSALA", "CDOPERADOR"})
                if (texto(i, coluna) != texto(venda, coluna))
                    nota(QStringLiteral("item %1: %2 \"%3\", a venda \"%4\"")
                             .arg(texto(i, "NRSEQUITVENDA"), QLatin1String(coluna),
                                  texto(i, coluna), texto(venda, coluna)));

        if (venda.value(QStringLiteral("QTITENS")).toInt() != seusItens.size())
            nota(QStringLiteral("QTITENS %1, itens %2")
                     .arg(texto(venda, "QTITENS"))
                     .arg(seusItens.size()));
        if (texto(venda, "CDOPERADOR").isEmpty())
            nota(QStringLiteral("sem operador"));
        if (texto(venda, "NRMESA").isEmpty() && !texto(venda, "CDSALA").isEmpty())
            nota(QStringLiteral("sala %1 sem mesa").arg(texto(venda, "CDSALA")));
        const qint64 total = centavos(venda, "VRTOTVENDA");
        const qint64 recebido = centavos(venda, "VRTOTRECEB");
        if (somaItens != total || recebido != total || somaMovimentos != total)
            nota(QStringLiteral("em centavos: VRTOTVENDA %1, soma dos itens %2, VRTOTRECEB %3, "
                                "soma dos movimentos %4")
                     .arg(total)
                     .arg(somaItens)
                     .arg(recebido)
                     .arg(somaMovimentos));
        const QVariant abertura = venda.value(QStringLiteral("DTABERCAIX"));
        if (!turnos.contains(turno(texto(venda, "CDFILIAL"), texto(venda, "CDCAIXA"), abertura)))
            nota(QStringLiteral("sem turno do caixa %1 aberto em %2")
                     .arg(texto(venda, "CDCAIXA"), segundo(abertura)));
    }
    return erros;
}
