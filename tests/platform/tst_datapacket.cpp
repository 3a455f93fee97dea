#include "datapacket.h"
#include "exception.h"
#include "testenv.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <optional>

#include <sys/stat.h>

namespace {

const QByteArray head = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                        "<DATAPACKET Version=\"2.0\"><METADATA><FIELDS>\n";

// A packet of the house form with the given field and row lines.
QByteArray packet(const QByteArray &fields, const QByteArray &rows)
{
    return head + fields + "</FIELDS><PARAMS/></METADATA><ROWDATA>\n" + rows
           + "</ROWDATA></DATAPACKET>\n";
}

const QByteArray sampleFields =
    "<FIELD attrname=\"CDPRODUTO\" fieldtype=\"string\" WIDTH=\"10\"/>\n"
    "<FIELD attrname=\"QTTARAPROD\" fieldtype=\"r8\"/>\n"
    "<FIELD attrname=\"DTINIVGPROMOC\" fieldtype=\"dateTime\"/>\n"
    "<FIELD attrname=\"DTMOVIMCAIXA\" fieldtype=\"date\"/>\n"
    "<FIELD attrname=\"IDTIPOIMPFIS\" fieldtype=\"i4\"/>\n"
    "<FIELD attrname=\"IDATIVO\" fieldtype=\"boolean\"/>\n";

QString messageOf(const QByteArray &bytes, const QString &name = QStringLiteral("x.cds"))
{
    try {
        DataPacket::fromXml(bytes, name);
    } catch (const Exception &e) {
        return e.Message();
    }
    return QString();
}

// The attributes of each `element` of a packet, in the order of the file.
QList<QMap<QString, QString>> attributesOf(const QByteArray &bytes, QStringView element)
{
    QList<QMap<QString, QString>> list;
    QXmlStreamReader xml(bytes);
    while (xml.readNext() != QXmlStreamReader::Invalid && !xml.atEnd()) {
        if (!xml.isStartElement() || xml.name() != element)
            continue;
        QMap<QString, QString> &attributes = list.emplace_back();
        for (const QXmlStreamAttribute &a : xml.attributes())
            attributes.insert(a.name().toString(), a.value().toString());
    }
    return list;
}

// UTF-8 as it is: a leading U+FEFF is a character of the text.
QString fromUtf8(const xmlChar *text)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    return utf8(QByteArrayView(reinterpret_cast<const char *>(text)));
}

using Row = QMap<QString, QString>;

// The rows of a packet as libxml2 itself reads the file, each ROW's attributes by name, the
// change log applied; nothing when libxml2 finds the file not well-formed.
std::optional<QList<Row>> rowsByLibxml2(const QByteArray &bytes, const char *encoding = nullptr)
{
    xmlDocPtr doc = xmlReadMemory(bytes.constData(), int(bytes.size()), nullptr, encoding,
                                  XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    if (!doc)
        return std::nullopt;
    QList<Row> rows;
    for (xmlNodePtr part = xmlDocGetRootElement(doc)->children; part; part = part->next) {
        if (part->type != XML_ELEMENT_NODE || xmlStrcmp(part->name, BAD_CAST "ROWDATA") != 0)
            continue;
        for (xmlNodePtr row = part->children; row; row = row->next) {
            if (row->type != XML_ELEMENT_NODE || xmlStrcmp(row->name, BAD_CAST "ROW") != 0)
                continue;
            Row values;
            for (xmlAttrPtr a = row->properties; a; a = a->next) {
                xmlChar *value = xmlNodeListGetString(doc, a->children, 1);
                values.insert(fromUtf8(a->name), value ? fromUtf8(value) : QString());
                xmlFree(value);
            }
            const int state = values.take(QStringLiteral("RowState")).toInt();
            if (state & 2)
                continue;
            if ((state & 8) && !rows.isEmpty())
                rows.last().insert(values);
            else
                rows.append(values);
        }
    }
    xmlFreeDoc(doc);
    return rows;
}

// Each value we read is the one libxml2 reads for its row and attribute: text character for
// character, blobs byte for byte, fixed-point digit for digit, numbers by value, and every
// other value null exactly where the attribute is missing.
void compareWithLibxml2(const DataPacket &p, const QList<Row> &rows)
{
    QCOMPARE(p.rowCount(), rows.size());
    for (int r = 0; r < p.rowCount(); ++r) {
        for (int c = 0; c < p.fieldCount(); ++c) {
            const FieldDef &f = p.fields()[c];
            const auto given = rows[r].find(f.attrName.isEmpty() ? f.name : f.attrName);
            const QVariant ours = p.value(r, c);
            QVERIFY2((given == rows[r].end()) == p.isNull(r, c), qPrintable(f.name));
            if (given == rows[r].end())
                continue;
            bool ok = true;
            if (isText(f.type))
                QCOMPARE(ours, DataPacket::coerce(f, *given));
            else if (f.type == FieldType::Blob)
                QCOMPARE(ours.toByteArray(), QByteArray::fromBase64(given->toLatin1()));
            else if (f.type == FieldType::Bcd || f.type == FieldType::FmtBcd)
                QCOMPARE(ours.toString(), given->trimmed());
            else if (f.type == FieldType::Single)
                QCOMPARE(ours.toFloat(), QLocale::c().toFloat(given->trimmed(), &ok));
            else if (isNumber(f.type))
                QCOMPARE(ours.toDouble(), QLocale::c().toDouble(given->trimmed(), &ok));
            QVERIFY(ok);
        }
    }
}

// A packet of one text column whose rows hold `text` (its characters of several bytes each),
// after `shift` characters of ASCII, enough rows to take a megabyte in any encoding.
QString packetOfText(const QString &text, int shift, const QString &declaration)
{
    QString xml = declaration + QString(shift, u' ')
                  + QStringLiteral("<DATAPACKET Version=\"2.0\"><METADATA><FIELDS>"
                                   "<FIELD attrname=\"N\" fieldtype=\"string.uni\"/>"
                                   "</FIELDS></METADATA><ROWDATA>\n");
    for (int i = 0; xml.size() < (1 << 20); ++i)
        xml += QStringLiteral("<ROW N=\"%1%2\"/>\n").arg(i).arg(text.repeated(20 + i % 13));
    return xml + QStringLiteral("</ROWDATA></DATAPACKET>\n");
}

} // namespace

