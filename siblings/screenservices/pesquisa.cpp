#include "pesquisa.h"

#include "clientdataset.h"
#include "datasetmodel.h"
#include "touchbutton.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>
#include <algorithm>

namespace {
constexpr QChar kRowEnd(0x1F); // never typed, so no match spans two rows
constexpr int kRowHeight = 40;
} // namespace

SearchRowsModel::SearchRowsModel(QAbstractItemModel *source, const QList<int> &columns,
                                 QObject *parent)
    : QAbstractTableModel(parent), m_source(source), m_columns(columns)
{
    connect(source, &QAbstractItemModel::modelAboutToBeReset, this,
            [this] { beginResetModel(); });
    connect(source, &QAbstractItemModel::modelReset, this, [this] {
        sourceReset();
        endResetModel();
    });
    // Any other change of the source invalidates the index; the list is modal, so this only
    // guards against a caller that edits the dataset from a timer.
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved}) {
        connect(source, signal, this, [this] {
            beginResetModel();
            sourceReset();
            endResetModel();
        });
    }
    // Current-row marks do not change the text; only a change of shown values does.
    connect(source, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex &, const QModelIndex &, const QList<int> &roles) {
                if (roles.isEmpty() || roles.contains(Qt::DisplayRole))
                    m_indexed = false;
            });
}

void SearchRowsModel::sourceReset()
{
    m_indexed = false;
    m_rows.clear();
    if (m_filtered) {
        buildIndex();
        scan();
    }
}

void SearchRowsModel::scan()
{
    // One pass over the buffer, jumping to the next row after each hit.
    m_rows.clear();
    qsizetype pos = 0;
    while ((pos = m_haystack.indexOf(m_needle, pos)) >= 0) {
        const auto it = std::upper_bound(m_starts.cbegin(), m_starts.cend(), pos);
        const int row = int(it - m_starts.cbegin()) - 1;
        m_rows.append(row);
        pos = m_starts.at(row + 1);
    }
}

QString SearchRowsModel::fold(const QString &text)
{
    QString decomposed = text.normalized(QString::NormalizationForm_D);
    decomposed.removeIf([](QChar c) { return c.category() == QChar::Mark_NonSpacing; });
    return decomposed.toCaseFolded();
}

// Appends the folded form of text; plain ASCII (nearly every product name) skips the
// Unicode normalisation and its temporary strings.
static void appendFolded(QString &out, QStringView text)
{
    bool ascii = true;
    for (QChar c : text) {
        if (c.unicode() >= 0x80) {
            ascii = false;
            break;
        }
    }
    if (!ascii) {
        out += SearchRowsModel::fold(text.toString());
        return;
    }
    const qsizetype at = out.size();
    out.resize(at + text.size());
    QChar *dst = out.data() + at;
    for (QChar c : text) {
        const char16_t u = c.unicode();
        *dst++ = QChar(u >= 'A' && u <= 'Z' ? char16_t(u + 32) : u);
    }
}

void SearchRowsModel::buildIndex()
{
    const int count = m_source->rowCount();
    m_haystack.clear();
    m_starts.clear();
    m_starts.reserve(count + 1);
    for (int r = 0; r < count; ++r) {
        m_starts.append(m_haystack.size());
        for (int c : m_columns) {
            appendFolded(m_haystack,
                         m_source->data(m_source->index(r, c), Qt::DisplayRole).toString());
            m_haystack += QLatin1Char(' ');
        }
        m_haystack += kRowEnd;
    }
    m_starts.append(m_haystack.size());
    m_indexed = true;
}

void SearchRowsModel::setSearchText(const QString &text)
{
    const QString needle = fold(text.trimmed());
    if (needle == m_needle && m_filtered == !needle.isEmpty())
        return;
    beginResetModel();
    m_needle = needle;
    m_rows.clear();
    m_filtered = !needle.isEmpty();
    if (m_filtered) {
        if (!m_indexed)
            buildIndex();
        scan();
    }
    endResetModel();
}

int SearchRowsModel::sourceRow(int row) const
{
    if (row < 0 || row >= rowCount())
        return -1;
    return m_filtered ? m_rows.at(row) : row;
}

int SearchRowsModel::rowOf(int sourceRow) const
{
    if (!m_filtered)
        return sourceRow >= 0 && sourceRow < rowCount() ? sourceRow : -1;
    const auto it = std::lower_bound(m_rows.cbegin(), m_rows.cend(), sourceRow);
    return it != m_rows.cend() && *it == sourceRow ? int(it - m_rows.cbegin()) : -1;
}

int SearchRowsModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid())
        return 0;
    return m_filtered ? int(m_rows.size()) : m_source->rowCount();
}

int SearchRowsModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

QVariant SearchRowsModel::data(const QModelIndex &index, int role) const
{
    const int src = sourceRow(index.row());
    if (src < 0 || index.column() < 0 || index.column() >= m_columns.size())
        return QVariant();
    return m_source->data(m_source->index(src, m_columns.at(index.column())), role);
}

QVariant SearchRowsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal) {
        if (section < 0 || section >= m_columns.size())
            return QVariant();
        return m_source->headerData(m_columns.at(section), orientation, role);
    }
    return QAbstractTableModel::headerData(section, orientation, role);
}

PesquisaDialog::PesquisaDialog(ClientDataSet *dataSet, const QString &title, QWidget *parent)
    : TouchDialog(title.isEmpty() ? QStringLiteral("Pesquisa") : title, parent),
      m_dataSet(dataSet)
{
    setObjectName(QStringLiteral("PesquisaDialog"));
    setFixedSize(780, 560);

    // The model already lists only the shown columns, titled with their display labels.
    auto *model = new DataSetModel(this);
    model->setDataSet(dataSet);
    m_sourceModel = model;
    QList<int> columns;
    for (int c = 0; c < model->columnCount(); ++c)
        columns.append(c);
    m_rows = new SearchRowsModel(m_sourceModel, columns, this);

    auto *filterRow = new QHBoxLayout;
    auto *filterLabel = new QLabel(QStringLiteral("Filtro:"), this);
    filterLabel->setFont(touchFont(20, true));
    m_filter = new QLineEdit(this);
    m_filter->setObjectName(QStringLiteral("filter"));
    m_filter->setFont(touchFont(22));
    m_filter->setFixedHeight(52);
    m_filter->installEventFilter(this);
    auto *clearFilter = makeButton(QStringLiteral("Limpar"), QStringLiteral("clearFilter"));
    clearFilter->setFixedSize(120, 52);
    connect(clearFilter, &QAbstractButton::clicked, m_filter, &QLineEdit::clear);
    connect(m_filter, &QLineEdit::textChanged, this, &PesquisaDialog::applyFilter);
    filterRow->addWidget(filterLabel);
    filterRow->addWidget(m_filter, 1);
    filterRow->addWidget(clearFilter);
    body()->addLayout(filterRow);

    m_view = new QTableView(this);
    m_view->setObjectName(QStringLiteral("grid"));
    m_view->setModel(m_rows);
    m_view->setFont(touchFont(18));
    m_view->setFocusPolicy(Qt::NoFocus); // typing always goes to the filter box
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setSelectionMode(QAbstractItemView::SingleSelection);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setWordWrap(false);
    m_view->setAlternatingRowColors(true);
    m_view->verticalHeader()->hide();
    m_view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_view->verticalHeader()->setDefaultSectionSize(kRowHeight);
    m_view->horizontalHeader()->setFont(touchFont(18, true));
    m_view->horizontalHeader()->setStretchLastSection(true);
    m_view->horizontalHeader()->setSectionsClickable(false);
    m_view->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_view->setStyleSheet(QStringLiteral(
        "QTableView::item:selected { background: #1E6FB8; color: white; }"
        "QScrollBar:vertical { width: 28px; }"));
    // Widths from the declared sizes: measuring the contents would read every row.
    const QFontMetrics fm(m_view->font());
    for (int c = 0; c < columns.size(); ++c) {
        const int dsColumn = model->datasetColumn(c);
        const FieldDecl *decl = dsColumn >= 0 ? dataSet->fieldDecl(dsColumn) : nullptr;
        const QString label = m_rows->headerData(c, Qt::Horizontal).toString();
        int chars = decl && decl->size > 0 ? decl->size : 12;
        chars = qBound(4, chars, 40);
        const int width = qMax(fm.horizontalAdvance(QString(chars, QLatin1Char('M'))) * 2 / 3,
                               QFontMetrics(m_view->horizontalHeader()->font())
                                       .horizontalAdvance(label) + 24);
        m_view->setColumnWidth(c, qMin(width, 460));
    }
    connect(m_view, &QAbstractItemView::doubleClicked, this, &PesquisaDialog::choose);

    auto *scroll = new QVBoxLayout;
    scroll->setSpacing(8);
    const struct { const char *caption; const char *name; int direction; bool page; } moves[] = {
        {"▲▲", "pageUp", -1, true}, {"▲", "up", -1, false},
        {"▼", "down", 1, false},    {"▼▼", "pageDown", 1, true}};
    for (const auto &m : moves) {
        auto *b = makeButton(QString::fromUtf8(m.caption), QString::fromLatin1(m.name));
        b->setFixedSize(80, 70);
        b->setAutoRepeat(true);
        const int direction = m.direction;
        const bool page = m.page;
        connect(b, &QAbstractButton::clicked, this,
                [this, direction, page] { moveBy(direction * (page ? pageRows() : 1)); });
        scroll->addWidget(b);
    }
    scroll->addStretch();
    auto *middle = new QHBoxLayout;
    middle->addWidget(m_view, 1);
    middle->addLayout(scroll);
    body()->addLayout(middle, 1);

    auto *actions = new QHBoxLayout;
    actions->setSpacing(12);
    m_count = new QLabel(this);
    m_count->setObjectName(QStringLiteral("count"));
    m_count->setFont(touchFont(18));
    actions->addWidget(m_count, 1);
    auto *cancel = makeCancelButton();
    auto *ok = makeOkButton();
    cancel->setFixedWidth(180);
    ok->setFixedWidth(180);
    actions->addWidget(cancel);
    actions->addWidget(ok);
    body()->addLayout(actions);

    applyFilter(QString());
    const int current = dataSet->currentRow();
    selectRow(current >= 0 ? current : 0);
    m_filter->setFocus();
}

