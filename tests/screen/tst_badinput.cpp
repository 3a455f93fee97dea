// Bad input across the screen: damaged cache files, unusual characters in the names the
// screen shows, absurd numbers in the quantity and value fields, and impossible dates. The
// screen never crashes and never stores a value it could not hold.
#include "blended.h"
#include "clientdataset.h"
#include "exception.h"
#include "operador.h"
#include "package/package.h"
#include "screen/globals.h"
#include "screenfixture.h"
#include "scriptedpresenter.h"
#include "store.h"
#include "testenv.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>
#include <QTimer>
#include <QXmlStreamReader>

#include <cmath>
#include <limits>
#include <optional>

using namespace ScreenFixture;
using enum TfrmRegVenMan::Campo;

namespace {

// ---- Cache files as raw XML: declarations and row attributes kept as text, so a test can
// write what no well-behaved exporter would.

struct RawField
{
    QString name, type, width;
};
struct RawPacket
{
    QList<RawField> fields;
    QList<QList<std::pair<QString, QString>>> rows;

    int field(const QString &name) const
    {
        for (int i = 0; i < fields.size(); ++i)
            if (fields[i].name == name)
                return i;
        return -1;
    }
    // Sets the value of a column in every row (adding the attribute where it was null).
    void setAll(const QString &name, const QString &value)
    {
        for (auto &row : rows) {
            bool found = false;
            for (auto &[k, v] : row)
                if (k == name) {
                    v = value;
                    found = true;
                }
            if (!found)
                row.append({name, value});
        }
    }
    void drop(const QString &name)
    {
        fields.removeAt(field(name));
        for (auto &row : rows)
            row.removeIf([&](const auto &a) { return a.first == name; });
    }
};

RawPacket readRaw(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    RawPacket raw;
    QXmlStreamReader xml(&f);
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QXmlStreamAttributes a = xml.attributes();
        if (xml.name() == u"FIELD") {
            raw.fields.append({a.value(QLatin1String("attrname")).toString(),
                               a.value(QLatin1String("fieldtype")).toString(),
                               a.value(QLatin1String("WIDTH")).toString()});
        } else if (xml.name() == u"ROW") {
            QList<std::pair<QString, QString>> row;
            for (const QXmlStreamAttribute &attr : a)
                row.append({attr.name().toString(), attr.value().toString()});
            raw.rows.append(row);
        }
    }
    return raw;
}

QByteArray escaped(const QString &s)
{
    QString out = s;
    out.replace(u'&', QLatin1String("&amp;")).replace(u'<', QLatin1String("&lt;"));
    out.replace(u'"', QLatin1String("&quot;"));
    return out.toUtf8();
}

QByteArray toXml(const RawPacket &raw)
{
    QByteArray out = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                     "<DATAPACKET Version=\"2.0\"><METADATA><FIELDS>\n";
    for (const RawField &f : raw.fields) {
        out += "<FIELD attrname=\"" + escaped(f.name) + "\" fieldtype=\"" + escaped(f.type) + '"';
        if (!f.width.isEmpty())
            out += " WIDTH=\"" + escaped(f.width) + '"';
        out += "/>\n";
    }
    out += "</FIELDS><PARAMS/></METADATA><ROWDATA>\n";
    for (const auto &row : raw.rows) {
        out += "<ROW";
        for (const auto &[k, v] : row)
            out += ' ' + escaped(k) + "=\"" + escaped(v) + '"';
        out += "/>\n";
    }
    return out + "</ROWDATA></DATAPACKET>\n";
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

// The six cache files, the step of the initialisation that reads them, and the columns each
// damage aims at: a number or date column, a column the screen reads, a text column.
// In the order of Store::cacheFiles(), whose paths are beside the executable.
enum Cache { Parametros, Acesso, Movimento, TiposRece, Produtos, Aliquotas };
QString cache(Cache c)
{
    return Store::cacheFiles().at(c);
}
struct CacheFile
{
    bool context;         // read before the guarded block: a failure refuses the launch
    const char *typed;    // a column declared as a number or date
    const char *required; // a column the screen cannot do without
    const char *text;     // a text column
};
const CacheFile cacheFiles[] = {
    {true, "IDTIPOIMPFIS", "CDFILIAL", "NRSERIEECF"},
    {true, nullptr, "NMOPERADOR", "NMOPERADOR"},
    {true, "DATAMOVIMENTO", "DATAMOVIMENTO", "CDFILIAL"},
    {true, "VRTAXAADMI", "CDTIPORECE", "NMTIPORECE"},
    {false, "QTTARAPROD", "NMPRODUTO", "NMPRODUTO"},
    {false, "VRALIQIMPFIS", "VRALIQIMPFIS", "CDALIQIMPFIS"},
};

enum class Outcome { Refused, OpensWithMessage, OpensClean };

int count(const QString &sql)
{
    QSqlQuery q(store());
    if (!q.exec(sql) || !q.next())
        return -1;
    return q.value(0).toInt();
}

QVariant scalar(const QString &sql)
{
    QSqlQuery q(store());
    if (!q.exec(sql) || !q.next())
        return QVariant();
    return q.value(0);
}

bool hasLoneSurrogate(const QString &s)
{
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s[i].isHighSurrogate()) {
            if (i + 1 >= s.size() || !s[i + 1].isLowSurrogate())
                return true;
            ++i;
        } else if (s[i].isLowSurrogate()) {
            return true;
        }
    }
    return false;
}

