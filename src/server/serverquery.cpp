#include "serverquery.h"

#include "datapacket_p.h"
#include "dbconnection.h"
#include "exception.h"

#include <QDateTime>
#include <QHash>
#include <QLibrary>
#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlRecord>
#include <QSqlResult>

#include <cstring>
#include <dlfcn.h>
#include <vector>

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
        return QMetaType::fromType<QString>();
    case FieldType::SmallInt:
    case FieldType::Integer:
        return QMetaType::fromType<int>();
    case FieldType::LargeInt:
        return QMetaType::fromType<qlonglong>();
    case FieldType::Float:
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
        return value.typeId() == QMetaType::QString ? value : QVariant(value.toString());
    case FieldType::Float:
        return value.typeId() == QMetaType::Double ? value : QVariant(value.toDouble());
    case FieldType::SmallInt:
    case FieldType::Integer:
        return value.typeId() == QMetaType::Int ? value : QVariant(value.toInt());
    case FieldType::LargeInt:
        return value.typeId() == QMetaType::LongLong ? value : QVariant(value.toLongLong());
    case FieldType::Boolean:
        if (value.typeId() == QMetaType::QString) {
            const QString s = value.toString().trimmed().toLower();
            return QVariant(s == QLatin1String("1") || s == QLatin1String("true") ||
                            s == QLatin1String("t") || s == QLatin1String("s"));
        }
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

