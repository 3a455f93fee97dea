#include "clientdataset.h"
#include "exception.h"

#include <QFile>
#include <QLocale>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

FieldDecl text(const QString &name, int size = 0)
{
    FieldDecl f;
    f.name = name;
    f.size = size;
    return f;
}

FieldDecl number(const QString &name)
{
    FieldDecl f;
    f.name = name;
    f.type = FieldType::Float;
    return f;
}

// The payment-type list reduced to what its filters and look-ups read.
QList<FieldDecl> paymentTypes()
{
    return {text("CDTIPORECE", 3), text("DSBUTTON", 40), text("CDFPIMPFIS", 10),
            text("IDMOSTRARECE", 1)};
}

QStringList column(ClientDataSet &ds, const QString &field)
{
    QStringList out;
    for (ds.First(); !ds.Eof(); ds.Next())
        out << ds.FieldByName(field).AsString();
    return out;
}

void add(ClientDataSet &ds, const QString &code, const QVariant &cdfp, const QVariant &show)
{
    ds.Append();
    ds.FieldByName("CDTIPORECE").setAsString(code);
    ds.FieldByName("CDFPIMPFIS").setValue(cdfp);
    ds.FieldByName("IDMOSTRARECE").setValue(show);
    ds.Post();
}

} // namespace

class TestClientDataSet : public QObject
{
    Q_OBJECT
private slots:
    void init() { QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil)); }

    void createdEmptyWithDeclaredColumnsAndStoredTextIsCut();
    void insertGoesAheadOfCurrentAndPostedRecordIsCurrent();
    void navigationFlagsAndDeletingTheLastRow();
    void editCancelAndFieldConversions();
    void loadLackingDeclaredColumnFailsAndKeepsDatasetAsItWas();
    void missingProductFileLeavesBothProductDatasetsOpenAndEmpty();
    void fileRoundTripKeepsLayoutAndValues();
    void copyOfDataSharesRowsUntilOneSideWrites();
    void locateIsExactCaseSensitiveAndWholeValue();
    void paymentFiltersOnShownEmptyAndNullFlags();
    void badFilterTextIsAnExceptionAndLeavesFilterAsItWas();
    void signalsFollowEveryChange();
    // A new row left without its post (an error while filling it) is gone, and a list it
    // would have been the first row of is closed again; rows already there stay.
    void newRowLeftUnpostedIsUndone();
    void typedFlagsReadAlikeInFieldsAndPackets_data();
    void typedFlagsReadAlikeInFieldsAndPackets();
};

// A created dataset has exactly its declared columns; a text declared without size holds 20
// characters, and longer text is cut when stored rather than refused.
void TestClientDataSet::createdEmptyWithDeclaredColumnsAndStoredTextIsCut()
{
    ClientDataSet ds("cdsReceb");
    ds.setFieldDecls({text("CDTIPORECE", 3), text("NMTIPORECE"), number("VRTIPORECE")});
    QVERIFY(!ds.Active());
    QVERIFY_THROWS_EXCEPTION(Exception, ds.First());
    ds.CreateDataSet();
    QVERIFY(ds.Active());
    QVERIFY(ds.IsEmpty());
    QVERIFY(ds.Eof() && ds.Bof());
    QCOMPARE(ds.RecNo(), 0);
    QCOMPARE(ds.FieldCount(), 3);
    QCOMPARE(ds.fieldDef(1).size, 20);
    ds.Append();
    ds.FieldByName("CDTIPORECE").setAsString("00123");
    ds.FieldByName("NMTIPORECE").setAsString(QString(30, u'x'));
    ds.FieldByName("VRTIPORECE").setAsString("1.234,5");
    ds.Post();
    QCOMPARE(ds.FieldByName("CDTIPORECE").AsString(), QStringLiteral("001"));
    QCOMPARE(ds.FieldByName("NMTIPORECE").AsString().size(), 20);
    QCOMPARE(ds.FieldByName("VRTIPORECE").AsFloat(), 1234.5);
    QCOMPARE(ds.FieldByName("vrtiporece").AsString(), QStringLiteral("1234,5"));
    QVERIFY_THROWS_EXCEPTION(Exception, ds.FieldByName("NOPE"));
}

