#include "datapacket.h"

#include "datapacket_p.h"
#include "exception.h"

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QTime>
#include <QVarLengthArray>

#include <bit>
#include <cmath>

QStringView PacketCodec::cut(const FieldDef &f, QStringView text)
{
    if (f.size <= 0 || text.size() <= f.size)
        return text;
    qsizetype n = f.size;
    if (text[n - 1].isHighSurrogate())
        --n;
    return text.first(n);
}

QString PacketCodec::padded(const FieldDef &f, QStringView text)
{
    if (f.fixed && f.size > 0 && text.size() < f.size)
        return text.toString().leftJustified(f.size, QLatin1Char(' '));
    return text.toString();
}

bool PacketCodec::sameFixed(QStringView stored, QStringView key)
{
    // Both sides are at most the column's size, so they pad to the same length: equal when
    // they agree up to the trailing blanks.
    const auto blankTail = [](QStringView s) {
        qsizetype n = s.size();
        while (n > 0 && s[n - 1] == u' ')
            --n;
        return s.first(n);
    };
    return blankTail(stored) == blankTail(key);
}

void DataPacketPrivate::setColumns(const QList<FieldDef> &defs)
{
    fields = defs;
    cols = QList<PacketColumn>(defs.size());
    rows = 0;
}

void DataPacketPrivate::appendNullRow()
{
    for (int c = 0; c < fields.size(); ++c) {
        PacketColumn &col = cols[c];
        if (pooled(fields[c].type)) {
            col.off.append(0);
            col.len.append(-1);
        } else {
            col.num.append(0);
            col.null.append(1);
        }
    }
    ++rows;
}

void DataPacketPrivate::setText(int row, int col, QStringView text)
{
    PacketColumn &c = cols[col];
    const qint32 old = c.len[row];
    if (old > 0)
        c.garbage += old;
    // A 32-bit offset bounds one column's pool; compacting keeps it within reach.
    if (c.pool.size() + text.size() > std::numeric_limits<qint32>::max()) {
        compactText(col);
        if (c.pool.size() + text.size() > std::numeric_limits<qint32>::max())
            throw Exception(QStringLiteral("Coluna %1: texto excede a capacidade")
                                .arg(fields[col].name));
    }
    c.off[row] = qint32(c.pool.size());
    c.len[row] = qint32(text.size());
    c.pool.append(text);
    if (c.garbage > 4096 && c.garbage > c.pool.size() / 2)
        compactText(col);
}

void DataPacketPrivate::setNull(int row, int col)
{
    PacketColumn &c = cols[col];
    if (pooled(fields[col].type)) {
        if (c.len[row] > 0)
            c.garbage += c.len[row];
        c.len[row] = -1;
        c.off[row] = 0;
    } else {
        c.num[row] = 0;
        c.null[row] = 1;
    }
}

void DataPacketPrivate::setNumber(int row, int col, qint64 word)
{
    PacketColumn &c = cols[col];
    c.num[row] = word;
    c.null[row] = 0;
}

void DataPacketPrivate::compactText(int col)
{
    PacketColumn &c = cols[col];
    QString pool;
    pool.reserve(c.pool.size() - c.garbage);
    for (int r = 0; r < rows; ++r) {
        if (c.len[r] < 0)
            continue;
        const qint32 at = qint32(pool.size());
        pool.append(QStringView(c.pool).mid(c.off[r], c.len[r]));
        c.off[r] = at;
    }
    c.pool = pool;
    c.garbage = 0;
}

void DataPacketPrivate::squeeze()
{
    // A list within an eighth of its size keeps its slack: copying it would cost more than
    // the slack.
    const auto trim = [](auto &list) {
        if (list.capacity() > list.size() + list.size() / 8 + 64)
            list.squeeze();
    };
    for (int c = 0; c < cols.size(); ++c) {
        PacketColumn &col = cols[c];
        if (col.garbage > 0)
            compactText(c);
        trim(col.off);
        trim(col.len);
        trim(col.pool);
        trim(col.num);
        trim(col.null);
    }
}

bool isNumber(FieldType type)
{
    return PacketCodec::isInteger(type) || type == FieldType::Float || type == FieldType::Single
           || type == FieldType::Bcd || type == FieldType::FmtBcd;
}

