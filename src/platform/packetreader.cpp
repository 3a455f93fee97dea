// Reading the XML file form of a data packet.
//
// A packet is a few lines of markup around one ROW tag per row, an attribute per column. The
// reader goes once over the text as UTF-8, a window of the file at a time, checks that it is
// well-formed XML and puts each value straight into its column: no tree and no string per
// attribute, so a 45 MB product cache reads in a fraction of what a general XML reader takes.
// Text in another encoding is turned into UTF-8 a chunk at a time on its way in.
#include "datapacket.h"

#include "datapacket_p.h"
#include "exception.h"

#include <QDate>
#include <QIODevice>
#include <QSet>
#include <QStringDecoder>
#include <QVarLengthArray>

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <sys/mman.h>

namespace {

// Beyond any column a screen declares; keeps a hostile WIDTH from padding rows to gigabytes.
constexpr int maxWidth = 65535;

// A row carries one attribute per column, a few dozen in any packet we read; a tag with more
// is refused before its attributes are compared with each other.
constexpr int maxAttributes = 256;

// Packets nest five deep; each open element costs the reader its name.
constexpr int maxDepth = 1024;

// What is read from a file at a time, and how far the XML declaration may run.
constexpr qsizetype chunkSize = qsizetype(1) << 20;
constexpr qsizetype maxDeclaration = 64 * 1024;

struct TypeName
{
    QLatin1StringView name;
    FieldType type;
};

const TypeName typeNames[] = {
    {QLatin1StringView("string"), FieldType::String},
    {QLatin1StringView("string.uni"), FieldType::WideString},
    {QLatin1StringView("i2"), FieldType::SmallInt},
    {QLatin1StringView("i4"), FieldType::Integer},
    {QLatin1StringView("i8"), FieldType::LargeInt},
    {QLatin1StringView("r8"), FieldType::Float},
    {QLatin1StringView("boolean"), FieldType::Boolean},
    {QLatin1StringView("date"), FieldType::Date},
    {QLatin1StringView("time"), FieldType::Time},
    {QLatin1StringView("dateTime"), FieldType::DateTime},
    {QLatin1StringView("i1"), FieldType::ShortInt},
    {QLatin1StringView("ui1"), FieldType::Byte},
    {QLatin1StringView("ui2"), FieldType::Word},
    {QLatin1StringView("ui4"), FieldType::LongWord},
    {QLatin1StringView("r4"), FieldType::Single},
    {QLatin1StringView("fixed"), FieldType::Bcd},
    {QLatin1StringView("fixedFMT"), FieldType::FmtBcd},
    // SUBTYPE="Text" makes a memo of it, any other a blob.
    {QLatin1StringView("bin.hex"), FieldType::Blob},
    {QLatin1StringView("bin.hex"), FieldType::Memo},
    // Written elsewhere; read as the nearest type we keep.
    {QLatin1StringView("SQLdateTime"), FieldType::DateTime},
};

[[noreturn]] void fail(const QString &src, const QString &problem)
{
    throw Exception(QStringLiteral("%1: %2").arg(src, problem));
}

// A table inside the rows of a field: its rows would be lost on the way back, so it is not read.
[[noreturn]] void refuseNested(const QString &src, const QString &field, const QString &type)
{
    fail(src, QStringLiteral("campo %1 com fieldtype \"%2\": tabelas aninhadas não são aceitas")
                  .arg(field, type));
}

// Memory the columns of a packet may take while it is read: twice the size of its file, never
// less than 64 MB. Values take about their size in the file; what asks for more is a packet of
// many declared fields and rows that give none of them, each row a cell per field.
class Budget
{
public:
    Budget(qint64 inputSize, const QString &src)
        : limit(std::max(2 * inputSize, qint64(64) << 20)), left(limit), src(src)
    {
    }

    void take(qint64 bytes)
    {
        left -= bytes;
        if (left < 0)
            fail(src, QStringLiteral("pacote ocuparia mais de %1 MB de memória").arg(limit >> 20));
    }