// Items are inserted at the cursor: the new record lands ahead of the current one and is
// current after Post, so the grid shows the operator the line just keyed.
void TestClientDataSet::insertGoesAheadOfCurrentAndPostedRecordIsCurrent()
{
    ClientDataSet ds("cdsProdutos");
    ds.setFieldDecls({text("CDPRODUTO", 10)});
    ds.CreateDataSet();
    ds.Insert(); // on an empty dataset
    ds.FieldByName("CDPRODUTO").setAsString("A");
    ds.Post();
    ds.Append();
    ds.FieldByName("CDPRODUTO").setAsString("C");
    ds.Post();
    QCOMPARE(ds.RecNo(), 2);
    ds.Insert();
    ds.FieldByName("CDPRODUTO").setAsString("B");
    ds.Post();
    QCOMPARE(ds.RecNo(), 2);
    QCOMPARE(ds.FieldByName("CDPRODUTO").AsString(), QStringLiteral("B"));
    QCOMPARE(column(ds, "CDPRODUTO"), QStringList({"A", "B", "C"}));
    // Moving away posts a pending insert, so no keyed line is lost.
    ds.First();
    ds.Insert();
    ds.FieldByName("CDPRODUTO").setAsString("0");
    ds.Next();
    QCOMPARE(ds.state(), ClientDataSet::State::Browse);
    QCOMPARE(column(ds, "CDPRODUTO"), QStringList({"0", "A", "B", "C"}));
}

// The screen deletes its last item and later creates the dataset again: the delete must leave
// an open, empty dataset, and re-creating gives the declared columns and no old rows.
void TestClientDataSet::navigationFlagsAndDeletingTheLastRow()
{
    ClientDataSet ds("cdsProdutos");
    ds.setFieldDecls({text("CDPRODUTO", 10), number("QTPRODVEND")});
    ds.CreateDataSet();
    for (const char *c : {"1", "2", "3"}) {
        ds.Append();
        ds.FieldByName("CDPRODUTO").setAsString(c);
        ds.Post();
    }
    ds.Last();
    QVERIFY(ds.Eof());
    ds.Prior();
    QVERIFY(!ds.Eof() && !ds.Bof());
    QCOMPARE(ds.RecNo(), 2);
    ds.Delete(); // the middle one: the next row becomes current
    QCOMPARE(ds.FieldByName("CDPRODUTO").AsString(), QStringLiteral("3"));
    ds.Delete(); // the last one: the previous row becomes current
    QCOMPARE(ds.FieldByName("CDPRODUTO").AsString(), QStringLiteral("1"));
    ds.Delete();
    QVERIFY(ds.Active());
    QVERIFY(ds.IsEmpty());
    QVERIFY(ds.Eof() && ds.Bof());
    QVERIFY(ds.FieldByName("CDPRODUTO").IsNull());
    QVERIFY_THROWS_EXCEPTION(Exception, ds.Delete());
    ds.Close();
    ds.CreateDataSet();
    QCOMPARE(ds.FieldCount(), 2);
    QCOMPARE(ds.RecordCount(), 0);
}

