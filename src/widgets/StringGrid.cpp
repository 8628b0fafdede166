#include "widgets/StringGrid.h"

#include "common/NumberText.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QScrollBar>

#include <algorithm>
#include <optional>

namespace vorteq {

StringGridModel::StringGridModel(QObject* parent) : QAbstractTableModel(parent)
{
    m_titles.resize(m_cols);
    m_body.resize(static_cast<std::size_t>(m_rows - 1));
}

int StringGridModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rows - 1;
}

int StringGridModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_cols;
}

QVariant StringGridModel::data(const QModelIndex& index, int role) const
{
    if (index.isValid() && role == Qt::TextAlignmentRole) {
        const auto col = static_cast<std::size_t>(index.column());
        if (col < m_alignments.size() && m_alignments[col])
            return QVariant::fromValue(m_alignments[col]);
        return {};
    }
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return {};
    const QString text = cell(index.column(), writtenRow(index.row() + 1));
    if (role == Qt::ToolTipRole && text.isEmpty())
        return {};
    return text;
}

QVariant StringGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    return cell(section, 0);
}

Qt::ItemFlags StringGridModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

int StringGridModel::writtenRow(int viewRow) const
{
    const auto r = static_cast<std::size_t>(viewRow - 1);
    if (viewRow < 1 || r >= m_order.size())
        return viewRow;
    return m_order[r] + 1;
}

int StringGridModel::viewRow(int writtenRow) const
{
    const auto r = static_cast<std::size_t>(writtenRow - 1);
    if (writtenRow < 1 || r >= m_inverse.size())
        return writtenRow;
    return m_inverse[r] + 1;
}

void StringGridModel::setColumnAlignment(int col, Qt::Alignment alignment)
{
    if (col < 0)
        return;
    const auto c = static_cast<std::size_t>(col);
    if (c >= m_alignments.size())
        m_alignments.resize(c + 1);
    m_alignments[c] = alignment;
}

