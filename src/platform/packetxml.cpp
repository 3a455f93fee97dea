// The XML file form of a data packet.
#include "datapacket.h"

#include "datapacket_p.h"
#include "exception.h"

#include <QBuffer>
#include <QDate>
#include <QFile>
#include <QHash>
#include <QMutex>
#include <QSaveFile>
#include <QSet>
#include <QStringDecoder>
#include <QVarLengthArray>
#include <QXmlStreamReader>

#include <bit>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Beyond any column a screen declares; keeps a hostile WIDTH from padding rows to gigabytes.
constexpr int maxWidth = 65535;

// Far above a 200,000-product cache (45 MB); what is larger is no cache of ours.
constexpr qint64 maxFileSize = qint64(1) << 30;

// A row carries one attribute per column, a few dozen in any packet we read. The XML reader
// compares each attribute of a tag with all before it, so this bounds that work per tag.
constexpr int maxAttributes = 256;

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
    // Written elsewhere; read as the nearest type we keep.
    {QLatin1StringView("i1"), FieldType::SmallInt},
    {QLatin1StringView("ui1"), FieldType::SmallInt},
    {QLatin1StringView("ui2"), FieldType::Integer},
    {QLatin1StringView("ui4"), FieldType::LargeInt},
    {QLatin1StringView("r4"), FieldType::Float},
    {QLatin1StringView("fixed"), FieldType::Float},
    {QLatin1StringView("fixedFMT"), FieldType::Float},
    {QLatin1StringView("SQLdateTime"), FieldType::DateTime},
};

QLatin1StringView typeName(FieldType t)
{
    for (const TypeName &n : typeNames)
        if (n.type == t)
            return n.name;
    return QLatin1StringView("string");
}