// A screen opened with the keypad, calendar and search list scripted and its messages
// recorded, and the operator at it.
struct Tela
{
    FakeServices services;
    ScriptedPresenter presenter;
    std::unique_ptr<TfrmRegVenMan> screen = openScreen();
    Operador op{screen.get()};
};

// Order, series 1 and sub-series 2 typed, each with Enter: the focus on the date.
void documento(Operador &op, const QString &ordem)
{
    for (const QString &campo : {ordem, QStringLiteral("1"), QStringLiteral("2")}) {
        op.digita(campo);
        op.enter();
    }
}

// Alt+G, as a keyboard records: the shortcut needs the screen to be the active window.
void gravar(TfrmRegVenMan *screen)
{
    screen->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(screen, 2000));
    key(screen, Qt::Key_G, Qt::AltModifier);
}

void clearSales()
{
    for (const char *t : {"MOVCAIXA", "ITVENDA", "VENDA", "TURCAIXA"})
        exec(QStringLiteral("DELETE FROM %1").arg(QLatin1String(t)));
}

} // namespace

class TestBadInput : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { prepareTerminal(); }
    void init()
    {
        TestEnv::removeCaches();
        writeParameters();
        writeCaches();
        clearSales();
        // What single cases change in the store, back as the fixture made it.
        exec(QStringLiteral("UPDATE MESA SET NMMESA = 'Mesa 7' WHERE NRMESA = '0007'"));
        exec(QStringLiteral("UPDATE ITTABPRECO SET VRPRECO = 500 WHERE CDPRODUTO = '0000000103'"));
    }

    // Each cache file damaged in each way, launched through the creator as the host does:
    // the context files refuse the launch with one message naming the file, the lookup files
    // are reported and the screen opens with what was read; harmless changes open silently.
    // Whatever opened must survive a product and a table lookup.
    void damagedCacheFiles_data();
    void damagedCacheFiles();
    // A dataset reading a number or date column that the file declared as text reports the
    // file and the column instead of a bare conversion error.
    void textWhereTheContextReadsANumber_data();
    void textWhereTheContextReadsANumber();
    // Accents, CJK, emoji and control characters in the names of a product, a payment type,
    // an operator and a table: shown without damage, and a whole sale stores them as the cache
    // carried them, never cut between the two halves of a surrogate pair.
    void unusualCharactersInNames_data();
    void unusualCharactersInNames();
    // A product file written elsewhere in Windows-1252 without an encoding declaration shows
    // its accented names as they were meant, not as mangled bytes.
    void productFileInWindows1252();
    // Absurd quantities from the keypad: refused with a message and no item, or computed
    // right; nothing non-finite or beyond a money value ever reaches the items.
    void absurdQuantities_data();
    void absurdQuantities();
    // A price table holding an absurd price (beyond any amount, infinite, negative): the
    // product is refused with a message and never becomes an item.
    void absurdPrices_data();
    void absurdPrices();
    // Item totals that together overflow what a sale can hold are refused one by one, and a
    // sale at the limit still records with the exact total.
    void totalThatOverflowsIsRefused();
    // Absurd payment values from the keypad never become a payment line that differs from
    // what the sale needs, and Alt+G never stores a sale with them.
    void absurdPaymentValues_data();
    void absurdPaymentValues();
    // The closing routine handed non-finite or unbounded amounts refuses them and stores
    // nothing, whoever calls it.
    void closingRefusesValuesThatDoNotFit_data();
    void closingRefusesValuesThatDoNotFit();
    // A date typed but never confirmed with Enter is not the sale's date: with no checked
    // date the item is refused with the date message, never with a conversion error.
    void unconfirmedDateIsAskedAgain();
    // Dates typed or chosen: impossible ones give "Data Inválida.", leave no date behind and
    // no item can be added with them; the leap day of a leap year records a sale on that day.
    void datesTypedOrChosen_data();
    void datesTypedOrChosen();
};

// ---- Damaged cache files

void TestBadInput::damagedCacheFiles_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("damage");
    QTest::addColumn<int>("outcome");
    const char *damaging[] = {"truncado",       "lixo",       "vazio",       "tipo_errado",
                              "numero_gigante", "sem_coluna", "utf8_invalido"};
    for (const Cache c : {Parametros, Acesso, Movimento, TiposRece, Produtos, Aliquotas}) {
        const Outcome bad = cacheFiles[c].context ? Outcome::Refused : Outcome::OpensWithMessage;
        const QString name = QFileInfo(cache(c)).fileName();
        for (const char *d : damaging) {
            // The payment types are first read without a column check; the payment list made
            // from them in the guarded block is where a missing column shows.
            const bool guarded = c == TiposRece && qstrcmp(d, "sem_coluna") == 0;
            QTest::addRow("%s %s", qPrintable(name), d)
                << cache(c) << QString::fromLatin1(d)
                << int(guarded ? Outcome::OpensWithMessage : bad);
        }
        for (const char *d : {"coluna_extra", "valor_gigante"})
            QTest::addRow("%s %s", qPrintable(name), d)
                << cache(c) << QString::fromLatin1(d) << int(Outcome::OpensClean);
    }
}