class TestDataPacket : public QObject
{
    Q_OBJECT
private slots:
    void readsTheHouseFormWithNullsAndTypes();
    void writesWhatItReadsAndKeepsFixedText();
    void changeLogRowsFlaggedDeletedAreNotData();
    void undeclaredBytesThatAreNotUtf8AreWindows1252();
    void readsWhatLibxml2Reads_data();
    void readsWhatLibxml2Reads();
    void namesFollowTheRulesOfXml_data();
    void namesFollowTheRulesOfXml();
    void badInputIsAClearException_data();
    void badInputIsAClearException();
    void unreadableFilesNameTheFile();
    void copiesShareRowsUntilWritten();
    void largeFileIsReadAnewAtEveryLoad();
    void craftedFilesLoadOrNameTheFile_data();
    void craftedFilesLoadOrNameTheFile();
    void packetsOfOtherProgramsWriteBackAsRead_data();
    void packetsOfOtherProgramsWriteBackAsRead();
};

// The sample of the house plan: every type reads to its value, "." decimals whatever the
// locale, dates with and without time, and a missing attribute is null.
void TestDataPacket::readsTheHouseFormWithNullsAndTypes()
{
    QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
    const DataPacket p = DataPacket::fromXml(packet(sampleFields,
        "<ROW CDPRODUTO=\"0001\" QTTARAPROD=\"0.5\" DTINIVGPROMOC=\"20240131T10:11:12000\" "
        "DTMOVIMCAIXA=\"20240131\" IDTIPOIMPFIS=\"1\" IDATIVO=\"TRUE\"/>\n"
        "<ROW CDPRODUTO=\"&#80;&lt;&amp;\" DTINIVGPROMOC=\"20240229\" IDATIVO=\"false\" "
        "QTTARAPROD=\"-1.5E3\"/>\n"));
    QCOMPARE(p.fieldCount(), 6);
    QCOMPARE(p.fields()[0], (FieldDef{"CDPRODUTO", FieldType::String, 10}));
    QCOMPARE(p.rowCount(), 2);
    QCOMPARE(p.value(0, 0), QVariant("0001"));
    QCOMPARE(p.value(0, 1).toDouble(), 0.5);
    QCOMPARE(p.value(0, 2).toDateTime(), QDateTime(QDate(2024, 1, 31), QTime(10, 11, 12)));
    QCOMPARE(p.value(0, 3).toDate(), QDate(2024, 1, 31));
    QCOMPARE(p.value(0, 4).toInt(), 1);
    QCOMPARE(p.value(0, 5).toBool(), true);
    QCOMPARE(p.value(1, 0), QVariant("P<&"));
    QCOMPARE(p.value(1, 1).toDouble(), -1500.0);
    QCOMPARE(p.value(1, 2).toDateTime(), QDateTime(QDate(2024, 2, 29), QTime(0, 0)));
    QVERIFY(p.isNull(1, 3));
    QVERIFY(!p.value(1, 4).isValid());
    QCOMPARE(p.value(1, 5).toBool(), false);
    QCOMPARE(p.indexOf("IDTIPOIMPFIS"), 4);
    QCOMPARE(p.indexOf("idtipoimpfis"), -1);
}

// What we write we read back identically, with text cut to WIDTH, fixed text padded, and
// control characters, quotes and non-ASCII text surviving the attribute form.
void TestDataPacket::writesWhatItReadsAndKeepsFixedText()
{
    FieldDef fixed{"NRCUPOMFIS", FieldType::String, 6, true};
    FieldDef money{"VRTOT", FieldType::Float, 0, false, true};
    DataPacket p({fixed, FieldDef{"NM", FieldType::WideString, 40}, money,
                  FieldDef{"HR", FieldType::Time}, FieldDef{"N8", FieldType::LargeInt},
                  FieldDef{"N2", FieldType::SmallInt}});
    p.appendRow({"12", "a\tb\nc\"d' é ü €", 1e-7, QTime(23, 59, 59, 999),
                 qlonglong(1) << 40, -7});
    p.appendRow({"1234567890", QString(), 123456789.125, QVariant(), QVariant(), QVariant()});
    QCOMPARE(p.value(0, 0), QVariant("12    "));
    QCOMPARE(p.value(1, 0), QVariant("123456"));
    const DataPacket back = DataPacket::fromXml(p.toXml(), "mem");
    QCOMPARE(back.fields(), p.fields());
    QCOMPARE(back.rowCount(), 2);
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < p.fieldCount(); ++c)
            QCOMPARE(back.value(r, c), p.value(r, c));
    QCOMPARE(back.toXml(), p.toXml());
    QVERIFY_THROWS_EXCEPTION(Exception, p.setValue(0, 5, 70000));
    QVERIFY_THROWS_EXCEPTION(Exception, p.appendRow({"x"}));
    QVERIFY_THROWS_EXCEPTION(Exception, p.appendRow({"x", "y", "no number", {}, {}, {}}));
    QCOMPARE(p.rowCount(), 2);
}