// Edit keeps changes aside until Post; Cancel throws them away. Writing outside an edit is an
// error, and typed text converts by the locale both ways.
void TestClientDataSet::editCancelAndFieldConversions()
{
    ClientDataSet ds("cdsMovCaixa");
    FieldDecl when;
    when.name = "DTHRINCMOV";
    when.type = FieldType::DateTime;
    FieldDecl day;
    day.name = "DTMOVIMCAIXA";
    day.type = FieldType::Date;
    FieldDecl count;
    count.name = "QTD";
    count.type = FieldType::Integer;
    ds.setFieldDecls({number("VRMOVIVEND"), when, day, count, text("NRSEQ", 3)});
    ds.CreateDataSet();
    ds.Append();
    ds.FieldByName("VRMOVIVEND").setAsFloat(10.5);
    ds.FieldByName("DTHRINCMOV").setAsString("31/01/2024 10:11:12");
    ds.FieldByName("DTMOVIMCAIXA").setAsString("31/01/2024");
    ds.FieldByName("QTD").setAsString("7");
    ds.Post();
    QVERIFY_THROWS_EXCEPTION(Exception, ds.FieldByName("VRMOVIVEND").setAsFloat(1));
    ds.Edit();
    ds.FieldByName("VRMOVIVEND").setAsString("20,25");
    QCOMPARE(ds.FieldByName("VRMOVIVEND").AsFloat(), 20.25);
    ds.Cancel();
    QCOMPARE(ds.FieldByName("VRMOVIVEND").AsFloat(), 10.5);
    ds.Edit();
    QVERIFY_THROWS_EXCEPTION(Exception, ds.FieldByName("VRMOVIVEND").setAsString("abc"));
    QVERIFY_THROWS_EXCEPTION(Exception, ds.FieldByName("DTMOVIMCAIXA").setAsString("31/02/2024"));
    ds.FieldByName("NRSEQ").setAsInteger(1);
    ds.Post();
    QCOMPARE(ds.FieldByName("DTHRINCMOV").AsDateTime(),
             QDateTime(QDate(2024, 1, 31), QTime(10, 11, 12)));
    QCOMPARE(ds.FieldByName("DTMOVIMCAIXA").AsString(), QStringLiteral("31/01/2024"));
    // Days since 30/12/1899, as the rest of the system counts dates.
    QCOMPARE(ds.FieldByName("DTMOVIMCAIXA").AsFloat(), 45322.0);
    QCOMPARE(ds.FieldByName("QTD").AsInteger(), 7);
    QCOMPARE(ds.FieldByName("NRSEQ").AsString(), QStringLiteral("1"));
    QVERIFY(!ds.FieldByName("NRSEQ").IsNull());
    ds.Edit();
    ds.FieldByName("NRSEQ").Clear();
    ds.FieldByName("VRMOVIVEND").setAsString("");
    ds.Post();
    QVERIFY(ds.FieldByName("NRSEQ").IsNull());
    QVERIFY(ds.FieldByName("VRMOVIVEND").IsNull());
    QCOMPARE(ds.FieldByName("VRMOVIVEND").AsFloat(), 0.0);
}

// A cache file that lacks a declared column must fail with the dataset and column named, and
// the dataset must stay exactly as it was, not half-loaded.
void TestClientDataSet::loadLackingDeclaredColumnFailsAndKeepsDatasetAsItWas()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("AliqImpFis.cds");
    {
        ClientDataSet src("src");
        src.setFieldDecls({text("CDALIQIMPFIS", 10), text("IDALIQIMPFIS", 1)});
        src.CreateDataSet();
        src.Append();
        src.FieldByName("CDALIQIMPFIS").setAsString("T1");
        src.Post();
        src.SaveToFile(path);
    }
    ClientDataSet ds("cdsAliquota");
    ds.setFieldDecls({text("CDALIQIMPFIS", 10), number("VRALIQIMPFIS"), text("IDALIQIMPFIS", 1)});
    ds.CreateDataSet();
    ds.Append();
    ds.FieldByName("CDALIQIMPFIS").setAsString("KEEP");
    ds.Post();
    try {
        ds.LoadFromFile(path);
        QFAIL("load should fail");
    } catch (const Exception &e) {
        QVERIFY2(e.Message().contains("cdsAliquota"), qPrintable(e.Message()));
        QVERIFY2(e.Message().contains("VRALIQIMPFIS"), qPrintable(e.Message()));
    }
    QVERIFY(ds.Active());
    QCOMPARE(ds.RecordCount(), 1);
    QCOMPARE(ds.FieldByName("CDALIQIMPFIS").AsString(), QStringLiteral("KEEP"));
    QCOMPARE(ds.FieldCount(), 3);

    ClientDataSet fresh("cdsAliquota");
    fresh.setFieldDecls(ds.fieldDecls());
    QVERIFY_THROWS_EXCEPTION(Exception, fresh.LoadFromFile(path));
    QVERIFY(!fresh.Active());
    QVERIFY_THROWS_EXCEPTION(Exception, fresh.LoadFromFile(dir.filePath("none.cds")));
    QVERIFY(!fresh.Active());
}