void PesquisaDialog::applyFilter(const QString &text)
{
    const int previous = m_rows->sourceRow(m_view->currentIndex().row());
    m_rows->setSearchText(text);
    const int n = m_rows->rowCount();
    m_count->setText(n == 1 ? QStringLiteral("1 registro") : QStringLiteral("%1 registros").arg(n));
    // Keep the row the operator was on when it still matches, else the first match.
    const int keep = m_rows->rowOf(previous);
    selectRow(keep >= 0 ? keep : 0);
}

void PesquisaDialog::selectRow(int row)
{
    const int n = m_rows->rowCount();
    if (n == 0) {
        m_view->setCurrentIndex(QModelIndex());
        return;
    }
    row = qBound(0, row, n - 1);
    const QModelIndex index = m_rows->index(row, 0);
    m_view->setCurrentIndex(index);
    m_view->selectRow(row);
    m_view->scrollTo(index);
}

int PesquisaDialog::pageRows() const
{
    return qMax(1, m_view->viewport()->height() / kRowHeight - 1);
}

void PesquisaDialog::moveBy(int delta)
{
    const int row = m_view->currentIndex().isValid() ? m_view->currentIndex().row() : 0;
    selectRow(row + delta);
}

void PesquisaDialog::choose()
{
    const int src = m_rows->sourceRow(m_view->currentIndex().row());
    if (src < 0)
        return; // nothing listed: stay open, the operator may change the filter
    m_chosen = src;
    accept();
}

bool PesquisaDialog::handleKey(QKeyEvent *event)
{
    // The filter box lost focus (a tap on a button): keys still go to it. Keys it ignored
    // itself come back here and stop.
    if (m_forwarding || m_filter->hasFocus())
        return false;
    if (eventFilter(m_filter, event))
        return true;
    m_forwarding = true;
    m_filter->setFocus();
    QCoreApplication::sendEvent(m_filter, event);
    m_forwarding = false;
    return true;
}

bool PesquisaDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_filter || event->type() != QEvent::KeyPress)
        return TouchDialog::eventFilter(watched, event);
    auto *key = static_cast<QKeyEvent *>(event);
    switch (key->key()) {
    case Qt::Key_Up:
        moveBy(-1);
        return true;
    case Qt::Key_Down:
        moveBy(1);
        return true;
    case Qt::Key_PageUp:
        moveBy(-pageRows());
        return true;
    case Qt::Key_PageDown:
        moveBy(pageRows());
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        choose();
        return true;
    case Qt::Key_Escape:
        reject();
        return true;
    default:
        return false;
    }
}

// arg2 is the title; the other arguments are unused.
bool pesquisa(ClientDataSet *dataSet, const QString &arg2, const QString &arg3, int arg4,
              int arg5, int arg6, int arg7, int arg8)
{
    Q_UNUSED(arg3);
    Q_UNUSED(arg4);
    Q_UNUSED(arg5);
    Q_UNUSED(arg6);
    Q_UNUSED(arg7);
    Q_UNUSED(arg8);
    if (!dataSet || !dataSet->Active())
        return false;
    int chosen = -1;
    {
        PesquisaDialog dialog(dataSet, arg2);
        if (dialog.run() != QDialog::Accepted)
            return false;
        chosen = dialog.chosenRow();
    }
    if (chosen < 0)
        return false;
    dataSet->setRecNo(chosen + 1);
    return true;
}
