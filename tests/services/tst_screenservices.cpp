#include "modaldriver.h"
#include "scriptedpresenter.h"
#include "testenv.h"

#include "clientdataset.h"
#include "screenservices.h"

#include <QAbstractButton>
#include <QCalendarWidget>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>
#include <QTest>

class TestScreenServices : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { TestEnv::usePtBr(); }
    void pointersSetAtLoad();
    void numericKeypadTypesAndConfirms();
    void numericKeypadEscapeKeepsResult();
    void numericKeypadEmptyOkShowsRequiredText();
    void numericKeypadDecimalValue();
    void alphaKeypad();
    void calendarReturnsDateText();
    void pesquisaFiltersUnderDataSetFilter();
    void pesquisaCancelLeavesDataSet();
    void pesquisaLargeCatalogue();
    void relFiscaisInformsAndCloses();

private:
    static bool numeric(QString &result, int flag1 = 0, int flag2 = 0, int maxLength = 20)
    {
        return TecladoNumerico(result, QStringLiteral("Registro Manual"),
                               QStringLiteral("Número da mesa"),
                               QStringLiteral("Mesa deve ser informada."), maxLength, flag1,
                               flag2, 0, 0, 0);
    }
    static QString display(QDialog *d)
    {
        return d->findChild<QLabel *>(QStringLiteral("display"))->text();
    }
    static void fillPayments(ClientDataSet &ds);
};

void TestScreenServices::pointersSetAtLoad()
{
    // The screen calls the services only through these pointers, before any code of this
    // library has run.
    QVERIFY(TecladoNumerico && TecladoAlfaNumerico && TouchCalendar && Pesquisa && RelFiscais);
    QVERIFY(ChamaFuncaoGetRetornaPreco);
    QVERIFY(SetConcluiFechamento);
}

void TestScreenServices::numericKeypadTypesAndConfirms()
{
    // Typing on the physical keyboard with a correction, then Enter, must hand the text back;
    // the length limit holds and keys the keypad does not use neither type nor close it.
    ModalDriver driver;
    bool openAfterStrayKeys = false;
    driver.whenShown([&](QDialog *d) {
        ModalDriver::type(d, QStringLiteral("123"));
        ModalDriver::press(d, Qt::Key_Backspace);
        ModalDriver::type(d, QStringLiteral("4a,"));
        ModalDriver::press(d, Qt::Key_F5);
        ModalDriver::press(d, Qt::Key_Tab);
        openAfterStrayKeys = d->isVisible() && display(d) == QLatin1String("124");
        d->findChild<QAbstractButton *>(QStringLiteral("key7"))->click();
        ModalDriver::press(d, Qt::Key_Return);
    });
    QString result = QStringLiteral("old");
    QVERIFY(numeric(result));
    QVERIFY(driver.ran() && !driver.leftOpen());
    QVERIFY(openAfterStrayKeys);
    QCOMPARE(result, QStringLiteral("1247"));

    driver.whenShown([](QDialog *d) {
        ModalDriver::type(d, QStringLiteral("123456"));
        ModalDriver::press(d, Qt::Key_Enter);
    });
    QVERIFY(numeric(result, 0, 0, 4));
    QCOMPARE(result, QStringLiteral("1234"));
}

void TestScreenServices::numericKeypadEscapeKeepsResult()
{
    // Escape is the operator's way out: the caller must see "not confirmed" and its variable
    // untouched, even after digits were typed (and the Cancel button behaves the same).
    ModalDriver driver;
    driver.whenShown([](QDialog *d) {
        ModalDriver::type(d, QStringLiteral("99"));
        ModalDriver::press(d, Qt::Key_Escape);
    });
    QString result = QStringLiteral("12");
    QVERIFY(!numeric(result));
    QVERIFY(driver.ran() && !driver.leftOpen());
    QCOMPARE(result, QStringLiteral("12"));

    driver.whenShown([](QDialog *d) {
        ModalDriver::type(d, QStringLiteral("5"));
        d->findChild<QAbstractButton *>(QStringLiteral("cancel"))->click();
    });
    QVERIFY(!numeric(result));
    QCOMPARE(result, QStringLiteral("12"));
}

