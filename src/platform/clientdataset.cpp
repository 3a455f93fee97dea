#include "clientdataset.h"

#include "conversions.h"
#include "exception.h"
#include "filterexpr.h"

#include <QDate>
#include <QLocale>
#include <QTime>

#include <algorithm>
#include <cmath>

namespace {

FieldDef defOf(const FieldDecl &decl)
{
    FieldDef f;
    f.name = decl.name;
    f.type = decl.type;
    if (isText(decl.type) && decl.type != FieldType::Memo) { // a memo has no width
        f.size = decl.size > 0 ? decl.size : 20;
        f.fixed = decl.fixed;
    }
    f.currency = decl.type == FieldType::Float && decl.currency;
    return f;
}

// Day count of date-time values as the system reckons them: 0 is 30/12/1899, the fraction the
// time of day.
const QDate dayZero(1899, 12, 30);

} // namespace

class ClientDataSet::Private
{
public:
    QString name;
    QList<FieldDecl> decls;
    QList<FieldDef> declDefs;
    DataPacket data;
    QList<int> declOf; // per open column: its declaration, -1 when undeclared
    bool active = false;
    State state = State::Inactive;
    int cur = -1; // visible row
    bool bof = true;
    bool eof = true;

    QString filterText;
    bool filtered = false;
    FilterExpr filter;    // compiled against the open columns
    QList<int> visible;   // packet rows passing the filter, when filtering

    QVariantList buffer;  // the record being edited or inserted
    int insertAt = -1;    // packet row of a pending insert

    bool filtering() const { return filtered && !filter.isEmpty(); }
    int count() const { return filtering() ? int(visible.size()) : data.rowCount(); }
    int rowOf(int vis) const { return filtering() ? visible[vis] : vis; }
    const QList<FieldDef> &columns() const { return active ? data.fields() : declDefs; }
    // The first visible row current, flagged as the start (and the end, when there is none).
    void rewind()
    {
        cur = count() > 0 ? 0 : -1;
        bof = true;
        eof = cur < 0;
    }

    static int columnIn(const QList<FieldDef> &cols, const QString &name)
    {
        for (int i = 0; i < cols.size(); ++i)
            if (cols[i].name == name)
                return i;
        for (int i = 0; i < cols.size(); ++i)
            if (cols[i].name.compare(name, Qt::CaseInsensitive) == 0)
                return i;
        return -1;
    }

    FilterExpr compile(const QString &text, const QList<FieldDef> &cols) const
    {
        return FilterExpr::parse(text, [&cols](const QString &n) { return columnIn(cols, n); });
    }

    void computeVisible()
    {
        visible.clear();
        if (!filtering())
            return;
        const int n = data.rowCount();
        for (int r = 0; r < n; ++r)
            if (filter.matches(data, r))
                visible.append(r);
    }
};

ClientDataSet::ClientDataSet(const QString &name, QObject *parent)
    : QObject(parent), d(new Private)
{
    d->name = name;
    setObjectName(name);
}

ClientDataSet::~ClientDataSet()
{
    delete d;
}

QString ClientDataSet::Name() const
{
    return d->name;
}

void ClientDataSet::fail(const QString &problem) const
{
    throw Exception(QStringLiteral("%1: %2").arg(d->name, problem));
}

void ClientDataSet::checkActive() const
{
    if (!d->active)
        fail(QStringLiteral("operação não permitida com o conjunto de dados fechado"));
}

void ClientDataSet::setFieldDecls(const QList<FieldDecl> &decls)
{
    QList<FieldDef> defs;
    for (const FieldDecl &decl : decls) {
        if (decl.name.isEmpty())
            fail(QStringLiteral("campo declarado sem nome"));
        for (const FieldDef &f : defs)
            if (f.name == decl.name)
                fail(QStringLiteral("campo %1 declarado duas vezes").arg(decl.name));
        defs.append(defOf(decl));
    }
    Close();
    d->decls = decls;
    d->declDefs = defs;
}

const QList<FieldDecl> &ClientDataSet::fieldDecls() const
{
    return d->decls;
}

int ClientDataSet::FieldCount() const
{
    return int(d->columns().size());
}