// Files written elsewhere may carry a change log: deleted rows are dropped, a modified row
// overlays the one before it, and PARAMS and unknown attributes do no harm.
void TestDataPacket::changeLogRowsFlaggedDeletedAreNotData()
{
    const QByteArray bytes = head
        + "<FIELD attrname=\"C\" fieldtype=\"string\" WIDTH=\"5\"><PARAM Name=\"x\"/></FIELD>"
          "<FIELD attrname=\"V\" fieldtype=\"R8\"/></FIELDS>"
          "<PARAMS CHANGE_LOG=\"1 0 4 2 0 8\" LCID=\"1046\"/></METADATA><ROWDATA>"
          "<ROW RowState=\"4\" C=\"a\" V=\"1\"/>"
          "<ROW RowState=\"2\" C=\"gone\"/>"
          "<ROW RowState=\"1\" C=\"b\" V=\"2\" EXTRA=\"?\"/>"
          "<ROW RowState=\"8\" V=\"3\"/>"
          "</ROWDATA></DATAPACKET>";
    const DataPacket p = DataPacket::fromXml(bytes);
    QCOMPARE(p.rowCount(), 2);
    QCOMPARE(p.value(0, 0), QVariant("a"));
    QCOMPARE(p.value(1, 0), QVariant("b"));
    QCOMPARE(p.value(1, 1).toDouble(), 3.0);
}

// Old caches were written in the terminal's code page without saying so: bytes that are not
// UTF-8 read as Windows-1252, while valid UTF-8 and declared encodings are honoured.
void TestDataPacket::undeclaredBytesThatAreNotUtf8AreWindows1252()
{
    const QByteArray body = "<DATAPACKET Version=\"2.0\"><METADATA><FIELDS>"
                            "<FIELD attrname=\"N\" fieldtype=\"string\" WIDTH=\"20\"/>"
                            "</FIELDS></METADATA><ROWDATA><ROW N=\"%1\"/></ROWDATA></DATAPACKET>";
    QByteArray cp = body;
    cp.replace("%1", "P\xC3O \x80 \x93ok\x94");
    QCOMPARE(DataPacket::fromXml(cp).value(0, 0),
             QVariant(QStringLiteral("PÃO € \u201Cok\u201D")));
    QByteArray utf = body;
    utf.replace("%1", "P\xC3\x83O");
    QCOMPARE(DataPacket::fromXml(utf).value(0, 0), QVariant(QStringLiteral("PÃO")));
    QByteArray latin = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>" + body;
    latin.replace("%1", "P\xC3O");
    QCOMPARE(DataPacket::fromXml(latin).value(0, 0), QVariant(QStringLiteral("PÃO")));

    // The same through a file, where the check runs in chunks.
    QTemporaryDir dir;
    QFile f(dir.filePath("cp.cds"));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(cp);
    f.close();
    QCOMPARE(DataPacket::loadFromFile(f.fileName()).value(0, 0),
             QVariant(QStringLiteral("PÃO € \u201Cok\u201D")));
}

void TestDataPacket::readsWhatLibxml2Reads_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("loads"); // false: refused by a rule of packets, not of XML

    for (const char *folder : {"data", "../fuzz/corpus"}) {
        QDirIterator files(QFINDTESTDATA(folder), {QStringLiteral("*.cds")});
        while (files.hasNext()) {
            QFile f(files.next());
            QVERIFY(f.open(QIODevice::ReadOnly));
            const bool refused = f.fileName().endsWith(u"/nested.cds")
                                 || f.fileName().endsWith(u"/entities.cds");
            QTest::addRow("%s/%s", folder, qPrintable(files.fileName())) << f.readAll()
                                                                          << !refused;
        }
    }
    // Large files whose characters of two, three and four bytes (a surrogate pair in UTF-16)
    // are shifted byte by byte, so that wherever the file is cut into pieces, each of them is
    // cut at each of its bytes in some variant.
    const QString mixed = QStringLiteral("Ã€\U0001F600");
    for (int shift = 0; shift < 9; ++shift)
        QTest::addRow("UTF-8, shifted %d", shift)
            << packetOfText(mixed, shift, QString()).toUtf8() << true;
    for (const char *utf16 : {"UTF-16LE", "UTF-16BE"}) {
        for (int shift = 0; shift < 4; ++shift) {
            QStringEncoder encoder(utf16, QStringEncoder::Flag::WriteBom);
            QTest::addRow("%s, shifted %d", utf16, shift)
                << QByteArray(encoder(packetOfText(mixed, shift, QString()))) << true;
        }
    }
    // Each encoding a file may declare, with text of its own.
    const struct
    {
        const char *name;
        QString text;
    } declared[] = {
        {"ISO-8859-1", QStringLiteral("PÃO ÇÉÑ ")},
        {"ISO-8859-15", QStringLiteral("PÃO € ŠŒ ")},
        {"windows-1252", QStringLiteral("PÃO € \u201Cok\u201D ")},
        {"US-ASCII", QStringLiteral("PAO 'ok' ")},
        {"GB18030", QStringLiteral("面包 \U0001F600 ")},
        {"Big5", QStringLiteral("麵包 ")},
        {"Shift_JIS", QStringLiteral("パン ")},
    };
    for (const auto &[name, text] : declared) {
        const QString xml = packetOfText(
            text, 0, QStringLiteral("<?xml version=\"1.0\" encoding=\"%1\"?>\n").arg(name));
        QStringEncoder encoder(name);
        QVERIFY(encoder.isValid());
        QTest::addRow("%s, declared", name) << QByteArray(encoder(xml)) << true;
    }
    // Written in the terminals' code page without saying so; found not UTF-8 only at its end.
    QTest::newRow("Windows-1252, undeclared")
        << packetOfText(QStringLiteral("PÃO É "), 0, QString())
               .toLatin1()
               .replace("</ROWDATA>", "<ROW N=\"\x80\x93\"/></ROWDATA>")
        << true;
}