void StringGridModel::sort(int column, Qt::SortOrder order)
{
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    // The cursor and the selection stay on the rows they were on.
    const QModelIndexList before = persistentIndexList();
    std::vector<int> written;
    written.reserve(static_cast<std::size_t>(before.size()));
    for (const QModelIndex& index : before)
        written.push_back(writtenRow(index.row() + 1));
    m_sortColumn = column;
    m_sortOrder = order;
    applySort();
    QModelIndexList after;
    after.reserve(before.size());
    for (qsizetype i = 0; i < before.size(); ++i)
        after << index(viewRow(written[static_cast<std::size_t>(i)]) - 1, before[i].column());
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void StringGridModel::applySort()
{
    m_order.clear();
    m_inverse.clear();
    const int body = m_rows - 1;
    if (m_sortColumn < 0 || body < 2)
        return;
    // Each cell is read once: its number when it is one, else its text.
    struct Key {
        std::optional<long double> number;
        QString text;
    };
    std::vector<Key> keys(static_cast<std::size_t>(body));
    for (int r = 0; r < body; ++r) {
        Key& key = keys[static_cast<std::size_t>(r)];
        key.text = cell(m_sortColumn, r + 1);
        key.number = parseNumber(key.text.trimmed().toStdString());
    }
    // Empty cells first, then numbers by value, then other texts by their characters.
    const auto rank = [](const Key& k) { return k.text.isEmpty() ? 0 : k.number ? 1 : 2; };
    const auto less = [&](const Key& a, const Key& b) {
        if (rank(a) != rank(b))
            return rank(a) < rank(b);
        if (a.number && b.number)
            return *a.number < *b.number;
        return a.text < b.text;
    };
    m_order.resize(keys.size());
    for (std::size_t i = 0; i < m_order.size(); ++i)
        m_order[i] = static_cast<int>(i);
    const bool descending = m_sortOrder == Qt::DescendingOrder;
    std::stable_sort(m_order.begin(), m_order.end(), [&](int a, int b) {
        const Key& x = keys[static_cast<std::size_t>(a)];
        const Key& y = keys[static_cast<std::size_t>(b)];
        return descending ? less(y, x) : less(x, y);
    });
    m_inverse.resize(m_order.size());
    for (std::size_t i = 0; i < m_order.size(); ++i)
        m_inverse[static_cast<std::size_t>(m_order[i])] = static_cast<int>(i);
}

void StringGridModel::setGridColCount(int cols)
{
    cols = std::max(cols, 1);
    if (cols == m_cols)
        return;
    const bool notify = m_updateDepth == 0;
    if (cols > m_cols) {
        if (notify)
            beginInsertColumns(QModelIndex(), m_cols, cols - 1);
        m_cols = cols;
        if (notify)
            endInsertColumns();
    } else {
        if (notify)
            beginRemoveColumns(QModelIndex(), cols, m_cols - 1);
        m_cols = cols;
        if (notify)
            endRemoveColumns();
    }
}

void StringGridModel::setGridRowCount(int rows)
{
    rows = std::max(rows, 1);
    const bool notify = m_updateDepth == 0 && rows != m_rows;
    if (rows > m_rows) {
        if (notify)
            beginInsertRows(QModelIndex(), m_rows - 1, rows - 2);
        m_rows = rows;
        if (notify)
            endInsertRows();
    } else if (rows < m_rows) {
        if (notify)
            beginRemoveRows(QModelIndex(), rows - 1, m_rows - 2);
        m_rows = rows;
        if (notify)
            endRemoveRows();
    }
    // Rows written beyond the old count stay; rows beyond the new count are discarded.
    m_body.resize(static_cast<std::size_t>(rows - 1));
    if (notify && m_sortColumn >= 0) {
        emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
        applySort();
        emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    } else {
        applySort();
    }
}

QString StringGridModel::cell(int col, int row) const
{
    if (col < 0 || row < 0)
        return {};
    if (row == 0)
        return col < m_titles.size() ? m_titles.at(col) : QString();
    const auto r = static_cast<std::size_t>(row - 1);
    if (r >= m_body.size())
        return {};
    const auto& line = m_body[r];
    const auto c = static_cast<std::size_t>(col);
    return c < line.size() ? line[c] : QString();
}

QString& StringGridModel::storedCell(int col, int row)
{
    if (row == 0) {
        if (col >= m_titles.size())
            m_titles.resize(col + 1);
        return m_titles[col];
    }
    const auto r = static_cast<std::size_t>(row - 1);
    if (r >= m_body.size())
        m_body.resize(r + 1);
    auto& line = m_body[r];
    const auto c = static_cast<std::size_t>(col);
    if (c >= line.size())
        line.resize(c + 1);
    return line[c];
}

void StringGridModel::setCell(int col, int row, const QString& text)
{
    if (col < 0 || row < 0)
        return;
    if (text.isEmpty() && cell(col, row).isEmpty())
        return; // nothing to clear; keeps the storage from growing for blanks
    storedCell(col, row) = text;
    notifyCell(col, row);
}

void StringGridModel::notifyCell(int col, int row)
{
    if (m_updateDepth > 0 || col >= m_cols || row >= m_rows)
        return;
    if (row == 0) {
        emit headerDataChanged(Qt::Horizontal, col, col);
        return;
    }
    const QModelIndex at = index(viewRow(row) - 1, col);
    emit dataChanged(at, at, {Qt::DisplayRole});
}

int StringGridModel::extentRows() const
{
    return std::max(m_rows, static_cast<int>(m_body.size()) + 1);
}

int StringGridModel::extentCols() const
{
    int cols = std::max(m_cols, static_cast<int>(m_titles.size()));
    for (const auto& line : m_body)
        cols = std::max(cols, static_cast<int>(line.size()));
    return cols;
}

void StringGridModel::beginUpdate()
{
    if (m_updateDepth++ == 0)
        beginResetModel();
}

void StringGridModel::endUpdate()
{
    if (m_updateDepth > 0 && --m_updateDepth == 0) {
        applySort(); // rows written in the update take their places in the order shown
        endResetModel();
        emit headerDataChanged(Qt::Horizontal, 0, std::max(m_cols - 1, 0));
    }
}

StringGrid::StringGrid(QWidget* parent) : QTableView(parent), m_model(new StringGridModel(this))
{
    setModel(m_model);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setShowGrid(true);
    setWordWrap(false);
    setTextElideMode(Qt::ElideRight);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    verticalHeader()->setMinimumSectionSize(12);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setDefaultColWidth(64);
    setDefaultRowHeight(18);

    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current, const QModelIndex&) {
                emit currentRowChanged(current.isValid() ? current.row() + 1 : 0);
            });
}

void StringGrid::mousePressEvent(QMouseEvent* event)
{
    m_pressed = indexAt(event->position().toPoint());
    QTableView::mousePressEvent(event);
}

void StringGrid::mouseReleaseEvent(QMouseEvent* event)
{
    const QModelIndex released = indexAt(event->position().toPoint());
    const bool click = released.isValid() && released == m_pressed;
    m_pressed = QPersistentModelIndex();
    QTableView::mouseReleaseEvent(event);
    // The view itself reports left clicks only; a right click moves the cursor as well and counts too.
    if (click)
        emit cellClicked(released.column(), m_model->writtenRow(released.row() + 1));
}

void StringGrid::mouseDoubleClickEvent(QMouseEvent* event)
{
    m_pressed = QPersistentModelIndex(); // the first click of the pair was reported already
    QTableView::mouseDoubleClickEvent(event);
}