FieldDef ClientDataSet::fieldDef(int column) const
{
    const QList<FieldDef> &cols = d->columns();
    if (column < 0 || column >= cols.size())
        fail(QStringLiteral("coluna %1 inexistente").arg(column));
    return cols[column];
}

const FieldDecl *ClientDataSet::fieldDecl(int column) const
{
    if (!d->active)
        return column >= 0 && column < d->decls.size() ? &d->decls[column] : nullptr;
    if (column < 0 || column >= d->declOf.size() || d->declOf[column] < 0)
        return nullptr;
    return &d->decls[d->declOf[column]];
}

int ClientDataSet::FieldIndex(const QString &name) const
{
    return Private::columnIn(d->columns(), name);
}

void ClientDataSet::open(const DataPacket &packet)
{
    // Everything that can fail comes before the first change.
    QList<int> declOf;
    for (const FieldDef &f : packet.fields()) {
        int k = -1;
        for (int i = 0; i < d->decls.size(); ++i)
            if (d->decls[i].name == f.name)
                k = i;
        declOf.append(k);
    }
    FilterExpr filter;
    if (d->filtered)
        filter = d->compile(d->filterText, packet.fields());

    emit aboutToReset();
    d->data = packet;
    d->declOf = declOf;
    d->filter = filter;
    d->active = true;
    d->state = State::Browse;
    d->buffer.clear();
    d->computeVisible();
    d->rewind();
    emit reset();
    emit currentRowChanged(d->cur);
}

void ClientDataSet::CreateDataSet()
{
    if (d->declDefs.isEmpty())
        fail(QStringLiteral("nenhum campo declarado"));
    open(DataPacket(d->declDefs));
}

void ClientDataSet::Close()
{
    if (!d->active)
        return;
    emit aboutToReset();
    d->data = DataPacket();
    d->declOf.clear();
    d->visible.clear();
    d->filter = FilterExpr();
    d->active = false;
    d->state = State::Inactive;
    d->buffer.clear();
    d->cur = -1;
    d->bof = d->eof = true;
    emit reset();
    emit currentRowChanged(-1);
}

bool ClientDataSet::Active() const
{
    return d->active;
}

ClientDataSet::State ClientDataSet::state() const
{
    return d->state;
}

void ClientDataSet::LoadFromFile(const QString &path)
{
    take(DataPacket::loadFromFile(path), path);
}

void ClientDataSet::LoadFromFile(const QString &path, const DataPacket &packet)
{
    take(packet, path);
}

void ClientDataSet::SaveToFile(const QString &path) const
{
    checkActive();
    d->data.saveToFile(path);
}

DataPacket ClientDataSet::Data() const
{
    return d->active ? d->data : DataPacket();
}

void ClientDataSet::setData(const DataPacket &data)
{
    // An empty copy from a dataset that has no file behind it (the product cache when the file
    // is missing) carries only that dataset's columns; there is no row to misread, so the
    // receiver opens empty with its own declared columns instead of failing. A packet with no
    // columns at all is no such copy: it is refused below.
    if (data.rowCount() == 0 && data.fieldCount() > 0 && !d->declDefs.isEmpty()) {
        bool lacks = false;
        for (const FieldDecl &decl : d->decls)
            lacks = lacks || data.indexOf(decl.name) < 0;
        if (lacks) {
            open(DataPacket(d->declDefs));
            return;
        }
    }
    take(data, QString());
}

void ClientDataSet::take(const DataPacket &packet, const QString &source)
{
    const QString from = source.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(source);
    if (packet.fieldCount() == 0)
        fail(QStringLiteral("pacote de dados sem campos%1").arg(from));
    for (const FieldDecl &decl : d->decls)
        if (packet.indexOf(decl.name) < 0)
            fail(QStringLiteral("campo %1 ausente nos dados%2").arg(decl.name, from));
    open(packet);
}

void ClientDataSet::EmptyDataSet()
{
    checkActive();
    emit aboutToReset();
    d->state = State::Browse;
    d->buffer.clear();
    d->data.clearRows();
    d->visible.clear();
    d->cur = -1;
    d->bof = d->eof = true;
    emit reset();
    emit currentRowChanged(-1);
}

