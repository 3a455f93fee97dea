#include "serverquery.h"

#include "dbconnection.h"
#include "exception.h"

#include <QDateTime>
#include <QHash>
#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlRecord>

namespace {

QString errorText(const QSqlError &error)
{
    QString text = error.databaseText().trimmed();
    const QString driver = error.driverText().trimmed();
    if (text.isEmpty())
        text = driver;
    else if (!driver.isEmpty() && !text.contains(driver))
        text += QStringLiteral(" (") + driver + QLatin1Char(')');
    if (text.isEmpty()) text = QStringLiteral("Erro desconhecido do banco de dados");
    return text;
}

[[noreturn]] void fail(const QSqlError &error)
{
    throw Exception(errorText(error), error);
}

// ---- result columns -------------------------------------------------------------------------

struct ColumnInfo
{
    FieldType type = FieldType::String;
    int width = 0; // declared text width, 0 when unknown
};

// A declared SQL type ("VARCHAR(30)", "DOUBLE", "TIMESTAMP(3)") as a packet column.
ColumnInfo fromDeclaredType(const QString &declared)
{
    static const QRegularExpression re(
        QStringLiteral("^\\s*([A-Za-z ]+?)\\s*(?:\\(\\s*(\\d+).*)?$"));
    ColumnInfo info;
    const auto m = re.match(declared);
    const QString base = (m.hasMatch() ? m.captured(1) : declared).trimmed().toUpper();
    if (base.contains(QLatin1String("CHAR")) || base == QLatin1String("TEXT") ||
        base == QLatin1String("CLOB")) {
        info.type = FieldType::String;
        info.width = m.captured(2).toInt();
    } else if (base == QLatin1String("SMALLINT")) {
        info.type = FieldType::SmallInt;
    } else if (base == QLatin1String("BIGINT")) {
        info.type = FieldType::LargeInt;
    } else if (base.startsWith(QLatin1String("INT"))) {
        info.type = FieldType::Integer;
    } else if (base.startsWith(QLatin1String("DOUBLE")) || base == QLatin1String("REAL") ||
               base == QLatin1String("FLOAT") || base.startsWith(QLatin1String("NUMERIC")) ||
               base.startsWith(QLatin1String("DECIMAL"))) {
        info.type = FieldType::Float;
    } else if (base.startsWith(QLatin1String("BOOL"))) {
        info.type = FieldType::Boolean;
    } else if (base == QLatin1String("DATE")) {
        info.type = FieldType::Date;
    } else if (base.startsWith(QLatin1String("TIMESTAMP")) || base == QLatin1String("DATETIME")) {
        info.type = FieldType::DateTime;
    } else if (base.startsWith(QLatin1String("TIME"))) {
        info.type = FieldType::Time;
    }
    return info;
}

ColumnInfo fromMetaType(const QSqlField &field)
{
    ColumnInfo info;
    switch (field.metaType().id()) {
    case QMetaType::Short:
    case QMetaType::UShort:
        info.type = FieldType::SmallInt;
        break;
    case QMetaType::Int:
    case QMetaType::UInt:
        info.type = FieldType::Integer;
        break;
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        info.type = FieldType::LargeInt;
        break;
    case QMetaType::Double:
    case QMetaType::Float:
        info.type = FieldType::Float;
        break;
    case QMetaType::Bool:
        info.type = FieldType::Boolean;
        break;
    case QMetaType::QDate:
        info.type = FieldType::Date;
        break;
    case QMetaType::QTime:
        info.type = FieldType::Time;
        break;
    case QMetaType::QDateTime:
        info.type = FieldType::DateTime;
        break;
    default:
        info.type = FieldType::String;
        info.width = field.length() > 0 ? field.length() : 0;
        break;
    }
    return info;
}

// SQLite reports every declared type it does not know as text; the declaration of the
// column the result comes from says what it really is.
QHash<QString, QString> sqliteDeclaredTypes(const QSqlDatabase &db, const QString &table)
{
    QHash<QString, QString> types;
    QSqlQuery pragma(db);
    if (pragma.exec(QStringLiteral("PRAGMA table_info(\"%1\")").arg(table))) {
        while (pragma.next())
            types.insert(pragma.value(1).toString().toUpper(), pragma.value(2).toString());
    }
    return types;
}

QMetaType metaTypeOf(FieldType type)
{
    switch (type) {
    case FieldType::String:
    case FieldType::WideString:
    case FieldType::Memo:
    case FieldType::Bcd:
    case FieldType::FmtBcd:
        return QMetaType::fromType<QString>();
    case FieldType::Blob:
        return QMetaType::fromType<QByteArray>();
    case FieldType::SmallInt:
    case FieldType::Integer:
    case FieldType::ShortInt:
    case FieldType::Byte:
    case FieldType::Word:
        return QMetaType::fromType<int>();
    case FieldType::LargeInt:
    case FieldType::LongWord:
        return QMetaType::fromType<qlonglong>();
    case FieldType::Float:
    case FieldType::Single:
        return QMetaType::fromType<double>();
    case FieldType::Boolean:
        return QMetaType::fromType<bool>();
    case FieldType::Date:
        return QMetaType::fromType<QDate>();
    case FieldType::Time:
        return QMetaType::fromType<QTime>();
    case FieldType::DateTime:
        return QMetaType::fromType<QDateTime>();
    }
    return {};
}

QVariant convert(const QVariant &value, FieldType type)
{
    switch (type) {
    case FieldType::String:
    case FieldType::WideString:
    case FieldType::Memo:
    case FieldType::Bcd:
    case FieldType::FmtBcd:
        return value.typeId() == QMetaType::QString ? value : QVariant(value.toString());
    case FieldType::Blob:
        return value.typeId() == QMetaType::QByteArray ? value : QVariant(value.toByteArray());
    case FieldType::Float:
    case FieldType::Single:
        return value.typeId() == QMetaType::Double ? value : QVariant(value.toDouble());
    case FieldType::SmallInt:
    case FieldType::Integer:
    case FieldType::ShortInt:
    case FieldType::Byte:
    case FieldType::Word:
        return value.typeId() == QMetaType::Int ? value : QVariant(value.toInt());
    case FieldType::LargeInt:
    case FieldType::LongWord:
        return value.typeId() == QMetaType::LongLong ? value : QVariant(value.toLongLong());
    case FieldType::Boolean:
        if (value.typeId() == QMetaType::QString)
            return QVariant(booleanFromText(value.toString()).value_or(false));
        return QVariant(value.toBool());
    case FieldType::Date:
        if (value.typeId() == QMetaType::QDate) return value;
        if (value.typeId() == QMetaType::QDateTime) return QVariant(value.toDateTime().date());
        {
            const QString s = value.toString();
            const QDate d = QDate::fromString(s.left(10), Qt::ISODate);
            return d.isValid() ? QVariant(d) : QVariant();
        }
    case FieldType::Time:
        if (value.typeId() == QMetaType::QTime) return value;
        {
            const QTime t = QTime::fromString(value.toString(), Qt::ISODateWithMs);
            return t.isValid() ? QVariant(t) : QVariant();
        }
    case FieldType::DateTime:
        if (value.typeId() == QMetaType::QDateTime) return value;
        if (value.typeId() == QMetaType::QDate) return QVariant(value.toDate().startOfDay());
        {
            QString s = value.toString();
            if (s.size() > 10 && s.at(10) == QLatin1Char(' ')) s[10] = QLatin1Char('T');
            QDateTime dt = QDateTime::fromString(s, Qt::ISODateWithMs);
            if (!dt.isValid()) {
                const QDate d = QDate::fromString(s.left(10), Qt::ISODate);
                if (d.isValid()) dt = d.startOfDay();
            }
            return dt.isValid() ? QVariant(dt) : QVariant();
        }
    }
    return value;
}

} // namespace

