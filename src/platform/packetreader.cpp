// Reading the XML file form of a data packet.
//
// libxml2's SAX2 push parser reads the file a chunk at a time, checks and decodes it; from its
// callbacks each value goes straight into its column: no tree and no string per attribute.
#include "datapacket.h"

#include "datapacket_p.h"
#include "exception.h"

#include <QDate>
#include <QIODevice>
#include <QScopeGuard>
#include <QSet>
#include <QStringDecoder>
#include <QVarLengthArray>

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <libxml/SAX2.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>

#include <sys/mman.h>

namespace {

// Beyond any column a screen declares; keeps a hostile WIDTH from padding rows to gigabytes.
constexpr int maxWidth = 65535;

// libxml2 parses a tag only once all of it is in (10 MB at most), and compares its attributes
// pair by pair: a hundred thousand of them take it a minute. Between chunks, the attribute
// values a tag held back has opened are counted; small chunks keep what one adds small.
constexpr qsizetype chunkSize = 64 * 1024;
constexpr qsizetype maxAttributes = 4096;

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
bool parseTime(QStringView s, qint64 &ms)
{
    if (s.size() < 8 || s[2] != u':' || s[5] != u':')
        return false;
    const int h = digits(s, 0, 2), m = digits(s, 3, 2), sec = digits(s, 6, 2);
    QStringView rest = s.mid(8);
    if (rest.startsWith(u'.'))
        rest = rest.mid(1);
    if (rest.size() > 3
        && !std::all_of(rest.begin() + 3, rest.end(), [](QChar c) { return c.isDigit(); }))
        return false;
    const qsizetype given = std::min<qsizetype>(rest.size(), 3); // "5" is 500 ms, "05" 50
    const int milli = given ? digits(rest, 0, given) * (given == 1 ? 100 : given == 2 ? 10 : 1)
                            : 0;
    if (h < 0 || m < 0 || sec < 0 || milli < 0 || h > 23 || m > 59 || sec > 59)
        return false;
    ms = ((h * 60 + m) * 60 + sec) * 1000 + milli;
    return true;
}

bool parseDateTime(QStringView s, qint64 &w)
{
    qint64 jd = 0, ms = 0;
    const bool good = s.size() == 8 ? parseDate(s, jd)
                                    : s.size() > 8 && s[8] == u'T' && parseDate(s.first(8), jd)
                                          && parseTime(s.mid(9), ms);
    w = jd * PacketCodec::msPerDay + ms;
    return good;
}

// The storage word of a non-text value; false when it does not convert to the column's type.
bool parseWord(FieldType type, QStringView v, qint64 &w)
{
    bool ok = false;
    if (PacketCodec::isInteger(type)) {
        w = v.trimmed().toLongLong(&ok);
        return ok && PacketCodec::fits(type, w);
    }
    switch (type) {
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
    case FieldType::Time:
        return parseTime(v, w);
    case FieldType::DateTime:
        return parseDateTime(v, w);
    default: // kept in a pool
        return false;
    }
}

// A fixed-point value or a blob as its column keeps it: the digits as written, the bytes out
// of their base64 (one character per byte). False when the value is not in its form.
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
    if (decoded)
        out = QString::fromLatin1(*decoded);
    return bool(decoded);
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
        w = v[0] == '-' ? -n : n;
        return PacketCodec::fits(type, w);
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

// The list as long as `size`, for its items to be written in place. Qt's lists grow by more
// than they are resized to; reserved first, they take just the size asked.
template <typename List>
auto *grown(List &list, qsizetype size)
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
    list.resize(size);
    return list.data();
}

std::string_view view(const xmlChar *s)
{
    return reinterpret_cast<const char *>(s);
}

// What the elements of a packet are to the reader.
enum class Role : uchar { Root, Metadata, Fields, Field, RowData, Other };

// An attribute as the parser gives it: UTF-8, references resolved, white space normalised.
struct Attribute
{
    const xmlChar *local, *prefix;
    std::string_view value;
};

// One reading of a packet.
class PacketReader
{
public:
    // Memory the columns may take while it is read: twice the size of the file, never less
    // than 64 MB. Values take about their size in the file; what asks for more is a packet of
    // many declared fields and rows that give none of them, each row a cell per field.
    PacketReader(qint64 size, const QString &src)
        : size(size), src(src), budget(std::max(2 * size, qint64(64) << 20)), left(budget)
    {
    }