// Without the product file the catalogue stays open and empty with its 11 declared columns,
// and the 14-column search list receiving its copy must open empty too, not fail: every
// product code is then simply not found.
void TestClientDataSet::missingProductFileLeavesBothProductDatasetsOpenAndEmpty()
{
    const QStringList eleven = {"CDPRODUTO", "CDARVPROD", "NMPRODUTO", "IDPESAPROD",
                                "QTTARAPROD", "CDFAMILISALD", "SGUNIDADE", "IDTIPOCOMPPROD",
                                "IDIMPPRODUTO", "DTINIVGPROMOC", "DTFINVGPROMOC"};
    QList<FieldDecl> load;
    for (const QString &n : eleven)
        load << text(n, 10);
    QList<FieldDecl> valida = load;
    for (const char *n : {"CDBARPRODUTO", "CDPRODINTE", "CDPROTECLADO"})
        valida << text(n, 20);
    ClientDataSet carrega("cdsCarregaProduto");
    carrega.setFieldDecls(load);
    carrega.CreateDataSet();
    QVERIFY_THROWS_EXCEPTION(Exception, carrega.LoadFromFile("/nonexistent/Produtos.cds"));
    QVERIFY(carrega.Active());
    QVERIFY(carrega.IsEmpty());

    ClientDataSet validaProd("cdsValidaProd");
    validaProd.setFieldDecls(valida);
    validaProd.CreateDataSet();
    validaProd.setData(carrega.Data());
    QVERIFY(validaProd.Active());
    QVERIFY(validaProd.IsEmpty());
    QCOMPARE(validaProd.FieldCount(), 14);
    QVERIFY(!validaProd.Locate("CDBARPRODUTO", "789"));

    // With rows, a missing column is still an error.
    carrega.Append();
    carrega.FieldByName("CDPRODUTO").setAsString("1");
    carrega.Post();
    QVERIFY_THROWS_EXCEPTION(Exception, validaProd.setData(carrega.Data()));
    // A packet without columns is no such copy (a server result that was not a packet): it is
    // an error, never an empty list of tables or taxes.
    QVERIFY_THROWS_EXCEPTION(Exception, validaProd.setData(DataPacket()));
}