void ClientDataSet::postPending()
{
    if (d->state == State::Edit || d->state == State::Insert)
        Post();
}

void ClientDataSet::moveTo(int row)
{
    if (row == d->cur)
        return;
    d->cur = row;
    emit currentRowChanged(row);
}

void ClientDataSet::First()
{
    checkActive();
    postPending();
    moveTo(d->count() > 0 ? 0 : -1);
    d->bof = true;
    d->eof = d->cur < 0;
}

void ClientDataSet::Next() { step(+1); }

void ClientDataSet::Prior() { step(-1); }

// One row on or back; at either end the cursor stays and the end is flagged.
void ClientDataSet::step(int by)
{
    checkActive();
    postPending();
    const int to = d->cur + by;
    if (to >= 0 && to < d->count()) {
        moveTo(to);
        d->bof = d->eof = false;
    } else if (by > 0) {
        d->eof = true;
    } else {
        d->bof = true;
    }
}

void ClientDataSet::Last()
{
    checkActive();
    postPending();
    moveTo(d->count() - 1);
    d->eof = true;
    d->bof = d->cur < 0;
}

bool ClientDataSet::Eof() const
{
    return !d->active || d->eof;
}

bool ClientDataSet::Bof() const
{
    return !d->active || d->bof;
}

int ClientDataSet::RecNo() const
{
    return d->active ? d->cur + 1 : 0;
}

int ClientDataSet::RecordCount() const
{
    return d->active ? d->count() : 0;
}

bool ClientDataSet::IsEmpty() const
{
    return RecordCount() == 0;
}

void ClientDataSet::setRecNo(int recNo)
{
    checkActive();
    postPending();
    if (recNo < 1 || recNo > d->count())
        fail(QStringLiteral("registro %1 inexistente").arg(recNo));
    moveTo(recNo - 1);
    d->bof = d->eof = false;
}

void ClientDataSet::startInsert(int at)
{
    d->state = State::Insert;
    d->insertAt = at;
    d->buffer = QVariantList(d->data.fieldCount());
}

void ClientDataSet::Insert()
{
    checkActive();
    postPending();
    startInsert(d->cur >= 0 ? d->rowOf(d->cur) : d->data.rowCount());
}

void ClientDataSet::Append()
{
    checkActive();
    postPending();
    startInsert(d->data.rowCount());
}

void ClientDataSet::Edit()
{
    checkActive();
    if (d->state != State::Browse)
        return;
    if (d->cur < 0) {
        Append(); // nothing to edit: start a new record instead
        return;
    }
    const int row = d->rowOf(d->cur);
    QVariantList values;
    for (int c = 0; c < d->data.fieldCount(); ++c)
        values.append(d->data.value(row, c));
    d->buffer = values;
    d->state = State::Edit;
}

void ClientDataSet::Post()
{
    checkActive();
    if (d->state == State::Browse)
        return;
    const bool inserting = d->state == State::Insert;
    const QVariantList values = d->buffer;
    d->state = State::Browse;
    d->buffer.clear();
    // The buffer holds stored forms already, so the packet cannot refuse them half-way.
    if (d->filtering()) {
        const int row = inserting ? d->insertAt : d->rowOf(d->cur);
        emit aboutToReset();
        if (inserting) {
            d->data.insertRow(row, values);
        } else {
            for (int c = 0; c < values.size(); ++c)
                d->data.setValue(row, c, values[c]);
        }
        d->computeVisible();
        // The posted record stays current when it passes the filter, else its neighbour does.
        int vis = int(std::lower_bound(d->visible.begin(), d->visible.end(), row)
                      - d->visible.begin());
        if (vis >= d->visible.size())
            vis = int(d->visible.size()) - 1;
        d->cur = vis;
        emit reset();
        emit currentRowChanged(d->cur);
    } else if (inserting) {
        const int row = d->insertAt;
        emit aboutToInsertRow(row);
        d->data.insertRow(row, values);
        emit rowInserted(row);
        d->cur = row;
        emit currentRowChanged(row);
    } else {
        const int row = d->cur;
        for (int c = 0; c < values.size(); ++c)
            d->data.setValue(row, c, values[c]);
        emit rowChanged(row);
    }
    d->bof = d->eof = false;
}