// For every file of the test data and of the fuzzer's corpus, and for large files in each
// encoding we read, the values loaded are those libxml2 itself reads from the file, through a
// file and from memory alike: no character is lost or changed where the pieces the file is
// read in meet, nor by the encoding.
void TestDataPacket::readsWhatLibxml2Reads()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, loads);
    std::optional<QList<Row>> rows = rowsByLibxml2(bytes);
    if (!rows) // the terminals' code page, where a file says no encoding and is not UTF-8
        rows = rowsByLibxml2(bytes, "windows-1252");
    QVERIFY(rows || !loads);
    if (!loads) {
        QVERIFY_THROWS_EXCEPTION(Exception, DataPacket::fromXml(bytes));
        return;
    }
    QTemporaryDir dir;
    QFile f(dir.filePath(QStringLiteral("Produtos.cds")));
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
    f.close();
    try {
        const DataPacket fromFile = DataPacket::loadFromFile(f.fileName());
        compareWithLibxml2(fromFile, *rows);
        QCOMPARE(DataPacket::fromXml(bytes).toXml(), fromFile.toXml());
    } catch (const Exception &e) {
        QFAIL(qPrintable(e.Message()));
    }
}

void TestDataPacket::badInputIsAClearException_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("problem");
    const QByteArray good = packet(sampleFields, "<ROW CDPRODUTO=\"1\" QTTARAPROD=\"2\"/>\n");
    QTest::newRow("empty") << QByteArray() << "vazio";
    QTest::newRow("blank") << QByteArray(" \n\t ") << "vazio";
    QTest::newRow("truncated") << good.left(good.size() - 30) << "truncado";
    QTest::newRow("cut in a tag") << good.left(head.size() + 20) << "truncado";
    QTest::newRow("malformed") << QByteArray(good).replace("<ROW ", "<ROW <") << "XML";
    QTest::newRow("unclosed row") << QByteArray(good).replace("\"2\"/>", "\"2\">") << "XML";
    QTest::newRow("garbage after")
        << good + "<x/>" << "XML";
    QTest::newRow("not xml") << QByteArray("CDPRODUTO;NMPRODUTO\n1;Pão\n") << "XML";
    QTest::newRow("other xml")
        << QByteArray("<?xml version=\"1.0\"?><html><body/></html>") << "não é um pacote";
    QTest::newRow("no metadata")
        << QByteArray("<DATAPACKET Version=\"2.0\"></DATAPACKET>") << "METADATA";
    QTest::newRow("no attrname")
        << packet("<FIELD fieldtype=\"string\" WIDTH=\"3\"/>", "") << "attrname";
    QTest::newRow("unknown type")
        << packet("<FIELD attrname=\"A\" fieldtype=\"blob.x\"/>", "") << "blob.x";
    QTest::newRow("bad width")
        << packet("<FIELD attrname=\"A\" fieldtype=\"string\" WIDTH=\"-1\"/>", "") << "WIDTH";
    QTest::newRow("huge width")
        << packet("<FIELD attrname=\"A\" fieldtype=\"string\" WIDTH=\"999999999\" "
                  "SUBTYPE=\"FixedChar\"/>", "") << "WIDTH";
    QTest::newRow("twice")
        << packet("<FIELD attrname=\"A\" fieldtype=\"i4\"/>"
                  "<FIELD attrname=\"A\" fieldtype=\"i4\"/>", "") << "repetido";
    QTest::newRow("bad float")
        << packet(sampleFields, "<ROW QTTARAPROD=\"0,5\"/>") << "QTTARAPROD";
    QTest::newRow("nan") << packet(sampleFields, "<ROW QTTARAPROD=\"nan\"/>") << "QTTARAPROD";
    QTest::newRow("bad int")
        << packet(sampleFields, "<ROW IDTIPOIMPFIS=\"1x\"/>") << "IDTIPOIMPFIS";
    QTest::newRow("int overflow")
        << packet(sampleFields, "<ROW IDTIPOIMPFIS=\"99999999999\"/>") << "IDTIPOIMPFIS";
    QTest::newRow("bad date")
        << packet(sampleFields, "<ROW DTMOVIMCAIXA=\"20240230\"/>") << "DTMOVIMCAIXA";
    QTest::newRow("bad datetime")
        << packet(sampleFields, "<ROW DTINIVGPROMOC=\"20240131T25:00:00000\"/>")
        << "DTINIVGPROMOC";
    QTest::newRow("bad bool")
        << packet(sampleFields, "<ROW IDATIVO=\"S\"/>") << "IDATIVO";
    QTest::newRow("bad rowstate")
        << packet(sampleFields, "<ROW RowState=\"x\"/>") << "RowState";
    QTest::newRow("i1 past 127")
        << packet("<FIELD attrname=\"NRLUGAR\" fieldtype=\"i1\"/>", "<ROW NRLUGAR=\"128\"/>")
        << "NRLUGAR";
    QTest::newRow("ui4 below 0")
        << packet("<FIELD attrname=\"NRSERIE\" fieldtype=\"ui4\"/>", "<ROW NRSERIE=\"-1\"/>")
        << "NRSERIE";
    QTest::newRow("r4 past a float")
        << packet("<FIELD attrname=\"PC\" fieldtype=\"r4\"/>", "<ROW PC=\"1e39\"/>") << "PC";
    QTest::newRow("fixed with a comma")
        << packet("<FIELD attrname=\"VR\" fieldtype=\"fixed\" WIDTH=\"8\" DECIMALS=\"2\"/>",
                  "<ROW VR=\"1,50\"/>")
        << "VR";
    QTest::newRow("fields inside a field")
        << packet("<FIELD attrname=\"ITENS\" fieldtype=\"i4\"><FIELDS/></FIELD>", "")
        << "ITENS";
    QTest::newRow("blob not base64")
        << packet("<FIELD attrname=\"ARQ\" fieldtype=\"bin.hex\" SUBTYPE=\"Binary\"/>",
                  "<ROW ARQ=\"não*\"/>")
        << "ARQ";
    QTest::newRow("RowState after a U+FEFF")
        << packet(sampleFields, "<ROW RowState=\"&#xFEFF;2\" CDPRODUTO=\"1\"/>") << "RowState";

    // Bytes that are not in the encoding the file declares, or no character at all.
    const QString text = QString::fromUtf8(packet(sampleFields, "<ROW CDPRODUTO=\"@\"/>"));
    const auto encoded = [&text](const char *encoding, QByteArrayView at, QByteArrayView bad) {
        QString declared = text;
        declared.replace(QLatin1StringView("UTF-8"), QLatin1StringView(encoding));
        QStringEncoder encoder(encoding, QStringEncoder::Flag::WriteBom);
        return QByteArray(encoder(declared)).replace(at, bad);
    };
    QTest::newRow("US-ASCII with a byte beyond it")
        << encoded("US-ASCII", "@", "\x80") << "XML inválido na linha 10, coluna 17:";
    QTest::newRow("GB18030 with a byte that starts no character")
        << encoded("GB18030", "@", "\xFF") << "XML inválido na linha 10, coluna 17:";
    QTest::newRow("Big5 cut inside a character")
        << encoded("Big5", "@", "\xA4") << "XML inválido na linha 10, coluna 17:";
    QTest::newRow("UTF-16 with a lone surrogate")
        << encoded("UTF-16LE", QByteArrayView("@\0", 2), QByteArrayView("\0\xD8", 2))
        << "XML inválido na linha 10, coluna 17:";
    QTest::newRow("UTF-32 beyond U+10FFFF")
        << encoded("UTF-32LE", QByteArrayView("@\0\0\0", 4), QByteArrayView("\0\0\x11\0", 4))
        << "UTF-32";
}

