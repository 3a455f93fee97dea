#include "store.h"

#include "dbconnection.h"
#include "exception.h"
#include "groupfiles.h"
#include "storesql.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>

namespace Store {

namespace {

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
    runSqlInOrder(
        q, QStringLiteral("SELECT %1 FROM %2").arg(columns.join(QStringLiteral(", ")), from),
        binds);
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

// The columns of a store table as fields of its cache file.
QList<FieldDef> tableFields(const QString &table)
{
    for (const TableDecl &t : tables()) {
        if (t.name == table)
            return fieldsOf(t.columns);
    }
    return {};
}

void save(const DataPacket &packet, const QString &path)
{
    const QString folder = QFileInfo(path).absolutePath();
    if (!QFileInfo::exists(folder) && QDir().mkpath(folder))
        shareWithFolderGroup(folder);
    packet.saveToFile(path);
}

} // namespace

// The parameters file is the terminal's row, with the columns of its table.
QList<FieldDef> parametersLayout()
{
    QList<FieldDef> out = tableFields(QStringLiteral("TERMINAL"));
    for (FieldDef &f : out) {
        if (f.name == QLatin1String("IDTPTELAVE"))
            f.name = QStringLiteral("IdTpTelaVe"); // the screen's spelling of this one
    }
    return out;
}

QList<FieldDef> controleAcessLayout()
{
    return fieldsOf({text("CDOPERADOR", 12), text("NMOPERADOR", 50)});
}

QList<FieldDef> dataMovimentoLayout()
{
    return fieldsOf({text("CDFILIAL", 4), dateTime("DATAMOVIMENTO")});
}

// The payment types are exported with the columns of their table, in its order.
QList<FieldDef> confTipoReceLayout()
{
    return tableFields(QStringLiteral("TIPORECE"));
}

// The product list and the search list read the same file: the columns of both.
QList<FieldDef> produtosLayout()
{
    return fieldsOf({text("CDPRODUTO", 10),          text("CDARVPROD", 20),
                     text("NMPRODUTO", 50),          text("IDPESAPROD", 1),
                     real("QTTARAPROD"),             text("CDFAMILISALD", 3),
                     text("SGUNIDADE", 10),          text("IDTIPOCOMPPROD", 1),
                     text("IDIMPPRODUTO", 1),        dateTime("DTINIVGPROMOC"),
                     dateTime("DTFINVGPROMOC"),      text("CDBARPRODUTO", 30),
                     text("CDPRODINTE", 20),         text("CDPROTECLADO", 20)});
}

QList<FieldDef> aliqImpFisLayout()
{
    return fieldsOf({text("CDALIQIMPFIS", 10), real("VRALIQIMPFIS"), text("IDALIQIMPFIS", 1)});
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
    // A file that is not a store is named and refused before anything is read from it.
    confereLoja(db, isPostgres(db) ? QStringLiteral("postgresql://%1@%2:%3/%4")
                                         .arg(db.userName(), db.hostName())
                                         .arg(db.port())
                                         .arg(db.databaseName())
                                   : db.databaseName());
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