void ClientDataSet::Cancel()
{
    if (!d->active || d->state == State::Browse)
        return;
    d->state = State::Browse;
    d->buffer.clear();
}

void ClientDataSet::Delete()
{
    checkActive();
    if (d->state == State::Insert) {
        Cancel();
        return;
    }
    Cancel();
    if (d->cur < 0)
        fail(QStringLiteral("não há registro para excluir"));
    const int vis = d->cur;
    const int row = d->rowOf(vis);
    emit aboutToRemoveRow(vis);
    d->data.removeRow(row);
    if (d->filtering()) {
        d->visible.removeAt(vis);
        for (int &r : d->visible)
            if (r > row)
                --r;
    }
    const int n = d->count();
    d->cur = vis < n ? vis : n - 1;
    d->bof = d->eof = d->cur < 0;
    emit rowRemoved(vis);
    emit currentRowChanged(d->cur);
}

bool ClientDataSet::Locate(const QString &fieldName, const QVariant &value)
{
    checkActive();
    postPending();
    const int col = FieldIndex(fieldName);
    if (col < 0)
        fail(QStringLiteral("campo %1 não encontrado").arg(fieldName));
    QVariant key = value;
    const FieldType type = d->data.fields()[col].type;
    if (value.metaType().id() == QMetaType::QString && !isText(type)) {
        // A typed value follows the locale, as when it is stored.
        const QString s = value.toString();
        double number = 0;
        if (type == FieldType::Float && Sys::TryStrToFloat(s, number))
            key = number;
        else if (type == FieldType::Date || type == FieldType::DateTime)
            try {
                key = Sys::StrToDateTime(s);
            } catch (const Exception &) {
                return false;
            }
    }
    const int pos = d->data.find(col, key, d->filtering() ? &d->visible : nullptr);
    if (pos < 0)
        return false;
    moveTo(pos);
    d->bof = d->eof = false;
    return true;
}

QString ClientDataSet::Filter() const
{
    return d->filterText;
}

void ClientDataSet::applyFilter(const QString &text, bool on)
{
    FilterExpr compiled;
    if (on) {
        // Closed: check the syntax now, the names when it opens.
        compiled = d->active ? d->compile(text, d->data.fields())
                             : FilterExpr::parse(text, [](const QString &) { return 0; });
    }
    if (d->active)
        postPending();
    d->filterText = text;
    d->filtered = on;
    if (!d->active)
        return;
    emit aboutToReset();
    d->filter = compiled;
    d->computeVisible();
    d->rewind();
    emit reset();
    emit currentRowChanged(d->cur);
}

void ClientDataSet::setFilter(const QString &filter)
{
    if (filter == d->filterText)
        return;
    if (!d->filtered) {
        d->filterText = filter; // checked when filtering turns on
        return;
    }
    applyFilter(filter, true);
}

bool ClientDataSet::Filtered() const
{
    return d->filtered;
}

void ClientDataSet::setFiltered(bool on)
{
    if (on == d->filtered)
        return;
    applyFilter(d->filterText, on);
}

Field ClientDataSet::FieldByName(const QString &name)
{
    const int col = FieldIndex(name);
    if (col < 0)
        fail(QStringLiteral("campo %1 não encontrado").arg(name));
    return Field(this, col);
}

QVariant ClientDataSet::visibleValue(int row, int column) const
{
    if (!d->active || row < 0 || row >= d->count() || column < 0
        || column >= d->data.fieldCount())
        return {};
    return d->data.value(d->rowOf(row), column);
}

int ClientDataSet::currentRow() const
{
    return d->active ? d->cur : -1;
}

QVariant ClientDataSet::currentValue(int column) const
{
    if (!d->active || column < 0 || column >= d->data.fieldCount())
        return {};
    if (d->state != State::Browse)
        return d->buffer[column];
    if (d->cur < 0)
        return {};
    return d->data.value(d->rowOf(d->cur), column);
}