void TestScreenServices::numericKeypadEmptyOkShowsRequiredText()
{
    // OK on an empty entry must explain what is missing (as an error box) and keep the keypad
    // open for the value, rather than return an empty text the caller would have to reject.
    ScriptedPresenter presenter;
    ModalDriver driver;
    bool openAfterEmptyOk = false;
    driver.whenShown([&](QDialog *d) {
        ModalDriver::press(d, Qt::Key_Return);
        d->findChild<QAbstractButton *>(QStringLiteral("ok"))->click();
        openAfterEmptyOk = d->isVisible();
        ModalDriver::type(d, QStringLiteral("8"));
        ModalDriver::press(d, Qt::Key_Return);
    });
    QString result;
    QVERIFY(numeric(result));
    QVERIFY(openAfterEmptyOk);
    QCOMPARE(result, QStringLiteral("8"));
    QCOMPARE(presenter.calls.size(), 2);
    QCOMPARE(presenter.calls.at(0), errorCall(QStringLiteral("Mesa deve ser informada."), {}));
}

void TestScreenServices::numericKeypadDecimalValue()
{
    // A payment value takes one locale separator (either key of the numeric pad) and at most
    // two decimals; a dangling separator is dropped so the caller can convert the text. An
    // integer field ignores the separator altogether.
    ModalDriver driver;
    driver.whenShown([](QDialog *d) {
        ModalDriver::type(d, QStringLiteral("12,.3456"));
        ModalDriver::press(d, Qt::Key_Return);
    });
    QString result;
    QVERIFY(numeric(result, 1, 1));
    QCOMPARE(result, QStringLiteral("12,34"));

    driver.whenShown([](QDialog *d) {
        ModalDriver::type(d, QStringLiteral(".5"));
        d->findChild<QAbstractButton *>(QStringLiteral("ok"))->click();
    });
    QVERIFY(numeric(result, 1, 1));
    QCOMPARE(result, QStringLiteral("0,5"));

    driver.whenShown([](QDialog *d) {
        ModalDriver::type(d, QStringLiteral("7,"));
        ModalDriver::press(d, Qt::Key_Return);
    });
    QVERIFY(numeric(result, 1, 1));
    QCOMPARE(result, QStringLiteral("7"));

    driver.whenShown([](QDialog *d) {
        QVERIFY(!d->findChild<QAbstractButton *>(QStringLiteral("keyDecimal"))->isEnabled());
        ModalDriver::type(d, QStringLiteral("3,5"));
        ModalDriver::press(d, Qt::Key_Return);
    });
    QVERIFY(numeric(result));
    QCOMPARE(result, QStringLiteral("35"));
}

void TestScreenServices::alphaKeypad()
{
    // Series codes are typed or tapped and come back upper case; Escape gives an empty text,
    // which the caller reads as "nothing entered".
    ModalDriver driver;
    driver.whenShown([](QDialog *d) {
        ModalDriver::type(d, QStringLiteral("ab1"));
        d->findChild<QAbstractButton *>(QStringLiteral("keyX"))->click();
        d->findChild<QAbstractButton *>(QStringLiteral("space"))->click();
        ModalDriver::type(d, QStringLiteral("z"));
        ModalDriver::press(d, Qt::Key_Backspace);
        ModalDriver::press(d, Qt::Key_Return);
    });
    QCOMPARE(TecladoAlfaNumerico({}, {}, {}, 0), QStringLiteral("AB1X "));
    QVERIFY(driver.ran() && !driver.leftOpen());

    driver.whenShown([](QDialog *d) {
        ModalDriver::type(d, QStringLiteral("D"));
        ModalDriver::press(d, Qt::Key_Escape);
    });
    QCOMPARE(TecladoAlfaNumerico({}, {}, {}, 0), QString());
    QVERIFY(driver.ran() && !driver.leftOpen());
}

void TestScreenServices::calendarReturnsDateText()
{
    // The issue date comes back as the system's short date text (dd/MM/yyyy here), which the
    // screen converts back; Escape returns an empty text. Enter reaches the dialog even though
    // the month grid holds the keyboard focus.
    ModalDriver driver;
    driver.whenShown([](QDialog *d) {
        auto *calendar = d->findChild<QCalendarWidget *>();
        calendar->setSelectedDate(QDate(2024, 3, 5));
        ModalDriver::press(d, Qt::Key_Return);
    });
    QCOMPARE(TouchCalendar({}, {}, {}), QStringLiteral("05/03/2024"));
    QVERIFY(driver.ran() && !driver.leftOpen());

    QDate shownFirst;
    driver.whenShown([&](QDialog *d) {
        shownFirst = d->findChild<QCalendarWidget *>()->selectedDate();
        ModalDriver::press(d, Qt::Key_Escape);
    });
    QCOMPARE(TouchCalendar(QStringLiteral("28/02/2023"), {}, {}), QString());
    QVERIFY(driver.ran() && !driver.leftOpen());
    QCOMPARE(shownFirst, QDate(2023, 2, 28));
}