    // Reads from `device`, else from `bytes`; in `encoding` when given, else in the one the
    // file says or shows.
    DataPacket read(QIODevice *device, const QByteArray &bytes, const char *encoding);
    bool notUtf8() const { return notUtf8Input; }

private:
    template <typename Call>
    static void guarded(void *reader, Call call) noexcept;
    static void onError(void *reader, xmlErrorPtr error);
    void startElement(const xmlChar *local, const xmlChar *prefix, int count,
                      const xmlChar **attributes);
    void feed(const char *data, qsizetype n, bool last);
    void countHeldValues();
    [[noreturn]] void refuseWide()
    {
        fail(src, QStringLiteral("elemento com mais de %1 atributos na linha %2")
                      .arg(maxAttributes)
                      .arg(line()));
    }
    // A decoder of libxml2 may stop at a byte it does not know without a word, the text then
    // ending there: bytes left undecoded at the end are such a stop.
    bool undecoded() const
    {
        const xmlParserInputBufferPtr in = ctxt->input ? ctxt->input->buf : nullptr;
        return in && in->encoder && in->raw && xmlBufUse(in->raw) > 0;
    }
    [[noreturn]] void parserFailed();
    int line() const { return xmlSAX2GetLineNumber(ctxt.get()); }
    std::pair<int, int> endOfText() const;
    void take(qint64 bytes)
    {
        if ((left -= bytes) < 0)
            fail(src, QStringLiteral("pacote ocuparia mais de %1 MB de memória").arg(budget >> 20));
    }
    QString text(std::string_view bytes) { return utf8.decode(QByteArrayView(bytes)); }
    QString qualified(const xmlChar *local, const xmlChar *prefix)
    {
        return prefix ? text(view(prefix)) + u':' + text(view(local)) : text(view(local));
    }
    QList<std::pair<QString, QString>> namedValues() // of the tag's attributes
    {
        QList<std::pair<QString, QString>> list;
        for (const Attribute &a : attrs)
            list.append({qualified(a.local, a.prefix), text(a.value)});
        return list;
    }

    Role roleOf(const QString &name, Role parent);
    void field();
    void row();
    void endMetadata();
    int columnOf(const Attribute &a, int guess);
    void reserveRows();
    qsizetype forecast(qsizetype sofar, qsizetype least) const;
    void growRows(qsizetype capacity);
    void settle();
    bool appendCell(int col, const Attribute *a);

    const qint64 size;
    const QString &src;
    const qint64 budget;
    qint64 left;
    std::unique_ptr<xmlParserCtxt, decltype(&xmlFreeParserCtxt)> ctxt{nullptr, xmlFreeParserCtxt};
    // UTF-8 as it is: a leading U+FEFF is a character of the value.
    QStringDecoder utf8{QStringDecoder::Utf8, QStringDecoder::Flag::Stateless
                                                  | QStringDecoder::Flag::ConvertInitialBom};
    QString stopped;     // why a callback stopped the parser
    QString parserError; // the parser's first error, as the message gives it
    bool ending = false, errorAtEnd = false; // the parser is told the file ends; it failed then
    bool notUtf8Input = false;               // read as UTF-8, the bytes are not
    // The tag held back: where it starts, how far it was looked at, the values it opened.
    qint64 heldAt = -1;
    qsizetype heldSeen = 0, heldValues = 0;

    QVarLengthArray<Attribute, 64> attrs;
    std::string scratch; // values whose "&" the parser left as "&#38;"
    std::vector<Role> open;
    bool haveRoot = false, haveMeta = false, haveRows = false;