// Each damaged input is refused with the source's name and what is wrong, never a crash or a
// packet with part of the rows.
void TestDataPacket::badInputIsAClearException()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, problem);
    const QString msg = messageOf(bytes, "Produtos.cds");
    QVERIFY2(msg.startsWith("Produtos.cds: "), qPrintable(msg));
    QVERIFY2(msg.contains(problem), qPrintable(msg));
}

void TestDataPacket::namesFollowTheRulesOfXml_data()
{
    QTest::addColumn<QString>("name"); // of the field and of its row attribute
    QTest::addColumn<bool>("loads");
    QTest::newRow("ordinal indicator") << QStringLiteral("Nª") << false;
    QTest::newRow("micro sign") << QStringLiteral("Nµ") << false;
    QTest::newRow("masculine ordinal") << QStringLiteral("Nº") << false;
    QTest::newRow("undertie") << QStringLiteral("N\u203FCUPOM") << true;
    QTest::newRow("starting with U+FEFF") << QStringLiteral("\uFEFFCUPOM") << true;
}

// Names are XML's: a character XML does not allow in a name is refused, one it allows is read,
// and a name and a value starting with U+FEFF keep it, so that a field and its values are
// found as written.
void TestDataPacket::namesFollowTheRulesOfXml()
{
    QFETCH(QString, name);
    QFETCH(bool, loads);
    const QByteArray bytes =
        packet("<FIELD attrname=\"" + name.toUtf8() + "\" fieldtype=\"string\" WIDTH=\"9\"/>",
               "<ROW " + name.toUtf8() + "=\"&#xFEFF;12\"/>");
    const QString msg = messageOf(bytes);
    QVERIFY2(msg.contains(u"XML inválido") != loads, qPrintable(msg));
    if (!loads)
        return;
    const DataPacket p = DataPacket::fromXml(bytes);
    QCOMPARE(p.fields().value(0).name, name);
    QCOMPARE(p.value(0, 0), QVariant(QStringLiteral("\uFEFF12")));
}