void TestScreenServices::fillPayments(ClientDataSet &ds)
{
    auto decl = [](const char *name, int size, const char *label, bool visible) {
        FieldDecl d;
        d.name = QString::fromLatin1(name);
        d.size = size;
        d.displayLabel = QString::fromUtf8(label);
        d.visible = visible;
        return d;
    };
    const FieldDecl code = decl("CDTIPORECE", 3, "Código", true);
    const FieldDecl name = decl("NMTIPORECE", 30, "Tipo de recebimento", true);
    const FieldDecl shown = decl("IDMOSTRARECE", 1, "", false);
    ds.setFieldDecls({code, name, shown});
    ds.CreateDataSet();
    const char *rows[][3] = {{"001", "Dinheiro", "S"},      {"002", "Cartão Crédito", "S"},
                             {"003", "CARTAO PRESENTE", "N"}, {"004", "Cheque", "S"},
                             {"005", "Cartão Débito", "S"},   {"006", "Vale", "N"}};
    for (const auto &r : rows) {
        ds.Append();
        ds.FieldByName(QStringLiteral("CDTIPORECE")).setAsString(QString::fromUtf8(r[0]));
        ds.FieldByName(QStringLiteral("NMTIPORECE")).setAsString(QString::fromUtf8(r[1]));
        ds.FieldByName(QStringLiteral("IDMOSTRARECE")).setAsString(QString::fromUtf8(r[2]));
        ds.Post();
    }
    ds.setFilter(QStringLiteral("(IDMOSTRARECE = 'S')"));
    ds.setFiltered(true);
    ds.First();
}

void TestScreenServices::pesquisaFiltersUnderDataSetFilter()
{
    // The payment types list is called on a filtered dataset: the list must show only those
    // rows and shown columns, narrow as the operator types (any case, no accents needed), and
    // return with the chosen row current while the caller's own filter is left as it was.
    ClientDataSet ds(QStringLiteral("cdsRecebAux"));
    fillPayments(ds);
    QCOMPARE(ds.RecordCount(), 4);

    ModalDriver driver;
    int listed = -1, narrowed = -1;
    QStringList headers;
    driver.whenShown([&](QDialog *d) {
        auto *view = d->findChild<QTableView *>();
        listed = view->model()->rowCount();
        for (int c = 0; c < view->model()->columnCount(); ++c)
            headers << view->model()->headerData(c, Qt::Horizontal).toString();
        ModalDriver::type(d, QStringLiteral("cartao"));
        narrowed = view->model()->rowCount();
        ModalDriver::press(d, Qt::Key_Down);
        ModalDriver::press(d, Qt::Key_Return);
    });
    QVERIFY(Pesquisa(&ds, {}, {}, 0, 0, 0, 0, 0));
    QVERIFY(driver.ran() && !driver.leftOpen());
    QCOMPARE(listed, 4);
    QCOMPARE(headers, QStringList({QStringLiteral("Código"),
                                   QStringLiteral("Tipo de recebimento")}));
    QCOMPARE(narrowed, 2);
    QCOMPARE(ds.FieldByName(QStringLiteral("NMTIPORECE")).AsString(),
             QStringLiteral("Cartão Débito"));
    QCOMPARE(ds.RecordCount(), 4);
    QVERIFY(ds.Filtered());
    QCOMPARE(ds.Filter(), QStringLiteral("(IDMOSTRARECE = 'S')"));

    // A filter that matches nothing keeps the list open on OK; clearing it lists all again.
    driver.whenShown([&](QDialog *d) {
        auto *view = d->findChild<QTableView *>();
        ModalDriver::type(d, QStringLiteral("zzz"));
        d->findChild<QAbstractButton *>(QStringLiteral("ok"))->click();
        narrowed = d->isVisible() ? view->model()->rowCount() : -1;
        d->findChild<QLineEdit *>(QStringLiteral("filter"))->clear();
        listed = view->model()->rowCount();
        d->findChild<QAbstractButton *>(QStringLiteral("down"))->click();
        d->findChild<QAbstractButton *>(QStringLiteral("down"))->click();
        ModalDriver::press(d, Qt::Key_Return);
    });
    QVERIFY(Pesquisa(&ds, {}, {}, 0, 0, 0, 0, 0));
    QCOMPARE(narrowed, 0);
    QCOMPARE(listed, 4);
    QCOMPARE(ds.FieldByName(QStringLiteral("CDTIPORECE")).AsString(), QStringLiteral("004"));
}