    DataPacket packet;
    DataPacketPrivate *p = nullptr;
    QList<FieldDef> fields;
    QSet<QString> fieldNames, attrNames; // attrNames: the row attributes of the fields
    QString fieldType;                   // of the last field, as written
    // How a column takes its attribute: a number word, text as it is, or decoded into its pool.
    enum class Cell : uchar { Word, Text, Decoded };
    std::vector<Cell> kind;
    std::unordered_map<std::string, int> columnByName;
    // The parser interns names: each is one pointer for the whole file.
    std::unordered_map<const xmlChar *, int> columnByPointer;
    std::vector<const xmlChar *> namePointer; // of each column, once seen
    qint64 rowBytes = 0;                      // of a row of nulls
    std::vector<const Attribute *> cells;
    std::vector<int> given;
    bool reserved = false;
    // While rows are appended, the lists of each column are as long as the rows to come, and
    // its text pool longer than the characters it holds: a value is written in place.
    struct Fill
    {
        char16_t *pool = nullptr;
        qsizetype used = 0; // characters of the pool in use
        qint32 *off = nullptr, *len = nullptr;
        qint64 *num = nullptr;
        quint8 *null = nullptr;
    };
    std::vector<Fill> fill;
    qsizetype rowCapacity = 0; // of the lists; 0 when each pool is as long as its text
};

// No exception may cross the parser, which is C: the first one stops it, and is thrown once
// the parser has returned.
template <typename Call>
void PacketReader::guarded(void *reader, Call call) noexcept
{
    auto *r = static_cast<PacketReader *>(reader);
    try {
        if (r->stopped.isEmpty())
            call(*r);
        return;
    } catch (const Exception &e) {
        r->stopped = e.Message();
    } catch (const std::exception &e) {
        r->stopped = r->src + QStringLiteral(": memória insuficiente para ler o pacote (%1)")
                                  .arg(QLatin1StringView(e.what()));
    }
    xmlStopParser(r->ctxt.get());
}

void PacketReader::onError(void *reader, xmlErrorPtr error)
{
    auto *r = static_cast<PacketReader *>(reader);
    // Warnings, and names whose prefix no namespace declares, leave the file readable.
    if (!error || error->level < XML_ERR_ERROR || error->domain == XML_FROM_NAMESPACE
        || error->code == XML_ERR_USER_STOP || !r->parserError.isEmpty())
        return;
    r->errorAtEnd = r->ending;
    r->notUtf8Input = error->code == XML_ERR_INVALID_CHAR && error->message
                      && std::strstr(error->message, "UTF-8");
    QString why = QString::fromUtf8(error->message ? error->message : "").trimmed();
    if (error->domain == XML_FROM_I18N || error->domain == XML_FROM_IO)
        why = QStringLiteral("conteúdo que não está na codificação do arquivo (%1)").arg(why);
    // Bytes that do not decode come without a place: theirs is where the decoded text ends.
    const auto [line, column] =
        error->line > 0 ? std::pair(error->line, error->int2) : r->endOfText();
    r->parserError = QStringLiteral("XML inválido na linha %1, coluna %2: %3")
                         .arg(line)
                         .arg(std::max(column, 1))
                         .arg(why);
}

// Line and column where the text the parser has decoded so far ends.
std::pair<int, int> PacketReader::endOfText() const
{
    const xmlParserInputPtr in = ctxt->input;
    int line = in->line, column = in->col;
    if (!in->buf || !in->buf->buffer)
        return {line, column};
    const xmlChar *text = xmlBufContent(in->buf->buffer);
    for (size_t i = size_t(in->cur - in->base); i < xmlBufUse(in->buf->buffer); ++i) {
        column = text[i] == '\n' ? 1 : column + ((text[i] & 0xC0) != 0x80);
        line += text[i] == '\n';
    }
    return {line, column};
}