// Cache files go through dataset -> file -> dataset unchanged: names, order, types, sizes,
// nulls, dates, non-ASCII text and fixed-length text. A dataset without declarations takes
// the file's columns.
void TestClientDataSet::fileRoundTripKeepsLayoutAndValues()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("cdsVenda.cds");
    FieldDecl fixed = text("NRCUPOMFIS", 10);
    fixed.fixed = true;
    FieldDecl when;
    when.name = "DTHRABERMESA";
    when.type = FieldType::DateTime;
    FieldDecl money = number("VRTOTVEND");
    money.currency = true;
    ClientDataSet ds("cdsVendaCancelada");
    ds.setFieldDecls({fixed, text("NMPRODUTO", 50), money, when});
    ds.CreateDataSet();
    ds.Append();
    ds.FieldByName("NRCUPOMFIS").setAsString("42");
    ds.FieldByName("NMPRODUTO").setAsString(QStringLiteral("Pão de queijo & \"café\" <ç>"));
    ds.FieldByName("VRTOTVEND").setAsFloat(0.1 + 0.2);
    const QDateTime opened(QDate(2024, 1, 31), QTime(10, 11, 12, 345));
    ds.FieldByName("DTHRABERMESA").setAsDateTime(opened);
    ds.Post();
    ds.Append(); // all null but an empty text, which is not null
    ds.FieldByName("NMPRODUTO").setAsString("");
    ds.Post();
    ds.SaveToFile(path);

    ClientDataSet back("undeclared");
    back.LoadFromFile(path);
    QCOMPARE(back.FieldCount(), 4);
    for (int c = 0; c < 4; ++c)
        QCOMPARE(back.fieldDef(c), ds.fieldDef(c));
    back.First();
    QCOMPARE(back.FieldByName("NRCUPOMFIS").AsString(), QStringLiteral("42        "));
    QCOMPARE(back.FieldByName("NMPRODUTO").AsString(),
             QStringLiteral("Pão de queijo & \"café\" <ç>"));
    QCOMPARE(back.FieldByName("VRTOTVEND").AsFloat(), 0.1 + 0.2);
    QCOMPARE(back.FieldByName("DTHRABERMESA").AsDateTime(),
             QDateTime(QDate(2024, 1, 31), QTime(10, 11, 12, 345)));
    back.Next();
    QVERIFY(back.FieldByName("NRCUPOMFIS").IsNull());
    QVERIFY(back.FieldByName("VRTOTVEND").IsNull());
    QVERIFY(back.FieldByName("DTHRABERMESA").IsNull());
    QVERIFY(!back.FieldByName("NMPRODUTO").IsNull());
    QCOMPARE(back.Data().toXml(), ds.Data().toXml());
    QVERIFY(back.Locate("NRCUPOMFIS", "42")); // the padding is storage, not part of the key
}

// Copying the catalogue to the search list must cost nothing: rows stay shared until one
// side writes, and then the other side does not see the write.
void TestClientDataSet::copyOfDataSharesRowsUntilOneSideWrites()
{
    ClientDataSet a("cdsCarregaProduto");
    a.setFieldDecls({text("CDPRODUTO", 10)});
    a.CreateDataSet();
    for (int i = 0; i < 3; ++i) {
        a.Append();
        a.FieldByName("CDPRODUTO").setAsInteger(i);
        a.Post();
    }
    ClientDataSet b("cdsValidaProd");
    b.setFieldDecls({text("CDPRODUTO", 10)});
    b.CreateDataSet();
    b.setData(a.Data());
    QVERIFY(b.Data().sharesRowsWith(a.Data()));
    b.First();
    b.Edit();
    b.FieldByName("CDPRODUTO").setAsString("X");
    b.Post();
    QVERIFY(!b.Data().sharesRowsWith(a.Data()));
    QCOMPARE(column(a, "CDPRODUTO"), QStringList({"0", "1", "2"}));
    QCOMPARE(column(b, "CDPRODUTO"), QStringList({"X", "1", "2"}));
    a.Last();
    a.Delete();
    QCOMPARE(b.RecordCount(), 3);
}