void TestBadInput::damagedCacheFiles()
{
    QFETCH(QString, file);
    QFETCH(QString, damage);
    QFETCH(int, outcome);
    const qsizetype index = Store::cacheFiles().indexOf(file);
    QVERIFY(index >= 0);
    const CacheFile *cf = &cacheFiles[index];
    const QString path = TestEnv::exeDir() + QLatin1Char('/') + file;
    QFile good(path);
    QVERIFY(good.open(QIODevice::ReadOnly));
    const QByteArray bytes = good.readAll();
    good.close();
    RawPacket raw = readRaw(path);
    QVERIFY(!raw.rows.isEmpty());
    QString column; // the column a message about a missing column must name

    if (damage == QLatin1String("truncado")) {
        writeBytes(path, bytes.left(bytes.size() * 3 / 5));
    } else if (damage == QLatin1String("lixo")) {
        QByteArray junk(4096, '\0');
        QRandomGenerator rng(42);
        for (char &c : junk)
            c = char(rng.bounded(256));
        writeBytes(path, junk);
    } else if (damage == QLatin1String("vazio")) {
        writeBytes(path, QByteArray());
    } else if (damage == QLatin1String("tipo_errado")) {
        if (cf->typed) {
            raw.setAll(QString::fromLatin1(cf->typed), QStringLiteral("abc"));
        } else {
            // Only text columns: declare one a number while it holds letters.
            raw.fields[raw.field(QString::fromLatin1(cf->required))].type = QStringLiteral("i4");
        }
        writeBytes(path, toXml(raw));
    } else if (damage == QLatin1String("numero_gigante")) {
        const QString digits = QStringLiteral("1") + QString(100000, u'9');
        if (cf->typed) {
            raw.setAll(QString::fromLatin1(cf->typed), digits);
        } else {
            raw.fields[raw.field(QString::fromLatin1(cf->required))].type = QStringLiteral("i8");
            raw.setAll(QString::fromLatin1(cf->required), digits);
        }
        writeBytes(path, toXml(raw));
    } else if (damage == QLatin1String("sem_coluna")) {
        column = QString::fromLatin1(cf->required);
        raw.drop(column);
        writeBytes(path, toXml(raw));
    } else if (damage == QLatin1String("utf8_invalido")) {
        // Declared UTF-8, but a text holds a byte sequence no UTF-8 encoder writes.
        raw.setAll(QString::fromLatin1(cf->text), QStringLiteral("MARCA"));
        QByteArray xml = toXml(raw);
        xml.replace("\"MARCA\"", "\"P\xC3\x28o\xFF\"");
        writeBytes(path, xml);
    } else if (damage == QLatin1String("coluna_extra")) {
        raw.fields.append({QStringLiteral("COLUNAEXTRA"), QStringLiteral("string"),
                           QStringLiteral("10")});
        raw.setAll(QStringLiteral("COLUNAEXTRA"), QStringLiteral("x"));
        writeBytes(path, toXml(raw));
    } else if (damage == QLatin1String("valor_gigante")) {
        const int c = raw.field(QString::fromLatin1(cf->text));
        raw.fields[c].width.clear(); // no declared width to cut it
        raw.setAll(QString::fromLatin1(cf->text), QString(100000, u'Ã'));
        writeBytes(path, toXml(raw));
    }

    ScriptedPresenter presenter;
    bool shown = false;
    QString produto, mesa;
    QTimer::singleShot(0, [&] {
        if (!frmRegVenMan)
            return;
        shown = frmRegVenMan->isVisible();
        // What opened must bear a lookup of a table and of a product (which waits for the
        // product list, read meanwhile, and reports it first).
        Operador op(frmRegVenMan);
        op.confirma(CampoMesa, QStringLiteral("7"));
        op.digita(QStringLiteral("101"));
        op.enter();
        produto = op.legenda(CampoCodigo);
        mesa = op.legenda(CampoMesa);
        op.toca(Operador::Sair); // the scripted presenter answers yes
    });
    CriaRegVendaManual();
    QCoreApplication::processEvents(); // a single shot that found no screen
    QVERIFY(!frmRegVenMan);

    const QString fileName = QFileInfo(file).fileName();
    switch (Outcome(outcome)) {
    case Outcome::Refused: {
        QVERIFY(!shown);
        QCOMPARE(presenter.calls.size(), 1);
        const MessageCall &call = presenter.calls.first();
        QCOMPARE(call, errorCall(call.text, QStringLiteral("002")));
        QVERIFY2(call.text.contains(fileName), qPrintable(call.text));
        QVERIFY2(column.isEmpty() || call.text.contains(column), qPrintable(call.text));
        QVERIFY(call.text.size() < 1000); // the message is read by a person
        break;
    }
    case Outcome::OpensWithMessage: {
        QVERIFY(shown);
        const MessageCall &call = presenter.calls.first(); // once: the probe's own follow
        for (const MessageCall &c : presenter.calls.mid(1))
            QVERIFY2(!c.text.contains(fileName), qPrintable(c.text));
        QCOMPARE(call, errorCall(call.text, QStringLiteral("E01")));
        QVERIFY2(call.text.contains(fileName), qPrintable(call.text));
        QVERIFY2(column.isEmpty() || call.text.contains(column), qPrintable(call.text));
        QVERIFY(call.text.size() < 1000);
        // The product list either holds the product or refuses every code.
        QVERIFY(produto.isEmpty() || produto == QLatin1String("0000000101"));
        break;
    }
    case Outcome::OpensClean:
        QVERIFY(shown);
        QVERIFY2(presenter.calls.size() == 1, qPrintable(presenter.texts().join(u'|'))); // exit
        QCOMPARE(produto, QString("0000000101"));
        QCOMPARE(mesa, QString("0007"));
        // A long value is taken whole: nothing is cut where no width says so.
        if (damage == QLatin1String("valor_gigante")) {
            if (index == Acesso)
                QCOMPARE(stNmOperador, QString(100000, u'Ã'));
            if (index == Parametros)
                QCOMPARE(Lum_NrSerie_CDS, QString(100000, u'Ã'));
        }
        break;
    }
}