std::optional<bool> booleanFromText(QStringView text)
{
    const QStringView s = text.trimmed();
    const auto is = [s](const char *word) {
        return s.compare(QLatin1StringView(word), Qt::CaseInsensitive) == 0;
    };
    if (is("true") || is("1") || is("t") || is("s"))
        return true;
    if (is("false") || is("0") || is("f") || is("n"))
        return false;
    return std::nullopt;
}

bool PacketCodec::isDecimal(QStringView text)
{
    qsizetype i = !text.isEmpty() && text[0] == u'-';
    const qsizetype first = i;
    while (i < text.size() && text[i].isDigit() && text[i].unicode() < 0x80)
        ++i;
    const qsizetype whole = i - first;
    if (i < text.size() && text[i] == u'.') {
        const qsizetype point = ++i;
        while (i < text.size() && text[i] >= u'0' && text[i] <= u'9')
            ++i;
        if (i == point)
            return false;
    } else if (whole == 0) {
        return false;
    }
    return i == text.size();
}

namespace {

[[noreturn]] void badValue(const FieldDef &f, const QVariant &v)
{
    throw Exception(QStringLiteral("Valor inválido para o campo %1: \"%2\"")
                        .arg(f.name, v.toString()));
}

// A date or a time of day from a value of its own type, from a date-time, or from ISO text.
template <typename T>
T timePart(const QVariant &v, bool isString)
{
    const int id = v.metaType().id();
    if (isString)
        return QVariant(v.toString().trimmed()).value<T>();
    if (id == QMetaType::fromType<T>().id() || id == QMetaType::QDateTime)
        return v.value<T>();
    return T();
}

// Converts a value to the storage word of a column kept as a number; throws when it does not
// fit.
qint64 toWord(const FieldDef &f, const QVariant &v)
{
    const int id = v.metaType().id();
    const bool isString = id == QMetaType::QString || id == QMetaType::QByteArray;
    bool ok = false;
    switch (f.type) {
    case FieldType::SmallInt:
    case FieldType::Integer:
    case FieldType::LargeInt:
    case FieldType::ShortInt:
    case FieldType::Byte:
    case FieldType::Word:
    case FieldType::LongWord: {
        qint64 n = 0;
        if (isString) {
            n = v.toString().trimmed().toLongLong(&ok);
        } else if (id == QMetaType::Double || id == QMetaType::Float) {
            const double d = v.toDouble();
            ok = std::isfinite(d) && d == std::trunc(d) && std::abs(d) < 9.2e18;
            n = ok ? qint64(d) : 0;
        } else if (id == QMetaType::Bool) {
            n = v.toBool() ? 1 : 0;
            ok = true;
        } else {
            n = v.toLongLong(&ok);
        }
        if (!ok || !PacketCodec::fits(f.type, n))
            badValue(f, v);
        return n;
    }
    case FieldType::Float:
    case FieldType::Single: {
        double d = isString ? v.toString().trimmed().toDouble(&ok) : v.toDouble(&ok);
        if (!ok || !std::isfinite(d) || (f.type == FieldType::Single && !PacketCodec::toSingle(d)))
            badValue(f, v);
        return std::bit_cast<qint64>(d);
    }
    case FieldType::Boolean: {
        if (id == QMetaType::Bool)
            return v.toBool() ? 1 : 0;
        if (isString) {
            const std::optional<bool> b = booleanFromText(v.toString());
            if (!b)
                badValue(f, v);
            return *b;
        }
        const qint64 n = v.toLongLong(&ok);
        if (!ok)
            badValue(f, v);
        return n != 0;
    }
    case FieldType::Date: {
        const QDate d = timePart<QDate>(v, isString);
        if (!d.isValid())
            badValue(f, v);
        return d.toJulianDay();
    }
    case FieldType::Time: {
        const QTime t = timePart<QTime>(v, isString);
        if (!t.isValid())
            badValue(f, v);
        return t.msecsSinceStartOfDay();
    }
    case FieldType::DateTime: {
        QDate d;
        QTime t(0, 0);
        if (id == QMetaType::QDateTime) {
            const QDateTime dt = v.toDateTime();
            d = dt.date();
            t = dt.time();
        } else if (id == QMetaType::QDate) {
            d = v.toDate();
        } else if (isString) {
            const QDateTime dt = QDateTime::fromString(v.toString().trimmed(), Qt::ISODateWithMs);
            d = dt.date();
            t = dt.time();
        }
        if (!d.isValid() || !t.isValid())
            badValue(f, v);
        return d.toJulianDay() * PacketCodec::msPerDay + t.msecsSinceStartOfDay();
    }
    case FieldType::String:
    case FieldType::WideString:
    case FieldType::Memo:
    case FieldType::Bcd:
    case FieldType::FmtBcd:
    case FieldType::Blob:
        break;
    }
    badValue(f, v);
}

QVariant fromWord(FieldType t, qint64 w)
{
    switch (t) {
    case FieldType::SmallInt:
    case FieldType::Integer:
    case FieldType::ShortInt:
    case FieldType::Byte:
    case FieldType::Word:
        return QVariant(int(w));
    case FieldType::LargeInt:
    case FieldType::LongWord:
        return QVariant(qlonglong(w));
    case FieldType::Float:
    case FieldType::Single:
        return QVariant(std::bit_cast<double>(w));
    case FieldType::Boolean:
        return QVariant(w != 0);
    case FieldType::Date:
        return QVariant(QDate::fromJulianDay(w));
    case FieldType::Time:
        return QVariant(QTime::fromMSecsSinceStartOfDay(int(w)));
    case FieldType::DateTime: {
        const qint64 day = w >= 0 ? w / PacketCodec::msPerDay
                                  : -((-w + PacketCodec::msPerDay - 1) / PacketCodec::msPerDay);
        const int ms = int(w - day * PacketCodec::msPerDay);
        return QVariant(QDateTime(QDate::fromJulianDay(day), QTime::fromMSecsSinceStartOfDay(ms)));
    }
    case FieldType::String:
    case FieldType::WideString:
    case FieldType::Memo:
    case FieldType::Bcd:
    case FieldType::FmtBcd:
    case FieldType::Blob:
        break;
    }
    return {};
}

// What a column kept in its pool holds of a value: text cut to the column's size, the digits
// of a fixed-point number, a blob's bytes one to a character. Throws when it does not convert.
QString toPooled(const FieldDef &f, const QVariant &v)
{
    const int id = v.metaType().id();
    switch (f.type) {
    case FieldType::Bcd:
    case FieldType::FmtBcd: {
        if (id == QMetaType::Double || id == QMetaType::Float) {
            const double d = v.toDouble();
            if (!std::isfinite(d))
                badValue(f, v);
            return QString::number(d, 'f', f.decimals > 0 ? f.decimals
                                                           : QLocale::FloatingPointShortest);
        }
        const QString s = v.toString().trimmed();
        if (!PacketCodec::isDecimal(s))
            badValue(f, v);
        return s;
    }
    case FieldType::Blob:
        return QString::fromLatin1(id == QMetaType::QByteArray ? v.toByteArray()
                                                               : v.toString().toUtf8());
    default:
        return PacketCodec::cut(f, v.toString()).toString();
    }
}

QVariant fromPooled(const FieldDef &f, QStringView stored)
{
    switch (f.type) {
    case FieldType::Blob:
        return QVariant(stored.toLatin1());
    case FieldType::Bcd:
    case FieldType::FmtBcd:
        return QVariant(stored.toString());
    default:
        return QVariant(PacketCodec::padded(f, stored));
    }
}

} // namespace

