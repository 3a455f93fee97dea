#pragma once

#include <QList>
#include <QMetaType>
#include <QSharedDataPointer>
#include <QString>
#include <QStringView>
#include <QVariant>

// Column types of a packet and of a dataset. The file form names are in packetxml.cpp.
enum class FieldType {
    String,     // "string", WIDTH characters (fixed with SUBTYPE="FixedChar")
    WideString, // "string.uni"
    SmallInt,   // "i2"
    Integer,    // "i4"
    LargeInt,   // "i8"
    Float,      // "r8" (SUBTYPE="Money" for currency)
    Boolean,    // "boolean"
    Date,       // "date"
    Time,       // "time"
    DateTime,   // "dateTime"
};

struct FieldDef
{
    QString name;
    FieldType type = FieldType::String;
    int size = 0;          // characters, text types only
    bool fixed = false;    // fixed-length text, read padded to size
    bool currency = false; // r8 with SUBTYPE="Money"

    bool operator==(const FieldDef &) const = default;
};

class DataPacketPrivate;

// An implicitly shared table: field definitions plus rows. Serves cache files, results of the
// server query functions and copies between datasets; copying a packet copies no rows until
// one side writes.
//
// Values are QVariant: QString for text, int/qlonglong for integers, double for floats, bool,
// QDate for Date, QTime for Time, QDateTime for DateTime; a null value is an invalid QVariant.
class DataPacket
{
public:
    DataPacket();
    explicit DataPacket(QList<FieldDef> fields);
    DataPacket(const DataPacket &);
    DataPacket &operator=(const DataPacket &);
    ~DataPacket();

    bool isEmpty() const; // no fields and no rows (the default-constructed packet)

    const QList<FieldDef> &fields() const;
    int fieldCount() const;
    // The width of a text column, for a reader that knows it only once every row is in.
    void setFieldSize(int column, int size);
    int indexOf(const QString &fieldName) const; // exact name; -1 when absent

    int rowCount() const;
    QVariant value(int row, int column) const;
    bool isNull(int row, int column) const;
    // Text columns, fixed-length text without its padding; an empty view when null.
    QStringView textAt(int row, int column) const;
    void setValue(int row, int column, const QVariant &value);
    void appendRow(const QVariantList &values); // values.size() == fieldCount()
    void insertRow(int row, const QVariantList &values);
    void removeRow(int row);
    void clearRows();

    // A value as the column gives it back (text cut and padded, numbers and dates
    // converted); throws Exception when it does not convert.
    static QVariant coerce(const FieldDef &field, const QVariant &value);

    // First match of an exact value in one column, among `rows` (row indexes) when given;
    // returns the position in `rows` (or the row), -1 when absent.
    int find(int column, const QVariant &value, const QList<int> *rows = nullptr) const;

    // True when both share the same row storage (no copy has been made yet).
    bool sharesRowsWith(const DataPacket &other) const;

    // XML packet form. Throw Exception naming sourceName and the problem on damaged input.
    static DataPacket fromXml(const QByteArray &bytes, const QString &sourceName = QString());
    QByteArray toXml() const;
    static DataPacket loadFromFile(const QString &path);
    void saveToFile(const QString &path) const;

private:
    friend struct PacketAccess;
    QSharedDataPointer<DataPacketPrivate> d;
};

Q_DECLARE_METATYPE(DataPacket)