// Missing, unreadable and directory paths fail naming the path; a file read from disk gives
// the same packet as its bytes.
void TestDataPacket::unreadableFilesNameTheFile()
{
    QTemporaryDir dir;
    const QString missing = dir.filePath("none.cds");
    for (const QString &path : {missing, dir.path()}) {
        try {
            DataPacket::loadFromFile(path);
            QFAIL("should fail");
        } catch (const Exception &e) {
            QVERIFY2(e.Message().contains(path), qPrintable(e.Message()));
        }
    }
    const QString locked = dir.filePath("locked.cds");
    const QByteArray good = packet(sampleFields, "<ROW CDPRODUTO=\"1\"/>");
    QFile f(locked);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(good);
    f.close();
    QCOMPARE(DataPacket::loadFromFile(locked).toXml(), DataPacket::fromXml(good).toXml());
    QVERIFY_THROWS_EXCEPTION(Exception, DataPacket().saveToFile(dir.filePath("no/dir/x.cds")));
    f.setPermissions(QFileDevice::Permissions());
    if (QFile(locked).open(QIODevice::ReadOnly)) // root reads whatever the permissions say
        QVERIFY(f.remove() && QDir(dir.path()).mkdir(QStringLiteral("locked.cds")));
    QVERIFY_THROWS_EXCEPTION(Exception, DataPacket::loadFromFile(locked));
}

// Packets are values: a copy shares storage, a write to either side detaches it and leaves
// the other untouched.
void TestDataPacket::copiesShareRowsUntilWritten()
{
    DataPacket a({FieldDef{"C", FieldType::String, 5}, FieldDef{"V", FieldType::Float}});
    for (int i = 0; i < 100; ++i)
        a.appendRow({QString::number(i), i});
    DataPacket b = a;
    QVERIFY(b.sharesRowsWith(a));
    b.setValue(0, 0, "x");
    QVERIFY(!b.sharesRowsWith(a));
    QCOMPARE(a.value(0, 0), QVariant("0"));
    DataPacket c = a;
    c.removeRow(0);
    c.insertRow(1, {"y", QVariant()});
    QCOMPARE(a.rowCount(), 100);
    QCOMPARE(c.value(0, 0), QVariant("1"));
    QCOMPARE(c.value(1, 0), QVariant("y"));
    QCOMPARE(a.find(1, 99.0), 99);
    QCOMPARE(c.find(0, "y"), 1);
    QCOMPARE(c.find(1, QVariant()), 1);
    c.clearRows();
    QCOMPARE(c.rowCount(), 0);
    QCOMPARE(a.rowCount(), 100);
    // Rewriting one text many times must not let its column grow without bound.
    for (int i = 0; i < 20000; ++i)
        b.setValue(1, 0, QString::number(i % 10));
    QCOMPARE(b.value(1, 0), QVariant("9"));
    QCOMPARE(b.toXml().size(), DataPacket::fromXml(b.toXml()).toXml().size());
}

// No packet read before is kept alive in the process to be handed back: every load of a large
// file reads what the file holds then, whether it was rewritten in place, replaced by another
// or left as it was.
void TestDataPacket::largeFileIsReadAnewAtEveryLoad()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Produtos.cds"));
    // Over a megabyte; every version has the same size and differs in its first code.
    const auto version = [](char mark) {
        QByteArray rows;
        for (int i = 0; i < 25000; ++i)
            rows += QByteArray("<ROW CDPRODUTO=\"") + mark
                    + QByteArray::number(100000 + i) + "\" QTTARAPROD=\"1.5\"/>\n";
        return packet(sampleFields, rows);
    };
    const auto write = [&path](const QByteArray &bytes) {
        QFile f(path);
        return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
    };
    const auto first = [&path] { return DataPacket::loadFromFile(path).value(0, 0).toString(); };
    QVERIFY(version('A').size() > (1 << 20));

    QVERIFY(write(version('A')));
    const DataPacket fresh = DataPacket::loadFromFile(path);
    QVERIFY(!DataPacket::loadFromFile(path).sharesRowsWith(fresh));
    QCOMPARE(fresh.rowCount(), 25000);
    QVERIFY(write(version('B')));
    QCOMPARE(first(), QStringLiteral("B100000"));
    QSaveFile replacement(path);
    QVERIFY(replacement.open(QIODevice::WriteOnly));
    replacement.write(version('D'));
    QVERIFY(replacement.commit());
    QCOMPARE(first(), QStringLiteral("D100000"));
}