// Product codes are looked up by exact, case-sensitive, whole value; a miss leaves the cursor
// where it was, and the look-up honours an active filter.
void TestClientDataSet::locateIsExactCaseSensitiveAndWholeValue()
{
    ClientDataSet ds = ClientDataSet("cdsValidaProd");
    ds.setFieldDecls({text("CDPRODUTO", 10), number("QTTARAPROD")});
    ds.CreateDataSet();
    for (const char *c : {"abc", "ABC", "ABCD", "12"}) {
        ds.Append();
        ds.FieldByName("CDPRODUTO").setAsString(c);
        ds.FieldByName("QTTARAPROD").setAsFloat(ds.RecordCount() * 0.5);
        ds.Post();
    }
    QVERIFY(ds.Locate("CDPRODUTO", "ABC"));
    QCOMPARE(ds.RecNo(), 2);
    QVERIFY(!ds.Locate("CDPRODUTO", "AB"));
    QVERIFY(!ds.Locate("CDPRODUTO", "Abc"));
    QCOMPARE(ds.RecNo(), 2);
    QVERIFY(ds.Locate("QTTARAPROD", 1.0));
    QCOMPARE(ds.RecNo(), 3);
    QVERIFY(ds.Locate("QTTARAPROD", "1,5")); // typed text follows the locale
    QCOMPARE(ds.RecNo(), 4);
    QVERIFY_THROWS_EXCEPTION(Exception, ds.Locate("NOPE", "x"));
    ds.setFilter("CDPRODUTO <> 'ABC'");
    ds.setFiltered(true);
    QVERIFY(!ds.Locate("CDPRODUTO", "ABC"));
    QVERIFY(ds.Locate("CDPRODUTO", "12"));
    QCOMPARE(ds.RecNo(), 3);
}

// The two payment filters of the screen over rows whose show flag is 'S', empty or null and
// whose fiscal code is present or not. The search shows only 'S'; the code check admits 'S',
// empty and null, but only with a fiscal code (an empty text counts as null in filters).
void TestClientDataSet::paymentFiltersOnShownEmptyAndNullFlags()
{
    // As the cache file has them: a missing attribute is null, an empty one is empty text.
    const QByteArray file =
        "<DATAPACKET Version=\"2.0\"><METADATA><FIELDS>"
        "<FIELD attrname=\"CDTIPORECE\" fieldtype=\"string\" WIDTH=\"3\"/>"
        "<FIELD attrname=\"DSBUTTON\" fieldtype=\"string\" WIDTH=\"40\"/>"
        "<FIELD attrname=\"CDFPIMPFIS\" fieldtype=\"string\" WIDTH=\"10\"/>"
        "<FIELD attrname=\"IDMOSTRARECE\" fieldtype=\"string\" WIDTH=\"1\"/>"
        "</FIELDS></METADATA><ROWDATA>"
        "<ROW CDTIPORECE=\"001\" CDFPIMPFIS=\"01\" IDMOSTRARECE=\"S\"/>"
        "<ROW CDTIPORECE=\"002\" IDMOSTRARECE=\"S\"/>"
        "<ROW CDTIPORECE=\"003\" CDFPIMPFIS=\"03\" IDMOSTRARECE=\"\"/>"
        "<ROW CDTIPORECE=\"004\" CDFPIMPFIS=\"04\"/>"
        "<ROW CDTIPORECE=\"005\" CDFPIMPFIS=\"05\" IDMOSTRARECE=\"N\"/>"
        "<ROW CDTIPORECE=\"006\" CDFPIMPFIS=\"\"/>"
        "<ROW CDTIPORECE=\"007\"/>"
        "</ROWDATA></DATAPACKET>";
    ClientDataSet ds("cdsRecebAux");
    ds.setFieldDecls(paymentTypes());
    ds.CreateDataSet();
    ds.setData(DataPacket::fromXml(file, "ConfTipoRece.cds"));
    ds.Locate("CDTIPORECE", "003");
    QVERIFY(!ds.FieldByName("IDMOSTRARECE").IsNull()); // distinct outside filters
    ds.Locate("CDTIPORECE", "004");
    QVERIFY(ds.FieldByName("IDMOSTRARECE").IsNull());
    ds.setFilter("(IDMOSTRARECE = 'S')");
    ds.setFiltered(true);
    QCOMPARE(column(ds, "CDTIPORECE"), QStringList({"001", "002"}));
    ds.setFiltered(false);
    ds.setFilter("(IDMOSTRARECE = 'S' OR IDMOSTRARECE IS NULL) AND CDFPIMPFIS IS NOT NULL");
    ds.setFiltered(true);
    QCOMPARE(column(ds, "CDTIPORECE"), QStringList({"001", "003", "004"}));
    QCOMPARE(ds.RecordCount(), 3);
    QVERIFY(ds.Locate("CDTIPORECE", "003"));
    QVERIFY(!ds.Locate("CDTIPORECE", "002"));
    ds.setFilter("idmostrarece <> 'S' and not (cdtiporece = '007')");
    QCOMPARE(column(ds, "CDTIPORECE"), QStringList({"003", "004", "005", "006"}));
    ds.setFiltered(false);
    QCOMPARE(ds.RecordCount(), 7);
    // A row inserted while filtered stays in the data even when the filter hides it.
    ds.setFilter("IDMOSTRARECE = 'S'");
    ds.setFiltered(true);
    add(ds, "008", "08", "N");
    QCOMPARE(ds.RecordCount(), 2);
    ds.setFiltered(false);
    QCOMPARE(ds.RecordCount(), 8);
}

