#include "app/StringGrid.h"

#include <QHeaderView>

#include <algorithm>

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
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return {};
    const QString text = cell(index.column(), index.row() + 1);
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
    const QModelIndex at = index(row - 1, col);
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

    connect(this, &QAbstractItemView::clicked, this,
            [this](const QModelIndex& index) { emit cellClicked(index.column(), index.row() + 1); });
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current, const QModelIndex&) {
                emit currentRowChanged(current.isValid() ? current.row() + 1 : 0);
            });
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
    return current.isValid() ? current.row() + 1 : 0;
}

void StringGrid::selectRow(int row)
{
    if (row < 1 || row >= rowCount())
        return;
    const QModelIndex at = m_model->index(row - 1, std::max(currentIndex().column(), 0));
    setCurrentIndex(at);
}

} // namespace vorteq
