// The XML file form of a data packet: writing it, and opening the files it is read from (the
// reader is packetreader.cpp).
#include "datapacket.h"

#include "datapacket_p.h"
#include "exception.h"
#include "groupfiles.h"

#include <QDate>
#include <QFile>
#include <QSaveFile>

#include <bit>
#include <charconv>
#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct TypeName
{
    QLatin1StringView name;
    FieldType type;
};

// The fieldtype each type is written with, and read from.
const TypeName typeNames[] = {
    {QLatin1StringView("string"), FieldType::String},
    {QLatin1StringView("string.uni"), FieldType::WideString},
    {QLatin1StringView("i2"), FieldType::SmallInt}, {QLatin1StringView("i4"), FieldType::Integer},
    {QLatin1StringView("i8"), FieldType::LargeInt}, {QLatin1StringView("r8"), FieldType::Float},
    {QLatin1StringView("boolean"), FieldType::Boolean},
    {QLatin1StringView("date"), FieldType::Date}, {QLatin1StringView("time"), FieldType::Time},
    {QLatin1StringView("dateTime"), FieldType::DateTime},
    {QLatin1StringView("i1"), FieldType::ShortInt}, {QLatin1StringView("ui1"), FieldType::Byte},
    {QLatin1StringView("ui2"), FieldType::Word}, {QLatin1StringView("ui4"), FieldType::LongWord},
    {QLatin1StringView("r4"), FieldType::Single}, {QLatin1StringView("fixed"), FieldType::Bcd},
    {QLatin1StringView("fixedFMT"), FieldType::FmtBcd},
    // SUBTYPE="Text" makes a memo of it, any other a blob.
    {QLatin1StringView("bin.hex"), FieldType::Blob},
    {QLatin1StringView("bin.hex"), FieldType::Memo},
    // Written elsewhere; read as the nearest type we keep.
    {QLatin1StringView("SQLdateTime"), FieldType::DateTime},
};


// Far above a 200,000-product cache (45 MB); what is larger is no cache of ours.
constexpr qint64 maxFileSize = qint64(1) << 30;