void ClientDataSet::setCurrentValue(int column, const QVariant &value)
{
    checkActive();
    if (d->state == State::Browse)
        fail(QStringLiteral("o conjunto de dados não está em edição"));
    if (column < 0 || column >= d->data.fieldCount())
        fail(QStringLiteral("coluna %1 inexistente").arg(column));
    const FieldDef &f = d->data.fields()[column];
    try {
        d->buffer[column] = DataPacket::coerce(f, value);
    } catch (const Exception &e) {
        fail(e.Message());
    }
}

// --- Field ---

QString Field::FieldName() const
{
    return m_ds->fieldDef(m_col).name;
}

bool Field::IsNull() const
{
    const QVariant v = m_ds->currentValue(m_col);
    return !v.isValid() || v.isNull();
}

QVariant Field::Value() const
{
    return m_ds->currentValue(m_col);
}

QString fieldText(FieldType type, const QVariant &v)
{
    if (!v.isValid() || v.isNull())
        return QString();
    switch (type) {
    case FieldType::Float:
    case FieldType::Single:
        return Sys::FloatToStr(v.toDouble());
    case FieldType::Boolean:
        return v.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case FieldType::Date:
        return Sys::DateToStr(v.toDate());
    case FieldType::Time:
        return Sys::TimeToStr(v.toTime());
    case FieldType::DateTime:
        return Sys::DateTimeToStr(v.toDateTime());
    default:
        return v.toString();
    }
}

// A text read as a number or a date: a failure names the dataset and the column, as a failed
// assignment does, so the operator learns where the bad value lies.
template <typename Result>
Result Field::converted(Result (*convert)(const QString &), const QString &text) const
{
    try {
        return convert(text);
    } catch (const Exception &e) {
        m_ds->fail(QStringLiteral("campo %1: %2").arg(FieldName(), e.Message()));
    }
    return Result();
}

QString Field::AsString() const
{
    return fieldText(m_ds->fieldDef(m_col).type, Value());
}

// The value as a Result: none (0, a null date) when null or blank text; text read by
// `fromText` with the locale, any other value by `fromValue`.
template <typename Result>
Result Field::as(Result (*fromText)(const QString &),
                 Result (Field::*fromValue)(const QVariant &) const) const
{
    const QVariant v = Value();
    if (!v.isValid() || v.isNull())
        return Result();
    if (!isText(m_ds->fieldDef(m_col).type))
        return (this->*fromValue)(v);
    const QString s = v.toString();
    return s.trimmed().isEmpty() ? Result() : converted(fromText, s);
}

double Field::floatOf(const QVariant &v) const
{
    switch (m_ds->fieldDef(m_col).type) {
    case FieldType::Date:
        return double(dayZero.daysTo(v.toDate()));
    case FieldType::Time:
        return v.toTime().msecsSinceStartOfDay() / 86400000.0;
    case FieldType::DateTime: {
        const QDateTime dt = v.toDateTime();
        return double(dayZero.daysTo(dt.date())) + dt.time().msecsSinceStartOfDay() / 86400000.0;
    }
    default:
        return v.toDouble();
    }
}

int Field::integerOf(const QVariant &v) const
{
    // A number beyond an integer's range has no integer value: lround would make one up.
    const double d = floatOf(v);
    if (!(std::abs(d) < 2147483647.5))
        m_ds->fail(QStringLiteral("campo %1: %2 não cabe em um número inteiro")
                       .arg(FieldName(), Sys::FloatToStr(d)));
    return int(std::lround(d));
}

QDateTime Field::dateTimeOf(const QVariant &v) const
{
    switch (m_ds->fieldDef(m_col).type) {
    case FieldType::DateTime:
        return v.toDateTime();
    case FieldType::Date:
        return QDateTime(v.toDate(), QTime(0, 0));
    case FieldType::Time:
        return QDateTime(dayZero, v.toTime());
    default: {
        const double days = v.toDouble();
        const qint64 ms = std::llround(days * 86400000.0);
        return QDateTime(dayZero, QTime(0, 0)).addMSecs(ms);
    }
    }
}

double Field::AsFloat() const
{
    return as(&Sys::StrToFloat, &Field::floatOf);
}