// Reading a large SQLite result through Qt costs a QVariant per cell and more than the query
// itself; the provider reads the statement Qt prepared straight from the SQLite library that
// Qt's driver uses. Symbols are looked up in the scope of the driver plug-in actually loaded
// (found from the driver object's own code), so a plug-in with a private copy of SQLite is
// served by that copy, and one that hides it leaves the reading to Qt.
namespace SqliteDirect {

struct Api
{
    int (*data_count)(void *) = nullptr;
    int (*step)(void *) = nullptr;
    int (*column_type)(void *, int) = nullptr;
    const unsigned char *(*column_text)(void *, int) = nullptr;
    int (*column_bytes)(void *, int) = nullptr;
    double (*column_double)(void *, int) = nullptr;
    qint64 (*column_int64)(void *, int) = nullptr;
    void *(*db_handle)(void *) = nullptr;
    const char *(*errmsg)(void *) = nullptr;
    bool ok = false;
};

Api resolve(const QString &pluginFile)
{
    Api a;
    QLibrary plugin(pluginFile);
    if (pluginFile.isEmpty() || !plugin.load()) return a;
    auto get = [&plugin](auto &fn, const char *name) {
        fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(plugin.resolve(name));
        return fn != nullptr;
    };
    a.ok = get(a.data_count, "sqlite3_data_count") && get(a.step, "sqlite3_step") &&
           get(a.column_type, "sqlite3_column_type") && get(a.column_text, "sqlite3_column_text") &&
           get(a.column_bytes, "sqlite3_column_bytes") &&
           get(a.column_double, "sqlite3_column_double") &&
           get(a.column_int64, "sqlite3_column_int64") && get(a.db_handle, "sqlite3_db_handle") &&
           get(a.errmsg, "sqlite3_errmsg");
    return a;
}

const Api &api(const QSqlDriver *driver)
{
    static QHash<QString, Api> byPlugin;
    Dl_info info{};
    const void *vtable = *reinterpret_cast<const void *const *>(driver);
    const QString file = dladdr(vtable, &info) && info.dli_fname
                             ? QString::fromLocal8Bit(info.dli_fname)
                             : QString();
    auto it = byPlugin.constFind(file);
    if (it == byPlugin.constEnd()) it = byPlugin.insert(file, resolve(file));
    return *it;
}

// Columns such as a tax name repeat a few values over thousands of rows: the last texts seen
// are shared instead of decoded again. A column whose values do not repeat stops looking.
class TextCache
{
public:
    QString text(const char *utf8, int bytes)
    {
        if (m_misses < 64 || m_hits > m_misses) {
            for (const Entry &e : m_entries) {
                if (e.bytes.size() == bytes &&
                    memcmp(e.bytes.constData(), utf8, size_t(bytes)) == 0) {
                    ++m_hits;
                    return e.text;
                }
            }
            ++m_misses;
            const QString decoded = QString::fromUtf8(utf8, bytes);
            m_entries[m_next] = {QByteArray(utf8, bytes), decoded};
            m_next = (m_next + 1) % int(std::size(m_entries));
            return decoded;
        }
        return QString::fromUtf8(utf8, bytes);
    }

private:
    struct Entry
    {
        QByteArray bytes;
        QString text;
    };
    Entry m_entries[8];
    int m_next = 0;
    int m_hits = 0;
    int m_misses = 0;
};

// Reads every row of a SQLite query that was just executed. Qt's driver has already stepped
// to the first row (it looks ahead once), so that row is read from the statement as it
// stands and the rest by stepping on. False when this is not such a query.
template <typename Take, typename TakeText>
bool read(QSqlQuery &query, int count, Take &take, TakeText &takeText, int &rowCount)
{
    // QEL_SQLITE_VIA_QT forces Qt's own reading, to compare the two.
    if (qEnvironmentVariableIsSet("QEL_SQLITE_VIA_QT") || !query.driver() ||
        query.driver()->dbmsType() != QSqlDriver::SQLite || query.at() != QSql::BeforeFirstRow ||
        !query.result())
        return false;
    const Api &a = api(query.driver());
    if (!a.ok) return false;
    const QVariant handle = query.result()->handle();
    if (qstrcmp(handle.typeName(), "sqlite3_stmt*") != 0) return false;
    void *stmt = *static_cast<void *const *>(handle.constData());
    if (!stmt) return false;
    constexpr int sqliteInteger = 1, sqliteFloat = 2, sqliteNull = 5;
    constexpr int sqliteRow = 100, sqliteDone = 101;
    // No current row: the statement is done, and stepping again would run it anew.
    bool hasRow = a.data_count(stmt) > 0;
    std::vector<TextCache> texts(size_t(qMax(0, count)));
    while (hasRow) {
        for (int i = 0; i < count; ++i) {
            switch (a.column_type(stmt, i)) {
            case sqliteNull:
                take(i, QVariant());
                break;
            case sqliteInteger:
                take(i, QVariant(a.column_int64(stmt, i)));
                break;
            case sqliteFloat:
                take(i, QVariant(a.column_double(stmt, i)));
                break;
            default: {
                const auto *text = reinterpret_cast<const char *>(a.column_text(stmt, i));
                const int bytes = a.column_bytes(stmt, i);
                takeText(i, texts[size_t(i)].text(text, bytes));
                break;
            }
            }
        }
        ++rowCount;
        const int rc = a.step(stmt);
        if (rc == sqliteDone) break;
        if (rc != sqliteRow) throw Exception(QString::fromUtf8(a.errmsg(a.db_handle(stmt))));
    }
    return true;
}

} // namespace SqliteDirect

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
        if (!query->prepare(m_sql)) throw Exception(errorText(query->lastError()));
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
        } else {
            const QDateTime dt =
                v.typeId() == QMetaType::QDate ? v.toDate().startOfDay() : v.toDateTime();
            bound = dt.isValid() ? QVariant(dt) : QVariant(QMetaType::fromType<QDateTime>());
        }
        query->bindValue(QLatin1Char(':') + p.name, bound);
    }
    if (!query->exec()) throw Exception(errorText(query->lastError()));
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
    int rowCount = 0;
    auto put = [&](int i, QVariant &&v) {
        row[i] = std::move(v);
        if (i == count - 1) packet.appendRow(row);
    };
    auto take = [&](int i, QVariant &&v) {
        if (!v.isNull()) {
            if (v.metaType() != expected.at(i)) v = convert(v, columns.at(i).type);
            if (columns.at(i).type == FieldType::String) {
                const int size = int(static_cast<const QString *>(v.constData())->size());
                longest[i] = qMax(longest.at(i), size);
            }
        }
        put(i, std::move(v));
    };
    // The direct reader knows a text cell for what it is.
    const QMetaType stringType = QMetaType::fromType<QString>();
    auto takeText = [&](int i, QString &&text) {
        if (expected.at(i) != stringType) {
            take(i, QVariant(std::move(text)));
            return;
        }
        longest[i] = qMax(longest.at(i), int(text.size()));
        put(i, QVariant(std::move(text)));
    };
    if (!SqliteDirect::read(query, count, take, takeText, rowCount)) {
        while (query.next()) {
            for (int i = 0; i < count; ++i)
                take(i, query.value(i));
            ++rowCount;
        }
    }
    if (query.lastError().isValid()) throw Exception(errorText(query.lastError()));

    DataPacketPrivate *p = PacketAccess::writable(packet);
    for (int i = 0; i < count; ++i) {
        if (p->fields[i].type != FieldType::String) continue;
        // Never narrower than a value: a dataset cuts text to the declared width.
        const int declaredWidth = columns.at(i).width > 0 ? columns.at(i).width : 20;
        p->fields[i].size = qMax(declaredWidth, longest.at(i));
    }
    return packet;
}