    qint64 remaining() const { return left; }

private:
    const qint64 limit;
    qint64 left;
    const QString &src;
};

inline int digits(QStringView s, qsizetype from, qsizetype count)
{
    int n = 0;
    for (qsizetype i = from; i < from + count; ++i) {
        const unsigned d = unsigned(s[i].unicode()) - '0';
        if (d > 9)
            return -1;
        n = n * 10 + int(d);
    }
    return n;
}

bool parseDate(QStringView s, qint64 &jd)
{
    if (s.size() != 8)
        return false;
    const int y = digits(s, 0, 4), m = digits(s, 4, 2), d = digits(s, 6, 2);
    if (y < 0 || m < 0 || d < 0 || !QDate::isValid(y, m, d))
        return false;
    jd = QDate(y, m, d).toJulianDay();
    return true;
}

// HH:MM:SS with optional milliseconds glued on (or after a dot); digits past the thousandths,
// which some writers add, are dropped.
bool parseTime(QStringView s, int &ms)
{
    if (s.size() < 8 || s[2] != u':' || s[5] != u':')
        return false;
    const int h = digits(s, 0, 2), m = digits(s, 3, 2), sec = digits(s, 6, 2);
    int milli = 0;
    QStringView rest = s.mid(8);
    if (!rest.isEmpty() && rest[0] == u'.')
        rest = rest.mid(1);
    if (rest.size() > 3
        && !std::all_of(rest.begin() + 3, rest.end(), [](QChar c) { return c.isDigit(); }))
        return false;
    if (!rest.isEmpty()) {
        milli = digits(rest, 0, std::min<qsizetype>(rest.size(), 3));
        for (qsizetype i = rest.size(); i < 3; ++i)
            milli *= 10;
    }
    if (h < 0 || m < 0 || sec < 0 || milli < 0 || h > 23 || m > 59 || sec > 59)
        return false;
    ms = ((h * 60 + m) * 60 + sec) * 1000 + milli;
    return true;
}

bool parseDateTime(QStringView s, qint64 &w)
{
    qint64 jd = 0;
    int ms = 0;
    if (s.size() == 8) {
        if (!parseDate(s, jd))
            return false;
    } else if (s.size() < 9 || s[8] != u'T' || !parseDate(s.first(8), jd)
               || !parseTime(s.mid(9), ms)) {
        return false;
    }
    w = jd * PacketCodec::msPerDay + ms;
    return true;
}

// The storage word of a non-text value; false when it does not convert to the column's type.
bool parseWord(FieldType type, QStringView v, qint64 &w)
{
    bool ok = false;
    switch (type) {
    case FieldType::SmallInt:
    case FieldType::Integer:
    case FieldType::LargeInt:
    case FieldType::ShortInt:
    case FieldType::Byte:
    case FieldType::Word:
    case FieldType::LongWord:
        w = v.trimmed().toLongLong(&ok);
        return ok && PacketCodec::fits(type, w);
    case FieldType::Float:
    case FieldType::Single: {
        double d = v.trimmed().toDouble(&ok);
        ok = ok && std::isfinite(d) && (type == FieldType::Float || PacketCodec::toSingle(d));
        w = std::bit_cast<qint64>(d);
        return ok;
    }
    case FieldType::Boolean: // files spell it out, whatever a screen accepts
        w = v.compare(QLatin1StringView("TRUE"), Qt::CaseInsensitive) == 0;
        return w || v.compare(QLatin1StringView("FALSE"), Qt::CaseInsensitive) == 0;
    case FieldType::Date:
        return parseDate(v, w);
    case FieldType::Time: {
        int ms = 0;
        const bool good = parseTime(v, ms);
        w = ms;
        return good;
    }
    case FieldType::DateTime:
        return parseDateTime(v, w);
    case FieldType::String:
    case FieldType::WideString:
    case FieldType::Memo:
    case FieldType::Bcd:
    case FieldType::FmtBcd:
    case FieldType::Blob:
        break;
    }
    return false;
}

// A value of a column kept in its pool that is not plain text, as it is kept: the digits of a
// fixed-point number as written, the bytes of a memo or a blob out of their base64. False when
// the value is not in its form.
bool pooledValue(const FieldDef &f, std::string_view v, QString &out)
{
    if (f.type == FieldType::Bcd || f.type == FieldType::FmtBcd) {
        out = QString::fromLatin1(v.data(), qsizetype(v.size())).trimmed();
        return PacketCodec::isDecimal(out);
    }
    // Attribute normalisation turns the line breaks of a long base64 value into spaces.
    QByteArray base64(v.data(), qsizetype(v.size()));
    base64.replace(' ', QByteArrayView());
    auto decoded = QByteArray::fromBase64Encoding(base64, QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return false;
    out = f.type == FieldType::Memo ? PacketCodec::fromWindows1252(*decoded)
                                    : QString::fromLatin1(*decoded);
    return true;
}

// The common forms of numbers read from the bytes, to the same word as parseWord gives:
// integers of up to 18 digits and decimals without exponent or leading zeros. False when the
// value is not in such a form (parseWord then decides).
bool fastWord(FieldType type, std::string_view v, qint64 &w)
{
    const bool integer = PacketCodec::isInteger(type);
    if (v.empty() || !(integer || type == FieldType::Float))
        return false;
    size_t i = v[0] == '-';
    const size_t first = i;
    while (i < v.size() && v[i] >= '0' && v[i] <= '9')
        ++i;
    const size_t whole = i - first;
    if (whole == 0 || whole > 18 || (whole > 1 && v[first] == '0'))
        return false;
    if (integer) {
        if (i != v.size())
            return false;
        qint64 n = 0;
        std::from_chars(v.data() + first, v.data() + i, n);
        n = v[0] == '-' ? -n : n;
        w = n;
        return PacketCodec::fits(type, n);
    }
    if (i < v.size()) {
        if (v[i] != '.' || i + 1 == v.size())
            return false;
        for (++i; i < v.size(); ++i)
            if (v[i] < '0' || v[i] > '9')
                return false;
    }
    double d = 0;
    if (std::from_chars(v.data(), v.data() + v.size(), d).ec != std::errc())
        return false;
    w = std::bit_cast<qint64>(d);
    return true;
}

// UTF-16 of UTF-8 already checked; returns the code units written (at most bytes.size()).
qsizetype toUtf16(std::string_view bytes, char16_t *out)
{
    const auto *s = reinterpret_cast<const uchar *>(bytes.data());
    const auto *const end = s + bytes.size();
    char16_t *const start = out;
    while (s < end) {
        const uchar c = *s;
        if (c < 0x80) {
            *out++ = c;
            ++s;
        } else if (c < 0xE0) {
            *out++ = char16_t((c & 0x1F) << 6 | (s[1] & 0x3F));
            s += 2;
        } else if (c < 0xF0) {
            *out++ = char16_t((c & 0x0F) << 12 | (s[1] & 0x3F) << 6 | (s[2] & 0x3F));
            s += 3;
        } else {
            const char32_t u = char32_t(c & 0x07) << 18 | char32_t(s[1] & 0x3F) << 12
                               | char32_t(s[2] & 0x3F) << 6 | (s[3] & 0x3F);
            *out++ = QChar::highSurrogate(u);
            *out++ = QChar::lowSurrogate(u);
            s += 4;
        }
    }
    return out - start;
}

// Code units of the UTF-16 form of checked UTF-8.
qsizetype utf16Size(std::string_view bytes)
{
    qsizetype n = 0;
    for (const char ch : bytes) {
        const uchar c = uchar(ch);
        n += (c & 0xC0) != 0x80;
        n += c >= 0xF0;
    }
    return n;
}

// Lists and strings of Qt grow by more than they are resized to; reserved first, they take
// just the size asked.
template <typename List>
void reserveExactly(List &list, qsizetype size)
{
    if (size > list.capacity()) {
        list.reserve(size);
        // A column of megabytes touched page by page as it fills costs a fault per page;
        // the system maps its pages in one call instead (where it can: Linux 5.14 on).
        constexpr quintptr page = 4096;
        const auto from = (reinterpret_cast<quintptr>(list.data()) + page - 1) & ~(page - 1);
        const auto to = reinterpret_cast<quintptr>(list.data() + list.capacity()) & ~(page - 1);
        if (to > from + 16 * page)
            ::madvise(reinterpret_cast<void *>(from), to - from, MADV_POPULATE_WRITE);
    }
}

template <typename List>
void resizeExactly(List &list, qsizetype size)
{
    reserveExactly(list, size);
    list.resize(size);
}

QString toQString(std::string_view bytes)
{
    return QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
}

void appendUtf8(std::string &out, char32_t u)
{
    if (u < 0x80) {
        out += char(u);
    } else if (u < 0x800) {
        out += char(0xC0 | u >> 6);
        out += char(0x80 | (u & 0x3F));
    } else if (u < 0x10000) {
        out += char(0xE0 | u >> 12);
        out += char(0x80 | (u >> 6 & 0x3F));
        out += char(0x80 | (u & 0x3F));
    } else {
        out += char(0xF0 | u >> 18);
        out += char(0x80 | (u >> 12 & 0x3F));
        out += char(0x80 | (u >> 6 & 0x3F));
        out += char(0x80 | (u & 0x3F));
    }
}

// Characters XML allows, given as a reference.
bool xmlChar(char32_t u)
{
    return u == 0x9 || u == 0xA || u == 0xD || (u >= 0x20 && u <= 0xD7FF)
           || (u >= 0xE000 && u <= 0xFFFD) || (u >= 0x10000 && u <= 0x10FFFF);
}

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Byte classes of the scanner. Names are ASCII letters, digits, ".-_:" (not first, as with
// namespaces) and non-ASCII characters; in an attribute value only "<", "&", quotes and control characters stop it.
enum : uchar { NameStart = 1, NameRest = 2, ValueStop = 4, High = 8, Colon = 16 };

constexpr std::array<uchar, 256> byteClasses = [] {
    std::array<uchar, 256> t{};
    for (int c = 0; c < 256; ++c) {
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (letter || c == '_' || c >= 0x80)
            t[c] |= NameStart | NameRest;
        if ((c >= '0' && c <= '9') || c == '.' || c == '-' || c == ':')
            t[c] |= NameRest;
        if (c < 0x20 || c == '<' || c == '&' || c == '"' || c == '\'')
            t[c] |= ValueStop;
        if (c >= 0x80)
            t[c] |= High;
        if (c == ':')
            t[c] |= Colon;
    }
    return t;
}();

inline uchar classOf(char c)
{
    return byteClasses[uchar(c)];
}

// The non-ASCII characters XML 1.0 allows in names, by their Unicode category: letters first,
// then also marks, modifier letters, digits and the middle dot.
bool nameCharacter(char32_t u, bool first)
{
    switch (QChar::category(u)) {
    case QChar::Letter_Uppercase:
    case QChar::Letter_Lowercase:
    case QChar::Letter_Titlecase:
    case QChar::Letter_Other:
    case QChar::Number_Letter:
        return true;
    case QChar::Mark_SpacingCombining:
    case QChar::Mark_Enclosing:
    case QChar::Mark_NonSpacing:
    case QChar::Letter_Modifier:
    case QChar::Number_DecimalDigit:
        return !first;
    default:
        return !first && u == 0xB7;
    }
}

// True when a name of checked UTF-8 holding non-ASCII bytes is one.
bool validName(std::string_view name)
{
    char16_t units[2];
    for (size_t i = 0; i < name.size();) {
        const uchar c = uchar(name[i]);
        const size_t len = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        char32_t u = c;
        if (len > 1) {
            const qsizetype n = toUtf16(name.substr(i, len), units);
            u = n == 2 ? QChar::surrogateToUcs4(units[0], units[1]) : units[0];
            if (!nameCharacter(u, i == 0))
                return false;
        }
        i += len;
    }
    return true;
}

QStringDecoder windows1252()
{
    QStringDecoder cp1252("windows-1252");
    if (!cp1252.isValid())
        cp1252 = QStringDecoder(QStringDecoder::Latin1);
    return cp1252;
}

// How the bytes of a packet become the UTF-8 the scanner reads.
struct Encoding
{
    std::optional<QStringDecoder> decoder; // none: the bytes are UTF-8 already
    bool declared = false;                 // by a byte order mark or the XML declaration
    bool lenient = false;                  // a byte the decoder does not know is no error
    qsizetype skip = 0;                    // a UTF-8 byte order mark
    QString problem;
};

// A byte order mark or the look of "<" in UTF-16 or UTF-32 says which Unicode form, else
// UTF-8, unless the XML declaration names another; that one must read the declaration as it
// was read to find it.
Encoding chooseEncoding(QByteArrayView head, bool fromWindows1252)
{
    Encoding e;
    if (fromWindows1252) {
        e.decoder = windows1252();
        e.lenient = true;
        return e;
    }
    const QStringDecoder::Encoding detected =
        QStringDecoder::encodingForData(head, u'<').value_or(QStringDecoder::Utf8);
    e.declared = head.startsWith("\xEF\xBB\xBF") || head.startsWith("\xFF\xFE")
                 || head.startsWith("\xFE\xFF");
    if (detected != QStringDecoder::Utf8)
        e.decoder = QStringDecoder(detected);
    else if (head.startsWith("\xEF\xBB\xBF"))
        e.skip = 3;
    const QString start = QStringDecoder(detected)(head);
    if (!start.startsWith(QLatin1StringView("<?xml")) || start.size() < 6
        || !(isSpace(char(start[5].unicode())) || start[5] == u'?'))
        return e; // no declaration; "<?xml-stylesheet" is another instruction
    const qsizetype end = start.indexOf(QLatin1StringView("?>"));
    if (end < 0)
        return e; // the scanner says what is wrong with it
    const QString declaration = start.first(end + 2);
    // Its pseudo-attributes in order: name, "=", a quoted value.
    QStringView rest = QStringView(declaration).sliced(5, declaration.size() - 7);
    for (;;) {
        const qsizetype equals = rest.indexOf(u'=');
        if (equals < 0)
            return e;
        const QStringView key = rest.first(equals).trimmed();
        rest = rest.sliced(equals + 1).trimmed();
        if (rest.isEmpty() || (rest[0] != u'"' && rest[0] != u'\''))
            return e;
        const qsizetype close = rest.indexOf(rest[0], 1);
        if (close < 0)
            return e;
        const QStringView value = rest.sliced(1, close - 1);
        rest = rest.sliced(close + 1);
        if (key != QLatin1StringView("encoding"))
            continue;
        e.declared = true;
        const QByteArray name = value.toUtf8();
        QStringDecoder named(name.constData());
        if (!named.isValid()) {
            e.problem = QStringLiteral("codificação %1 desconhecida").arg(value);
            return e;
        }
        if (!QString(named(head)).startsWith(declaration)) {
            e.problem = QStringLiteral("codificação %1 não confere com o início do arquivo")
                            .arg(value);
            return e;
        }
        if (QStringDecoder::encodingForName(name.constData()) == QStringDecoder::Utf8)
            e.decoder.reset();
        else
            e.decoder = QStringDecoder(name.constData());
        return e;
    }
}

// Bytes taken for UTF-8 that are not, in a file that does not say its encoding: it is read
// again from the start as Windows-1252.
struct NotUtf8
{
};

// What the elements of a packet are to the reader.
enum class Role : uchar { Root, Metadata, Fields, Field, RowData, Other };

struct Attribute
{
    std::string_view name;
    std::string_view value; // with references resolved and white space normalised
    qsizetype at;           // of the name, for messages
    bool high;              // the value holds non-ASCII characters
    qsizetype decoded = -1; // where the value was written in the scratch, when it was
    qsizetype decodedEnd = 0;
};

// One reading of a packet. The window [b, b + valid) holds text already checked as UTF-8;
// `tok` is where the token being read starts, and nothing from there on is dropped when the
// window moves on.
class PacketReader
{
public:
    PacketReader(QIODevice *device, const QByteArray &bytes, qint64 size, const QString &src,
                 bool fromWindows1252);

    DataPacket read();
    // Reads on to the end after a failure; false when the rest is not UTF-8 either.
    bool restIsUtf8();
    bool guessedUtf8() const { return chosen && !enc.declared && !enc.decoder; }

private:
    // The window.
    void begin();
    bool more();
    QByteArrayView rawChunk();
    void check(qsizetype from);
    void drop(qsizetype n);
    [[noreturn]] void error(qsizetype at, const QString &why);
    [[noreturn]] void error(const char *at, const QString &why) { error(at - b, why); }
    [[noreturn]] void truncated();
    int lineAt(qsizetype at) const;

    // The markup.
    void declaration();
    bool toMarkup(bool inside);
    void checkText(qsizetype from, qsizetype to, bool inside);
    const char *reference(const char *p, const char *end, std::string *out);
    bool startTag();
    bool endTag();
    qsizetype find(std::string_view what, qsizetype from);
    void misc(bool inside);
    void checkChars(qsizetype from, qsizetype to);
    const char *name(const char *s, const char *e);
    void unique(const QVarLengthArray<const Attribute *, 16> &list);
    void decodeValue(const char *from, const char *to);

    // The packet.
    void element();
    Role roleOf(std::string_view name, Role parent);
    void field();
    void params();
    void row();
    void endMetadata();
    void reserveRows();
    qsizetype forecast(qsizetype sofar, qsizetype least) const;
    void growRows(qsizetype capacity);
    void settle();
    QString valueText(const Attribute &a) const { return toQString(a.value); }
    bool appendCell(int col, const Attribute *a);

    QIODevice *device;
    const QByteArray &bytes;
    const qint64 size;
    const QString &src;
    const bool fromWindows1252;
    Encoding enc;
    bool chosen = false;   // enc is set
    bool onlyUtf8 = false; // the check looks at the encoding alone

    QByteArray buf;             // the window when it is not `bytes` itself
    const char *b = nullptr;
    qsizetype have = 0;         // bytes in the window
    qsizetype valid = 0;        // of them, checked
    qsizetype tok = 0;
    qsizetype rawAt = 0;        // in `bytes`, when it is read through a decoder
    QByteArray raw;
    bool exhausted = false;     // nothing more to read
    QString broken;             // what is wrong at `valid`, when the text stops there
    qint64 origin = 0;          // of the window in the whole text
    int linesBefore = 0;        // line breaks dropped with the window
    qsizetype columnBefore = 0; // characters dropped since the last of them

    // The tag just read.
    std::string_view tagName;
    bool selfClosing = false;
    qsizetype after = 0;
    QVarLengthArray<Attribute, 64> attrs;
    std::string scratch;

    std::string openNames;
    std::vector<std::pair<qsizetype, Role>> open;
    bool haveRoot = false, haveMeta = false, haveRows = false;

    DataPacket packet;
    DataPacketPrivate *p = nullptr;
    Budget budget;
    QList<FieldDef> fields;
    QSet<QString> fieldNames;
    QSet<QString> attrNames; // the row attributes of the fields
    QString fieldType;       // of the last field, as written
    std::vector<std::string> names8; // the row attributes of the fields as UTF-8
    // How a column takes its attribute: a number word, text as it is, or decoded into its pool.
    enum class Cell : uchar { Word, Text, Decoded };
    std::vector<Cell> kind;
    std::unordered_map<std::string_view, int> columnOf;
    qint64 rowBytes = 0; // of a row of nulls
    std::vector<const Attribute *> cells;
    std::vector<int> given;
    bool reserved = false;
    // While rows are appended, the lists of each column have room for the rows to come, and
    // its text pool is longer than the characters it holds: a value is written in place.
    struct Fill
    {
        char16_t *pool = nullptr;
        qsizetype used = 0; // characters of the pool in use
    };
    std::vector<Fill> fill;
    qsizetype rowCapacity = 0; // of the lists; 0 when each pool is as long as its text
};

PacketReader::PacketReader(QIODevice *device, const QByteArray &bytes, qint64 size,
                           const QString &src, bool fromWindows1252)
    : device(device), bytes(bytes), size(size), src(src), fromWindows1252(fromWindows1252),
      budget(size, src)
{
}

// ---- The window

QByteArrayView PacketReader::rawChunk()
{
    if (!device) {
        const qsizetype n = std::min(chunkSize, bytes.size() - rawAt);
        const QByteArrayView chunk(bytes.constData() + rawAt, n);
        rawAt += n;
        return chunk;
    }
    raw.resize(chunkSize);
    const qint64 n = device->read(raw.data(), chunkSize);
    if (n < 0)
        fail(src, QStringLiteral("erro de leitura (%1)").arg(device->errorString()));
    raw.resize(n);
    return raw;
}

void PacketReader::begin()
{
    if (!device) {
        const QByteArrayView head = QByteArrayView(bytes).first(
            std::min(bytes.size(), maxDeclaration));
        enc = chooseEncoding(head, fromWindows1252);
    } else {
        // The first chunk, to choose the encoding by.
        buf.resize(chunkSize);
        const qint64 n = device->read(buf.data(), chunkSize);
        if (n < 0)
            fail(src, QStringLiteral("erro de leitura (%1)").arg(device->errorString()));
        buf.resize(n);
        exhausted = n == 0;
        enc = chooseEncoding(QByteArrayView(buf).first(std::min(buf.size(), maxDeclaration)),
                             fromWindows1252);
    }
    if (!enc.problem.isEmpty())
        fail(src, enc.problem);
    chosen = true;

    if (!enc.decoder && !device) {
        // UTF-8 in memory: the window is the bytes themselves.
        b = bytes.constData();
        have = bytes.size();
        exhausted = true;
    } else if (!enc.decoder) {
        b = buf.constData();
        have = buf.size();
    } else {
        // Decoded from the start: the first chunk again, then the rest.
        const QByteArray first = device ? std::exchange(buf, QByteArray()) : QByteArray();
        QByteArrayView chunk = device ? QByteArrayView(first) : rawChunk();
        if (!device)
            exhausted = rawAt == bytes.size();
        const QByteArray utf8 = QString((*enc.decoder)(chunk)).toUtf8();
        if (enc.decoder->hasError() && !enc.lenient)
            broken = QStringLiteral("conteúdo que não está na codificação do arquivo");
        buf = utf8;
        b = buf.constData();
        have = buf.size();
    }
    check(enc.skip);
    tok = enc.skip;
}

// Moves `valid` over whole UTF-8 characters read; stops at one cut by the end of the window,
// or for good at bytes that are not UTF-8 or a character XML does not allow.
void PacketReader::check(qsizetype from)
{
    const auto *s = reinterpret_cast<const uchar *>(b);
    qsizetype i = from;
    const qsizetype n = broken.isEmpty() ? have : valid;
    while (i < n) {
        while (i + 8 <= n) {
            quint64 w;
            std::memcpy(&w, s + i, 8);
            if (w & 0x8080808080808080ULL)
                break;
            i += 8;
        }
        if (i >= n)
            break;
        const uchar c = s[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        int len = 0;
        char32_t u = 0, least = 0;
        if ((c & 0xE0) == 0xC0)
            len = 2, u = c & 0x1F, least = 0x80;
        else if ((c & 0xF0) == 0xE0)
            len = 3, u = c & 0x0F, least = 0x800;
        else if ((c & 0xF8) == 0xF0)
            len = 4, u = c & 0x07, least = 0x10000;
        int k = 1;
        for (; len && k < len && i + k < n; ++k) {
            if ((s[i + k] & 0xC0) != 0x80)
                break;
            u = u << 6 | (s[i + k] & 0x3F);
        }
        if (len && k < len && i + k == n && !exhausted)
            break; // the rest comes with the next chunk
        if (!len || k < len || u < least || u > 0x10FFFF || (u >= 0xD800 && u <= 0xDFFF)) {
            if (guessedUtf8())
                throw NotUtf8{};
            broken = QStringLiteral("conteúdo que não é UTF-8");
            break;
        }
        if ((u == 0xFFFE || u == 0xFFFF) && !onlyUtf8) {
            broken = QStringLiteral("caractere não permitido em XML");
            break;
        }
        i += len;
    }
    valid = i;
}

// Line breaks and characters of the part of the window dropped.
void PacketReader::drop(qsizetype n)
{
    const char *const end = b + n;
    const char *last = nullptr;
    for (const char *s = b; (s = static_cast<const char *>(std::memchr(s, '\n', end - s)));
         ++s) {
        ++linesBefore;
        last = s;
    }
    const char *from = last ? last + 1 : b;
    if (last)
        columnBefore = 0;
    columnBefore += utf16Size(std::string_view(from, end - from));
    origin += n;
}

// Adds text to the window, keeping what is from `tok` on; false when there is no more. The
// window at least doubles what it holds of the token, so a long token is read again only a
// few times.
bool PacketReader::more()
{
    if (!broken.isEmpty())
        error(valid, broken);
    if (exhausted)
        return false;
    if (tok > 0) {
        drop(tok);
        std::memmove(buf.data(), buf.constData() + tok, size_t(have - tok));
        have -= tok;
        valid -= tok;
        tok = 0;
    }
    const qsizetype wanted = valid + std::max(chunkSize, valid);
    const qsizetype before = valid;
    while (!exhausted && (valid == before || have < wanted)) {
        if (!enc.decoder) {
            buf.resize(std::max(buf.size(), have + chunkSize));
            const qint64 n = device->read(buf.data() + have, chunkSize);
            if (n < 0)
                fail(src, QStringLiteral("erro de leitura (%1)").arg(device->errorString()));
            have += n;
            exhausted = n == 0;
        } else {
            const QByteArrayView chunk = rawChunk();
            exhausted = chunk.isEmpty();
            const QByteArray utf8 = QString((*enc.decoder)(chunk)).toUtf8();
            if (enc.decoder->hasError() && !enc.lenient && broken.isEmpty()) {
                check(valid);
                broken = QStringLiteral("conteúdo que não está na codificação do arquivo");
                break;
            }
            buf.resize(have);
            buf.append(utf8);
            have = buf.size();
        }
        b = buf.constData();
        check(valid);
        if (!broken.isEmpty())
            break;
    }
    if (valid == before && !broken.isEmpty())
        error(valid, broken);
    return valid > before;
}

bool PacketReader::restIsUtf8()
{
    // Only a character XML does not allow can have stopped the window of a guess.
    broken.clear();
    onlyUtf8 = true;
    try {
        check(valid);
        while (more())
            tok = valid;
        return true;
    } catch (const NotUtf8 &) {
        return false;
    } catch (const Exception &) {
        return true; // damaged in another way, as reported
    }
}

int PacketReader::lineAt(qsizetype at) const
{
    int line = linesBefore + 1;
    for (const char *s = b; (s = static_cast<const char *>(std::memchr(s, '\n', b + at - s)));
         ++s)
        ++line;
    return line;
}

void PacketReader::error(qsizetype at, const QString &why)
{
    at = std::clamp<qsizetype>(at, 0, have);
    const char *lineStart = b + at;
    while (lineStart > b && lineStart[-1] != '\n')
        --lineStart;
    qsizetype column = utf16Size(std::string_view(lineStart, b + at - lineStart)) + 1;
    if (lineStart == b)
        column += columnBefore;
    fail(src, QStringLiteral("XML inválido na linha %1, coluna %2: %3")
                  .arg(lineAt(at))
                  .arg(column)
                  .arg(why));
}

void PacketReader::truncated()
{
    if (open.empty() && !haveRoot)
        fail(src, QStringLiteral("não é um pacote de dados"));
    fail(src, QStringLiteral("arquivo truncado (linha %1)").arg(lineAt(have)));
}

// ---- The markup

// The XML declaration, when the text starts with one: version 1.0, then the encoding and
// whether it stands alone, in that order.
void PacketReader::declaration()
{
    while (valid - tok < 6 && more()) {
    }
    if (valid - tok < 6 || std::memcmp(b + tok, "<?xml", 5) != 0
        || !(isSpace(b[tok + 5]) || b[tok + 5] == '?'))
        return;
    qsizetype end = find("?>", tok);
    if (end < 0)
        truncated();
    if (end - tok > maxDeclaration)
        fail(src, QStringLiteral("declaração XML longa demais"));
    const char *s = b + tok + 5;
    const char *const e = b + end;
    const auto pseudo = [&](std::string_view key) -> std::string_view {
        const char *const was = s;
        while (s < e && isSpace(*s))
            ++s;
        if (s == was || size_t(e - s) < key.size() || std::string_view(s, key.size()) != key) {
            s = was;
            return {};
        }
        s += key.size();
        while (s < e && isSpace(*s))
            ++s;
        if (s == e || *s != '=')
            error(s, QStringLiteral("esperado = na declaração XML"));
        ++s;
        while (s < e && isSpace(*s))
            ++s;
        if (s == e || (*s != '"' && *s != '\''))
            error(s, QStringLiteral("esperadas aspas na declaração XML"));
        const char *const close =
            static_cast<const char *>(std::memchr(s + 1, *s, size_t(e - s - 1)));
        if (!close)
            error(s, QStringLiteral("valor sem fim na declaração XML"));
        const std::string_view value(s + 1, close - s - 1);
        s = close + 1;
        return value;
    };
    const std::string_view version = pseudo("version");
    if (!version.data())
        error(s, QStringLiteral("declaração XML sem version"));
    if (version != "1.0")
        error(s, QStringLiteral("versão de XML não suportada"));
    const std::string_view encoding = pseudo("encoding");
    if (encoding.data()) {
        const bool good = !encoding.empty() && std::all_of(encoding.begin(), encoding.end(),
                                                           [](char c) {
                                                               return (classOf(c) & NameRest)
                                                                      && uchar(c) < 0x80
                                                                      && c != ':';
                                                           });
        if (!good)
            error(s, QStringLiteral("nome de codificação inválido"));
    }
    const std::string_view standalone = pseudo("standalone");
    if (standalone.data() && standalone != "yes" && standalone != "no")
        error(s, QStringLiteral("standalone aceita apenas yes ou no"));
    while (s < e && isSpace(*s))
        ++s;
    if (s != e)
        error(s, QStringLiteral("declaração XML malformada"));
    tok = end + 2;
}

// The first `what` at or after `from`, reading on as needed; -1 when the text ends first.
qsizetype PacketReader::find(std::string_view what, qsizetype from)
{
    for (;;) {
        const std::string_view in(b + from, size_t(valid - from));
        const size_t hit = in.find(what);
        if (hit != std::string_view::npos)
            return from + qsizetype(hit);
        const qsizetype kept = std::max(tok, valid - qsizetype(what.size()) + 1) - tok;
        if (!more())
            return -1;
        from = tok + kept;
    }
}

// The end of the name that starts at `s` (`e` when the window ends in it), checked.
const char *PacketReader::name(const char *s, const char *const e)
{
    const char *const from = s;
    uchar seen = 0;
    for (uchar k; s < e && ((k = classOf(*s)) & NameRest); ++s)
        seen |= k;
    if ((seen & High) && !validName(std::string_view(from, s - from)))
        error(from, QStringLiteral("nome inválido em XML"));
    if ((seen & Colon) && s < e) {
        // A prefix and a local name, as namespaces have them.
        const std::string_view n(from, s - from);
        if (n.back() == ':' || n.find(':') != n.rfind(':'))
            error(from, QStringLiteral("nome inválido em XML"));
    }
    return s;
}

// Characters XML does not allow anywhere: control characters other than tab and line breaks.
void PacketReader::checkChars(qsizetype from, qsizetype to)
{
    for (qsizetype i = from; i < to; ++i) {
        const uchar c = uchar(b[i]);
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r')
            error(i, QStringLiteral("caractere não permitido em XML"));
    }
}

// Text up to the next "<", checked; false when the text ends first. Outside the root only
// white space may stand there, and it is not kept.
bool PacketReader::toMarkup(bool inside)
{
    qsizetype from = tok;
    for (;;) {
        const void *lt = std::memchr(b + from, '<', size_t(valid - from));
        const qsizetype stop = lt ? static_cast<const char *>(lt) - b : valid;
        if (!inside) {
            checkText(from, stop, false);
            tok = stop;
        }
        if (lt) {
            checkText(tok, stop, inside);
            tok = stop;
            return true;
        }
        const qsizetype seen = valid - tok;
        if (!more()) {
            checkText(tok, valid, inside);
            tok = valid;
            return false;
        }
        from = tok + seen;
    }
}

void PacketReader::checkText(qsizetype from, qsizetype to, bool inside)
{
    if (!inside) {
        for (qsizetype i = from; i < to; ++i)
            if (!isSpace(b[i]))
                error(i, haveRoot ? QStringLiteral("conteúdo depois do fim do documento")
                                  : QStringLiteral("esperado o início de um elemento"));
        return;
    }
    for (qsizetype i = from; i < to; ++i) {
        const uchar c = uchar(b[i]);
        if (c >= 0x20 && c != '&' && c != '>')
            continue;
        if (c == '&') {
            i = reference(b + i, b + to, nullptr) - b - 1;
        } else if (c == '>') {
            if (i - from >= 2 && b[i - 1] == ']' && b[i - 2] == ']')
                error(i - 2, QStringLiteral("sequência ]]> não é permitida no conteúdo"));
        } else if (c != '\t' && c != '\n' && c != '\r') {
            error(i, QStringLiteral("caractere não permitido em XML"));
        }
    }
}

// A reference at `p` ("&"), which ends before `end`; appends what it stands for to `out`.
const char *PacketReader::reference(const char *p, const char *end, std::string *out)
{
    const char *s = p + 1;
    if (s < end && *s == '#') {
        ++s;
        const bool hex = s < end && *s == 'x';
        s += hex;
        char32_t u = 0;
        const char *const first = s;
        for (; s < end && *s != ';'; ++s) {
            const char c = *s;
            int d;
            if (c >= '0' && c <= '9')
                d = c - '0';
            else if (hex && (c | 0x20) >= 'a' && (c | 0x20) <= 'f')
                d = (c | 0x20) - 'a' + 10;
            else
                error(s, QStringLiteral("referência de caractere inválida"));
            u = std::min<char32_t>(u * (hex ? 16 : 10) + char32_t(d), 0x110000);
        }
        if (s == end || s == first || !xmlChar(u))
            error(p, QStringLiteral("referência de caractere inválida"));
        if (out)
            appendUtf8(*out, u);
        return s + 1;
    }
    const char *const name = s;
    while (s < end && (classOf(*s) & (s == name ? NameStart : NameRest)))
        ++s;
    if (s == name || s == end || *s != ';')
        error(p, QStringLiteral("& sem referência"));
    const std::string_view entity(name, s - name);
    char c = 0;
    if (entity == "amp")
        c = '&';
    else if (entity == "lt")
        c = '<';
    else if (entity == "gt")
        c = '>';
    else if (entity == "quot")
        c = '"';
    else if (entity == "apos")
        c = '\'';
    else
        error(p, QStringLiteral("entidade %1 não declarada").arg(toQString(entity)));
    if (out)
        *out += c;
    return s + 1;
}

// A value with references or white space: references resolved, each tab and line break (a
// CR LF pair as one) a space, as an XML reader gives attributes.
void PacketReader::decodeValue(const char *from, const char *to)
{
    for (const char *s = from; s < to;) {
        const char c = *s;
        if (c == '&') {
            s = reference(s, to, &scratch);
        } else if (c == '\r') {
            scratch += ' ';
            s += s + 1 < to && s[1] == '\n' ? 2 : 1;
        } else {
            scratch += c == '\t' || c == '\n' ? ' ' : c;
            ++s;
        }
    }
}

// The start tag at `tok` into tagName and attrs; false when the window ends inside it.
bool PacketReader::startTag()
{
    const char *const e = b + valid;
    const char *s = b + tok + 1;
    attrs.clear();
    scratch.clear();
    const char *const start = s;
    if (s == e)
        return false;
    if (!(classOf(*s) & NameStart))
        error(s, QStringLiteral("nome de elemento inválido"));
    s = name(s, e);
    if (s == e)
        return false;
    tagName = std::string_view(start, s - start);
    for (;;) {
        const char *const gap = s;
        while (s < e && isSpace(*s))
            ++s;
        if (s == e)
            return false;
        if (*s == '>' || *s == '/') {
            selfClosing = *s == '/';
            if (selfClosing && s + 1 == e)
                return false;
            if (selfClosing && s[1] != '>')
                error(s + 1, QStringLiteral("esperado > depois de /"));
            after = s + 1 + selfClosing - b;
            // The scratch has stopped moving.
            for (qsizetype i = 0; i < attrs.size(); ++i) {
                Attribute &a = attrs[i];
                if (a.decoded >= 0)
                    a.value = std::string_view(scratch).substr(size_t(a.decoded),
                                                               size_t(a.decodedEnd - a.decoded));
            }
            return true;
        }
        if (s == gap)
            error(s, QStringLiteral("esperado espaço antes do atributo"));
        if (!(classOf(*s) & NameStart))
            error(s, QStringLiteral("nome de atributo inválido"));
        const char *const attr = s;
        s = name(s, e);
        const std::string_view attrName(attr, s - attr);
        while (s < e && isSpace(*s))
            ++s;
        if (s == e)
            return false;
        if (*s != '=')
            error(s, QStringLiteral("esperado = depois do atributo"));
        ++s;
        while (s < e && isSpace(*s))
            ++s;
        if (s == e)
            return false;
        const char quote = *s;
        if (quote != '"' && quote != '\'')
            error(s, QStringLiteral("esperadas aspas no valor do atributo"));
        if (attrs.size() == maxAttributes)
            fail(src, QStringLiteral("elemento com mais de %1 atributos").arg(maxAttributes));
        const char *const value = ++s;
        bool high = false, plain = true;
        for (;; ++s) {
            if (s == e)
                return false;
            const uchar k = classOf(*s);
            if (!(k & (ValueStop | High)))
                continue;
            if (k & High) {
                high = true;
            } else if (*s == quote) {
                break;
            } else if (*s == '&' || *s == '\t' || *s == '\n' || *s == '\r') {
                plain = false;
            } else if (*s == '<') {
                error(s, QStringLiteral("< no valor de um atributo"));
            } else if (*s != '"' && *s != '\'') {
                error(s, QStringLiteral("caractere não permitido em XML"));
            }
        }
        if (plain) {
            attrs.append({attrName, std::string_view(value, s - value), attr - b, high});
        } else {
            attrs.append({attrName, {}, attr - b, high, qsizetype(scratch.size())});
            decodeValue(value, s);
            Attribute &a = attrs.back();
            a.decodedEnd = qsizetype(scratch.size());
            // References may stand for non-ASCII characters.
            a.high = std::any_of(scratch.begin() + a.decoded, scratch.end(),
                                 [](char c) { return uchar(c) >= 0x80; });
        }
        ++s;
    }
}

bool PacketReader::endTag()
{
    const char *const e = b + valid;
    const char *s = b + tok + 2;
    const char *const name = s;
    while (s < e && (classOf(*s) & NameRest))
        ++s;
    while (s < e && isSpace(*s))
        ++s;
    if (s == e)
        return false;
    const qsizetype nameSize = open.back().first;
    const std::string_view expected =
        std::string_view(openNames).substr(openNames.size() - size_t(nameSize));
    std::string_view got(name, s - name);
    while (!got.empty() && isSpace(got.back()))
        got.remove_suffix(1);
    if (got != expected)
        error(name, QStringLiteral("fim de %1 onde se esperava o de %2")
                        .arg(toQString(got), toQString(expected)));
    if (*s != '>')
        error(s, QStringLiteral("esperado > no fim do elemento"));
    after = s + 1 - b;
    return true;
}

// Attribute names must differ within a tag.
void PacketReader::unique(const QVarLengthArray<const Attribute *, 16> &list)
{
    const auto repeated = [this](const Attribute *a) {
        error(a->at, QStringLiteral("atributo %1 repetido").arg(toQString(a->name)));
    };
    if (list.size() <= 16) {
        for (qsizetype i = 1; i < list.size(); ++i)
            for (qsizetype j = 0; j < i; ++j)
                if (list[i]->name == list[j]->name)
                    repeated(list[i]);
        return;
    }
    QVarLengthArray<const Attribute *, 16> sorted = list;
    std::sort(sorted.begin(), sorted.end(), [](const Attribute *x, const Attribute *y) {
        return x->name < y->name || (x->name == y->name && x->at < y->at);
    });
    for (qsizetype i = 1; i < sorted.size(); ++i)
        if (sorted[i]->name == sorted[i - 1]->name)
            repeated(sorted[i]);
}

// Comments, processing instructions, CDATA (inside the root) and the DTD refused, at `tok`.
void PacketReader::misc(bool inside)
{
    while (valid - tok < 9 && more()) {
    }
    const std::string_view head(b + tok, size_t(std::min<qsizetype>(valid - tok, 9)));
    if (head.starts_with("<!--")) {
        qsizetype dashes = find("--", tok + 4);
        if (dashes < 0)
            truncated();
        dashes -= tok;
        while (tok + dashes + 2 >= valid)
            if (!more())
                truncated();
        dashes += tok;
        checkChars(tok + 4, dashes);
        if (b[dashes + 2] != '>')
            error(dashes + 2, QStringLiteral("-- dentro de um comentário"));
        tok = dashes + 3;
    } else if (head.starts_with("<?")) {
        const qsizetype close = find("?>", tok + 2);
        if (close < 0)
            truncated();
        const char *s = b + tok + 2;
        const char *const target = s;
        if (!(classOf(*s) & NameStart))
            error(s, QStringLiteral("instrução sem nome"));
        s = name(s, b + close);
        const std::string_view name(target, s - target);
        if (name.size() == 3 && (name[0] | 0x20) == 'x' && (name[1] | 0x20) == 'm'
            && (name[2] | 0x20) == 'l')
            error(tok, QStringLiteral("declaração XML fora do início do documento"));
        if (s != b + close && !isSpace(*s))
            error(s, QStringLiteral("instrução malformada"));
        checkChars(s - b, close);
        tok = close + 2;
    } else if (head.starts_with("<!D")) {
        fail(src, QStringLiteral("DTD não é aceita num pacote de dados"));
    } else if (inside && head.starts_with("<![CDATA[")) {
        const qsizetype close = find("]]>", tok + 9);
        if (close < 0)
            truncated();
        checkChars(tok + 9, close);
        tok = close + 3;
    } else if (head.size() < 9
               && (std::string_view("<![CDATA[").starts_with(head)
                   || std::string_view("<!--").starts_with(head))) {
        truncated();
    } else {
        error(tok + 1, QStringLiteral("marcação desconhecida"));
    }
}

// ---- The packet

Role PacketReader::roleOf(std::string_view name, Role parent)
{
    switch (parent) {
    case Role::Root:
        if (name == "METADATA" && !haveMeta) {
            haveMeta = true;
            return Role::Metadata;
        }
        if (name == "ROWDATA" && !haveRows) {
            if (!haveMeta)
                fail(src, QStringLiteral("ROWDATA antes de METADATA"));
            haveRows = true;
            return Role::RowData;
        }
        return Role::Other;
    case Role::Metadata:
        if (name == "PARAMS")
            params();
        return name == "FIELDS" ? Role::Fields : Role::Other;
    case Role::Fields:
        if (name == "FIELD") {
            field();
            return Role::Field;
        }
        return Role::Other;
    case Role::Field:
        // A field holding fields of its own is a table inside the row.
        if (name == "FIELDS")
            refuseNested(src, fields.back().name, fieldType);
        return Role::Other;
    case Role::RowData:
        if (name == "ROW")
            row();
        return Role::Other;
    case Role::Other:
        break;
    }
    return Role::Other;
}

// One element at `tok` ("<" and a name), with what it means to the packet.
void PacketReader::element()
{
    while (!startTag())
        if (!more())
            truncated();
    if (open.empty() || open.back().second != Role::RowData || tagName != "ROW") {
        // (a row tells its attributes apart as it maps them to columns)
        QVarLengthArray<const Attribute *, 16> list;
        for (const Attribute &a : attrs)
            list.append(&a);
        unique(list);
    }
    Role role;
    if (open.empty()) {
        if (tagName != "DATAPACKET")
            fail(src, QStringLiteral("não é um pacote de dados (elemento %1)")
                          .arg(toQString(tagName)));
        haveRoot = true;
        p = PacketAccess::writable(packet);
        role = Role::Root;
    } else {
        role = roleOf(tagName, open.back().second);
    }
    tok = after;
    if (selfClosing) {
        if (role == Role::Metadata)
            endMetadata();
        return;
    }
    if (open.size() == maxDepth)
        fail(src, QStringLiteral("elementos aninhados em mais de %1 níveis").arg(maxDepth));
    openNames.append(tagName);
    open.emplace_back(qsizetype(tagName.size()), role);
}

void PacketReader::field()
{
    const auto value = [this](std::string_view name) -> const Attribute * {
        for (const Attribute &a : attrs)
            if (a.name == name)
                return &a;
        return nullptr;
    };
    FieldDef f;
    // The row attribute is attrname; a file may name the field apart, with spaces, in fieldname.
    const Attribute *attr = value("attrname");
    const Attribute *named = value("fieldname");
    const QString attrName = attr ? valueText(*attr) : QString();
    f.name = named ? valueText(*named) : attrName;
    if (named)
        f.attrName = attrName;
    if (attrName.isEmpty() || f.name.isEmpty())
        fail(src, QStringLiteral("FIELD sem attrname (linha %1)").arg(lineAt(after)));
    const qsizetype before = fieldNames.size();
    fieldNames.insert(f.name);
    if (fieldNames.size() == before)
        fail(src, QStringLiteral("campo %1 repetido").arg(f.name));
    const qsizetype attrsBefore = attrNames.size();
    attrNames.insert(attrName);
    if (attrNames.size() == attrsBefore)
        fail(src, QStringLiteral("campo %1 repetido").arg(attrName));
    const Attribute *typeAttr = value("fieldtype");
    const QString type = typeAttr ? valueText(*typeAttr) : QString();
    fieldType = type;
    bool known = false;
    for (const TypeName &n : typeNames) {
        if (type.compare(n.name, Qt::CaseInsensitive) == 0) {
            f.type = n.type;
            known = true;
            break;
        }
    }
    if (type.compare(QLatin1StringView("nested"), Qt::CaseInsensitive) == 0)
        refuseNested(src, f.name, type);
    if (!known)
        fail(src, QStringLiteral("campo %1 com fieldtype desconhecido \"%2\"").arg(f.name, type));
    const Attribute *subtypeAttr = value("SUBTYPE");
    const QString subtype = subtypeAttr ? valueText(*subtypeAttr) : QString();
    const auto is = [&subtype](const char *s) {
        return subtype.compare(QLatin1StringView(s), Qt::CaseInsensitive) == 0;
    };
    if (f.type == FieldType::Blob && is("Text"))
        f.type = FieldType::Memo;
    const bool decimal = f.type == FieldType::Bcd || f.type == FieldType::FmtBcd;
    const bool sized = f.type == FieldType::String || f.type == FieldType::WideString || decimal;
    const auto number = [&](const Attribute *a, const char *what) {
        bool ok = false;
        const int n = valueText(*a).trimmed().toInt(&ok);
        if (!ok || n < 0 || n > maxWidth)
            fail(src, QStringLiteral("campo %1 com %2 inválido").arg(f.name, QLatin1StringView(what)));
        return n;
    };
    const Attribute *width = value("WIDTH");
    if (width && sized)
        f.size = number(width, "WIDTH");
    const Attribute *decimals = value("DECIMALS");
    if (decimals && decimal)
        f.decimals = number(decimals, "DECIMALS");
    // What the SUBTYPE means to a type that has one; any other stays among the attributes.
    if (f.type == FieldType::String || f.type == FieldType::WideString)
        f.fixed = is("FixedChar");
    else if (f.type == FieldType::Float)
        f.currency = is("Money");
    else if (f.type == FieldType::Blob)
        f.subtype = subtype;
    const bool subtypeKept =
        f.fixed || f.currency || f.type == FieldType::Memo || f.type == FieldType::Blob;
    qint64 extra = 0;
    for (const Attribute &a : attrs) {
        if (&a == attr || &a == named || &a == typeAttr || (&a == width && sized)
            || (&a == decimals && decimal) || (&a == subtypeAttr && subtypeKept))
            continue;
        f.otherAttributes.append({toQString(a.name), valueText(a)});
        extra += 2 * qint64(a.name.size() + a.value.size()) + 64;
    }
    fields.append(f);
    budget.take(qint64(sizeof(FieldDef)) + qint64(sizeof(PacketColumn)) + 4 * f.name.size()
                + 2 * f.attrName.size() + extra);
}

// PARAMS of the packet, written back as read; a change log is not, as its rows are applied.
void PacketReader::params()
{
    QList<std::pair<QString, QString>> list;
    qint64 bytes = 0;
    for (const Attribute &a : attrs) {
        if (a.name == "CHANGE_LOG")
            continue;
        list.append({toQString(a.name), valueText(a)});
        bytes += 2 * qint64(a.name.size() + a.value.size()) + 64;
    }
    budget.take(bytes);
    packet.setParams(list);
}

void PacketReader::endMetadata()
{
    p->setColumns(fields);
    const int nf = int(fields.size());
    names8.reserve(size_t(nf));
    for (int c = 0; c < nf; ++c) {
        const FieldDef &f = fields[c];
        names8.push_back((f.attrName.isEmpty() ? f.name : f.attrName).toStdString());
        kind.push_back(!DataPacketPrivate::pooled(f.type)                   ? Cell::Word
                       : isText(f.type) && f.type != FieldType::Memo ? Cell::Text
                                                                       : Cell::Decoded);
        rowBytes += DataPacketPrivate::pooled(fields[c].type) ? 2 * sizeof(qint32)
                                                                : sizeof(qint64) + sizeof(quint8);
    }
    columnOf.reserve(size_t(nf));
    for (int c = 0; c < nf; ++c)
        columnOf.emplace(names8[size_t(c)], c);
    cells.assign(size_t(nf), nullptr);
}

// Once a thousand rows are in, the columns are sized for the whole file at the same rate,
// when that fits the budget: each grows once instead of doubling its way there.
void PacketReader::reserveRows()
{
    reserved = true;
    const qint64 done = origin + tok;
    if (done <= 0 || !size)
        return;
    const double scale = 1.05 * double(size) / double(done);
    const qint64 rows = qint64(p->rows * scale) + 16;
    qint64 bytes = rows * rowBytes;
    for (const Fill &f : fill)
        bytes += qint64(f.used * scale) * 2;
    if (bytes > budget.remaining() || rows > std::numeric_limits<qint32>::max())
        return;
    growRows(std::max<qsizetype>(rows, rowCapacity));
    for (int c = 0; c < fields.size(); ++c) {
        Fill &f = fill[size_t(c)];
        if (DataPacketPrivate::pooled(fields[c].type) && qsizetype(f.used * scale) > f.used) {
            QString &pool = p->cols[c].pool;
            resizeExactly(pool, qsizetype(f.used * scale) + 16);
            f.pool = reinterpret_cast<char16_t *>(pool.data());
        }
    }
}

// What a list holding `sofar` now will hold at the end of the file, at the rate so far; at
// least `least`. Early on, or for a file of unknown size, twice what it holds.
qsizetype PacketReader::forecast(qsizetype sofar, qsizetype least) const
{
    const qint64 done = origin + tok;
    qint64 guess = 2 * sofar;
    if (reserved && done > 0 && size > done)
        guess = qint64(double(sofar) * 1.02 * double(size) / double(done)) + 64;
    return std::max<qsizetype>(least, qsizetype(std::min<qint64>(guess, qint64(1) << 40)));
}

void PacketReader::growRows(qsizetype capacity)
{
    if (fill.empty())
        fill.resize(size_t(fields.size()));
    for (int c = 0; c < fields.size(); ++c) {
        PacketColumn &col = p->cols[c];
        Fill &f = fill[size_t(c)];
        if (DataPacketPrivate::pooled(fields[c].type)) {
            reserveExactly(col.off, capacity);
            reserveExactly(col.len, capacity);
            if (rowCapacity == 0)
                f.used = col.pool.size();
            f.pool = reinterpret_cast<char16_t *>(col.pool.data());
        } else {
            reserveExactly(col.num, capacity);
            reserveExactly(col.null, capacity);
        }
    }
    rowCapacity = capacity;
}

// The columns as long as their rows again, for what writes through the packet.
void PacketReader::settle()
{
    if (rowCapacity == 0)
        return;
    for (int c = 0; c < fields.size(); ++c) {
        PacketColumn &col = p->cols[c];
        if (DataPacketPrivate::pooled(fields[c].type)) {
            col.pool.resize(fill[size_t(c)].used);
        }
    }
    rowCapacity = 0;
}

// Writes one cell of the row being appended, null when `a` is; the hot path of loading.
bool PacketReader::appendCell(int column, const Attribute *a)
{
    const FieldDef &f = fields[column];
    Fill &fl = fill[size_t(column)];
    PacketColumn &col = p->cols[column];
    const Cell k = kind[size_t(column)];
    if (k != Cell::Word) {
        if (!a) {
            col.off.append(0);
            col.len.append(-1);
            return true;
        }
        const qsizetype at = fl.used;
        const qsizetype most = qsizetype(a->value.size());
        if (at + most > std::numeric_limits<qint32>::max())
            return false;
        QString &pool = col.pool;
        if (at + most > pool.size()) {
            resizeExactly(pool, forecast(at + most, at + most + at / 16 + 16));
            fl.pool = reinterpret_cast<char16_t *>(pool.data());
        }
        char16_t *const out = fl.pool + at;
        qsizetype n;
        if (k == Cell::Decoded) {
            // Decoded, never longer than in the file.
            QString kept;
            if (!pooledValue(f, a->value, kept))
                return false;
            n = kept.size();
            std::memcpy(out, kept.constData(), size_t(n) * sizeof(char16_t));
        } else {
            if (a->high) {
                n = toUtf16(a->value, out);
            } else {
                n = most;
                for (qsizetype i = 0; i < n; ++i)
                    out[i] = uchar(a->value[size_t(i)]);
            }
            n = PacketCodec::cut(f, QStringView(out, n)).size();
        }
        fl.used += n;
        col.off.append(qint32(at));
        col.len.append(qint32(n));
        return true;
    }
    qint64 w = 0;
    if (a && !fastWord(f.type, a->value, w)) {
        QVarLengthArray<char16_t, 64> text(qsizetype(a->value.size()));
        const qsizetype n = toUtf16(a->value, text.data());
        if (!parseWord(f.type, QStringView(text.data(), n), w))
            return false;
    }
    col.num.append(w);
    col.null.append(a ? 0 : 1);
    return true;
}

void PacketReader::row()
{
    // RowState bits: 2 deleted, 8 modified (the changed values of the row before).
    int state = 0;
    for (const Attribute &a : attrs) {
        if (a.name == "RowState") {
            bool ok = false;
            state = valueText(a).trimmed().toInt(&ok);
            if (!ok)
                fail(src, QStringLiteral("RowState inválido na linha %1").arg(lineAt(after)));
        }
    }
    const int nf = int(fields.size());
    // Attributes usually come in the order of the fields.
    int guess = 0;
    qint64 textBytes = 0;
    QVarLengthArray<const Attribute *, 16> others;
    for (const Attribute &a : attrs) {
        int c;
        if (guess < nf && names8[size_t(guess)] == a.name) {
            c = guess;
        } else {
            const auto hit = columnOf.find(a.name);
            c = hit == columnOf.end() ? -1 : hit->second;
        }
        if (c < 0) {
            others.append(&a); // RowState and attributes of no declared field
            continue;
        }
        if (cells[size_t(c)])
            error(a.at, QStringLiteral("atributo %1 repetido").arg(toQString(a.name)));
        guess = c + 1;
        cells[size_t(c)] = &a;
        given.push_back(c);
        if (kind[size_t(c)] != Cell::Word)
            textBytes += 2 * (a.high ? utf16Size(a.value) : qsizetype(a.value.size()));
    }
    const auto clear = [this] {
        for (const int c : given)
            cells[size_t(c)] = nullptr;
        given.clear();
    };
    if (others.size() > 1)
        unique(others);
    if (state & 2) {
        clear();
        return;
    }
    const bool modified = (state & 8) && p->rows > 0;
    const auto bad = [&](int c) {
        // The packet is dropped whole, so a half-appended row does not matter.
        const QString value = valueText(*cells[size_t(c)]);
        fail(src, QStringLiteral("valor \"%1\" inválido para o campo %2 (%3) na linha %4")
                      .arg(value.left(60), fields[c].name, PacketXml::typeName(fields[c].type))
                      .arg(lineAt(after)));
    };
    budget.take(modified ? textBytes : rowBytes + textBytes);
    if (modified) {
        settle();
        for (const int c : given) {
            const FieldDef &f = fields[c];
            const QString v = valueText(*cells[size_t(c)]);
            if (kind[size_t(c)] == Cell::Text) {
                p->setText(p->rows - 1, c, PacketCodec::cut(f, v));
            } else if (kind[size_t(c)] == Cell::Decoded) {
                QString kept;
                if (!pooledValue(f, cells[size_t(c)]->value, kept))
                    bad(c);
                p->setText(p->rows - 1, c, kept);
            } else {
                qint64 w = 0;
                if (!parseWord(f.type, v, w))
                    bad(c);
                p->setNumber(p->rows - 1, c, w);
            }
        }
    } else {
        if (p->rows >= rowCapacity)
            growRows(forecast(p->rows + 1, p->rows + p->rows / 16 + 1));
        for (int c = 0; c < nf; ++c)
            if (!appendCell(c, cells[size_t(c)]))
                bad(c);
        ++p->rows;
        if (!reserved && p->rows == 1024)
            reserveRows();
    }
    clear();
}

DataPacket PacketReader::read()
{
    begin();
    declaration();
    // Before the root: white space, comments and instructions.
    for (;;) {
        if (!toMarkup(false))
            truncated();
        while (valid - tok < 2 && more()) {
        }
        if (valid - tok < 2)
            truncated();
        if (b[tok + 1] == '!' || b[tok + 1] == '?') {
            misc(false);
            continue;
        }
        if (b[tok + 1] == '/')
            error(tok + 1, QStringLiteral("esperado o início de um elemento"));
        break;
    }
    element();
    while (!open.empty()) {
        if (!toMarkup(true))
            truncated();
        while (valid - tok < 2 && more()) {
        }
        if (valid - tok < 2)
            truncated();
        const char next = b[tok + 1];
        if (next == '/') {
            while (!endTag())
                if (!more())
                    truncated();
            tok = after;
            const Role role = open.back().second;
            openNames.resize(openNames.size() - size_t(open.back().first));
            open.pop_back();
            if (role == Role::Metadata)
                endMetadata();
        } else if (next == '!' || next == '?') {
            misc(true);
        } else {
            element();
        }
    }
    // After it, the same as before it.
    while (toMarkup(false)) {
        while (valid - tok < 2 && more()) {
        }
        if (valid - tok < 2 || (b[tok + 1] != '!' && b[tok + 1] != '?'))
            error(tok, QStringLiteral("conteúdo depois do fim do documento"));
        misc(false);
    }
    if (!haveMeta)
        fail(src, QStringLiteral("pacote sem METADATA"));
    settle();
    p->squeeze();
    return std::move(packet);
}

} // namespace

QLatin1StringView PacketXml::typeName(FieldType t)
{
    for (const TypeName &n : typeNames)
        if (n.type == t)
            return n.name;
    return QLatin1StringView("string");
}

DataPacket PacketXml::read(QIODevice *device, const QByteArray &bytes, qint64 size,
                           const QString &source)
{
    // A file that does not say its encoding is taken for UTF-8 until a byte says otherwise;
    // then it is read again as Windows-1252, the code page of the terminals that wrote it.
    bool fromWindows1252 = false;
    for (;;) {
        std::optional<PacketReader> reader;
        try {
            reader.emplace(device, bytes, size, source, fromWindows1252);
            return reader->read();
        } catch (const NotUtf8 &) {
        } catch (const Exception &) {
            if (!reader || !reader->guessedUtf8() || reader->restIsUtf8())
                throw;
        }
        reader.reset();
        if (device && !device->seek(0))
            fail(source, QStringLiteral("erro de leitura (%1)").arg(device->errorString()));
        fromWindows1252 = true;
    }
}