void TestBadInput::textWhereTheContextReadsANumber_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("column");
    QTest::addColumn<QString>("fieldtype");
    QTest::addColumn<QString>("value");
    QTest::newRow("data de abertura em texto")
        << "PARAMETROSQEL.CDS" << "DTABERCAIX" << "string" << "ontem";
    QTest::newRow("tipo de impressora em texto")
        << "PARAMETROSQEL.CDS" << "IDTIPOIMPFIS" << "string" << "um";
    // An integer read from a number beyond its range has no value to take.
    QTest::newRow("tipo de impressora enorme")
        << "PARAMETROSQEL.CDS" << "IDTIPOIMPFIS" << "r8" << "1e300";
    QTest::newRow("tipo de impressora negativo enorme")
        << "PARAMETROSQEL.CDS" << "IDTIPOIMPFIS" << "i8" << "-9000000000";
    QTest::newRow("data do movimento em texto")
        << cache(Movimento) << "DATAMOVIMENTO" << "string" << "ontem";
}

void TestBadInput::textWhereTheContextReadsANumber()
{
    QFETCH(QString, file);
    QFETCH(QString, column);
    QFETCH(QString, fieldtype);
    QFETCH(QString, value);
    const QString path = TestEnv::exeDir() + QLatin1Char('/') + file;
    RawPacket raw = readRaw(path);
    raw.fields[raw.field(column)] = {column, fieldtype, QStringLiteral("20")};
    raw.setAll(column, value);
    writeBytes(path, toXml(raw));

    ScriptedPresenter presenter;
    Lum_IdTipoImpFis = 7;
    CriaRegVendaManual();
    QVERIFY(!frmRegVenMan);
    QCOMPARE(presenter.calls.size(), 1);
    const QString text = presenter.calls.first().text;
    QVERIFY2(text.contains(QFileInfo(file).fileName()) && text.contains(column), qPrintable(text));
    if (column == QLatin1String("IDTIPOIMPFIS"))
        QCOMPARE(Lum_IdTipoImpFis, 7); // no made-up type: the failed launch assigns none
}

// ---- Unusual characters

void TestBadInput::unusualCharactersInNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("carried"); // as the cache file carries it
    QTest::newRow("acentos") << "Pão de Queijo Ção" << "Pão de Queijo Ção";
    QTest::newRow("cjk") << "寿司セット 특선" << "寿司セット 특선";
    QTest::newRow("emoji") << "Açaí 🍓🥝 Grande" << "Açaí 🍓🥝 Grande";
    QTest::newRow("tab e nova linha") << "Prato\tdo\ndia" << "Prato\tdo\ndia";
    // XML 1.0 has no form for the other control characters: the cache carries a space.
    QTest::newRow("nulo e escape")
        << QStringLiteral("Suco") + QChar(0) + QStringLiteral("de") + QChar(0x1b)
               + QStringLiteral("[31mLaranja")
        << QStringLiteral("Suco de [31mLaranja");
    // A pair straddling the declared width is cut before it, not between its halves.
    QTest::newRow("par no limite") << QString(29, u'a') + QStringLiteral("🍓xyz")
                                   << QString(29, u'a');
}