[[noreturn]] void fail(const QString &src, const QString &problem)
{
    throw Exception(QStringLiteral("%1: %2").arg(src, problem));
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

// HH:MM:SS with optional milliseconds glued on (or after a dot).
bool parseTime(QStringView s, int &ms)
{
    if (s.size() < 8 || s[2] != u':' || s[5] != u':')
        return false;
    const int h = digits(s, 0, 2), m = digits(s, 3, 2), sec = digits(s, 6, 2);
    int milli = 0;
    QStringView rest = s.mid(8);
    if (!rest.isEmpty() && rest[0] == u'.')
        rest = rest.mid(1);
    if (rest.size() > 3)
        return false;
    if (!rest.isEmpty()) {
        milli = digits(rest, 0, rest.size());
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
        w = v.trimmed().toLongLong(&ok);
        if (type == FieldType::SmallInt)
            return ok && w >= -32768 && w <= 32767;
        if (type == FieldType::Integer)
            return ok && w >= std::numeric_limits<qint32>::min()
                   && w <= std::numeric_limits<qint32>::max();
        return ok;
    case FieldType::Float: {
        const double d = v.trimmed().toDouble(&ok);
        w = std::bit_cast<qint64>(d);
        return ok && std::isfinite(d);
    }
    case FieldType::Boolean:
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
        break;
    }
    return false;
}

// Overwrites one cell of an existing row (the changes of a modified row).
bool storeValue(DataPacketPrivate *p, int row, int col, QStringView v)
{
    const FieldDef &f = p->fields[col];
    if (DataPacketPrivate::isText(f.type)) {
        p->setText(row, col, PacketCodec::cut(f, v));
        return true;
    }
    qint64 w = 0;
    if (!parseWord(f.type, v, w))
        return false;
    p->setNumber(row, col, w);
    return true;
}

// Appends one cell to its column; the hot path of loading, so it writes each list once.
bool appendValue(DataPacketPrivate *p, int col, QStringView v, bool present)
{
    const FieldDef &f = p->fields[col];
    PacketColumn &c = p->cols[col];
    if (DataPacketPrivate::isText(f.type)) {
        if (!present) {
            c.off.append(0);
            c.len.append(-1);
            return true;
        }
        v = PacketCodec::cut(f, v);
        if (c.pool.size() + v.size() > std::numeric_limits<qint32>::max())
            return false;
        c.off.append(qint32(c.pool.size()));
        c.len.append(qint32(v.size()));
        c.pool.append(v);
        return true;
    }
    qint64 w = 0;
    if (present && !parseWord(f.type, v, w))
        return false;
    c.num.append(w);
    c.null.append(present ? 0 : 1);
    return true;
}

// True when the XML declaration names an encoding (the reader then honours it).
bool declaresEncoding(const QByteArray &bytes)
{
    QByteArrayView head(bytes.constData(), std::min<qsizetype>(bytes.size(), 256));
    if (head.startsWith("\xEF\xBB\xBF") || head.startsWith("\xFF\xFE")
        || head.startsWith("\xFE\xFF"))
        return true; // a byte order mark says which Unicode form
    if (!head.startsWith("<?xml"))
        return false;
    const qsizetype end = head.indexOf("?>");
    return head.first(end < 0 ? head.size() : end).contains("encoding");
}

void readField(QXmlStreamReader &xml, QList<FieldDef> &fields, QSet<QString> &names,
               const QString &src)
{
    const QXmlStreamAttributes attrs = xml.attributes();
    FieldDef f;
    f.name = attrs.value(QLatin1StringView("attrname")).toString();
    if (f.name.isEmpty())
        fail(src, QStringLiteral("FIELD sem attrname (linha %1)").arg(xml.lineNumber()));
    const qsizetype before = names.size();
    names.insert(f.name);
    if (names.size() == before)
        fail(src, QStringLiteral("campo %1 repetido").arg(f.name));
    const QStringView type = attrs.value(QLatin1StringView("fieldtype"));
    bool known = false;
    for (const TypeName &n : typeNames) {
        if (type.compare(n.name, Qt::CaseInsensitive) == 0) {
            f.type = n.type;
            known = true;
            break;
        }
    }
    if (!known)
        fail(src, QStringLiteral("campo %1 com fieldtype desconhecido \"%2\"")
                      .arg(f.name, type.toString()));
    const QStringView subtype = attrs.value(QLatin1StringView("SUBTYPE"));
    if (attrs.hasAttribute(QLatin1StringView("WIDTH"))) {
        bool ok = false;
        const int w = attrs.value(QLatin1StringView("WIDTH")).trimmed().toInt(&ok);
        if (!ok || w < 0 || w > maxWidth)
            fail(src, QStringLiteral("campo %1 com WIDTH inválido").arg(f.name));
        if (DataPacketPrivate::isText(f.type))
            f.size = w;
    }
    if (DataPacketPrivate::isText(f.type))
        f.fixed = subtype.compare(QLatin1StringView("FixedChar"), Qt::CaseInsensitive) == 0;
    if (f.type == FieldType::Float)
        f.currency = subtype.compare(QLatin1StringView("Money"), Qt::CaseInsensitive) == 0;
    fields.append(f);
    xml.skipCurrentElement();
}

void readMetadata(QXmlStreamReader &xml, QList<FieldDef> &fields, Budget &budget,
                  const QString &src)
{
    QSet<QString> names;
    while (xml.readNextStartElement()) {
        if (xml.name() != u"FIELDS") {
            xml.skipCurrentElement(); // PARAMS and anything else written elsewhere
            continue;
        }
        while (xml.readNextStartElement()) {
            if (xml.name() == u"FIELD") {
                readField(xml, fields, names, src);
                budget.take(qint64(sizeof(FieldDef)) + qint64(sizeof(PacketColumn))
                            + 4 * fields.constLast().name.size());
            } else {
                xml.skipCurrentElement();
            }
        }
    }
}

void readRows(QXmlStreamReader &xml, DataPacketPrivate *p, Budget &budget, const QString &src)
{
    const QList<FieldDef> &fields = p->fields;
    const int nf = int(fields.size());
    QHash<QStringView, int> columnOf;
    columnOf.reserve(nf);
    qint64 rowBytes = 0; // of a row of nulls
    for (int c = 0; c < nf; ++c) {
        columnOf.insert(fields[c].name, c);
        rowBytes += DataPacketPrivate::isText(fields[c].type) ? 2 * sizeof(qint32)
                                                                : sizeof(qint64) + sizeof(quint8);
    }
    QVarLengthArray<QStringView, 64> cells(nf);
    QVarLengthArray<bool, 64> present(nf);
    std::fill(present.begin(), present.end(), false);
    QVarLengthArray<int, 64> given; // the columns the row names, at most one per attribute
    while (xml.readNextStartElement()) {
        if (xml.name() != u"ROW") {
            xml.skipCurrentElement();
            continue;
        }
        const QXmlStreamAttributes attrs = xml.attributes();
        // RowState bits: 2 deleted, 8 modified (the changed values of the row before).
        int state = 0;
        for (const QXmlStreamAttribute &a : attrs) {
            if (a.name() == u"RowState") {
                bool ok = false;
                state = a.value().trimmed().toInt(&ok);
                if (!ok)
                    fail(src, QStringLiteral("RowState inválido na linha %1")
                                  .arg(xml.lineNumber()));
            }
        }
        if (state & 2) {
            xml.skipCurrentElement();
            continue;
        }
        // Attributes usually come in the order of the fields.
        int guess = 0;
        qint64 textBytes = 0;
        for (const QXmlStreamAttribute &a : attrs) {
            const QStringView name = a.name();
            const int c = guess < nf && fields[guess].name == name ? guess
                                                                    : columnOf.value(name, -1);
            if (c < 0)
                continue; // RowState and attributes of no declared field
            guess = c + 1;
            cells[c] = a.value();
            if (!present[c]) {
                present[c] = true;
                given.append(c);
            }
            if (DataPacketPrivate::isText(fields[c].type))
                textBytes += 2 * a.value().size();
        }
        const bool modified = (state & 8) && p->rows > 0;
        budget.take(modified ? textBytes : rowBytes + textBytes);
        const auto bad = [&](int c) {
            // The packet is dropped whole, so a half-appended row does not matter.
            fail(src, QStringLiteral("valor \"%1\" inválido para o campo %2 (%3) na linha %4")
                          .arg(cells[c].left(60).toString(), fields[c].name,
                               typeName(fields[c].type))
                          .arg(xml.lineNumber()));
        };
        if (modified) {
            for (const int c : std::as_const(given))
                if (!storeValue(p, p->rows - 1, c, cells[c]))
                    bad(c);
        } else {
            for (int c = 0; c < nf; ++c)
                if (!appendValue(p, c, cells[c], present[c]))
                    bad(c);
            ++p->rows;
        }
        for (const int c : std::as_const(given))
            present[c] = false;
        given.clear();
        xml.skipCurrentElement();
    }
}

void appendEscaped(QByteArray &out, QStringView s)
{
    qsizetype run = 0;
    auto flush = [&](qsizetype upTo) {
        if (upTo > run)
            out.append(s.mid(run, upTo - run).toUtf8());
    };
    for (qsizetype i = 0; i < s.size(); ++i) {
        const char16_t c = s[i].unicode();
        const char *rep = nullptr;
        char buf[12];
        switch (c) {
        case u'&': rep = "&amp;"; break;
        case u'<': rep = "&lt;"; break;
        case u'>': rep = "&gt;"; break;
        case u'"': rep = "&quot;"; break;
        default:
            if (c < 0x20) {
                // Tab, newline and return survive attribute normalisation only as references;
                // other control characters are not allowed in XML at all.
                if (c == u'\t' || c == u'\n' || c == u'\r') {
                    std::snprintf(buf, sizeof buf, "&#%d;", int(c));
                    rep = buf;
                } else {
                    rep = " ";
                }
            }
        }
        if (rep) {
            flush(i);
            out.append(rep);
            run = i + 1;
        }
    }
    flush(s.size());
}

void appendTwo(QByteArray &out, int n)
{
    out.append(char('0' + n / 10 % 10)).append(char('0' + n % 10));
}

void appendDate(QByteArray &out, qint64 jd)
{
    const QDate d = QDate::fromJulianDay(jd);
    out.append(QByteArray::number(d.year()).rightJustified(4, '0'));
    appendTwo(out, d.month());
    appendTwo(out, d.day());
}

void appendTime(QByteArray &out, int ms)
{
    appendTwo(out, ms / 3600000);
    out.append(':');
    appendTwo(out, ms / 60000 % 60);
    out.append(':');
    appendTwo(out, ms / 1000 % 60);
    out.append(QByteArray::number(ms % 1000).rightJustified(3, '0'));
}

} // namespace

