#pragma once

#include "touchdialog.h"

#include <QAbstractTableModel>

class ClientDataSet;
class QLabel;
class QLineEdit;
class QTableView;

// The rows of a source model that contain a search text in any of the chosen columns
// (case- and accent-insensitive). The folded text of every row is built once, on the first
// search, into one buffer; a search then scans that buffer without allocating per row, which
// keeps typing responsive over a catalogue of some hundred thousand products.
class SearchRowsModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    SearchRowsModel(QAbstractItemModel *source, const QList<int> &columns,
                    QObject *parent = nullptr);

    void setSearchText(const QString &text);
    QString searchText() const { return m_needle; }
    int sourceRow(int row) const;     // -1 when out of range
    int rowOf(int sourceRow) const;   // -1 when filtered out

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    static QString fold(const QString &text);

private:
    void buildIndex();
    void scan();
    void sourceReset();

    QAbstractItemModel *m_source;
    QList<int> m_columns;
    QString m_needle;           // folded
    bool m_filtered = false;
    QList<int> m_rows;          // source rows shown while filtered
    bool m_indexed = false;
    QString m_haystack;         // folded row texts, each followed by a separator
    QList<qsizetype> m_starts;  // start of each row's text, plus the end
};

// Search list over a dataset: its shown columns with their labels, a filter box that takes
// whatever is typed, big scroll buttons, OK/Cancel. The dataset itself is never filtered or
// moved while the list is open.
class PesquisaDialog : public TouchDialog
{
    Q_OBJECT
public:
    explicit PesquisaDialog(ClientDataSet *dataSet, const QString &title = QString(),
                            QWidget *parent = nullptr);

    int chosenRow() const { return m_chosen; } // visible row of the dataset, -1 when none
    QLineEdit *filterEdit() const { return m_filter; }
    QTableView *view() const { return m_view; }
    SearchRowsModel *rows() const { return m_rows; }

public slots:
    void moveBy(int delta);
    void choose();

protected:
    void enterPressed() override { choose(); }
    bool handleKey(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void applyFilter(const QString &text);
    void selectRow(int row);
    int pageRows() const;

    ClientDataSet *m_dataSet;
    QAbstractItemModel *m_sourceModel;
    SearchRowsModel *m_rows;
    QLineEdit *m_filter;
    QTableView *m_view;
    QLabel *m_count;
    int m_chosen = -1;
    bool m_forwarding = false;
};

bool pesquisa(ClientDataSet *dataSet, const QString &arg2, const QString &arg3, int arg4,
              int arg5, int arg6, int arg7, int arg8);