void TestBadInput::unusualCharactersInNames()
{
    QFETCH(QString, name);
    QFETCH(QString, carried);
    // The widths along the way: 30 for the table name, 40 for payment types, 50 for products
    // and operators. The straddling case is built for 30; widen it for the others.
    const bool straddles = qstrcmp(QTest::currentDataTag(), "par no limite") == 0;
    const auto carriedAt = [&](int width) {
        return straddles ? QString(width - 1, u'a') : carried;
    };
    const auto nameAt = [&](int width) {
        return straddles ? QString(width - 1, u'a') + QStringLiteral("🍓xyz") : name;
    };

    // The first row's names in a cache file.
    const auto renomeia = [&](Cache c, const QStringList &colunas, int largura) {
        const QString arquivo = TestEnv::exeDir() + QLatin1Char('/') + cache(c);
        DataPacket pacote = DataPacket::loadFromFile(arquivo);
        for (const QString &coluna : colunas)
            pacote.setValue(0, pacote.indexOf(coluna), nameAt(largura));
        pacote.saveToFile(arquivo);
    };
    renomeia(Produtos, {QStringLiteral("NMPRODUTO")}, 50);
    renomeia(TiposRece, {QStringLiteral("NMTIPORECE"), QStringLiteral("DSBUTTON")}, 40);
    renomeia(Acesso, {QStringLiteral("NMOPERADOR")}, 50);
    {
        QSqlQuery q(store());
        q.prepare(QStringLiteral("UPDATE MESA SET NMMESA = ? WHERE NRMESA = '0007'"));
        q.addBindValue(nameAt(30));
        QVERIFY2(q.exec(), qPrintable(q.lastError().text()));
    }

    auto [services, presenter, screen, op] = Tela{};
    QVERIFY2(presenter.calls.isEmpty(), qPrintable(presenter.texts().join(u'|')));
    QCOMPARE(stNmOperador, carriedAt(50));
    // The table name comes from the store, where only the width applies; nothing shows it.
    ClientDataSet *mesas = dataset(screen.get(), "cdsAmbientes");
    QVERIFY(mesas->Locate(QStringLiteral("NRMESA"), QStringLiteral("0007")));
    const QString mesa = mesas->FieldByName(QStringLiteral("NMMESA")).AsString();
    QVERIFY(!hasLoneSurrogate(mesa));
    QVERIFY(nameAt(30).startsWith(mesa) && mesa.size() >= carriedAt(30).size());

    header(screen.get(), QStringLiteral("900"));
    op.digita(QStringLiteral("101"));
    op.enter();
    QCOMPARE(op.produto(), carriedAt(50) + QStringLiteral(" - UN"));
    op.toca(Operador::AdicionarProduto);
    op.confirma(CampoTipoRece, QStringLiteral("1"));
    QCOMPARE(op.legenda(CampoTipoRece), QStringLiteral("001 - ") + carriedAt(40));
    op.digita(QStringLiteral("12,5"));
    op.enter();
    op.toca(Operador::AdicionarRecebimento);
    QVERIFY2(presenter.calls.isEmpty(), qPrintable(presenter.texts().join(u'|')));
    QVERIFY(!screen->grab().isNull()); // both lists painted with the names in them
    gravar(screen.get());
    QTRY_VERIFY_WITH_TIMEOUT(!screen->isVisible(), 2000);
    QCOMPARE(presenter.texts(), QStringList({"Dados gravados corretamente."}));

    const QString item = scalar(QStringLiteral("SELECT NMPRODUTO FROM ITVENDA")).toString();
    const QString tipo = scalar(QStringLiteral("SELECT NMTIPORECE FROM MOVCAIXA")).toString();
    QCOMPARE(item, carriedAt(50));
    QCOMPARE(tipo, carriedAt(40));
    QVERIFY(!hasLoneSurrogate(item) && !hasLoneSurrogate(tipo));
}

void TestBadInput::productFileInWindows1252()
{
    const QString path = TestEnv::exeDir() + QLatin1Char('/') + cache(Produtos);
    RawPacket raw = readRaw(path);
    raw.setAll(QStringLiteral("NMPRODUTO"), QStringLiteral("MARCA"));
    QByteArray xml = toXml(raw);
    xml.replace("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>",
                "<?xml version=\"1.0\" standalone=\"yes\"?>");
    xml.replace("MARCA", "P\xE3o \x96 Cora\xE7\xE3o \x80");
    writeBytes(path, xml);

    auto [services, presenter, screen, op] = Tela{};
    op.confirma(CampoCodigo, QStringLiteral("101"));
    QVERIFY2(presenter.calls.isEmpty(), qPrintable(presenter.texts().join(u'|')));
    QCOMPARE(op.produto(), QStringLiteral("Pão – Coração € - UN"));
}

// ---- Absurd numbers

void TestBadInput::absurdQuantities_data()
{
    QTest::addColumn<QString>("quantity");
    QTest::addColumn<QString>("total"); // empty: refused
    QTest::newRow("21 noves") << "999999999999999999999" << "";
    QTest::newRow("1e308") << "1e308" << "";
    QTest::newRow("maior double") << "1,7976931348623157E308" << "";
    QTest::newRow("infinito") << "inf" << "";
    QTest::newRow("nan") << "nan" << "";
    QTest::newRow("menos zero") << "-0" << "";
    QTest::newRow("negativa") << "-3" << "";
    QTest::newRow("letras") << "doze" << "";
    QTest::newRow("um decimilionesimo") << "0,0000001" << "0,00";
    QTest::newRow("muitas casas") << "2,000000000000000000001" << "25,00";
    QTest::newRow("milhar") << "1.000" << "12.500,00";
    QTest::newRow("grande mas cabe") << "79999999999" << "999.999.999.987,50";
    QTest::newRow("no limite") << "80000000000" << "1.000.000.000.000,00";
    QTest::newRow("alem do limite") << "80000000001" << "";
}