// ---- ServerQuery ----------------------------------------------------------------------------

ServerQuery::ServerQuery(DbConnection &connection, QString sql, QList<ParamDecl> params,
                         QStringList persistentFields)
    : m_connection(connection), m_sql(std::move(sql)), m_params(std::move(params)),
      m_persistentFields(std::move(persistentFields))
{
    m_values.resize(m_params.size());
}

ServerQuery::~ServerQuery() = default;

int ServerQuery::indexOf(const QString &name) const
{
    for (int i = 0; i < m_params.size(); ++i) {
        if (m_params.at(i).name.compare(name, Qt::CaseInsensitive) == 0) return i;
    }
    return -1;
}

void ServerQuery::setParamValue(const QString &name, const QVariant &value)
{
    const int i = indexOf(name);
    if (i < 0) throw Exception(QStringLiteral("Parâmetro %1 não encontrado").arg(name));
    m_values[i] = value;
}

QVariant ServerQuery::paramValue(const QString &name) const
{
    const int i = indexOf(name);
    return i < 0 ? QVariant() : m_values.at(i);
}

void ServerQuery::Open()
{
    run(true);
}

void ServerQuery::ExecSQL()
{
    run(false);
    Close();
}

void ServerQuery::Close()
{
    m_query.reset();
}