[[noreturn]] void fail(const QString &src, const QString &problem)
{
    throw Exception(QStringLiteral("%1: %2").arg(src, problem));
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
                // Tab, newline and return survive attribute normalisation only as references,
                // of three digits as other programs write them; other control characters are
                // not allowed in XML at all.
                if (c == u'\t' || c == u'\n' || c == u'\r') {
                    std::snprintf(buf, sizeof buf, "&#%03d;", int(c));
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

// The fewest digits that read back as the same float.
void appendSingle(QByteArray &out, float v)
{
    char buf[32];
    const auto end = std::to_chars(buf, buf + sizeof buf, v).ptr;
    out.append(buf, end - buf);
}

bool blank(QByteArrayView bytes)
{
    for (const char c : bytes)
        if (!QChar::isSpace(uchar(c)))
            return false;
    return true;
}

} // namespace

QLatin1StringView PacketXml::typeName(FieldType t)
{
    for (const TypeName &n : typeNames)
        if (n.type == t)
            return n.name;
    return QLatin1StringView("string");
}

std::optional<FieldType> PacketXml::typeNamed(QStringView name)
{
    for (const TypeName &n : typeNames)
        if (name.compare(n.name, Qt::CaseInsensitive) == 0)
            return n.type;
    return std::nullopt;
}


DataPacket DataPacket::fromXml(const QByteArray &bytes, const QString &sourceName)
{
    const QString src = sourceName.isEmpty() ? QStringLiteral("pacote de dados") : sourceName;
    if (blank(bytes))
        fail(src, QStringLiteral("arquivo vazio"));
    return PacketXml::read(nullptr, bytes, bytes.size(), src);
}

namespace {

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
    const QByteArray head = file.peek(4096);
    if (head.size() < 4096 && blank(head))
        fail(path, QStringLiteral("arquivo vazio"));
    DataPacket packet = PacketXml::read(&file, QByteArray(), size, path);
    if (file.error() != QFileDevice::NoError)
        fail(path, QStringLiteral("erro de leitura (%1)").arg(file.errorString()));
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
    const auto attribute = [&out](QByteArrayView name, QStringView value) {
        out.append(' ').append(name).append("=\"");
        appendEscaped(out, value);
        out.append('"');
    };
    for (const FieldDef &f : p->fields) {
        QByteArray name;
        appendEscaped(name, f.attrName.isEmpty() ? f.name : f.attrName);
        names.append(name);
        out.append("<FIELD attrname=\"").append(name).append('"');
        if (!f.attrName.isEmpty())
            attribute("fieldname", f.name);
        out.append(" fieldtype=\"");
        const QLatin1StringView type = PacketXml::typeName(f.type);
        out.append(type.data(), type.size()).append('"');
        const bool decimal = f.type == FieldType::Bcd || f.type == FieldType::FmtBcd;
        if ((isText(f.type) || decimal) && f.size > 0)
            out.append(" WIDTH=\"").append(QByteArray::number(f.size)).append('"');
        if (decimal && f.decimals > 0)
            out.append(" DECIMALS=\"").append(QByteArray::number(f.decimals)).append('"');
        if (isText(f.type) && f.fixed)
            out.append(" SUBTYPE=\"FixedChar\"");
        if (f.type == FieldType::Float && f.currency)
            out.append(" SUBTYPE=\"Money\"");
        if (f.type == FieldType::Memo)
            out.append(" SUBTYPE=\"Text\"");
        if (f.type == FieldType::Blob && !f.subtype.isEmpty())
            attribute("SUBTYPE", f.subtype);
        for (const auto &[key, value] : f.otherAttributes)
            attribute(key.toUtf8(), value);
        out.append("/>\n");
    }
    out.append("</FIELDS><PARAMS");
    for (const auto &[key, value] : p->params)
        attribute(key.toUtf8(), value);
    out.append("/></METADATA><ROWDATA>\n");
    for (int r = 0; r < p->rows; ++r) {
        out.append("<ROW");
        for (int c = 0; c < p->fields.size(); ++c) {
            const PacketColumn &col = p->cols[c];
            const FieldType t = p->fields[c].type;
            const bool pooled = DataPacketPrivate::pooled(t);
            if (pooled ? col.len[r] < 0 : col.null[r] != 0)
                continue; // a missing attribute is null
            out.append(' ').append(names[c]).append("=\"");
            const qint64 w = pooled ? 0 : col.num[r];
            const QStringView text =
                pooled ? QStringView(col.pool).mid(col.off[r], col.len[r]) : QStringView();
            switch (t) {
            case FieldType::Memo:
                appendEscaped(out, text);
                break;
            case FieldType::String:
            case FieldType::WideString: {
                appendEscaped(out, text);
                const FieldDef &f = p->fields[c];
                if (f.fixed && col.len[r] < f.size)
                    out.append(f.size - col.len[r], ' '); // written padded, as it reads
                break;
            }
            case FieldType::Bcd:
            case FieldType::FmtBcd:
                out.append(text.toLatin1());
                break;
            case FieldType::Blob:
                out.append(text.toLatin1().toBase64());
                break;
            case FieldType::SmallInt:
            case FieldType::Integer:
            case FieldType::LargeInt:
            case FieldType::ShortInt:
            case FieldType::Byte:
            case FieldType::Word:
            case FieldType::LongWord:
                out.append(QByteArray::number(w));
                break;
            case FieldType::Float:
                out.append(QByteArray::number(std::bit_cast<double>(w), 'g',
                                              QLocale::FloatingPointShortest));
                break;
            case FieldType::Single:
                appendSingle(out, float(std::bit_cast<double>(w)));
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
    shareWithFolderGroup(path);
}