DataPacket::DataPacket() : d(new DataPacketPrivate) {}

DataPacket::DataPacket(QList<FieldDef> fields) : d(new DataPacketPrivate)
{
    for (int i = 0; i < fields.size(); ++i) {
        if (fields[i].name.isEmpty())
            throw Exception(QStringLiteral("Campo sem nome na posição %1").arg(i + 1));
        for (int j = 0; j < i; ++j)
            if (fields[j].name == fields[i].name)
                throw Exception(QStringLiteral("Campo repetido: %1").arg(fields[i].name));
    }
    d->setColumns(fields);
}

DataPacket::DataPacket(const DataPacket &) = default;
DataPacket &DataPacket::operator=(const DataPacket &) = default;
DataPacket::~DataPacket() = default;

bool DataPacket::isEmpty() const
{
    return d->fields.isEmpty() && d->rows == 0;
}

const QList<std::pair<QString, QString>> &DataPacket::params() const
{
    return d->params;
}

void DataPacket::setParams(const QList<std::pair<QString, QString>> &params)
{
    d->params = params;
}

const QList<FieldDef> &DataPacket::fields() const
{
    return d->fields;
}

int DataPacket::fieldCount() const
{
    return int(d->fields.size());
}

void DataPacket::setFieldSize(int column, int size)
{
    d->fields[column].size = size;
}