void TestDataPacket::craftedFilesLoadOrNameTheFile_data()
{
    QTest::addColumn<QString>("kind"); // what stands at the path
    QTest::addColumn<QByteArray>("bytes"); // the file's, or the target of a link
    QTest::addColumn<QString>("problem"); // in the message; empty when the file loads
    QTest::addColumn<int>("fields");
    QTest::addColumn<int>("rows");
    QTest::addColumn<QString>("last"); // the last value of the last row

    QByteArray wide;
    for (int i = 0; i < 40000; ++i)
        wide += "<ROW C=\"v" + QByteArray::number(i) + "\"/>\n";
    QTest::newRow("fixed text 65535 wide on every row")
        << "file"
        << packet("<FIELD attrname=\"C\" fieldtype=\"string\" SUBTYPE=\"FixedChar\" "
                  "WIDTH=\"65535\"/>", wide)
        << QString() << 1 << 40000 << QStringLiteral("v39999").leftJustified(65535);

    QByteArray fields;
    for (int i = 0; i < 100000; ++i)
        fields += "<FIELD attrname=\"F" + QByteArray::number(i) + "\" fieldtype=\"string\" "
                  "WIDTH=\"1\"/>\n";
    QTest::newRow("100,000 fields")
        << "file" << packet(fields, "<ROW F99999=\"z\"/>") << QString() << 100000 << 1 << "z";
    QByteArray some;
    for (int i = 0; i < 2000; ++i)
        some += "<FIELD attrname=\"F" + QByteArray::number(i) + "\" fieldtype=\"i4\"/>";
    QTest::newRow("2,000 fields, rows that give none")
        << "file" << packet(some, QByteArray("<ROW/>").repeated(40000)) << "memória" << 0 << 0
        << QString();

    QByteArray attributes = "<ROW";
    for (int i = 0; i < 100000; ++i)
        attributes += " A" + QByteArray::number(i) + "=\"1\"";
    QTest::newRow("100,000 attributes on a row")
        << "file" << packet(sampleFields, attributes + "/>") << "atributos" << 0 << 0 << QString();

    QByteArray entities =
        packet(sampleFields, "<ROW CDPRODUTO=\"" + QByteArray("&e;").repeated(10000) + "\"/>");
    entities.replace("<DATAPACKET", "<!DOCTYPE DATAPACKET [<!ENTITY e \"" + QByteArray(4000, 'x')
                                        + "\">]>\n<DATAPACKET");
    QTest::newRow("entity references") << "file" << entities << "DTD" << 0 << 0 << QString();

    const QByteArray good = packet(sampleFields, "<ROW CDPRODUTO=\"1\" IDATIVO=\"TRUE\"/>");
    QTest::newRow("link to a packet") << "linked file" << good << QString() << 6 << 1 << "true";
    QTest::newRow("link to /dev/zero") << "link" << QByteArray("/dev/zero") << "regular" << 0 << 0
                                       << QString();
    QTest::newRow("link to /dev/urandom")
        << "link" << QByteArray("/dev/urandom") << "regular" << 0 << 0 << QString();
    QTest::newRow("FIFO") << "fifo" << QByteArray() << "regular" << 0 << 0 << QString();
    QTest::newRow("folder") << "folder" << QByteArray() << "pasta" << 0 << 0 << QString();
    QTest::newRow("64 GB") << "sparse" << QByteArray() << "limite" << 0 << 0 << QString();
}

// A crafted product cache ends in a load or in a message naming it, never in a launch that
// hangs or runs out of memory: fixed text kept at its widest, a hundred thousand fields or
// attributes, fields whose rows of nulls would take most of a gigabyte, entity references,
// devices, a FIFO, a folder and a sparse file of 64 GB in its place.
void TestDataPacket::craftedFilesLoadOrNameTheFile()
{
    QFETCH(QString, kind);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, problem);
    QFETCH(int, fields);
    QFETCH(int, rows);
    QFETCH(QString, last);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Produtos.cds"));
    const auto write = [](const QString &name, const QByteArray &content) {
        QFile f(name);
        return f.open(QIODevice::WriteOnly) && f.write(content) == content.size();
    };
    if (kind == u"file") {
        QVERIFY(write(path, bytes));
    } else if (kind == u"linked file") {
        QVERIFY(write(dir.filePath(QStringLiteral("real.cds")), bytes));
        QVERIFY(QFile::link(dir.filePath(QStringLiteral("real.cds")), path));
    } else if (kind == u"link") {
        QVERIFY(QFile::link(QString::fromLatin1(bytes), path));
    } else if (kind == u"fifo") {
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    } else if (kind == u"folder") {
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("Produtos.cds")));
    } else {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || !f.resize(qint64(64) << 30))
            SKIP_OR_FAIL_ON_CI("no sparse files here");
    }
    try {
        const DataPacket p = DataPacket::loadFromFile(path);
        QVERIFY2(problem.isEmpty(), "loaded a file that should be refused");
        QCOMPARE(p.fieldCount(), fields);
        QCOMPARE(p.rowCount(), rows);
        QCOMPARE(p.value(rows - 1, fields - 1).toString(), last);
    } catch (const Exception &e) {
        QVERIFY2(!problem.isEmpty() && e.Message().startsWith(path + QStringLiteral(": "))
                     && e.Message().contains(problem),
                 qPrintable(e.Message()));
    }
}