DataPacket PacketReader::read(QIODevice *device, const QByteArray &bytes, const char *encoding)
{
    [[maybe_unused]] static const bool initialised = (xmlInitParser(), true);
    xmlSAXHandler sax;
    std::memset(&sax, 0, sizeof sax);
    sax.initialized = XML_SAX2_MAGIC;
    sax.startElementNs = [](void *r, const xmlChar *local, const xmlChar *prefix,
                            const xmlChar *, int, const xmlChar **, int count, int,
                            const xmlChar **attributes) {
        guarded(r, [&](PacketReader &x) { x.startElement(local, prefix, count, attributes); });
    };
    sax.endElementNs = [](void *r, const xmlChar *, const xmlChar *, const xmlChar *) {
        guarded(r, [](PacketReader &x) {
            if (x.open.back() == Role::Metadata)
                x.endMetadata();
            x.open.pop_back();
        });
    };
    sax.internalSubset = [](void *r, const xmlChar *, const xmlChar *, const xmlChar *) {
        guarded(r, [](PacketReader &x) {
            fail(x.src, QStringLiteral("DTD não é aceita num pacote de dados"));
        });
    };
    // Errors of the parser go to the reader running on this thread, never to standard error.
    const auto restore = qScopeGuard([handler = xmlStructuredError, c = xmlStructuredErrorContext] {
        xmlSetStructuredErrorFunc(c, handler);
    });
    xmlSetStructuredErrorFunc(this, &PacketReader::onError);

    QByteArray buffer;
    qsizetype at = 0; // in `bytes`
    const auto next = [&](qsizetype most) -> QByteArrayView {
        if (!device) {
            const qsizetype n = std::min(most, bytes.size() - at);
            at += n;
            return QByteArrayView(bytes.constData() + at - n, n);
        }
        buffer.resize(most);
        const qint64 n = device->read(buffer.data(), most);
        if (n < 0)
            fail(src, QStringLiteral("erro de leitura (%1)").arg(device->errorString()));
        return QByteArrayView(buffer.constData(), n);
    };
    // The first bytes at once, for the parser to tell a byte order mark or UTF-16 by them.
    const QByteArray first = encoding ? QByteArray() : next(4).toByteArray();
    ctxt.reset(xmlCreatePushParserCtxt(&sax, this, first.data(), int(first.size()), nullptr));
    if (!ctxt)
        throw std::bad_alloc();
    xmlCtxtUseOptions(ctxt.get(), XML_PARSE_NONET);
    if (encoding && xmlSwitchToEncoding(ctxt.get(), xmlFindCharEncodingHandler(encoding)) != 0)
        fail(src, QStringLiteral("codificação %1 desconhecida")
                      .arg(QLatin1StringView(encoding)));
    for (QByteArrayView chunk; !(chunk = next(chunkSize)).isEmpty();)
        feed(chunk.data(), chunk.size(), false);
    feed(nullptr, 0, true);
    if (!haveMeta)
        fail(src, QStringLiteral("pacote sem METADATA"));
    settle();
    p->squeeze();
    return std::move(packet);
}

void PacketReader::feed(const char *data, qsizetype n, bool last)
{
    ending = last;
    const int status = xmlParseChunk(ctxt.get(), data, int(n), last);
    if (!stopped.isEmpty())
        throw Exception(stopped);
    // A name whose prefix no namespace declares sets the status too, and leaves it readable.
    if (!parserError.isEmpty() || !ctxt->wellFormed || status == int(XML_PARSER_EOF)
        || (last && undecoded()))
        parserFailed();
    if (!last)
        countHeldValues();
}

// What the parser holds back is the start of what it has not all of yet; while a start tag,
// its attribute values ("=" and a quote) are counted as they come.
void PacketReader::countHeldValues()
{
    const xmlParserInputPtr in = ctxt->input;
    const auto *cur = reinterpret_cast<const char *>(in->cur);
    const auto *end = reinterpret_cast<const char *>(in->end);
    if (end - cur < 2 || cur[0] != '<' || cur[1] == '!' || cur[1] == '?' || cur[1] == '/')
        return;
    if (const qint64 tagAt = qint64(in->consumed) + (in->cur - in->base); tagAt != heldAt) {
        heldAt = tagAt;
        heldSeen = 1;
        heldValues = 0;
    }
    for (const char *s = cur + heldSeen; s + 1 < end && *s != '<'; ++s)
        heldValues += *s == '=' && (s[1] == '"' || s[1] == '\'');
    heldSeen = std::max<qsizetype>(end - cur - 1, 1);
    if (heldValues > maxAttributes)
        refuseWide();
}

void PacketReader::parserFailed()
{
    if (ending && undecoded()) {
        const auto [line, column] = endOfText();
        fail(src, QStringLiteral("XML inválido na linha %1, coluna %2: conteúdo que não está "
                                 "na codificação do arquivo")
                      .arg(line)
                      .arg(column));
    }
    // Told that the file ends, the parser finds a packet cut short.
    if (errorAtEnd && !haveRoot)
        fail(src, QStringLiteral("não é um pacote de dados"));
    if (errorAtEnd && !open.empty())
        fail(src, QStringLiteral("arquivo truncado (linha %1)").arg(line()));
    fail(src, parserError.isEmpty() ? QStringLiteral("XML inválido") : parserError);
}