void TestBadInput::absurdQuantities()
{
    QFETCH(QString, quantity);
    QFETCH(QString, total);
    auto [services, presenter, screen, op] = Tela{};
    header(screen.get(), QStringLiteral("901"));
    tocaItem(op, services, QStringLiteral("101"), quantity); // 12,50
    // Refused: told as an error, the quantity left as keyed and framed red. Else taken.
    const QStringList told = presenter.texts();
    QVERIFY2(told.size() == int(total.isEmpty()), qPrintable(told.join(u'|')));
    QVERIFY(told.isEmpty() || presenter.calls[0].kind == 3);
    QCOMPARE(op.legenda(CampoQuant), total.isEmpty() ? quantity : QString());
    QCOMPARE(op.vermelho(CampoQuant), total.isEmpty());
    QCOMPARE(op.linhas(Operador::Itens), total.isEmpty() ? 0 : 1);
    QCOMPARE(op.total(), total); // the line's own value: empty while there is none
}

void TestBadInput::absurdPrices_data()
{
    QTest::addColumn<QString>("price"); // SQL literal
    QTest::addColumn<bool>("atLookup"); // refused as the code is looked up, else when added
    QTest::addColumn<int>("kind");      // of the message
    QTest::newRow("enorme") << "1e300" << false << 3;
    QTest::newRow("infinito") << "1e999" << true << 3;
    QTest::newRow("negativo") << "-12.5" << true << 2;
}

void TestBadInput::absurdPrices()
{
    QFETCH(QString, price);
    QFETCH(bool, atLookup);
    QFETCH(int, kind);
    exec(QStringLiteral("UPDATE ITTABPRECO SET VRPRECO = %1 WHERE CDPRODUTO = '0000000103'")
             .arg(price));
    auto [services, presenter, screen, op] = Tela{};
    header(screen.get(), QStringLiteral("906"));
    const auto vende = [&op] {
        op.confirma(CampoCodigo, QStringLiteral("103"));
    };
    vende();
    QCOMPARE(presenter.calls.size(), int(atLookup));
    if (!atLookup)
        op.toca(Operador::AdicionarProduto);
    exec(QStringLiteral("UPDATE ITTABPRECO SET VRPRECO = 500 WHERE CDPRODUTO = '0000000103'"));
    QCOMPARE(presenter.calls.size(), 1);
    QCOMPARE(presenter.calls[0].kind, kind);
    QCOMPARE(op.linhas(Operador::Itens), 0);
    QVERIFY(op.total().isEmpty());
    // The screen goes on: the same product at its real price is sold.
    presenter.clear();
    vende();
    op.toca(Operador::AdicionarProduto);
    QVERIFY2(presenter.calls.isEmpty(), qPrintable(presenter.texts().join(u'|')));
    QCOMPARE(op.total(), QString("500,00"));
}

void TestBadInput::totalThatOverflowsIsRefused()
{
    auto [services, presenter, screen, op] = Tela{};
    header(screen.get(), QStringLiteral("902"));
    // 79.999.999.999 x 12,50 = 999.999.999.987,50: one such item fits, a second does not.
    for (int i = 0; i < 2; ++i)
        tocaItem(op, services, QStringLiteral("101"), QStringLiteral("79999999999"));
    QCOMPARE(presenter.calls.size(), 1);
    QCOMPARE(presenter.calls[0].kind, 3);
    QVERIFY2(presenter.calls[0].text.contains(QStringLiteral("R$1.000.000.000.000,00")),
             qPrintable(presenter.calls[0].text));
    QCOMPARE(op.linhas(Operador::Itens), 1);
    QCOMPARE(op.total(), QString("999.999.999.987,50"));
    // A 12,50 item still fits beside it.
    tocaItem(op, services, QStringLiteral("101"), QStringLiteral("1"));
    QCOMPARE(op.total(), QString("1.000.000.000.000,00"));
    QCOMPARE(op.linhas(Operador::Itens), 2);

    // Paid in full through the keypad and recorded with the exact total.
    presenter.clear();
    op.confirma(CampoTipoRece, QStringLiteral("1"));
    services.numeric = {{true, QStringLiteral("1000000000000")}};
    op.toca(CampoValorRece);
    op.toca(Operador::AdicionarRecebimento);
    QVERIFY2(presenter.calls.isEmpty(), qPrintable(presenter.texts().join(u'|')));
    op.toca(Operador::Gravar);
    QCOMPARE(presenter.texts(), QStringList({"Dados gravados corretamente."}));
    QCOMPARE(scalar(QStringLiteral("SELECT VRTOTVENDA FROM VENDA")).toDouble(), 1e12);
    QCOMPARE(scalar(QStringLiteral("SELECT SUM(VRMOVIVEND) FROM MOVCAIXA")).toDouble(), 1e12);
}