bool ServerQuery::IsEmpty()
{
    if (!m_query) return true;
    return !m_query->next();
}

QSqlQuery &ServerQuery::result()
{
    if (!m_query) throw Exception(QStringLiteral("Consulta fechada"));
    return *m_query;
}

void ServerQuery::run(bool select)
{
    Close();
    // Like the framework's datasets, a query on a closed connection opens it first (which
    // fires the connection's handlers); an open one is used as it is.
    if (!m_connection.Connected()) m_connection.setConnected(true);

    auto query = std::make_unique<QSqlQuery>(m_connection.database());
    query->setForwardOnly(true);
    if (!query->prepare(m_sql)) {
        // A server that restarted or dropped the session leaves the connection looking open,
        // and every later call would fail until the terminal restarts. Nothing has run yet:
        // a connection that no longer answers is opened again and the SQL prepared anew.
        query.reset();
        m_connection.setConnected(true);
        query = std::make_unique<QSqlQuery>(m_connection.database());
        query->setForwardOnly(true);
        if (!query->prepare(m_sql)) fail(query->lastError());
    }
    for (int i = 0; i < m_params.size(); ++i) {
        const ParamDecl &p = m_params.at(i);
        const QVariant &v = m_values.at(i);
        QVariant bound;
        if (p.type == ParamType::String) {
            // An empty text is stored as empty text, whether Qt's string was null or not.
            bound =
                v.isNull() && p.nullable
                    ? QVariant(QMetaType::fromType<QString>())
                    : QVariant(v.toString().isNull() ? QString(QLatin1String("")) : v.toString());
        } else if (p.type == ParamType::Integer) {
            // A number, not its text: SQLite never finds an integer equal to a text.
            bool ok = false;
            const qlonglong n = v.toLongLong(&ok);
            bound = ok ? QVariant(n) : QVariant(QMetaType::fromType<qlonglong>());
        } else {
            const QDateTime dt =
                v.typeId() == QMetaType::QDate ? v.toDate().startOfDay() : v.toDateTime();
            bound = dt.isValid() ? QVariant(dt) : QVariant(QMetaType::fromType<QDateTime>());
        }
        query->bindValue(QLatin1Char(':') + p.name, bound);
    }
    if (!query->exec()) fail(query->lastError());
    if (select) {
        const QSqlRecord record = query->record();
        for (const QString &name : std::as_const(m_persistentFields)) {
            if (record.indexOf(name) < 0)
                throw Exception(QStringLiteral("Campo %1 não encontrado").arg(name));
        }
    }
    m_query = std::move(query);
}