// ---- The packet

Role PacketReader::roleOf(const QString &name, Role parent)
{
    if (parent == Role::Root && name == u"METADATA" && !haveMeta) {
        haveMeta = true;
        return Role::Metadata;
    }
    if (parent == Role::Root && name == u"ROWDATA" && !haveRows) {
        if (!haveMeta)
            fail(src, QStringLiteral("ROWDATA antes de METADATA"));
        haveRows = true;
        return Role::RowData;
    }
    if (parent == Role::Metadata && name == u"FIELDS")
        return Role::Fields;
    if (parent == Role::Metadata && name == u"PARAMS") {
        // Written back as read; a change log is not, as its rows are applied.
        QList<std::pair<QString, QString>> list = namedValues();
        list.removeIf([](const auto &a) { return a.first == u"CHANGE_LOG"; });
        for (const auto &[key, v] : list)
            take(2 * qint64(key.size() + v.size()) + 64);
        packet.setParams(list);
    }
    if (parent == Role::Fields && name == u"FIELD") {
        field();
        return Role::Field;
    }
    // A field holding fields of its own is a table inside the row.
    if (parent == Role::Field && name == u"FIELDS")
        refuseNested(src, fields.back().name, fieldType);
    return Role::Other;
}

void PacketReader::startElement(const xmlChar *local, const xmlChar *prefix, int count,
                                const xmlChar **attributes)
{
    if (count > maxAttributes)
        refuseWide();
    attrs.clear();
    size_t referenced = 0;
    for (const xmlChar **a = attributes; a < attributes + 5 * count; a += 5) {
        const std::string_view value(reinterpret_cast<const char *>(a[3]), size_t(a[4] - a[3]));
        referenced += value.find('&') != std::string_view::npos ? value.size() : 0;
        attrs.append({a[0], a[1], value});
    }
    // Without entity substitution, the parser leaves an "&" that a reference stands for as
    // "&#38;"; any other reference it has resolved.
    scratch.clear();
    scratch.reserve(referenced); // never moves while the values are written into it
    for (Attribute &a : attrs) {
        if (!referenced || a.value.find('&') == std::string_view::npos)
            continue;
        const size_t from = scratch.size();
        for (size_t i = 0; i < a.value.size(); i += a.value.compare(i, 5, "&#38;") == 0 ? 5 : 1)
            scratch += a.value[i];
        a.value = std::string_view(scratch).substr(from);
    }
    if (!open.empty() && open.back() == Role::RowData && !prefix && view(local) == "ROW") {
        row();
        open.push_back(Role::Other);
        return;
    }
    const QString name = qualified(local, prefix);
    if (open.empty()) {
        if (name != u"DATAPACKET")
            fail(src, QStringLiteral("não é um pacote de dados (elemento %1)").arg(name));
        haveRoot = true;
        p = PacketAccess::writable(packet);
    }
    open.push_back(open.empty() ? Role::Root : roleOf(name, open.back()));
}

