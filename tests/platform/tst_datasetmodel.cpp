#include "clientdataset.h"
#include "datasetmodel.h"

#include <QAbstractItemModelTester>
#include <QItemSelectionModel>
#include <QLocale>
#include <QSize>
#include <QTest>

namespace {

constexpr auto QtTestReporting = QAbstractItemModelTester::FailureReportingMode::QtTest;

FieldDecl decl(const QString &name, FieldType type, const QString &label = QString(),
               bool visible = true, bool currency = false, int size = 0)
{
    FieldDecl f;
    f.name = name;
    f.type = type;
    f.displayLabel = label;
    f.visible = visible;
    f.currency = currency;
    f.size = size;
    return f;
}

// The payment lines as the grid sees them.
QList<FieldDecl> receb()
{
    return {decl("CDTIPORECE", FieldType::String, "Código", false, false, 3),
            decl("NMTIPORECE", FieldType::String, "Nome", true, false, 40),
            decl("VRTIPORECE", FieldType::Float, QString(), true, true)};
}

void addLine(ClientDataSet &ds, const QString &code, double value, bool insert = false)
{
    insert ? ds.Insert() : ds.Append();
    ds.FieldByName("CDTIPORECE").setAsString(code);
    ds.FieldByName("NMTIPORECE").setAsString("Tipo " + code);
    ds.FieldByName("VRTIPORECE").setAsFloat(value);
    ds.Post();
}

} // namespace

class TestDataSetModel : public QObject
{
    Q_OBJECT
private slots:
    void init() { QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil)); }

    void showsLabelsHidesHiddenAndFormatsCurrency();
    void followsEveryChangeUnderTheModelTester();
    void gridDeclaredColumnsReplaceTheDatasetOnes();
    void currentRowFollowsBothWays();
};

// A grid without its own columns shows the shown columns under their labels, the names where
// there is no label, and money in the locale's currency.
void TestDataSetModel::showsLabelsHidesHiddenAndFormatsCurrency()
{
    ClientDataSet ds("cdsReceb");
    ds.setFieldDecls(receb());
    DataSetModel model;
    model.setDataSet(&ds);
    QCOMPARE(model.columnCount(), 2);
    QCOMPARE(model.rowCount(), 0);
    ds.CreateDataSet();
    addLine(ds, "001", 1234.5);
    QCOMPARE(model.columnCount(), 2);
    QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("Nome"));
    QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("VRTIPORECE"));
    QCOMPARE(model.data(model.index(0, 0)).toString(), QStringLiteral("Tipo 001"));
    QCOMPARE(model.data(model.index(0, 1)).toString(), QStringLiteral("R$\u00A01.234,50"));
    QCOMPARE(model.data(model.index(0, 1), DataSetModel::ValueRole).toDouble(), 1234.5);
    QCOMPARE(model.data(model.index(0, 1), Qt::TextAlignmentRole).value<Qt::Alignment>()
                 & Qt::AlignRight, Qt::AlignRight);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QCOMPARE(model.data(model.index(0, 1)).toString(), QStringLiteral("$1,234.50"));
}

// Inserts, deletes, edits, filters, empties, closes and reloads all reach the view through the
// proper begin/end pairs; the model tester checks every step.
void TestDataSetModel::followsEveryChangeUnderTheModelTester()
{
    ClientDataSet ds("cdsReceb");
    ds.setFieldDecls(receb());
    DataSetModel model;
    QAbstractItemModelTester tester(&model, QtTestReporting);
    model.setDataSet(&ds);
    ds.CreateDataSet();
    addLine(ds, "001", 10);
    addLine(ds, "002", 20);
    ds.First();
    addLine(ds, "000", 5, true);
    QCOMPARE(model.rowCount(), 3);
    QCOMPARE(model.data(model.index(0, 0)).toString(), QStringLiteral("Tipo 000"));
    ds.Last();
    ds.Edit();
    ds.FieldByName("NMTIPORECE").setAsString("Cartão");
    ds.Post();
    QCOMPARE(model.data(model.index(2, 0)).toString(), QStringLiteral("Cartão"));
    ds.Delete();
    QCOMPARE(model.rowCount(), 2);
    ds.setFilter("CDTIPORECE = '001'");
    ds.setFiltered(true);
    QCOMPARE(model.rowCount(), 1);
    addLine(ds, "001", 30);
    QCOMPARE(model.rowCount(), 2);
    ds.First();
    ds.Delete();
    QCOMPARE(model.rowCount(), 1);
    ds.setFiltered(false);
    QCOMPARE(model.rowCount(), 2);
    const DataPacket saved = ds.Data();
    ds.EmptyDataSet();
    QCOMPARE(model.rowCount(), 0);
    ds.setData(saved);
    QCOMPARE(model.rowCount(), 2);
    ds.Close();
    QCOMPARE(model.rowCount(), 0);
    ds.CreateDataSet();
    addLine(ds, "009", 9);
    QCOMPARE(model.rowCount(), 1);
}