// ---- DataSetProvider ------------------------------------------------------------------------

DataPacket DataSetProvider::GetData()
{
    const bool wasActive = m_dataSet.Active();
    if (!wasActive) m_dataSet.Open();
    DataPacket packet;
    try {
        packet = packetFrom(m_dataSet.result(), m_dataSet.Connection().database());
    } catch (...) {
        if (!wasActive) m_dataSet.Close();
        throw;
    }
    if (!wasActive) m_dataSet.Close();
    return packet;
}

DataPacket DataSetProvider::GetData(
    std::initializer_list<std::pair<const char *, QVariant>> params)
{
    m_dataSet.Close();
    for (const auto &[name, value] : params)
        m_dataSet.setParamValue(QString::fromLatin1(name), value);
    return GetData();
}

DataPacket DataSetProvider::packetFrom(QSqlQuery &query, const QSqlDatabase &db)
{
    const QSqlRecord record = query.record();
    const int count = record.count();

    QList<ColumnInfo> columns;
    columns.reserve(count);
    const bool sqlite = query.driver() && query.driver()->dbmsType() == QSqlDriver::SQLite;
    QHash<QString, QHash<QString, QString>> declared; // SQLite: table -> column -> type
    for (int i = 0; i < count; ++i) {
        const QSqlField field = record.field(i);
        ColumnInfo info = fromMetaType(field);
        if (sqlite && !field.tableName().isEmpty()) {
            auto it = declared.constFind(field.tableName());
            if (it == declared.constEnd())
                it = declared.insert(field.tableName(), sqliteDeclaredTypes(db, field.tableName()));
            const QString decl = it->value(field.name().toUpper());
            if (!decl.isEmpty()) info = fromDeclaredType(decl);
        }
        columns << info;
    }

    // PostgreSQL folds unquoted names to lower case; the packets carry them as the SQL writes
    // them. A name with any capital was quoted on purpose and stays as it is.
    const bool folded = query.driver() && query.driver()->dbmsType() == QSqlDriver::PostgreSQL;
    QList<FieldDef> fields;
    fields.reserve(count);
    for (int i = 0; i < count; ++i) {
        FieldDef def;
        def.name = record.fieldName(i);
        if (folded && def.name == def.name.toLower()) def.name = def.name.toUpper();
        def.type = columns.at(i).type;
        fields << def; // text widths once the longest value is known; none cuts meanwhile
    }
    DataPacket packet(fields);

    // Values mostly arrive with the column's type already; only the others are converted.
    // Each row goes into the packet as soon as its last cell is read.
    QList<QMetaType> expected;
    expected.reserve(count);
    for (const ColumnInfo &c : std::as_const(columns))
        expected << metaTypeOf(c.type);
    QVariantList row(count);
    QList<int> longest(count, 0);
    auto take = [&](int i, QVariant &&v) {
        if (!v.isNull()) {
            if (v.metaType() != expected.at(i)) v = convert(v, columns.at(i).type);
            if (columns.at(i).type == FieldType::String) {
                const int size = int(static_cast<const QString *>(v.constData())->size());
                longest[i] = qMax(longest.at(i), size);
            }
        }
        row[i] = std::move(v);
    };
    while (query.next()) {
        for (int i = 0; i < count; ++i)
            take(i, query.value(i));
        packet.appendRow(row);
    }
    if (query.lastError().isValid()) fail(query.lastError());

    for (int i = 0; i < count; ++i) {
        if (columns.at(i).type != FieldType::String) continue;
        // Never narrower than a value: a dataset cuts text to the declared width.
        const int declaredWidth = columns.at(i).width > 0 ? columns.at(i).width : 20;
        packet.setFieldSize(i, qMax(declaredWidth, longest.at(i)));
    }
    return packet;
}