void PacketReader::field()
{
    const QList<std::pair<QString, QString>> list = namedValues();
    const auto value = [&list](QStringView name) -> std::optional<QString> {
        for (const auto &[key, v] : list)
            if (key == name)
                return v;
        return std::nullopt;
    };
    FieldDef f;
    // The row attribute is attrname; a file may name the field apart, with spaces, in fieldname.
    const std::optional<QString> named = value(u"fieldname");
    const QString attrName = value(u"attrname").value_or(QString());
    f.name = named ? *named : attrName;
    if (named)
        f.attrName = attrName;
    if (attrName.isEmpty() || f.name.isEmpty())
        fail(src, QStringLiteral("FIELD sem attrname (linha %1)").arg(line()));
    for (const auto &[names, name] : {std::pair(&fieldNames, f.name), {&attrNames, attrName}}) {
        if (names->contains(name))
            fail(src, QStringLiteral("campo %1 repetido").arg(name));
        names->insert(name);
    }
    const QString type = fieldType = value(u"fieldtype").value_or(QString());
    if (type.compare(QLatin1StringView("nested"), Qt::CaseInsensitive) == 0)
        refuseNested(src, f.name, type);
    const std::optional<FieldType> known = PacketXml::typeNamed(type);
    if (!known)
        fail(src, QStringLiteral("campo %1 com fieldtype desconhecido \"%2\"").arg(f.name, type));
    f.type = *known;
    const QString subtype = value(u"SUBTYPE").value_or(QString());
    const auto is = [&subtype](const char *s) {
        return subtype.compare(QLatin1StringView(s), Qt::CaseInsensitive) == 0;
    };
    if (f.type == FieldType::Blob && is("Text"))
        f.type = FieldType::Memo;
    const bool decimal = f.type == FieldType::Bcd || f.type == FieldType::FmtBcd;
    const bool sized = f.type == FieldType::String || f.type == FieldType::WideString || decimal;
    const auto number = [&](const QString &v, const char *what) {
        bool ok = false;
        const int n = v.trimmed().toInt(&ok);
        if (!ok || n < 0 || n > maxWidth)
            fail(src, QStringLiteral("campo %1 com %2 inválido")
                          .arg(f.name, QLatin1StringView(what)));
        return n;
    };
    if (const auto width = value(u"WIDTH"); width && sized)
        f.size = number(*width, "WIDTH");
    if (const auto decimals = value(u"DECIMALS"); decimals && decimal)
        f.decimals = number(*decimals, "DECIMALS");
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
    for (const auto &[key, v] : list) {
        if (key == u"attrname" || key == u"fieldname" || key == u"fieldtype"
            || (key == u"WIDTH" && sized) || (key == u"DECIMALS" && decimal)
            || (key == u"SUBTYPE" && subtypeKept))
            continue;
        f.otherAttributes.append({key, v});
        extra += 2 * qint64(key.size() + v.size()) + 64;
    }
    fields.append(f);
    take(qint64(sizeof(FieldDef)) + qint64(sizeof(PacketColumn)) + 4 * f.name.size()
         + 2 * f.attrName.size() + extra);
}

void PacketReader::endMetadata()
{
    p->setColumns(fields);
    for (int c = 0; c < fields.size(); ++c) {
        const FieldDef &f = fields[c];
        columnByName.emplace((f.attrName.isEmpty() ? f.name : f.attrName).toStdString(), c);
        const bool pooled = DataPacketPrivate::pooled(f.type);
        kind.push_back(!pooled ? Cell::Word : isText(f.type) ? Cell::Text : Cell::Decoded);
        rowBytes += pooled ? 2 * sizeof(qint32) : sizeof(qint64) + sizeof(quint8);
    }
    namePointer.assign(size_t(fields.size()), nullptr);
    cells.assign(size_t(fields.size()), nullptr);
}

// The column of a row attribute; -1 for RowState and attributes of no declared field.
int PacketReader::columnOf(const Attribute &a, int guess)
{
    if (a.prefix) {
        const auto hit = columnByName.find(qualified(a.local, a.prefix).toStdString());
        return hit == columnByName.end() ? -1 : hit->second;
    }
    // Attributes usually come in the order of the fields.
    if (size_t(guess) < namePointer.size() && namePointer[size_t(guess)] == a.local)
        return guess;
    if (const auto known = columnByPointer.find(a.local); known != columnByPointer.end())
        return known->second;
    const auto hit = columnByName.find(std::string(view(a.local)));
    const int c = hit == columnByName.end() ? -1 : hit->second;
    columnByPointer.emplace(a.local, c);
    if (c >= 0)
        namePointer[size_t(c)] = a.local;
    return c;
}