namespace {

bool blank(QByteArrayView bytes)
{
    for (const char c : bytes)
        if (!QChar::isSpace(uchar(c)))
            return false;
    return true;
}

QStringDecoder windows1252()
{
    QStringDecoder cp1252("windows-1252");
    if (!cp1252.isValid())
        cp1252 = QStringDecoder(QStringDecoder::Latin1);
    return cp1252;
}

// UTF-8 check of a whole device in chunks, without keeping it in memory; rewinds it.
bool deviceIsUtf8(QIODevice &dev)
{
    QByteArray carry;
    bool ok = true;
    while (ok) {
        QByteArray chunk = dev.read(1 << 20);
        if (chunk.isEmpty())
            break;
        chunk.prepend(carry);
        // Hold back a sequence the chunk cuts short.
        qsizetype cut = chunk.size();
        for (qsizetype back = 1; back <= 3 && back <= chunk.size(); ++back) {
            const uchar c = uchar(chunk[chunk.size() - back]);
            if ((c & 0xC0) == 0x80)
                continue;
            const int need = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
            if (need > back)
                cut = chunk.size() - back;
            break;
        }
        ok = QByteArrayView(chunk).first(cut).isValidUtf8();
        carry = chunk.mid(cut);
    }
    dev.seek(0);
    return ok && carry.isEmpty();
}

// What the XML reader reads instead of the file or the bytes. The reader compares each attribute
// of a tag with every one before it, so a tag of 100,000 attributes holds it for minutes; and a
// DTD lets a few kilobytes of entity references expand into millions of elements or
// characters. A data packet has neither: this device decodes what it passes on as the reader
// will, and ends the stream before either reaches the reader. Undeclared Windows-1252 is passed
// on as UTF-8, a chunk at a time.
class PacketSource final : public QIODevice
{
public:
    PacketSource(QIODevice *from, bool fromWindows1252) : from(from)
    {
        if (fromWindows1252)
            recode = windows1252();
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }

    // Why the stream was ended early; empty when it was not.
    const QString &refusal() const { return problem; }

    bool isSequential() const override { return true; }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        while (at == chunk.size())
            if (!problem.isEmpty() || !fill())
                return -1;
        const qint64 n = std::min(maxSize, qint64(chunk.size() - at));
        std::memcpy(data, chunk.constData() + at, size_t(n));
        at += n;
        return n;
    }

    qint64 writeData(const char *, qint64) override { return -1; }

private:
    static constexpr qint64 chunkSize = 64 * 1024;

    enum class State { Text, Open, Bang, StartTag, Value, EndTag, Comment, CData, Instruction };

    bool fill();
    void chooseDecoder(QByteArrayView head, bool whole);
    template <typename Char>
    void scan(const Char *p, const Char *end);

    QIODevice *from;
    std::optional<QStringDecoder> recode;
    bool started = false;
    QStringDecoder decoder;
    bool bytewise = false; // UTF-8 or Latin-1: markup is the same bytes, nothing to decode
    QByteArray chunk;
    qsizetype at = 0;
    QString text;
    QString problem;
    State state = State::Text;
    int count = 0; // attributes of the tag; closing characters seen of a comment, CDATA or PI
    char16_t quote = 0;
};

bool PacketSource::fill()
{
    QByteArray raw = from->read(chunkSize);
    if (raw.isEmpty())
        return false;
    const bool whole = raw.size() < chunkSize;
    if (recode) {
        // The mark makes the reader take UTF-8 whatever the first characters look like.
        const QByteArray utf8 = QString((*recode)(raw)).toUtf8();
        raw = started ? utf8 : QByteArrayLiteral("\xEF\xBB\xBF") + utf8;
    }
    if (!started) {
        started = true;
        chooseDecoder(raw, whole);
    }
    if (problem.isEmpty() && bytewise) {
        scan(raw.constData(), raw.constData() + raw.size());
    } else if (problem.isEmpty()) {
        text.resize(decoder.requiredSpace(raw.size()));
        const QChar *end = decoder.appendToBuffer(text.data(), raw);
        scan(reinterpret_cast<const char16_t *>(text.constData()),
             reinterpret_cast<const char16_t *>(end));
    }
    if (!problem.isEmpty())
        return false;
    chunk = std::move(raw);
    at = 0;
    return true;
}