void TestBadInput::absurdPaymentValues_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("remainder"); // the operator is offered the remainder
    QTest::newRow("21 noves") << "999999999999999999999" << true;
    QTest::newRow("1e308") << "1e308" << true;
    QTest::newRow("maior double") << "1,7976931348623157E308" << true;
    QTest::newRow("infinito") << "inf" << false;
    QTest::newRow("menos zero") << "-0" << false;
    QTest::newRow("um decimilionesimo") << "0,0000001" << false;
    QTest::newRow("negativo") << "-5" << false;
    QTest::newRow("letras") << "vinte" << false;
}

void TestBadInput::absurdPaymentValues()
{
    QFETCH(QString, value);
    QFETCH(bool, remainder);
    auto [services, presenter, screen, op] = Tela{};
    header(screen.get(), QStringLiteral("903"));
    tocaItem(op, services, QStringLiteral("101"), QStringLiteral("2")); // 25,00
    QCOMPARE(op.total(), QString("25,00"));
    presenter.clear();
    op.confirma(CampoTipoRece, QStringLiteral("1"));
    services.numeric = {{true, value}};
    op.toca(CampoValorRece);
    op.toca(Operador::AdicionarRecebimento);
    // Asked whether to take the sale's value instead (yes): the line is the remainder.
    QCOMPARE(op.linhas(Operador::Pagamentos), int(remainder));
    QCOMPARE(doTotal, remainder ? 25.0 : 0.0);
    QVERIFY(!presenter.calls.isEmpty());
    if (remainder) {
        QCOMPARE(presenter.calls.size(), 1);
        QCOMPARE(presenter.calls[0].ask, QString("S"));
    } else {
        QCOMPARE(presenter.calls.last().kind, 3);
    }
    QVERIFY(std::isfinite(doTotal));
    presenter.clear();
    gravar(screen.get());
    QTRY_VERIFY_WITH_TIMEOUT(!presenter.calls.isEmpty(), 2000);
    QCOMPARE(count(QStringLiteral("SELECT COUNT(*) FROM VENDA")), remainder ? 1 : 0);
    QCOMPARE(count(QStringLiteral("SELECT COUNT(*) FROM MOVCAIXA WHERE VRMOVIVEND <> 25")), 0);
}

void TestBadInput::closingRefusesValuesThatDoNotFit_data()
{
    QTest::addColumn<QString>("column");
    QTest::addColumn<double>("value");
    const double inf = std::numeric_limits<double>::infinity();
    QTest::newRow("item infinito") << "VRTOTVEND" << inf;
    QTest::newRow("item nan") << "VRTOTVEND" << std::numeric_limits<double>::quiet_NaN();
    QTest::newRow("movimento infinito") << "VRMOVIVEND" << -inf;
    QTest::newRow("item enorme") << "VRTOTVEND" << 1e300;
    QTest::newRow("item alem do limite") << "VRTOTVEND" << 1e12 + 0.01;
    QTest::newRow("quantidade enorme") << "QTPRODVEND" << 1e13;
    QTest::newRow("preco negativo enorme") << "VRUNITVEND" << -1e300;
    QTest::newRow("movimento enorme") << "VRMOVIVEND" << 1e300;
}

void TestBadInput::closingRefusesValuesThatDoNotFit()
{
    QFETCH(QString, column);
    QFETCH(double, value);
    // The screen hands the closing its datasets; on the way the value is put in, as any
    // caller of the closing might have it: the item's (paid alike, so the totals agree and
    // only the value itself is wrong) or the movement's.
    static QString coluna;
    static double valor;
    static TSetConcluiFechamento fechamento;
    static std::optional<QString> resposta; // the closing's; none when a dataset refused
    coluna = column;
    valor = value;
    resposta.reset();
    fechamento = SetConcluiFechamento;
    SetConcluiFechamento = [](ClientDataSet *const *ds, int nDs, const QVariant *v, int nV,
                              QVariant &ov) {
        QList<std::pair<ClientDataSet *, QString>> alvos;
        if (coluna != QLatin1String("VRMOVIVEND"))
            alvos.append({ds[0], coluna});
        if (coluna == QLatin1String("VRMOVIVEND") || coluna == QLatin1String("VRTOTVEND"))
            alvos.append({ds[1], QStringLiteral("VRMOVIVEND")});
        for (const auto &[alvo, campo] : alvos) {
            alvo->First();
            alvo->Edit();
            try { // the datasets themselves never hold a value that is not a number
                alvo->FieldByName(campo).setAsFloat(valor);
            } catch (const Exception &) {
                alvo->Cancel();
                return QVariant(QStringLiteral("recusado pelo conjunto de dados"));
            }
            alvo->Post();
        }
        resposta = fechamento(ds, nDs, v, nV, ov).toString();
        return QVariant(*resposta);
    };
    const auto restaura = qScopeGuard([] { SetConcluiFechamento = fechamento; });
    auto [services, presenter, screen, op] = Tela{};
    header(screen.get(), QStringLiteral("904"));
    tocaItem(op, services, QStringLiteral("101"), QStringLiteral("2"));
    pay(screen.get(), QStringLiteral("1"), QStringLiteral("25"));
    QVERIFY2(presenter.calls.isEmpty(), qPrintable(presenter.texts().join(u'|')));
    op.toca(Operador::Gravar);
    QVERIFY(screen->isVisible());
    QCOMPARE(resposta.has_value(), std::isfinite(value));
    QVERIFY2(!resposta || resposta->contains(QStringLiteral("fora do limite em ") + column),
             qPrintable(resposta.value_or(QString())));
    QCOMPARE(count(QStringLiteral("SELECT COUNT(*) FROM VENDA")), 0);
    QCOMPARE(count(QStringLiteral("SELECT COUNT(*) FROM ITVENDA")), 0);
    QCOMPARE(count(QStringLiteral("SELECT COUNT(*) FROM MOVCAIXA")), 0);
}