// Once a thousand rows are in, the columns are sized for the whole file at the same rate,
// when that fits the budget: each grows once instead of doubling its way there.
void PacketReader::reserveRows()
{
    reserved = true;
    const qint64 done = xmlByteConsumed(ctxt.get());
    if (done <= 0 || !size)
        return;
    const double scale = 1.05 * double(size) / double(done);
    const qint64 rows = qint64(p->rows * scale) + 16;
    qint64 bytes = rows * rowBytes;
    for (const Fill &f : fill)
        bytes += qint64(f.used * scale) * 2;
    if (bytes > left || rows > std::numeric_limits<qint32>::max())
        return;
    growRows(std::max<qsizetype>(rows, rowCapacity));
    for (int c = 0; c < fields.size(); ++c)
        if (Fill &f = fill[size_t(c)]; DataPacketPrivate::pooled(fields[c].type))
            f.pool = reinterpret_cast<char16_t *>(
                grown(p->cols[c].pool, std::max(p->cols[c].pool.size(),
                                                 qsizetype(f.used * scale) + 16)));
}

// What a list holding `sofar` now will hold at the end of the file, at the rate so far; at
// least `least`. Early on, or for a file of unknown size, twice what it holds.
qsizetype PacketReader::forecast(qsizetype sofar, qsizetype least) const
{
    const qint64 done = reserved ? xmlByteConsumed(ctxt.get()) : 0;
    qint64 guess = 2 * sofar;
    if (done > 0 && size > done)
        guess = qint64(double(sofar) * 1.02 * double(size) / double(done)) + 64;
    return std::max<qsizetype>(least, qsizetype(std::min<qint64>(guess, qint64(1) << 40)));
}

void PacketReader::growRows(qsizetype capacity)
{
    fill.resize(size_t(fields.size()));
    for (int c = 0; c < fields.size(); ++c) {
        PacketColumn &col = p->cols[c];
        Fill &f = fill[size_t(c)];
        if (DataPacketPrivate::pooled(fields[c].type)) {
            f.off = grown(col.off, capacity);
            f.len = grown(col.len, capacity);
            if (rowCapacity == 0)
                f.used = col.pool.size();
            f.pool = reinterpret_cast<char16_t *>(col.pool.data());
        } else {
            f.num = grown(col.num, capacity);
            f.null = grown(col.null, capacity);
        }
    }
    rowCapacity = capacity;
}