// The encoding the reader settles on: a byte order mark or the look of "<" in UTF-16 or UTF-32,
// else UTF-8, unless the XML declaration names another. The reader then decodes again what it
// has read and goes on after the declaration; a declaration that does not read the same in
// the encoding it names would have the reader and this device see different text.
void PacketSource::chooseDecoder(QByteArrayView head, bool whole)
{
    const QStringDecoder::Encoding detected =
        QStringDecoder::encodingForData(head, u'<').value_or(QStringDecoder::Utf8);
    decoder = QStringDecoder(detected);
    bytewise = detected == QStringDecoder::Utf8;
    const QString start = QStringDecoder(detected)(head);
    const auto isSpace = [](QChar c) {
        return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
    };
    if (!start.startsWith(QLatin1StringView("<?xml")) || start.size() < 6
        || !(isSpace(start[5]) || start[5] == u'?'))
        return; // no declaration; "<?xml-stylesheet" is another instruction

    const qsizetype end = start.indexOf(QLatin1StringView("?>"));
    if (end < 0) {
        if (!whole) // a shorter file ends inside the declaration: the reader says truncated
            problem = QStringLiteral("declaração XML longa demais");
        return;
    }
    const QString declaration = start.first(end + 2);
    // Its pseudo-attributes in order: name, "=", a quoted value.
    QStringView rest = QStringView(declaration).sliced(5, declaration.size() - 7);
    for (;;) {
        const qsizetype equals = rest.indexOf(u'=');
        if (equals < 0)
            return;
        const QStringView key = rest.first(equals).trimmed();
        rest = rest.sliced(equals + 1).trimmed();
        if (rest.isEmpty() || (rest[0] != u'"' && rest[0] != u'\''))
            return; // the reader refuses the declaration
        const qsizetype close = rest.indexOf(rest[0], 1);
        if (close < 0)
            return;
        const QStringView value = rest.sliced(1, close - 1);
        rest = rest.sliced(close + 1);
        if (key != QLatin1StringView("encoding"))
            continue;
        const QByteArray name = value.toUtf8();
        QStringDecoder named(name.constData());
        if (!named.isValid())
            return; // the reader refuses it
        if (!QString(named(head)).startsWith(declaration)) {
            problem = QStringLiteral("codificação %1 não confere com o início do arquivo")
                          .arg(QString::fromUtf8(name));
            return;
        }
        decoder = QStringDecoder(name.constData());
        const auto known = QStringDecoder::encodingForName(name.constData());
        bytewise = known == QStringDecoder::Utf8 || known == QStringDecoder::Latin1;
        return;
    }
}

