#pragma once

#include "datapacket.h"
#include "operador.h"
#include "scriptedpresenter.h"
#include "screen/frmregvenman.h"
#include "screenservices.h"

#include <QDate>
#include <QList>
#include <QMap>
#include <QSqlDatabase>
#include <QString>
#include <QVariant>
#include <functional>
#include <memory>

// What the screen tests share: a real SQLite store beside the test executable, real cache
// files written there, and scripted screen services in place of the touch dialogs.
namespace ScreenFixture {

// Creates (once per process) the store file with the schema, points the connection string at
// it and fills the tables of branch "0001", store "01". Returns the open test connection.
QSqlDatabase store();
void exec(const QString &sql); // on the test connection; fails the test on error

// A terminal ready for a screen: Brazilian settings, the store, and every cache file.
void prepareTerminal();

// The terminal's parameters file with every column; `overrides` replaces values, `drop`
// leaves columns out.
void writeParameters(const QMap<QString, QVariant> &overrides = {},
                     const QStringList &drop = {});
// The five other cache files (operator, business date, payment types, products, tax rates).
void writeCaches();
void writePacket(const QString &relativePath, const QList<FieldDef> &fields,
                 const QList<QVariantList> &rows);

// A screen as the creator makes it, initialised, shown (not modal) and active.
std::unique_ptr<TfrmRegVenMan> openScreen();

// A working dataset of the screen by its name, for a test that must damage or inspect what the
// screen does not show; fails the test when there is none.
ClientDataSet *dataset(QWidget *screen, const char *name);

// A screen opened with its messages recorded, and the operator at it.
struct TelaComOperador
{
    ScriptedPresenter presenter;
    std::unique_ptr<TfrmRegVenMan> screen = openScreen();
    Operador op{screen.get()};
};

// Text and single keys typed at the screen as Operador types them.
void type(QWidget *screen, const QString &text);
void key(QWidget *screen, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);

// On to the payment type (Enter from the item fields, else a touch), the type code and Enter,
// the value and Enter; the line added with the button.
void pay(TfrmRegVenMan *screen, const QString &code, const QString &value);

// Scripted screen services: each dialog pops its next scripted answer and records its call.
struct DialogCall
{
    QString service;
    QVariantList args;
};
class FakeServices
{
public:
    FakeServices();  // installs the fakes
    ~FakeServices(); // restores the previous pointers and fakes

    static FakeServices *current;
    QList<std::pair<bool, QString>> numeric; // TecladoNumerico: confirmed, text
    QStringList alpha;                       // TecladoAlfaNumerico results
    QStringList calendar;                    // TouchCalendar results
    std::function<bool(ClientDataSet *)> pesquisa; // positions the dataset; default: false
    int relFiscais = 0;
    QList<DialogCall> calls;

private:
    TTecladoNumerico m_numeric;
    TTecladoAlfaNumerico m_alpha;
    TTouchCalendar m_calendar;
    TPesquisa m_pesquisa;
    TRelFiscais m_rel;
    FakeServices *m_previous;
};

// An item as a touch screen adds it: the search list (scripted in `f`) finds the keyboard
// code, the keypad gives the quantity (any spelling, "7,5" too) and the button adds it; no
// field is confirmed with Enter.
void tocaItem(Operador &op, FakeServices &f, const QString &code, const QString &quantity);

QString today();    // dd/MM/yyyy
QString tomorrow(); // dd/MM/yyyy

// A header keyed from the order field, where the screen opens: order and series 1 with Enter,
// sub-series 2, the date from the calendar (a touch asks the store nothing: a document recorded
// before is told with the first item) and Enter, the table (7 unless told) and Enter.
void header(TfrmRegVenMan *screen, const QString &ordem = QStringLiteral("4711"),
            const QString &data = today(), const QString &mesa = QStringLiteral("7"));

} // namespace ScreenFixture
