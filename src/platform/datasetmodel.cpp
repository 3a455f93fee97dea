#include "datasetmodel.h"

#include "clientdataset.h"
#include "conversions.h"

#include <QItemSelectionModel>
#include <QLocale>
#include <QSize>

DataSetModel::DataSetModel(QObject *parent) : QAbstractTableModel(parent) {}

DataSetModel::~DataSetModel() = default;

ClientDataSet *DataSetModel::dataSet() const
{
    return m_ds;
}

void DataSetModel::setDataSet(ClientDataSet *ds)
{
    beginResetModel();
    for (const QMetaObject::Connection &c : std::as_const(m_links))
        disconnect(c);
    m_links.clear();
    m_ds = ds;
    if (ds) {
        m_links << connect(ds, &ClientDataSet::aboutToReset, this, [this] {
            if (!m_resetting) {
                m_resetting = true;
                beginResetModel();
            }
        });
        m_links << connect(ds, &ClientDataSet::reset, this, [this] {
            if (!m_resetting)
                beginResetModel();
            rebuildColumns();
            m_resetting = false;
            endResetModel();
        });
        m_links << connect(ds, &ClientDataSet::aboutToInsertRow, this,
                           [this](int row) { beginInsertRows({}, row, row); });
        m_links << connect(ds, &ClientDataSet::rowInserted, this, [this](int) {
            ++m_rows;
            endInsertRows();
        });
        m_links << connect(ds, &ClientDataSet::aboutToRemoveRow, this,
                           [this](int row) { beginRemoveRows({}, row, row); });
        m_links << connect(ds, &ClientDataSet::rowRemoved, this, [this](int) {
            --m_rows;
            endRemoveRows();
        });
        m_links << connect(ds, &ClientDataSet::rowChanged, this, [this](int row) {
            if (row >= 0 && row < m_rows && !m_columns.isEmpty())
                emit dataChanged(index(row, 0), index(row, int(m_columns.size()) - 1));
        });
        m_links << connect(ds, &ClientDataSet::currentRowChanged, this,
                           &DataSetModel::onCurrentRowChanged);
        m_links << connect(ds, &QObject::destroyed, this, [this] {
            m_resetting = false;
            setDataSet(nullptr);
        });
    }
    rebuildColumns();
    endResetModel();
    onCurrentRowChanged(ds ? ds->currentRow() : -1);
}

void DataSetModel::setColumns(const QList<GridColumn> &columns)
{
    beginResetModel();
    m_custom = columns;
    rebuildColumns();
    endResetModel();
}

QList<GridColumn> DataSetModel::columns() const
{
    return m_columns;
}

int DataSetModel::datasetColumn(int column) const
{
    return column >= 0 && column < m_map.size() ? m_map[column] : -1;
}

void DataSetModel::rebuildColumns()
{
    m_columns.clear();
    m_map.clear();
    m_rows = m_ds ? m_ds->RecordCount() : 0;
    m_current = m_ds ? m_ds->currentRow() : -1;
    if (!m_ds)
        return;
    auto label = [this](int col) {
        const FieldDecl *decl = col >= 0 ? m_ds->fieldDecl(col) : nullptr;
        return decl && !decl->displayLabel.isEmpty() ? decl->displayLabel
                                                     : m_ds->fieldDef(col).name;
    };
    if (!m_custom.isEmpty()) {
        for (GridColumn c : std::as_const(m_custom)) {
            const int col = m_ds->FieldIndex(c.field);
            if (c.title.isEmpty())
                c.title = col >= 0 ? label(col) : c.field;
            m_columns.append(c);
            m_map.append(col);
        }
        return;
    }
    for (int col = 0; col < m_ds->FieldCount(); ++col) {
        const FieldDecl *decl = m_ds->fieldDecl(col);
        if (decl && !decl->visible)
            continue;
        const FieldDef def = m_ds->fieldDef(col);
        GridColumn c;
        c.field = def.name;
        c.title = label(col);
        c.currency = (decl && decl->currency) || def.currency;
        c.displayFormat = decl ? decl->displayFormat : QString();
        m_columns.append(c);
        m_map.append(col);
    }
}

void DataSetModel::setSelectionModel(QItemSelectionModel *selection)
{
    if (m_selection)
        disconnect(m_selection, nullptr, this, nullptr);
    m_selection = selection;
    if (!selection)
        return;
    connect(selection, &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &current) {
                if (m_syncing || !m_ds || !current.isValid() || !m_ds->Active())
                    return;
                if (current.row() != m_ds->currentRow()
                    && m_ds->state() == ClientDataSet::State::Browse)
                    m_ds->setRecNo(current.row() + 1);
            });
    onCurrentRowChanged(m_ds ? m_ds->currentRow() : -1);
}

void DataSetModel::onCurrentRowChanged(int row)
{
    const int old = m_current;
    m_current = row;
    if (!m_resetting) {
        const QList<int> roles{CurrentRowRole};
        if (old >= 0 && old < m_rows && old != row && !m_columns.isEmpty())
            emit dataChanged(index(old, 0), index(old, int(m_columns.size()) - 1), roles);
        if (row >= 0 && row < m_rows && !m_columns.isEmpty())
            emit dataChanged(index(row, 0), index(row, int(m_columns.size()) - 1), roles);
    }
    if (m_selection && m_selection->model() == this && !m_resetting) {
        m_syncing = true;
        if (row >= 0 && row < m_rows && !m_columns.isEmpty())
            m_selection->setCurrentIndex(index(row, 0), QItemSelectionModel::ClearAndSelect
                                                            | QItemSelectionModel::Rows);
        else
            m_selection->clear();
        m_syncing = false;
    }
    emit currentRowChanged(row);
}

int DataSetModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int DataSetModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

QString DataSetModel::display(int column, const QVariant &v) const
{
    if (!v.isValid() || v.isNull())
        return QString();
    const GridColumn &c = m_columns[column];
    const FieldType type = m_ds->fieldDef(m_map[column]).type;
    const bool number = isNumber(type);
    if (number && c.currency)
        return QLocale().toCurrencyString(v.toDouble());
    if (number && !c.displayFormat.isEmpty())
        return Sys::FormatFloat(c.displayFormat, v.toDouble());
    return fieldText(type, v);
}

QVariant DataSetModel::data(const QModelIndex &index, int role) const
{
    if (!m_ds || !index.isValid() || !checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    const int col = m_map[index.column()];
    if (role == CurrentRowRole)
        return index.row() == m_current;
    if (col < 0)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return display(index.column(), m_ds->visibleValue(index.row(), col));
    case ValueRole:
        return m_ds->visibleValue(index.row(), col);
    case Qt::TextAlignmentRole: {
        const GridColumn &c = m_columns[index.column()];
        if (c.alignment)
            return QVariant::fromValue(c.alignment);
        const bool number = isNumber(m_ds->fieldDef(col).type);
        return QVariant::fromValue(Qt::AlignVCenter
                                   | (number ? Qt::AlignRight : Qt::AlignLeft));
    }
    default:
        return {};
    }
}

QVariant DataSetModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= m_columns.size())
        return QAbstractTableModel::headerData(section, orientation, role);
    const GridColumn &c = m_columns[section];
    if (role == Qt::DisplayRole)
        return c.title;
    return {};
}

Qt::ItemFlags DataSetModel::flags(const QModelIndex &index) const
{
    if (!index.isValid() || !checkIndex(index, CheckIndexOption::IndexIsValid))
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}