// Follows the markup far enough to count the attributes of each start tag and to see a DTD;
// anything that is not well formed is left for the reader to report.
template <typename Char>
void PacketSource::scan(const Char *p, const Char *const end)
{
    const auto skipTo = [&](char16_t c) {
        const Char *hit;
        if constexpr (sizeof(Char) == 1)
            hit = static_cast<const Char *>(std::memchr(p, int(c), size_t(end - p)));
        else
            hit = std::char_traits<char16_t>::find(p, size_t(end - p), c);
        p = hit ? hit + 1 : end;
        return hit != nullptr;
    };
    while (p < end) {
        switch (state) {
        case State::Text:
            if (skipTo(u'<'))
                state = State::Open;
            break;
        case State::Open:
            state = *p == u'!'   ? State::Bang
                    : *p == u'?' ? State::Instruction
                    : *p == u'/' ? State::EndTag
                                 : State::StartTag;
            if (state != State::StartTag)
                ++p;
            count = 0;
            break;
        case State::Bang:
            if (*p == u'D') {
                problem = QStringLiteral("DTD não é aceita num pacote de dados");
                return;
            }
            state = *p == u'-' ? State::Comment : *p == u'[' ? State::CData : State::Text;
            ++p;
            break;
        case State::StartTag:
            // Names to the next value or the end of the tag, the hot loop of a packet.
            while (p < end) {
                const char16_t c = *p++;
                if (c == u'"' || c == u'\'') {
                    quote = c;
                    state = State::Value;
                    break;
                }
                if (c == u'>') {
                    state = State::Text;
                    break;
                }
                if (c == u'=' && ++count > maxAttributes) {
                    problem =
                        QStringLiteral("elemento com mais de %1 atributos").arg(maxAttributes);
                    return;
                }
            }
            break;
        case State::Value:
            if (skipTo(quote))
                state = State::StartTag;
            break;
        case State::EndTag:
            if (skipTo(u'>'))
                state = State::Text;
            break;
        case State::Comment:
        case State::CData: {
            // Ended by "-->" and "]]>".
            const char16_t c = *p++;
            if (c == (state == State::Comment ? u'-' : u']'))
                ++count;
            else if (c == u'>' && count >= 2)
                state = State::Text;
            else
                count = 0;
            break;
        }
        case State::Instruction: {
            const char16_t c = *p++;
            if (c == u'>' && count)
                state = State::Text;
            count = c == u'?';
            break;
        }
        }
    }
}

// The body of the reader: the root, the metadata and the rows.
DataPacket readPacket(QXmlStreamReader &xml, Budget &budget, const QString &src)
{
    auto malformed = [&] {
        if (xml.error() == QXmlStreamReader::PrematureEndOfDocumentError)
            fail(src, QStringLiteral("arquivo truncado (linha %1)").arg(xml.lineNumber()));
        fail(src, QStringLiteral("XML inválido na linha %1, coluna %2: %3")
                      .arg(xml.lineNumber())
                      .arg(xml.columnNumber())
                      .arg(xml.errorString()));
    };

    if (!xml.readNextStartElement()) {
        if (xml.hasError() && xml.error() != QXmlStreamReader::PrematureEndOfDocumentError)
            malformed();
        fail(src, QStringLiteral("não é um pacote de dados"));
    }
    if (xml.name() != u"DATAPACKET")
        fail(src, QStringLiteral("não é um pacote de dados (elemento %1)").arg(xml.name()));

    DataPacket packet;
    DataPacketPrivate *p = PacketAccess::writable(packet);
    QList<FieldDef> fields;
    bool haveMeta = false;
    bool haveRows = false;
    while (xml.readNextStartElement()) {
        if (xml.name() == u"METADATA" && !haveMeta) {
            readMetadata(xml, fields, budget, src);
            p->setColumns(fields);
            haveMeta = true;
        } else if (xml.name() == u"ROWDATA" && !haveRows) {
            if (!haveMeta)
                fail(src, QStringLiteral("ROWDATA antes de METADATA"));
            readRows(xml, p, budget, src);
            haveRows = true;
        } else {
            xml.skipCurrentElement();
        }
    }
    while (!xml.hasError() && !xml.atEnd())
        xml.readNext(); // anything after the packet must still be well formed
    if (xml.hasError())
        malformed();
    if (!haveMeta)
        fail(src, QStringLiteral("pacote sem METADATA"));
    p->squeeze();
    return packet;
}

// Both readers hand QXmlStreamReader a device: given a whole byte array it would decode all of
// it into one string first, twice the file's size in memory at once.
DataPacket readFrom(QIODevice &device, bool windows1252, qint64 size, const QString &src)
{
    PacketSource source(&device, windows1252);
    QXmlStreamReader xml(&source);
    // Packets use no namespaces; resolving prefixes through deeply nested declarations would
    // cost the reader time for each element.
    xml.setNamespaceProcessing(false);
    Budget budget(size, src);
    DataPacket packet;
    try {
        packet = readPacket(xml, budget, src);
    } catch (const Exception &) {
        // A stream ended early is whatever the reader made of its end; the reason is ours.
        if (source.refusal().isEmpty())
            throw;
    }
    if (!source.refusal().isEmpty())
        fail(src, source.refusal());
    return packet;
}

} // namespace

