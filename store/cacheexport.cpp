#include "store.h"

#include "dbconnection.h"
#include "exception.h"
#include "storesql.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>

namespace Store {

namespace {

FieldDef str(const char *name, int size)
{
    return {QString::fromLatin1(name), FieldType::String, size};
}
FieldDef flt(const char *name)
{
    return {QString::fromLatin1(name), FieldType::Float};
}
FieldDef dtm(const char *name)
{
    return {QString::fromLatin1(name), FieldType::DateTime};
}
FieldDef i4(const char *name)
{
    return {QString::fromLatin1(name), FieldType::Integer};
}

QVariant asField(const QVariant &v, const FieldDef &f)
{
    if (v.isNull()) return QVariant();
    switch (f.type) {
    case FieldType::Float:
    case FieldType::Single:
        return v.toDouble();
    case FieldType::Integer:
    case FieldType::SmallInt:
    case FieldType::ShortInt:
    case FieldType::Byte:
    case FieldType::Word:
        return v.toInt();
    case FieldType::LargeInt:
    case FieldType::LongWord:
        return v.toLongLong();
    case FieldType::Blob:
        return v.toByteArray();
    case FieldType::Boolean:
        return v.toBool();
    case FieldType::Date:
        return v.typeId() == QMetaType::QString
                   ? QVariant(QDate::fromString(v.toString().left(10), Qt::ISODate))
                   : QVariant(v.toDate());
    case FieldType::DateTime:
        if (v.typeId() == QMetaType::QString) {
            QString s = v.toString();
            if (s.size() > 10 && s.at(10) == QLatin1Char(' ')) s[10] = QLatin1Char('T');
            const QDateTime dt = QDateTime::fromString(s, Qt::ISODateWithMs);
            return dt.isValid() ? QVariant(dt)
                                : QVariant(QDate::fromString(s.left(10), Qt::ISODate).startOfDay());
        }
        if (v.typeId() == QMetaType::QDate) return v.toDate().startOfDay();
        return v.toDateTime();
    case FieldType::Time:
        return v.toTime();
    case FieldType::String:
    case FieldType::WideString:
    case FieldType::Memo:
    case FieldType::Bcd:
    case FieldType::FmtBcd:
        break;
    }
    return v.toString();
}

// Rows of a SELECT whose columns are the layout's, in order.
DataPacket select(QSqlDatabase db, const QList<FieldDef> &layout, const QString &from,
                  const QVariantList &binds)
{
    QStringList columns;
    for (const FieldDef &f : layout)
        columns << f.name.toUpper();
    QSqlQuery q(db);
    q.setForwardOnly(true);
    const QString sql =
        QStringLiteral("SELECT %1 FROM %2").arg(columns.join(QStringLiteral(", ")), from);
    if (!q.prepare(sql)) throw Exception(q.lastError().text());
    for (const QVariant &b : binds)
        q.addBindValue(b);
    if (!q.exec()) throw Exception(q.lastError().text());
    DataPacket packet(layout);
    const int n = int(layout.size());
    while (q.next()) {
        QVariantList row;
        row.reserve(n);
        for (int i = 0; i < n; ++i)
            row << asField(q.value(i), layout.at(i));
        packet.appendRow(row);
    }
    return packet;
}

void save(const DataPacket &packet, const QString &path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    packet.saveToFile(path);
}

} // namespace

QList<FieldDef> parametersLayout()
{
    return {str("CDFILIAL", 4),        str("IDESQUEMA", 3),       str("CDLOJA", 10),
            str("CDCCUSCLIE", 10),     dtm("DTABERCAIX"),         str("CDEMPRESA", 2),
            str("CDCAIXA", 3),         str("IDPAISINTEGRA", 1),   str("NRSERIEECF", 20),
            i4("IDTIPOIMPFIS"),        str("DSMODELOECFVE", 30),  str("DSMARCAECFVE", 30),
            str("ECFIMP", 30),         str("SGESTADOFILI", 2),    str("DSDIRCAD", 255),
            str("STTOTCV", 1),         str("DSOBSCUPFIS", 200),   str("IDIMPBARRCUP", 1),
            str("IDIMPSALDOCUPOM", 1), str("IdTpTelaVe", 1),      str("DSMENSCPFCUP", 200),
            str("NRINSJUREMPR", 20),   str("CDINSCESTAEMPR", 20), str("IDPARIMPRLIMVDC", 1),
            str("NRSERIEIMP", 20)};
}

QList<FieldDef> controleAcessLayout()
{
    return {str("CDOPERADOR", 12), str("NMOPERADOR", 50)};
}

QList<FieldDef> dataMovimentoLayout()
{
    return {str("CDFILIAL", 4), dtm("DATAMOVIMENTO")};
}

// The payment types are exported with the columns of their table, in its order.
QList<FieldDef> confTipoReceLayout()
{
    QList<FieldDef> out;
    for (const TableDecl &t : tables()) {
        if (t.name != QLatin1String("TIPORECE"))
            continue;
        for (const ColumnDecl &c : t.columns) {
            FieldDef f;
            f.name = c.name;
            f.type = c.type;
            f.size = c.type == FieldType::String ? c.size : 0;
            out << f;
        }
    }
    return out;
}

// The product list and the search list read the same file: the columns of both.
QList<FieldDef> produtosLayout()
{
    return {str("CDPRODUTO", 10),  str("CDARVPROD", 20),     str("NMPRODUTO", 50),
            str("IDPESAPROD", 1),  flt("QTTARAPROD"),        str("CDFAMILISALD", 3),
            str("SGUNIDADE", 10),  str("IDTIPOCOMPPROD", 1), str("IDIMPPRODUTO", 1),
            dtm("DTINIVGPROMOC"),  dtm("DTFINVGPROMOC"),     str("CDBARPRODUTO", 30),
            str("CDPRODINTE", 20), str("CDPROTECLADO", 20)};
}

QList<FieldDef> aliqImpFisLayout()
{
    return {str("CDALIQIMPFIS", 10), flt("VRALIQIMPFIS"), str("IDALIQIMPFIS", 1)};
}

QString parametersFile()
{
    return QStringLiteral("PARAMETROSQEL.CDS");
}

QStringList cacheFiles()
{
    return {parametersFile(),
            QStringLiteral("Dados/Cadastros/ControleAcess.cds"),
            QStringLiteral("Dados/Cadastros/DataMovimento.cds"),
            QStringLiteral("Dados/Cadastros/ConfTipoRece.cds"),
            QStringLiteral("Dados/Cadastros/Produtos.cds"),
            QStringLiteral("Dados/Cadastros/AliqImpFis.cds")};
}

void exportCaches(QSqlDatabase db, const QString &exeDir, const Terminal &terminal)
{
    const QStringList files = cacheFiles();
    const QString base = QDir(exeDir).absolutePath() + QLatin1Char('/');

    DataPacket parameters =
        terminal.cdFilial.isEmpty()
            ? select(db, parametersLayout(), QStringLiteral("TERMINAL ORDER BY CDFILIAL, CDCAIXA"),
                     {})
            : select(db, parametersLayout(),
                     QStringLiteral("TERMINAL WHERE CDFILIAL = ? AND CDCAIXA = ?"),
                     {terminal.cdFilial, terminal.cdCaixa});
    if (parameters.rowCount() == 0)
        throw Exception(QStringLiteral("Terminal %1/%2 não cadastrado no banco da loja")
                            .arg(terminal.cdFilial, terminal.cdCaixa));
    while (parameters.rowCount() > 1)
        parameters.removeRow(parameters.rowCount() - 1);
    const QString filial =
        parameters.value(0, parameters.indexOf(QStringLiteral("CDFILIAL"))).toString();
    // Without a directory of its own the terminal keeps its sales files with the caches. The
    // folder is written relative to the install, so a copied install stays self-contained;
    // the screen takes it against its own folder.
    const int dirCol = parameters.indexOf(QStringLiteral("DSDIRCAD"));
    QString pasta = parameters.value(0, dirCol).toString();
    if (pasta.isEmpty())
        pasta = QStringLiteral("Dados/Cadastros/");
    else if (QDir::isAbsolutePath(pasta) && (QDir::cleanPath(pasta) + u'/').startsWith(base)) {
        const QString relativa = QDir(base).relativeFilePath(pasta);
        pasta = relativa.isEmpty() ? QStringLiteral("./") : relativa + u'/';
    }
    parameters.setValue(0, dirCol, pasta);

    DataPacket operador =
        terminal.cdOperador.isEmpty()
            ? select(db, controleAcessLayout(),
                     QStringLiteral("OPERADOR WHERE IDATIVO = 'S' ORDER BY CDOPERADOR"), {})
            : select(db, controleAcessLayout(), QStringLiteral("OPERADOR WHERE CDOPERADOR = ?"),
                     {terminal.cdOperador});
    if (operador.rowCount() == 0)
        throw Exception(
            QStringLiteral("Operador %1 não cadastrado no banco da loja").arg(terminal.cdOperador));
    while (operador.rowCount() > 1)
        operador.removeRow(operador.rowCount() - 1);

    const DataPacket movimento = select(
        db, dataMovimentoLayout(), QStringLiteral("DATAMOVIMENTO WHERE CDFILIAL = ?"), {filial});
    const DataPacket tipos =
        select(db, confTipoReceLayout(),
               QStringLiteral("TIPORECE WHERE CDFILIAL = ? ORDER BY CDTIPORECE"), {filial});
    const DataPacket produtos =
        select(db, produtosLayout(), QStringLiteral("PRODUTO ORDER BY CDPRODUTO"), {});
    const DataPacket aliquotas =
        select(db, aliqImpFisLayout(),
               QStringLiteral("ALIQECF WHERE CDFILIAL = ? ORDER BY CDALIQIMPFIS"), {filial});

    save(parameters, base + files.at(0));
    save(operador, base + files.at(1));
    save(movimento, base + files.at(2));
    save(tipos, base + files.at(3));
    save(produtos, base + files.at(4));
    save(aliquotas, base + files.at(5));
}

} // namespace Store