// A filter text the parser cannot read, or one naming no column, is an Exception naming the
// problem; the dataset keeps its previous filter and rows.
void TestClientDataSet::badFilterTextIsAnExceptionAndLeavesFilterAsItWas()
{
    ClientDataSet ds("cdsRecebAux");
    ds.setFieldDecls(paymentTypes());
    ds.CreateDataSet();
    add(ds, "001", "01", "S");
    add(ds, "002", "02", "N");
    ds.setFilter("IDMOSTRARECE = 'S'");
    ds.setFiltered(true);
    QCOMPARE(ds.RecordCount(), 1);
    for (const char *bad : {"(IDMOSTRARECE = 'S'", "IDMOSTRARECE = 'S", "IDMOSTRARECE IS",
                            "IDMOSTRARECE", "NOPE = 'S'", "IDMOSTRARECE = 'S' AND",
                            "IDMOSTRARECE == 'S'", "IDMOSTRARECE = 'S' )", "# = 1", ""
                            "IDMOSTRARECE IS NOT 'S'", "AND", "((((((((((((((((((((((((((("}) {
        QVERIFY_THROWS_EXCEPTION(Exception, ds.setFilter(QString::fromLatin1(bad)));
        QCOMPARE(ds.RecordCount(), 1);
        QCOMPARE(ds.Filter(), QStringLiteral("IDMOSTRARECE = 'S'"));
    }
    ds.setFiltered(false);
    ds.setFilter("CDTIPORECE = ");
    QVERIFY_THROWS_EXCEPTION(Exception, ds.setFiltered(true));
    QVERIFY(!ds.Filtered());
    QCOMPARE(ds.RecordCount(), 2);
    ds.setFilter(QString(500, u'(') + "CDTIPORECE = '1'" + QString(500, u')'));
    QVERIFY_THROWS_EXCEPTION(Exception, ds.setFiltered(true));
}

// Grids follow the dataset only through its signals, so each change must announce itself
// with the right row: insert, remove, change and reset on open, filter and close.
void TestClientDataSet::signalsFollowEveryChange()
{
    ClientDataSet ds("cdsReceb");
    ds.setFieldDecls({text("CDTIPORECE", 3)});
    QSignalSpy resets(&ds, &ClientDataSet::reset);
    QSignalSpy inserted(&ds, &ClientDataSet::rowInserted);
    QSignalSpy removed(&ds, &ClientDataSet::rowRemoved);
    QSignalSpy changed(&ds, &ClientDataSet::rowChanged);
    QSignalSpy current(&ds, &ClientDataSet::currentRowChanged);
    ds.CreateDataSet();
    QCOMPARE(resets.size(), 1);
    ds.Append();
    ds.FieldByName("CDTIPORECE").setAsString("1");
    ds.Post();
    ds.First();
    ds.Insert();
    ds.Post();
    QCOMPARE(inserted.size(), 2);
    QCOMPARE(inserted.last().at(0).toInt(), 0);
    QCOMPARE(current.last().at(0).toInt(), 0);
    ds.Next();
    ds.Edit();
    ds.FieldByName("CDTIPORECE").setAsString("2");
    ds.Post();
    QCOMPARE(changed.size(), 1);
    QCOMPARE(changed.last().at(0).toInt(), 1);
    ds.Delete();
    QCOMPARE(removed.last().at(0).toInt(), 1);
    QCOMPARE(current.last().at(0).toInt(), 0);
    ds.EmptyDataSet();
    ds.Close();
    QCOMPARE(resets.size(), 3);
    QCOMPARE(current.last().at(0).toInt(), -1);
}