// ---- Dates

void TestBadInput::datesTypedOrChosen_data()
{
    QTest::addColumn<QString>("date");
    QTest::addColumn<bool>("typed"); // typed digits, else chosen in the calendar
    QTest::addColumn<bool>("valid");
    for (const bool typed : {true, false}) {
        const char *how = typed ? "digitada" : "calendario";
        QTest::addRow("00/00/0000 %s", how) << "00/00/0000" << typed << false;
        QTest::addRow("29/02/2023 %s", how) << "29/02/2023" << typed << false;
        QTest::addRow("31/04/2026 %s", how) << "31/04/2026" << typed << false;
        QTest::addRow("32/13/2026 %s", how) << "32/13/2026" << typed << false;
        QTest::addRow("29/02/2024 %s", how) << "29/02/2024" << typed << true;
    }
    QTest::newRow("curta digitada") << "1/2/2024" << true << false;
    QTest::newRow("letras calendario") << "ab/cd/efgh" << false << false;
    QTest::newRow("vazia calendario") << "" << false << false;
    QTest::newRow("controle calendario") << QStringLiteral("29/02/2024") + QChar(0) << false
                                         << false;
}

void TestBadInput::datesTypedOrChosen()
{
    QFETCH(QString, date);
    QFETCH(bool, typed);
    QFETCH(bool, valid);
    auto [services, presenter, screen, op] = Tela{};
    documento(op, QStringLiteral("905"));
    stDtEmissao.clear();
    if (typed) { // a short date takes the slashes where a whole one has them: "12/20/24"
        op.digita(QString(date).remove(u'/'));
        op.enter();
    } else {
        services.calendar = {date};
        op.toca(CampoData);
    }
    QCOMPARE(op.legenda(CampoData), valid ? date : QString());
    QCOMPARE(stDtEmissao, valid ? date : QString());
    if (valid) {
        QVERIFY2(presenter.calls.isEmpty(), qPrintable(presenter.texts().join(u'|')));
    } else {
        if (!date.isEmpty()) {
            QCOMPARE(presenter.calls.size(), 1);
            QCOMPARE(presenter.calls[0], errorCall("Data Inválida.", "E01"));
        }
        QCOMPARE(op.foco(), CampoData); // back on the date
    }
    presenter.clear();
    op.confirma(CampoMesa, QStringLiteral("7"));
    tocaItem(op, services, QStringLiteral("101"), QStringLiteral("2"));
    if (!valid) {
        QCOMPARE(presenter.calls.size(), 1);
        QCOMPARE(presenter.calls[0], errorCall("Data de emissão deve ser informado.", "E01"));
        QCOMPARE(op.linhas(Operador::Itens), 0);
        gravar(screen.get());
        QTRY_COMPARE_WITH_TIMEOUT(presenter.calls.size(), 2, 2000);
        QCOMPARE(count(QStringLiteral("SELECT COUNT(*) FROM VENDA")), 0);
        return;
    }
    pay(screen.get(), QStringLiteral("1"), QStringLiteral("25"));
    QVERIFY2(presenter.calls.isEmpty(), qPrintable(presenter.texts().join(u'|')));
    gravar(screen.get());
    QTRY_VERIFY_WITH_TIMEOUT(!screen->isVisible(), 2000);
    QCOMPARE(scalar(QStringLiteral("SELECT DTVENDA FROM VENDA")).toDate(), QDate(2024, 2, 29));
    QCOMPARE(scalar(QStringLiteral("SELECT DTVENDA FROM ITVENDA")).toDate(), QDate(2024, 2, 29));
}

void TestBadInput::unconfirmedDateIsAskedAgain()
{
    auto [services, presenter, screen, op] = Tela{};
    documento(op, QStringLiteral("907"));
    stDtEmissao.clear();
    op.digita(QStringLiteral("99999999")); // 99/99/9999, no Enter
    QCOMPARE(op.legenda(CampoData), QString("99/99/9999"));
    tocaItem(op, services, QStringLiteral("101"), QStringLiteral("1"));
    QCOMPARE(presenter.calls.size(), 1);
    QCOMPARE(presenter.calls[0], errorCall("Data Inválida.", "E01"));
    QVERIFY(op.vermelho(CampoData));
    op.digita(QStringLiteral("\b")); // the keys go to the refused date
    QCOMPARE(op.legenda(CampoData), QString("99/99/999"));
    QCOMPARE(op.linhas(Operador::Itens), 0);
}

QTEST_MAIN(TestBadInput)
#include "tst_badinput.moc"