int DataPacket::indexOf(const QString &fieldName) const
{
    for (int i = 0; i < d->fields.size(); ++i)
        if (d->fields[i].name == fieldName)
            return i;
    return -1;
}

int DataPacket::rowCount() const
{
    return d->rows;
}

static void checkCell(const DataPacketPrivate *p, int row, int column)
{
    if (column < 0 || column >= p->fields.size())
        throw Exception(QStringLiteral("Coluna %1 fora do pacote").arg(column));
    if (row < 0 || row >= p->rows)
        throw Exception(QStringLiteral("Linha %1 fora do pacote").arg(row));
}

bool DataPacket::isNull(int row, int column) const
{
    checkCell(d.constData(), row, column);
    const PacketColumn &c = d->cols[column];
    return DataPacketPrivate::pooled(d->fields[column].type) ? c.len[row] < 0 : c.null[row] != 0;
}

QStringView DataPacket::textAt(int row, int column) const
{
    checkCell(d.constData(), row, column);
    const PacketColumn &c = d->cols[column];
    if (!isText(d->fields[column].type) || c.len[row] < 0)
        return {};
    return QStringView(c.pool).mid(c.off[row], c.len[row]);
}

QVariant DataPacket::value(int row, int column) const
{
    checkCell(d.constData(), row, column);
    const PacketColumn &c = d->cols[column];
    const FieldType t = d->fields[column].type;
    if (DataPacketPrivate::pooled(t)) {
        if (c.len[row] < 0)
            return {};
        return fromPooled(d->fields[column], QStringView(c.pool).mid(c.off[row], c.len[row]));
    }
    if (c.null[row])
        return {};
    return fromWord(t, c.num[row]);
}

QVariant DataPacket::coerce(const FieldDef &field, const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return {};
    if (DataPacketPrivate::pooled(field.type))
        return fromPooled(field, toPooled(field, value));
    return fromWord(field.type, toWord(field, value));
}

void DataPacket::setValue(int row, int column, const QVariant &value)
{
    checkCell(d.constData(), row, column);
    const FieldDef &f = d->fields[column];
    if (!value.isValid() || value.isNull()) {
        d->setNull(row, column);
    } else if (DataPacketPrivate::pooled(f.type)) {
        d->setText(row, column, toPooled(f, value));
    } else {
        const qint64 w = toWord(f, value);
        d->setNumber(row, column, w);
    }
}

void DataPacket::appendRow(const QVariantList &values)
{
    insertRow(d->rows, values);
}

void DataPacket::insertRow(int row, const QVariantList &values)
{
    if (row < 0 || row > d->rows)
        throw Exception(QStringLiteral("Linha %1 fora do pacote").arg(row));
    if (values.size() != d->fields.size())
        throw Exception(QStringLiteral("Linha com %1 valores para %2 campos")
                            .arg(values.size()).arg(d->fields.size()));
    // Convert first: a bad value must leave the packet as it was. Text is copied once, from
    // the caller's string straight into the pool; a query of 20,000 rows goes through here for
    // every row.
    const qsizetype n = values.size();
    QVarLengthArray<qint64, 32> words(n);
    QVarLengthArray<QStringView, 32> texts(n);
    QVarLengthArray<QString, 32> owned(n);
    QVarLengthArray<qsizetype, 32> grow(n);
    for (qsizetype c = 0; c < n; ++c) {
        const FieldDef &f = d->fields[c];
        const QVariant &v = values[c];
        words[c] = 0;
        grow[c] = 0;
        if (!v.isValid() || v.isNull())
            continue;
        if (!DataPacketPrivate::pooled(f.type)) {
            words[c] = toWord(f, v);
            continue;
        }
        QStringView text;
        if (isText(f.type) && v.metaType().id() == QMetaType::QString) {
            text = PacketCodec::cut(f, *static_cast<const QString *>(v.constData()));
        } else {
            owned[c] = toPooled(f, v);
            text = owned[c];
        }
        texts[c] = text;
        grow[c] = text.size();
    }
    // A 32-bit offset bounds one column's pool; compacting keeps it within reach.
    DataPacketPrivate *p = d.data();
    for (qsizetype c = 0; c < n; ++c) {
        PacketColumn &col = p->cols[c];
        if (grow[c] == 0 || col.pool.size() + grow[c] <= std::numeric_limits<qint32>::max())
            continue;
        p->compactText(int(c));
        if (col.pool.size() + grow[c] > std::numeric_limits<qint32>::max())
            throw Exception(QStringLiteral("Coluna %1: texto excede a capacidade")
                                .arg(p->fields[c].name));
    }
    for (qsizetype c = 0; c < n; ++c) {
        PacketColumn &col = p->cols[c];
        const bool isNull = !values[c].isValid() || values[c].isNull();
        if (DataPacketPrivate::pooled(p->fields[c].type)) {
            col.off.insert(row, isNull ? 0 : qint32(col.pool.size()));
            col.len.insert(row, isNull ? -1 : qint32(texts[c].size()));
            if (!isNull)
                col.pool.append(texts[c]);
        } else {
            col.num.insert(row, isNull ? 0 : words[c]);
            col.null.insert(row, isNull ? 1 : 0);
        }
    }
    ++p->rows;
}