void TestScreenServices::pesquisaCancelLeavesDataSet()
{
    // Leaving the list must not move the caller's cursor: the screen reads the current row
    // only after a confirmed choice.
    ClientDataSet ds(QStringLiteral("cdsRecebAux"));
    fillPayments(ds);
    ds.Next();
    ModalDriver driver;
    driver.whenShown([](QDialog *d) {
        ModalDriver::type(d, QStringLiteral("din"));
        ModalDriver::press(d, Qt::Key_Escape);
    });
    QVERIFY(!Pesquisa(&ds, {}, {}, 0, 0, 0, 0, 0));
    QVERIFY(driver.ran() && !driver.leftOpen());
    QCOMPARE(ds.RecNo(), 2);
    QCOMPARE(ds.RecordCount(), 4);
}

void TestScreenServices::pesquisaLargeCatalogue()
{
    // A store catalogue of 200,000 products: the matches of a typed text must be exactly the
    // rows holding it, and the choice must land on the right dataset row far down the list.
    DataPacket packet({FieldDef{QStringLiteral("CDPRODUTO"), FieldType::String, 10},
                       FieldDef{QStringLiteral("NMPRODUTO"), FieldType::String, 40}});
    for (int i = 0; i < 200000; ++i) {
        const QString name = i % 1000 == 999 ? QStringLiteral("PÃO DE QUEIJO %1").arg(i)
                                             : QStringLiteral("PRODUTO %1").arg(i);
        packet.appendRow({QStringLiteral("%1").arg(i, 10, 10, QLatin1Char('0')), name});
    }
    ClientDataSet ds(QStringLiteral("cdsValidaProd"));
    ds.setData(packet);
    ds.First();

    ModalDriver driver;
    int matches = -1;
    qint64 typingMs = -1;
    driver.whenShown([&](QDialog *d) {
        QElapsedTimer clock;
        clock.start();
        ModalDriver::type(d, QStringLiteral("pao de q"));
        typingMs = clock.elapsed();
        matches = d->findChild<QTableView *>()->model()->rowCount();
        ModalDriver::press(d, Qt::Key_Down);
        ModalDriver::press(d, Qt::Key_Down);
        ModalDriver::press(d, Qt::Key_Return);
    });
    QVERIFY(Pesquisa(&ds, {}, {}, 0, 0, 0, 0, 0));
    qInfo("8 keystrokes over 200000 rows: %lld ms (index built on the first)", typingMs);
    QCOMPARE(matches, 200);
    QCOMPARE(ds.FieldByName(QStringLiteral("CDPRODUTO")).AsString(),
             QStringLiteral("0000002999"));
    QCOMPARE(ds.RecNo(), 3000);
}

void TestScreenServices::relFiscaisInformsAndCloses()
{
    // With no fiscal printer attached a report request must say so (not pretend it printed),
    // and Escape must close the menu.
    ScriptedPresenter presenter;
    ModalDriver driver;
    driver.whenShown([](QDialog *d) {
        ModalDriver::type(d, QStringLiteral("1"));
        d->findChild<QAbstractButton *>(QStringLiteral("report2"))->click();
        ModalDriver::press(d, Qt::Key_Return);
        ModalDriver::press(d, Qt::Key_Escape);
    });
    RelFiscais();
    QVERIFY(driver.ran() && !driver.leftOpen());
    QCOMPARE(presenter.calls.size(), 2);
    QVERIFY(presenter.calls.at(0).text.startsWith(QStringLiteral("Leitura X")));
    QVERIFY(presenter.calls.at(1).text.startsWith(QStringLiteral("Redução Z")));
}

QTEST_MAIN(TestScreenServices)
#include "tst_screenservices.moc"