// The screen's grids name their own columns: order, titles, widths and money formats come from
// the grid, and a column whose field is absent stays empty instead of failing.
void TestDataSetModel::gridDeclaredColumnsReplaceTheDatasetOnes()
{
    ClientDataSet ds("cdsReceb");
    ds.setFieldDecls(receb());
    ds.CreateDataSet();
    addLine(ds, "001", 7.5);
    DataSetModel model;
    QAbstractItemModelTester tester(&model, QtTestReporting);
    model.setDataSet(&ds);
    GridColumn value{"VRTIPORECE", "Valor", 90, Qt::AlignRight, false, "#,##0.00"};
    GridColumn code;
    code.field = "CDTIPORECE";
    code.width = 40;
    GridColumn absent;
    absent.field = "NOPE";
    absent.title = "Nada";
    model.setColumns({value, code, absent});
    QCOMPARE(model.columnCount(), 3);
    QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("Valor"));
    QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("Código"));
    QCOMPARE(model.columns().at(0).width, 90); // the grid applies it to its section
    QCOMPARE(model.data(model.index(0, 0)).toString(), QStringLiteral("7,50"));
    QCOMPARE(model.data(model.index(0, 1)).toString(), QStringLiteral("001"));
    QVERIFY(model.data(model.index(0, 2)).toString().isEmpty());
    ds.Close();
    QCOMPARE(model.columnCount(), 3);
    model.setColumns({});
    QCOMPARE(model.columnCount(), 2);
}

// The grid highlights the dataset's current record, and a row the operator picks in the grid
// becomes the dataset's current record (the one a delete removes).
void TestDataSetModel::currentRowFollowsBothWays()
{
    ClientDataSet ds("cdsReceb");
    ds.setFieldDecls(receb());
    ds.CreateDataSet();
    for (int i = 1; i <= 3; ++i)
        addLine(ds, QString::number(i), i);
    DataSetModel model;
    model.setDataSet(&ds);
    QItemSelectionModel selection(&model);
    model.setSelectionModel(&selection);
    QCOMPARE(selection.currentIndex().row(), 2);
    QVERIFY(model.data(model.index(2, 0), DataSetModel::CurrentRowRole).toBool());
    ds.First();
    QCOMPARE(selection.currentIndex().row(), 0);
    QVERIFY(!model.data(model.index(2, 0), DataSetModel::CurrentRowRole).toBool());
    selection.setCurrentIndex(model.index(1, 1), QItemSelectionModel::ClearAndSelect);
    QCOMPARE(ds.RecNo(), 2);
    ds.Delete();
    QCOMPARE(selection.currentIndex().row(), 1);
    QCOMPARE(ds.FieldByName("CDTIPORECE").AsString(), QStringLiteral("3"));
    {
        ClientDataSet gone("tmp");
        gone.setFieldDecls(receb());
        gone.CreateDataSet();
        model.setDataSet(&gone);
    }
    QVERIFY(!model.dataSet());
    QCOMPARE(model.rowCount(), 0);
}

QTEST_MAIN(TestDataSetModel)
#include "tst_datasetmodel.moc"