DataPacket DataPacket::fromXml(const QByteArray &bytes, const QString &sourceName)
{
    const QString src = sourceName.isEmpty() ? QStringLiteral("pacote de dados") : sourceName;
    if (blank(bytes))
        fail(src, QStringLiteral("arquivo vazio"));
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return readFrom(buffer, !declaresEncoding(bytes) && !QByteArrayView(bytes).isValidUtf8(),
                    bytes.size(), src);
}

namespace {

// A large file read again unchanged (the product cache at every launch of a screen) hands back
// the packet read before instead of parsing it again: the packet is implicitly shared, so the
// copy costs nothing until someone writes to it. The file is the same when its device, inode,
// size, modification and change times are; a file modified or changed in the last seconds is
// never remembered, because a rewrite of the same size within the clock's granularity would
// leave its times unchanged. A few packets stay alive between reads: the price of not parsing
// a large file at every launch.
struct FileIdentity
{
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    qint64 modifiedNs = 0;
    qint64 changedNs = 0;
    bool operator==(const FileIdentity &) const = default;
};

constexpr off_t RememberedMinimumSize = 1 << 20;
constexpr qint64 SettledNs = 2'000'000'000;
constexpr int RememberedFiles = 4;

struct RememberedPacket
{
    QString path;
    FileIdentity identity;
    DataPacket packet;
};

QMutex rememberedMutex;
QList<RememberedPacket> remembered; // most recent first

qint64 nanoseconds(const timespec &t)
{
    return qint64(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

// The identity of an open file when it is worth remembering, none otherwise.
std::optional<FileIdentity> rememberable(const QFile &file)
{
    struct stat st;
    if (::fstat(file.handle(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < RememberedMinimumSize)
        return std::nullopt;
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    const FileIdentity id{st.st_dev, st.st_ino, st.st_size, nanoseconds(st.st_mtim),
                          nanoseconds(st.st_ctim)};
    if (nanoseconds(now) - std::max(id.modifiedNs, id.changedNs) < SettledNs)
        return std::nullopt;
    return id;
}

[[noreturn]] void unreadable(const QString &path, const QString &why)
{
    fail(path, QStringLiteral("não foi possível ler o arquivo (%1)").arg(why));
}

// Only a regular file is read (a symbolic link to one is): a device or a FIFO in the place of a
// cache file would block the launch or never end.
void refuseIrregular(const struct stat &st, const QString &path)
{
    if (S_ISDIR(st.st_mode))
        unreadable(path, QStringLiteral("é uma pasta"));
    if (!S_ISREG(st.st_mode))
        fail(path, QStringLiteral("não é um arquivo regular"));
    if (st.st_size > maxFileSize)
        fail(path, QStringLiteral("arquivo maior que o limite de %1 MB").arg(maxFileSize >> 20));
}

// Opens a file for reading when it is one to read; returns its size.
qint64 openRegular(QFile &file, const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat st;
    if (::stat(name.constData(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            fail(path, QStringLiteral("arquivo não encontrado"));
        unreadable(path, qt_error_string(errno));
    }
    refuseIrregular(st, path);
    // Without blocking, should a FIFO take the file's place after the check.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        unreadable(path, qt_error_string(errno));
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        unreadable(path, file.errorString());
    }
    if (::fstat(fd, &st) != 0)
        unreadable(path, qt_error_string(errno));
    refuseIrregular(st, path);
    return st.st_size;
}

} // namespace

DataPacket DataPacket::loadFromFile(const QString &path)
{
    QFile file;
    const qint64 size = openRegular(file, path);
    const std::optional<FileIdentity> identity = rememberable(file);
    if (identity) {
        QMutexLocker lock(&rememberedMutex);
        for (const RememberedPacket &r : std::as_const(remembered))
            if (r.path == path && r.identity == *identity)
                return r.packet;
    }
    const QByteArray head = file.peek(4096);
    if (head.size() < 4096 && blank(head))
        fail(path, QStringLiteral("arquivo vazio"));
    const bool undeclared1252 = !declaresEncoding(head) && !deviceIsUtf8(file);
    DataPacket packet = readFrom(file, undeclared1252, size, path);
    if (file.error() != QFileDevice::NoError)
        fail(path, QStringLiteral("erro de leitura (%1)").arg(file.errorString()));
    if (identity) {
        QMutexLocker lock(&rememberedMutex);
        remembered.removeIf([&path](const RememberedPacket &r) { return r.path == path; });
        remembered.prepend({path, *identity, packet});
        while (remembered.size() > RememberedFiles)
            remembered.removeLast();
    }
    return packet;
}

QByteArray DataPacket::toXml() const
{
    const DataPacketPrivate *p = d.constData();
    QByteArray out;
    out.reserve(256 + qsizetype(p->rows) * p->fields.size() * 16);
    out.append("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
               "<DATAPACKET Version=\"2.0\"><METADATA><FIELDS>\n");
    QList<QByteArray> names;
    for (const FieldDef &f : p->fields) {
        QByteArray name;
        appendEscaped(name, f.name);
        names.append(name);
        out.append("<FIELD attrname=\"").append(name).append("\" fieldtype=\"");
        out.append(typeName(f.type).data(), typeName(f.type).size()).append('"');
        if (DataPacketPrivate::isText(f.type) && f.size > 0)
            out.append(" WIDTH=\"").append(QByteArray::number(f.size)).append('"');
        if (DataPacketPrivate::isText(f.type) && f.fixed)
            out.append(" SUBTYPE=\"FixedChar\"");
        if (f.type == FieldType::Float && f.currency)
            out.append(" SUBTYPE=\"Money\"");
        out.append("/>\n");
    }
    out.append("</FIELDS><PARAMS/></METADATA><ROWDATA>\n");
    for (int r = 0; r < p->rows; ++r) {
        out.append("<ROW");
        for (int c = 0; c < p->fields.size(); ++c) {
            const PacketColumn &col = p->cols[c];
            const FieldType t = p->fields[c].type;
            if (DataPacketPrivate::isText(t) ? col.len[r] < 0 : col.null[r] != 0)
                continue; // a missing attribute is null
            out.append(' ').append(names[c]).append("=\"");
            const qint64 w = DataPacketPrivate::isText(t) ? 0 : col.num[r];
            switch (t) {
            case FieldType::String:
            case FieldType::WideString: {
                appendEscaped(out, QStringView(col.pool).mid(col.off[r], col.len[r]));
                const FieldDef &f = p->fields[c];
                if (f.fixed && col.len[r] < f.size)
                    out.append(f.size - col.len[r], ' '); // written padded, as it reads
                break;
            }
            case FieldType::SmallInt:
            case FieldType::Integer:
            case FieldType::LargeInt:
                out.append(QByteArray::number(w));
                break;
            case FieldType::Float:
                out.append(QByteArray::number(std::bit_cast<double>(w), 'g',
                                              QLocale::FloatingPointShortest));
                break;
            case FieldType::Boolean:
                out.append(w ? "TRUE" : "FALSE");
                break;
            case FieldType::Date:
                appendDate(out, w);
                break;
            case FieldType::Time:
                appendTime(out, int(w));
                break;
            case FieldType::DateTime: {
                const qint64 jd = w / PacketCodec::msPerDay;
                appendDate(out, jd);
                out.append('T');
                appendTime(out, int(w - jd * PacketCodec::msPerDay));
                break;
            }
            }
            out.append('"');
        }
        out.append("/>\n");
    }
    out.append("</ROWDATA></DATAPACKET>\n");
    return out;
}

void DataPacket::saveToFile(const QString &path) const
{
    const QByteArray bytes = toXml();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        fail(path, QStringLiteral("não foi possível gravar o arquivo (%1)")
                       .arg(file.errorString()));
}