void StringGrid::setTitles(const QStringList& titles)
{
    m_model->beginUpdate();
    for (int c = 0; c < titles.size(); ++c)
        m_model->setCell(c, 0, titles.at(c));
    m_model->endUpdate();
}

void StringGrid::setDefaultColWidth(int width)
{
    horizontalHeader()->setDefaultSectionSize(width);
}

void StringGrid::setDefaultRowHeight(int height)
{
    verticalHeader()->setDefaultSectionSize(height);
}

int StringGrid::currentRow() const
{
    const QModelIndex current = currentIndex();
    return current.isValid() ? m_model->writtenRow(current.row() + 1) : 0;
}

void StringGrid::selectRow(int row)
{
    if (row < 1 || row >= rowCount())
        return;
    const QModelIndex at = m_model->index(m_model->viewRow(row) - 1, std::max(currentIndex().column(), 0));
    setCurrentIndex(at);
}

void StringGrid::setSortableByTitle(bool sortable)
{
    if (sortable) {
        horizontalHeader()->setSortIndicatorClearable(true);
        horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder); // nothing sorted yet
    }
    setSortingEnabled(sortable);
}

void StringGrid::clearSort()
{
    if (m_model->sortColumn() < 0)
        return;
    if (isSortingEnabled())
        horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder); // sorts by column -1
    else
        m_model->sort(-1);
}

void StringGrid::setFrozenColumn(int col)
{
    m_frozenColumn = col;
    if (!m_frozen) {
        m_frozen = new QTableView(this);
        m_frozen->setObjectName(objectName() + QStringLiteral("_frozen"));
        m_frozen->setModel(m_model);
        m_frozen->setSelectionModel(selectionModel());
        m_frozen->setFocusPolicy(Qt::NoFocus);
        m_frozen->setEditTriggers(QAbstractItemView::NoEditTriggers);
        m_frozen->setSelectionBehavior(selectionBehavior());
        m_frozen->setWordWrap(false);
        m_frozen->verticalHeader()->hide();
        m_frozen->verticalHeader()->setMinimumSectionSize(verticalHeader()->minimumSectionSize());
        m_frozen->verticalHeader()->setDefaultSectionSize(verticalHeader()->defaultSectionSize());
        m_frozen->horizontalHeader()->setDefaultAlignment(horizontalHeader()->defaultAlignment());
        m_frozen->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
        m_frozen->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        m_frozen->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        m_frozen->setVerticalScrollMode(verticalScrollMode());
        m_frozen->setFrameShape(QFrame::NoFrame);
        viewport()->stackUnder(m_frozen);
        // The two views scroll together and keep the same row heights.
        connect(verticalScrollBar(), &QScrollBar::valueChanged, m_frozen->verticalScrollBar(),
                &QScrollBar::setValue);
        connect(m_frozen->verticalScrollBar(), &QScrollBar::valueChanged, verticalScrollBar(),
                &QScrollBar::setValue);
        connect(verticalHeader(), &QHeaderView::sectionResized, this,
                [this](int section, int, int size) { m_frozen->setRowHeight(section, size); });
        connect(horizontalHeader(), &QHeaderView::sectionResized, this, [this] { placeFrozenView(); });
        connect(horizontalScrollBar(), &QScrollBar::valueChanged, this, [this] { placeFrozenView(); });
        connect(horizontalScrollBar(), &QScrollBar::rangeChanged, this, [this] { placeFrozenView(); });
        connect(m_frozen, &QAbstractItemView::clicked, this, [this](const QModelIndex& index) {
            emit cellClicked(index.column(), m_model->writtenRow(index.row() + 1));
        });
    }
    placeFrozenView();
}

void StringGrid::placeFrozenView()
{
    if (!m_frozen)
        return;
    for (int c = 0; c < m_model->columnCount(); ++c)
        m_frozen->setColumnHidden(c, c != m_frozenColumn);
    // Shown only once the column has moved (partly) out of view to the left.
    const bool scrolledPast = columnViewportPosition(m_frozenColumn) < 0;
    if (!scrolledPast) {
        m_frozen->hide();
        return;
    }
    const int width = columnWidth(m_frozenColumn);
    m_frozen->setColumnWidth(m_frozenColumn, width);
    m_frozen->horizontalHeader()->setFixedHeight(horizontalHeader()->height());
    m_frozen->setGeometry(frameWidth(), frameWidth(), width,
                          viewport()->height() + horizontalHeader()->height());
    m_frozen->verticalScrollBar()->setValue(verticalScrollBar()->value());
    m_frozen->show();
}

void StringGrid::resizeEvent(QResizeEvent* event)
{
    QTableView::resizeEvent(event);
    placeFrozenView();
}

} // namespace vorteq