int Field::AsInteger() const
{
    return as(&Sys::StrToInt, &Field::integerOf);
}

QDateTime Field::AsDateTime() const
{
    return as(&Sys::StrToDateTime, &Field::dateTimeOf);
}

void Field::Clear()
{
    m_ds->setCurrentValue(m_col, QVariant());
}

void Field::setValue(const QVariant &v)
{
    if (v.metaType().id() == QMetaType::QString && !isText(m_ds->fieldDef(m_col).type))
        setAsString(v.toString()); // typed text follows the locale
    else
        m_ds->setCurrentValue(m_col, v);
}

void Field::setAsString(const QString &s)
{
    const FieldType t = m_ds->fieldDef(m_col).type;
    if (isText(t)) {
        m_ds->setCurrentValue(m_col, s);
        return;
    }
    if (s.trimmed().isEmpty()) {
        Clear();
        return;
    }
    QVariant v;
    try {
        switch (t) {
        case FieldType::Float:
        case FieldType::Single:
            v = Sys::StrToFloat(s);
            break;
        case FieldType::SmallInt:
        case FieldType::Integer:
        case FieldType::ShortInt:
        case FieldType::Byte:
        case FieldType::Word:
            v = Sys::StrToInt(s);
            break;
        case FieldType::Bcd:
        case FieldType::FmtBcd: {
            // Typed digits are kept as typed, not through a double: the locale's separators
            // give way to the point the column keeps.
            const QLocale locale;
            QString digits = s.trimmed();
            digits.remove(locale.groupSeparator());
            digits.replace(locale.decimalPoint(), QStringLiteral("."));
            v = digits;
            break;
        }
        case FieldType::LargeInt:
        case FieldType::LongWord: {
            bool ok = false;
            v = s.trimmed().toLongLong(&ok);
            if (!ok)
                throw Exception(QStringLiteral("'%1' não é um número inteiro válido").arg(s));
            break;
        }
        case FieldType::Boolean: {
            const std::optional<bool> b = booleanFromText(s);
            if (!b)
                throw Exception(QStringLiteral("'%1' não é um valor lógico válido").arg(s));
            v = *b;
            break;
        }
        case FieldType::Date:
            v = Sys::StrToDate(s).date();
            break;
        case FieldType::Time:
            v = Sys::StrToDateTime(Sys::DateToStr(QDate(2000, 1, 1)) + u' ' + s.trimmed()).time();
            break;
        case FieldType::DateTime:
            v = Sys::StrToDateTime(s);
            break;
        case FieldType::Blob:
            v = s;
            break;
        case FieldType::String:
        case FieldType::WideString:
        case FieldType::Memo:
            break;
        }
    } catch (const Exception &e) {
        m_ds->fail(QStringLiteral("campo %1: %2").arg(FieldName(), e.Message()));
    }
    m_ds->setCurrentValue(m_col, v);
}

void Field::setAsFloat(double v)
{
    if (isText(m_ds->fieldDef(m_col).type))
        m_ds->setCurrentValue(m_col, Sys::FloatToStr(v));
    else
        m_ds->setCurrentValue(m_col, v);
}

void Field::setAsInteger(int v)
{
    m_ds->setCurrentValue(m_col, isText(m_ds->fieldDef(m_col).type) ? QVariant(QString::number(v))
                                                                     : QVariant(v));
}

void Field::setAsDateTime(const QDateTime &v)
{
    if (isText(m_ds->fieldDef(m_col).type))
        m_ds->setCurrentValue(m_col, Sys::DateTimeToStr(v));
    else
        m_ds->setCurrentValue(m_col, v);
}

NewRow::NewRow(ClientDataSet &ds, Where where) : m_ds(ds)
{
    if (where == AtEnd)
        m_ds.Append();
    else
        m_ds.Insert();
}

NewRow::~NewRow()
{
    if (m_posted)
        return;
    m_ds.Cancel();
    if (m_ds.Active() && m_ds.IsEmpty())
        m_ds.Close();
}

Field NewRow::operator[](const char *column) const
{
    return m_ds.FieldByName(QString::fromLatin1(column));
}

void NewRow::post()
{
    m_ds.Post();
    m_posted = true;
}
