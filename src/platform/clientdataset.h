#pragma once

#include "datapacket.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QVariant>

class ClientDataSet;

// A declared column of a dataset: its packet definition plus how grids and lists show it.
struct FieldDecl
{
    QString name;
    FieldType type = FieldType::String;
    int size = 0; // text: 20 when the declaration gives none
    bool fixed = false;
    QString displayLabel; // empty: the name
    bool visible = true;
    bool currency = false;
    QString displayFormat; // e.g. "#,##0.00"
};

// Declarations written as tables, one call a column, display settings chained:
//   {Decl::text("NMPRODUTO", 50).label("Nome"), Decl::num("VRTOTVEND").currency()}
namespace Decl {
struct Column
{
    FieldDecl decl;
    Column &label(const QString &text) { return set(&FieldDecl::displayLabel, text); }
    Column &hidden() { return set(&FieldDecl::visible, false); }
    Column &currency() { return set(&FieldDecl::currency, true); }
    Column &format(const QString &pattern) { return set(&FieldDecl::displayFormat, pattern); }
    Column &fixed() { return set(&FieldDecl::fixed, true); }
    operator FieldDecl() const { return decl; }

private:
    template <typename T, typename V> Column &set(T FieldDecl::*setting, const V &value)
    {
        decl.*setting = value;
        return *this;
    }
};
inline Column field(const char *name, FieldType type, int size = 0)
{
    Column c;
    c.decl.name = QString::fromLatin1(name);
    c.decl.type = type;
    c.decl.size = size;
    return c;
}
inline Column text(const char *name, int size)
{
    return field(name, FieldType::String, size);
}
inline Column num(const char *name)
{
    return field(name, FieldType::Float);
}
inline Column stamp(const char *name)
{
    return field(name, FieldType::DateTime);
}
inline Column day(const char *name)
{
    return field(name, FieldType::Date);
}
} // namespace Decl

// A value as text, as AsString gives it: floats in general form and dates by the locale.
QString fieldText(FieldType type, const QVariant &value);

// Access to one column of the current record (the edit buffer while editing).
// Conversions follow the default QLocale (decimal separator, short date format).
class Field
{
public:
    Field(ClientDataSet *dataSet, int column) : m_ds(dataSet), m_col(column) {}

    QString FieldName() const;
    bool IsNull() const;
    QVariant Value() const;
    QString AsString() const;   // floats in general form with the locale's separator
    double AsFloat() const;     // text converted with the locale; null is 0
    int AsInteger() const;      // null is 0
    QDateTime AsDateTime() const; // text converted with the locale's short date/time format

    void Clear();
    void setValue(const QVariant &v);
    void setAsString(const QString &s); // text cut to the size; float columns parse with locale
    void setAsFloat(double v);
    void setAsInteger(int v);
    void setAsDateTime(const QDateTime &v);

private:
    template <typename Result>
    Result converted(Result (*convert)(const QString &), const QString &text) const;
    template <typename Result>
    Result as(Result (*fromText)(const QString &),
              Result (Field::*fromValue)(const QVariant &) const) const;
    double floatOf(const QVariant &v) const;
    int integerOf(const QVariant &v) const;
    QDateTime dateTimeOf(const QVariant &v) const;
    ClientDataSet *m_ds;
    int m_col;
};

// In-memory table with declared columns, navigation, editing, locate and text filters.
// Every failure is an Exception whose text names the dataset.
class ClientDataSet : public QObject
{
    Q_OBJECT
public:
    enum class State { Inactive, Browse, Edit, Insert };

    explicit ClientDataSet(const QString &name, QObject *parent = nullptr);
    ~ClientDataSet() override;

    QString Name() const;

    // Declarations (the design-time FieldDefs). Changing them closes the dataset.
    void setFieldDecls(const QList<FieldDecl> &decls);
    const QList<FieldDecl> &fieldDecls() const;
    // Columns of the open dataset: the declared ones after CreateDataSet, the source's after a
    // load (declared ones keep their display settings).
    int FieldCount() const;
    FieldDef fieldDef(int column) const;
    const FieldDecl *fieldDecl(int column) const; // display settings, null when undeclared
    int FieldIndex(const QString &name) const;     // -1 when absent

    void CreateDataSet(); // open, empty, exactly the declared columns
    void Close();
    bool Active() const;
    State state() const;

    void LoadFromFile(const QString &path); // fails when a declared column is missing
    // The same with the file already read (elsewhere, or on another thread) into `packet`.
    void LoadFromFile(const QString &path, const DataPacket &packet);
    void SaveToFile(const QString &path) const;
    DataPacket Data() const;              // the whole data (shares rows, no copy)
    // Opens on the packet; every declared column must be present (a packet without rows that
    // lacks some opens the dataset empty with its declared columns).
    void setData(const DataPacket &data);
    void EmptyDataSet();

    void First();
    void Next();
    void Prior();
    void Last();
    bool Eof() const;
    bool Bof() const;
    int RecNo() const; // 1-based in the visible (filtered) rows; 0 when empty
    int RecordCount() const;
    bool IsEmpty() const;
    void setRecNo(int recNo);

    void Insert(); // new record ahead of the current one
    void Append();
    void Edit();
    void Post();
    void Cancel();
    void Delete();

    // Exact, case-sensitive, whole-value match on one column; moves the cursor when found.
    bool Locate(const QString &fieldName, const QVariant &value);

    QString Filter() const;
    void setFilter(const QString &filter); // a bad expression throws when filtering turns on
    bool Filtered() const;
    void setFiltered(bool on);

    Field FieldByName(const QString &name); // throws when there is no such column

    // Row access for views: visible row index (0-based) and column.
    QVariant visibleValue(int row, int column) const;
    int currentRow() const; // 0-based visible row, -1 when none

signals:
    // For the grid model; rows are visible-row indexes.
    void aboutToReset();
    void reset(); // opened, closed, loaded, filtered, emptied
    void aboutToInsertRow(int row);
    void rowInserted(int row);
    void aboutToRemoveRow(int row);
    void rowRemoved(int row);
    void rowChanged(int row);
    void currentRowChanged(int row);

private:
    friend class Field;
    [[noreturn]] void fail(const QString &problem) const; // Exception naming the dataset
    void checkActive() const;
    void open(const DataPacket &packet);
    void take(const DataPacket &packet, const QString &source);
    void postPending();
    void moveTo(int row);
    void step(int by);
    void startInsert(int packetRow);
    void applyFilter(const QString &text, bool on);
    QVariant currentValue(int column) const; // the edit buffer while editing
    void setCurrentValue(int column, const QVariant &value);

    class Private;
    Private *d;
};

// A row being added, from the Insert or Append to the Post: post() stores it. Left without
// post() (an exception on the way) the row is cancelled, and a dataset left with no row is
// closed as it was before its first one, so a list only ever holds complete rows.
class NewRow
{
public:
    enum Where { AheadOfCurrent, AtEnd }; // Insert or Append
    NewRow(ClientDataSet &ds, Where where);
    ~NewRow();
    NewRow(const NewRow &) = delete;
    NewRow &operator=(const NewRow &) = delete;

    Field operator[](const char *column) const;
    void post();

private:
    ClientDataSet &m_ds;
    bool m_posted = false;
};
