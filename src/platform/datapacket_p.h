#pragma once

#include "datapacket.h"

#include <QList>
#include <QSharedData>
#include <QString>
#include <QStringView>

#include <cmath>
#include <optional>
#include <limits>

// Columnar storage keeps a 200,000-row catalogue within a few times its file size: a text cell
// is an (offset, length) pair into one character pool per column, every other cell one 64-bit
// word. Each list is implicitly shared on its own, so a write detaches only what it touches.
struct PacketColumn
{
    // Text: length -1 is null; fixed-length text without its padding. Rewritten cells leave
    // their old characters behind as garbage.
    QList<qint32> off;
    QList<qint32> len;
    QString pool;
    qsizetype garbage = 0;

    // Others: integers, bool 0/1, double bits, julian day, msecs of day, or
    // julian day * 86400000 + msecs of day for date-times. null[i] != 0 is null.
    QList<qint64> num;
    QList<quint8> null;
};

class DataPacketPrivate : public QSharedData
{
public:
    QList<FieldDef> fields;
    QList<PacketColumn> cols;
    int rows = 0;

    QList<std::pair<QString, QString>> params;

    // Columns kept as characters in their pool: text and memos, the digits of a fixed-point
    // value, and the bytes of a blob (one character of 0..255 per byte).
    static bool pooled(FieldType t)
    {
        return isText(t) || t == FieldType::Bcd || t == FieldType::FmtBcd
               || t == FieldType::Blob;
    }

    void setColumns(const QList<FieldDef> &defs);
    void appendNullRow();
    void setText(int row, int col, QStringView text);
    void setNull(int row, int col);
    void setNumber(int row, int col, qint64 word);
    void compactText(int col);
    void squeeze(); // drops the slack of growing lists once a packet is read
};

struct PacketAccess
{
    static DataPacketPrivate *writable(DataPacket &p) { return p.d.data(); }
};

namespace PacketCodec {
constexpr qint64 msPerDay = 86400000;
QStringView cut(const FieldDef &f, QStringView text); // to the size, never inside a pair
// Fixed-length text is kept without its padding, so that a wide column costs only what its
// values hold; it is padded where it is read as a value or written to a file.
QString padded(const FieldDef &f, QStringView text);
bool sameFixed(QStringView stored, QStringView key); // equal once both are padded
inline bool isInteger(FieldType t)
{
    switch (t) {
    case FieldType::SmallInt:
    case FieldType::Integer:
    case FieldType::LargeInt:
    case FieldType::ShortInt:
    case FieldType::Byte:
    case FieldType::Word:
    case FieldType::LongWord:
        return true;
    default:
        return false;
    }
}
// Whether an integer is within the range of an integer column.
inline bool fits(FieldType t, qint64 n)
{
    switch (t) {
    case FieldType::ShortInt:
        return n >= -128 && n <= 127;
    case FieldType::Byte:
        return n >= 0 && n <= 255;
    case FieldType::SmallInt:
        return n >= -32768 && n <= 32767;
    case FieldType::Word:
        return n >= 0 && n <= 65535;
    case FieldType::Integer:
        return n >= std::numeric_limits<qint32>::min() && n <= std::numeric_limits<qint32>::max();
    case FieldType::LongWord:
        return n >= 0 && n <= std::numeric_limits<quint32>::max();
    default:
        return true;
    }
}
// A Single's value: the nearest float, false beyond a float's range.
inline bool toSingle(double &d)
{
    if (!(std::abs(d) <= double(std::numeric_limits<float>::max())))
        return false;
    d = double(float(d));
    return true;
}
// A fixed-point value as a file writes it: a sign, digits, a point and digits.
bool isDecimal(QStringView text);
}

class QIODevice;

// The XML file form (packetreader.cpp reads it, packetxml.cpp writes it and opens files).
namespace PacketXml {
QLatin1StringView typeName(FieldType t);
// The type a fieldtype names (case aside); "bin.hex" is a blob, a memo by its SUBTYPE.
std::optional<FieldType> typeNamed(QStringView name);
// Reads a packet from `device` when given, else from `bytes`; `size` is the input's size in
// bytes. Throws Exception naming `source` and the problem.
DataPacket read(QIODevice *device, const QByteArray &bytes, qint64 size, const QString &source);
}