// The columns as long as their rows again, for what writes through the packet.
void PacketReader::settle()
{
    for (int c = 0; rowCapacity && c < fields.size(); ++c) {
        PacketColumn &col = p->cols[c];
        if (DataPacketPrivate::pooled(fields[c].type)) {
            col.pool.resize(fill[size_t(c)].used);
            col.off.resize(p->rows);
            col.len.resize(p->rows);
        } else {
            col.num.resize(p->rows);
            col.null.resize(p->rows);
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
    if (k == Cell::Word) {
        qint64 w = 0;
        if (a && !fastWord(f.type, a->value, w) && !parseWord(f.type, text(a->value), w))
            return false;
        fl.num[p->rows] = w;
        fl.null[p->rows] = a ? 0 : 1;
        return true;
    }
    if (!a) {
        fl.off[p->rows] = 0;
        fl.len[p->rows] = -1;
        return true;
    }
    // UTF-8 takes at least a byte for each UTF-16 unit, so the pool takes at most `most`.
    const qsizetype at = fl.used, most = qsizetype(a->value.size());
    if (at + most > std::numeric_limits<qint32>::max())
        return false;
    if (at + most > col.pool.size()) {
        fl.pool = reinterpret_cast<char16_t *>(
            grown(col.pool, forecast(at + most, at + most + at / 16 + 16)));
    }
    auto *const out = reinterpret_cast<QChar *>(fl.pool + at);
    qsizetype n;
    if (k == Cell::Decoded) { // never longer than in the file
        QString kept;
        if (!pooledValue(f, a->value, kept))
            return false;
        n = kept.size();
        std::memcpy(out, kept.constData(), size_t(n) * sizeof(char16_t));
    } else {
        // ASCII, most of any packet, widens byte by byte; the rest goes through Qt's decoder.
        const auto *__restrict in = reinterpret_cast<const uchar *>(a->value.data());
        char16_t *__restrict widened = fl.pool + at;
        uchar high = 0;
        for (qsizetype i = 0; i < most; ++i) {
            widened[i] = in[i];
            high |= in[i];
        }
        high &= 0x80;
        n = high ? utf8.appendToBuffer(out, QByteArrayView(a->value.data(), most)) - out : most;
        n = PacketCodec::cut(f, QStringView(out, n)).size();
    }
    take(2 * n);
    fl.used += n;
    fl.off[p->rows] = qint32(at);
    fl.len[p->rows] = qint32(n);
    return true;
}

void PacketReader::row()
{
    // RowState bits: 2 deleted, 8 modified (the changed values of the row before).
    int state = 0, guess = 0;
    for (const Attribute &a : attrs) {
        const int c = columnOf(a, guess);
        if (c >= 0) {
            guess = c + 1;
            cells[size_t(c)] = &a;
            given.push_back(c);
        } else if (!a.prefix && view(a.local) == "RowState") {
            bool ok = false;
            state = text(a.value).trimmed().toInt(&ok);
            if (!ok)
                fail(src, QStringLiteral("RowState inválido na linha %1").arg(line()));
        }
    }
    const auto bad = [&](int c) {
        // The packet is dropped whole, so a half-appended row does not matter.
        fail(src, QStringLiteral("valor \"%1\" inválido para o campo %2 (%3) na linha %4")
                      .arg(text(cells[size_t(c)]->value).left(60), fields[c].name,
                           PacketXml::typeName(fields[c].type))
                      .arg(line()));
    };
    if ((state & 8) && !(state & 2) && p->rows > 0) {
        settle();
        for (const int c : given) {
            const FieldDef &f = fields[c];
            const QString v = text(cells[size_t(c)]->value);
            take(2 * v.size());
            QString kept;
            qint64 w = 0;
            if (kind[size_t(c)] == Cell::Text)
                p->setText(p->rows - 1, c, PacketCodec::cut(f, v));
            else if (kind[size_t(c)] == Cell::Decoded
                     && pooledValue(f, cells[size_t(c)]->value, kept))
                p->setText(p->rows - 1, c, kept);
            else if (kind[size_t(c)] == Cell::Word && parseWord(f.type, v, w))
                p->setNumber(p->rows - 1, c, w);
            else
                bad(c);
        }
    } else if (!(state & 2)) {
        take(rowBytes);
        if (p->rows >= rowCapacity)
            growRows(forecast(p->rows + 1, p->rows + p->rows / 16 + 1));
        for (int c = 0; c < fields.size(); ++c)
            if (!appendCell(c, cells[size_t(c)]))
                bad(c);
        if (++p->rows == 1024 && !reserved)
            reserveRows();
    }
    for (const int c : given)
        cells[size_t(c)] = nullptr;
    given.clear();
}

// Whether the start of a file says in which encoding it is: a byte order mark, UTF-16 by the
// look of its "<", or an XML declaration that names one.
bool encodingDeclared(QByteArrayView head)
{
    const qsizetype end = head.indexOf("?>");
    return head.startsWith("\xEF\xBB\xBF") || head.startsWith("\xFF\xFE")
           || head.startsWith("\xFE\xFF") || head.startsWith(QByteArrayView("<\0", 2))
           || head.startsWith(QByteArrayView("\0<", 2))
           || (head.startsWith("<?xml")
               && head.first(end < 0 ? head.size() : end).contains("encoding"));
}

} // namespace

DataPacket PacketXml::read(QIODevice *device, const QByteArray &bytes, qint64 size,
                           const QString &source)
{
    const QByteArray head = device ? device->peek(4096) : bytes.left(4096);
    // libxml2 does not read UTF-32: a file in it is refused rather than read wrong.
    for (const char *utf32 : {"\0\0\xFE\xFF", "\xFF\xFE\0\0", "\0\0\0<", "<\0\0\0"})
        if (head.startsWith(QByteArrayView(utf32, 4)))
            fail(source, QStringLiteral("arquivo em UTF-32, que não é lido; grave-o em UTF-8"));
    PacketReader utf8(size, source);
    try {
        return utf8.read(device, bytes, nullptr);
    } catch (const Exception &) {
        // A file that does not say its encoding and is not UTF-8 was written in the code page
        // of the terminals: it is read again as such.
        if (encodingDeclared(head) || !utf8.notUtf8())
            throw;
    }
    if (device && !device->seek(0))
        fail(source, QStringLiteral("erro de leitura (%1)").arg(device->errorString()));
    return PacketReader(size, source).read(device, bytes, "windows-1252");
}
