#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QPointer>
#include <QString>

class ClientDataSet;
class QItemSelectionModel;

// A column a grid declares for itself, in place of the dataset's shown columns.
struct GridColumn
{
    QString field;
    QString title;        // empty: the field's display label
    int width = 0;        // pixels; 0 leaves it to the view
    Qt::Alignment alignment = {}; // none: numbers right, the rest left
    bool currency = false;        // shown as money in the locale's currency
    QString displayFormat;        // e.g. "#,##0.00"
};

// The data source of a grid: the visible rows of a dataset, following its changes and its
// current row. Without grid columns it shows the dataset's columns that are not hidden, titled
// with their display labels.
class DataSetModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Role {
        CurrentRowRole = Qt::UserRole + 1, // bool: the dataset's current row
        ValueRole,                         // the stored value, unformatted
    };

    explicit DataSetModel(QObject *parent = nullptr);
    ~DataSetModel() override;

    void setDataSet(ClientDataSet *dataSet);
    ClientDataSet *dataSet() const;

    void setColumns(const QList<GridColumn> &columns); // empty: the dataset's shown columns
    QList<GridColumn> columns() const;                 // the effective columns
    int datasetColumn(int column) const;               // -1 when the field is absent

    // Keeps the selection's current row on the dataset's, and moves the dataset when the
    // user picks another row.
    void setSelectionModel(QItemSelectionModel *selection);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

signals:
    void currentRowChanged(int row);

private:
    void rebuildColumns();
    void onCurrentRowChanged(int row);
    QString display(int column, const QVariant &value) const;

    QPointer<ClientDataSet> m_ds;
    QPointer<QItemSelectionModel> m_selection;
    QList<GridColumn> m_custom;
    QList<GridColumn> m_columns;
    QList<int> m_map; // effective column -> dataset column
    int m_current = -1;
    int m_rows = 0;
    bool m_resetting = false;
    bool m_syncing = false;
    QList<QMetaObject::Connection> m_links;
};
