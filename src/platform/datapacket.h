#pragma once

#include <QList>
#include <QMetaType>
#include <QSharedDataPointer>
#include <QString>
#include <QStringView>
#include <QVariant>

#include <optional>
#include <utility>

// Column types of a packet and of a dataset. The file form names are in packetreader.cpp.
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
    // Kept for packets written by other programs, each under its own name in the file.
    ShortInt,   // "i1", -128..127
    Byte,       // "ui1", 0..255
    Word,       // "ui2", 0..65535
    LongWord,   // "ui4", 0..4294967295
    Single,     // "r4", a float's precision and range
    Bcd,        // "fixed": WIDTH digits, DECIMALS of them after the point
    FmtBcd,     // "fixedFMT": as Bcd
    Memo,       // "bin.hex" SUBTYPE="Text": text without a width, held as it is (line ends as
                // "&#013;&#010;", as other programs write them)
    Blob,       // "bin.hex" with any other SUBTYPE ("Binary", "Graphics", "TypedBinary"), base64
};

// Columns whose values are text (QString) the operator reads: text of a width and memos.
inline bool isText(FieldType type)
{
    return type == FieldType::String || type == FieldType::WideString || type == FieldType::Memo;
}
// Columns of numbers: integers, floats and fixed-point (a grid sets them to the right).
bool isNumber(FieldType type);

// "true"/"false" in any case, "1"/"0", and the one-letter "t"/"f" and "s"/"n" (sim/não) the
// store's flag columns hold; nothing when the text is none of them.
std::optional<bool> booleanFromText(QStringView text);

struct FieldDef
{
    QString name;
    FieldType type = FieldType::String;
    int size = 0;          // characters of text; digits of Bcd/FmtBcd (WIDTH)
    bool fixed = false;    // fixed-length text, read padded to size
    bool currency = false; // r8 with SUBTYPE="Money"
    int decimals = 0;      // Bcd/FmtBcd: digits after the point (DECIMALS)
    // Where a file names the field apart from its row attribute ("fieldname" may hold spaces,
    // "attrname" may not): the attribute name; empty when the file gives only "attrname".
    QString attrName = {};
    QString subtype = {}; // Blob: its SUBTYPE as read ("Binary", "Graphics", "TypedBinary")
    // FIELD attributes this system does not use (required, readonly ...), written back as read.
    QList<std::pair<QString, QString>> otherAttributes = {};

    bool operator==(const FieldDef &) const = default;
};

class DataPacketPrivate;

// An implicitly shared table: field definitions plus rows. Serves cache files, results of the
// server query functions and copies between datasets; copying a packet copies no rows until
// one side writes.
//
// Values are QVariant: QString for text and Memo, int for SmallInt/Integer/ShortInt/Byte/Word,
// qlonglong for LargeInt/LongWord, double for Float and Single (a Single rounded to a float's
// precision), the exact decimal text for Bcd/FmtBcd ("-12345678901234.5678", "." whatever the
// locale, never through a double), QByteArray for Blob, bool, QDate for Date, QTime for Time,
// QDateTime for DateTime; a null value is an invalid QVariant.
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
    // The packet's PARAMS (LCID, DEFAULT_ORDER, PRIMARY_KEY ...), name and value, written back.
    const QList<std::pair<QString, QString>> &params() const;
    void setParams(const QList<std::pair<QString, QString>> &params);

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