void TestDataPacket::packetsOfOtherProgramsWriteBackAsRead_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("fieldtype"); // as the file names it
    QTest::addColumn<QVariant>("value");    // of the first row
    QTest::addColumn<QString>("refusal");   // in the message; empty when the file loads

    QTest::newRow("memo with accents and line breaks, named with spaces")
        << "blobs.cds" << "Observação do Item" << "bin.hex"
        << QVariant(QStringLiteral("Sem cebola,\r\nmolho à parte – já!")) << QString();
    QByteArray everyByte;
    for (int b = 0; b < 256; ++b)
        everyByte.append(char(b));
    QTest::newRow("blob of every byte")
        << "blobs.cds" << "ARQUIVO" << "bin.hex" << QVariant(everyByte) << QString();
    QTest::newRow("graphic") << "blobs.cds" << "FOTO" << "bin.hex"
                             << QVariant(QByteArray("\x89PNG\r\n\x1a\n")) << QString();
    QTest::newRow("typed blob") << "blobs.cds" << "ANEXO" << "bin.hex"
                                << QVariant(QByteArray("\x01\x00\xff", 3)) << QString();
    QTest::newRow("fixed beyond a double")
        << "numbers.cds" << "VRTOTAL" << "fixed"
        << QVariant(QStringLiteral("12345678901234.5678")) << QString();
    QTest::newRow("fixedFMT with its trailing zeros")
        << "numbers.cds" << "VRDESCONTO" << "fixedFMT" << QVariant(QStringLiteral("-0.0100"))
        << QString();
    QTest::newRow("i1 at its least") << "numbers.cds" << "NRLUGAR" << "i1" << QVariant(-128)
                                     << QString();
    QTest::newRow("ui1 at its most") << "numbers.cds" << "QTVOLUMES" << "ui1" << QVariant(255)
                                     << QString();
    QTest::newRow("ui2 at its most") << "numbers.cds" << "NRPORTA" << "ui2" << QVariant(65535)
                                     << QString();
    QTest::newRow("ui4 at its most") << "numbers.cds" << "NRSERIE" << "ui4"
                                     << QVariant(qlonglong(4294967295)) << QString();
    QTest::newRow("r4 at a float's precision")
        << "numbers.cds" << "PCDESCONTO" << "r4" << QVariant(double(0.1f)) << QString();
    QTest::newRow("time with glued milliseconds")
        << "numbers.cds" << "HRABERTURA" << "time" << QVariant(QTime(10, 0)) << QString();
    QTest::newRow("memo of lines, as other programs write it")
        << "memo.cds" << "OBSPEDIDO" << "bin.hex"
        << QVariant(QStringLiteral("Entregar na portaria\r\nTroco para R$ 50,00\r\n\r\n"
                                   "Não tocar a campainha"))
        << QString();
    QTest::newRow("300 columns") << "wide.cds" << "PARAM300" << "date"
                                 << QVariant(QDate(2024, 1, 21)) << QString();
    QTest::newRow("nested table") << "nested.cds" << "ITENS" << "nested" << QVariant()
                                  << "aninhada";
}

// Packets written by other programs (memos and blobs in base64, fixed-point, narrow and
// unsigned integers, a field named with spaces, PARAMS) load whole and write back attribute for
// attribute: a cache another terminal wrote must reach it again as it was. What is not kept, a
// table nested in a row, is refused naming the file, the field and its type.
void TestDataPacket::packetsOfOtherProgramsWriteBackAsRead()
{
    QFETCH(QString, file);
    QFETCH(QString, field);
    QFETCH(QString, fieldtype);
    QFETCH(QVariant, value);
    QFETCH(QString, refusal);
    const QString path = QFINDTESTDATA(QStringLiteral("data/") + file);
    QVERIFY(!path.isEmpty());
    if (!refusal.isEmpty()) {
        QString msg;
        try {
            DataPacket::loadFromFile(path);
        } catch (const Exception &e) {
            msg = e.Message();
        }
        for (const QString &part : {path + QStringLiteral(": "), field, fieldtype, refusal})
            QVERIFY2(msg.contains(part), qPrintable(msg));
        return;
    }
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray original = f.readAll();
    const DataPacket p = DataPacket::loadFromFile(path);
    const int col = p.indexOf(field);
    QVERIFY(col >= 0);
    QCOMPARE(p.value(0, col).metaType(), value.metaType());
    QCOMPARE(p.value(0, col), value);

    const QByteArray written = p.toXml();
    QCOMPARE(attributesOf(written, u"FIELD").value(col).value(QStringLiteral("fieldtype")),
             fieldtype);
    for (const QStringView element : {u"FIELD", u"PARAMS", u"ROW"})
        QCOMPARE(attributesOf(written, element), attributesOf(original, element));
    if (p.fields()[col].type == FieldType::Memo) // text, its line ends as other programs write
        QVERIFY(written.contains(
            value.toString().toUtf8().replace("\r", "&#013;").replace("\n", "&#010;")));
    const DataPacket back = DataPacket::fromXml(written);
    QCOMPARE(back.fields(), p.fields());
    QCOMPARE(back.rowCount(), p.rowCount());
    for (int r = 0; r < p.rowCount(); ++r)
        for (int c = 0; c < p.fieldCount(); ++c)
            QCOMPARE(back.value(r, c), p.value(r, c));
}

QTEST_MAIN(TestDataPacket)
#include "tst_datapacket.moc"
