#pragma once

#include "datapacket.h"

#include <QList>
#include <QSharedData>
#include <QString>
#include <QStringView>

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

    static bool isText(FieldType t)
    {
        return t == FieldType::String || t == FieldType::WideString;
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
}

class QIODevice;

// The XML file form (packetreader.cpp reads it, packetxml.cpp writes it and opens files).
namespace PacketXml {
QLatin1StringView typeName(FieldType t);
// Reads a packet from `device` when given, else from `bytes`; `size` is the input's size in
// bytes. Throws Exception naming `source` and the problem.
DataPacket read(QIODevice *device, const QByteArray &bytes, qint64 size, const QString &source);
}