void DataPacket::removeRow(int row)
{
    if (row < 0 || row >= d->rows)
        throw Exception(QStringLiteral("Linha %1 fora do pacote").arg(row));
    DataPacketPrivate *p = d.data();
    for (int c = 0; c < p->fields.size(); ++c) {
        PacketColumn &col = p->cols[c];
        if (DataPacketPrivate::pooled(p->fields[c].type)) {
            if (col.len[row] > 0)
                col.garbage += col.len[row];
            col.off.remove(row);
            col.len.remove(row);
        } else {
            col.num.remove(row);
            col.null.remove(row);
        }
    }
    --p->rows;
}

void DataPacket::clearRows()
{
    if (d->rows == 0)
        return;
    d->setColumns(QList<FieldDef>(d->fields));
}

bool DataPacket::sharesRowsWith(const DataPacket &other) const
{
    return d.constData() == other.d.constData();
}

int DataPacket::find(int column, const QVariant &value, const QList<int> *rows) const
{
    if (column < 0 || column >= d->fields.size())
        return -1;
    const FieldDef &f = d->fields[column];
    const PacketColumn &c = d->cols[column];
    const int n = rows ? int(rows->size()) : d->rows;
    const bool wantNull = !value.isValid() || value.isNull();
    if (DataPacketPrivate::pooled(f.type)) {
        QString key;
        if (!wantNull) {
            try {
                key = isText(f.type) ? value.toString() : toPooled(f, value);
            } catch (const Exception &) {
                return -1; // a value of another kind matches nothing
            }
        }
        const QStringView pool(c.pool);
        const qint32 *off = c.off.constData();
        const qint32 *len = c.len.constData();
        const qint32 klen = qint32(key.size());
        // Fixed text is stored without its padding; a key longer than the column matches no
        // padded value.
        const bool fixed = f.fixed && f.size > 0;
        if (!wantNull && fixed && klen > f.size)
            return -1;
        for (int i = 0; i < n; ++i) {
            const int r = rows ? rows->at(i) : i;
            if (wantNull ? len[r] < 0
                         : len[r] >= 0
                               && (fixed ? PacketCodec::sameFixed(pool.mid(off[r], len[r]), key)
                                         : len[r] == klen
                                               && pool.mid(off[r], klen) == QStringView(key)))
                return i;
        }
        return -1;
    }
    qint64 key = 0;
    if (!wantNull) {
        try {
            key = toWord(f, value);
        } catch (const Exception &) {
            return -1; // a value of another kind matches nothing
        }
    }
    const qint64 *num = c.num.constData();
    const quint8 *nul = c.null.constData();
    if ((f.type == FieldType::Float || f.type == FieldType::Single) && !wantNull) {
        // Compare as numbers: 0.0 and -0.0 differ in bits only.
        const double k = std::bit_cast<double>(key);
        for (int i = 0; i < n; ++i) {
            const int r = rows ? rows->at(i) : i;
            if (!nul[r] && std::bit_cast<double>(num[r]) == k)
                return i;
        }
        return -1;
    }
    for (int i = 0; i < n; ++i) {
        const int r = rows ? rows->at(i) : i;
        if (wantNull ? nul[r] != 0 : (!nul[r] && num[r] == key))
            return i;
    }
    return -1;
}