void TestClientDataSet::newRowLeftUnpostedIsUndone()
{
    ClientDataSet ds(QStringLiteral("cdsReceb"));
    ds.setFieldDecls(paymentTypes());
    ds.CreateDataSet();
    const auto falha = [&ds](const QString &code) {
        try {
            NewRow linha(ds, NewRow::AtEnd);
            linha["CDTIPORECE"].setAsString(code);
            linha["SEMCOLUNA"].setAsString(code); // throws: no such column
            linha.post();
        } catch (const Exception &) {
        }
    };
    falha(QStringLiteral("001"));
    QVERIFY(!ds.Active());

    ds.CreateDataSet();
    {
        NewRow linha(ds, NewRow::AtEnd);
        linha["CDTIPORECE"].setAsString(QStringLiteral("002"));
        linha.post();
    }
    falha(QStringLiteral("003"));
    QVERIFY(ds.Active());
    QCOMPARE(ds.state(), ClientDataSet::State::Browse);
    QCOMPARE(column(ds, QStringLiteral("CDTIPORECE")), QStringList{QStringLiteral("002")});
}

void TestClientDataSet::typedFlagsReadAlikeInFieldsAndPackets_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QVariant>("flag"); // invalid: refused
    QTest::newRow("TRUE") << "TRUE" << QVariant(true);
    QTest::newRow("false") << "false" << QVariant(false);
    QTest::newRow("1") << " 1 " << QVariant(true);
    QTest::newRow("0") << "0" << QVariant(false);
    QTest::newRow("S") << "S" << QVariant(true);
    QTest::newRow("n") << "n" << QVariant(false);
    QTest::newRow("t") << "t" << QVariant(true);
    QTest::newRow("F") << "F" << QVariant(false);
    QTest::newRow("sim") << "sim" << QVariant();
}

// A flag typed on a screen, stored through a dataset field or put straight into a packet, takes
// the same spellings: a flag that one path takes and another refuses would make a sale's
// record depend on the way it was written.
void TestClientDataSet::typedFlagsReadAlikeInFieldsAndPackets()
{
    QFETCH(QString, typed);
    QFETCH(QVariant, flag);
    FieldDecl decl;
    decl.name = QStringLiteral("IDATIVO");
    decl.type = FieldType::Boolean;
    ClientDataSet ds("cdsFlags");
    ds.setFieldDecls({decl});
    ds.CreateDataSet();
    ds.Append();
    const FieldDef def = ds.fieldDef(0);
    if (!flag.isValid()) {
        QVERIFY_THROWS_EXCEPTION(Exception, ds.FieldByName("IDATIVO").setAsString(typed));
        QVERIFY_THROWS_EXCEPTION(Exception, DataPacket::coerce(def, typed));
        return;
    }
    ds.FieldByName("IDATIVO").setAsString(typed);
    QCOMPARE(ds.FieldByName("IDATIVO").Value(), flag);
    QCOMPARE(DataPacket::coerce(def, typed), flag);
}

QTEST_MAIN(TestClientDataSet)
#include "tst_clientdataset.moc"
