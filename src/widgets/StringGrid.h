#pragma once

#include <QAbstractTableModel>
#include <QStringList>
#include <QTableView>

#include <vector>

namespace vorteq {

// The texts of a string grid. Row 0 is the fixed title row (shown as the column headers); rows 1..
// are the body. Cells may be written beyond the rows shown (a filler writes its rows and then sets the
// row count); setting a smaller row count discards the rows beyond it.
class StringGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit StringGridModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // Shows the body ordered by one column: numbers by value, other texts (dates among them) by
    // their characters, empty cells first; rows that tie keep the order they were written in.
    // Column -1 shows the written order again. The cells themselves keep their rows.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
    int sortColumn() const { return m_sortColumn; }
    // The row as written (1..) that a body row of the view shows, and back.
    int writtenRow(int viewRow) const;
    int viewRow(int writtenRow) const;
    // Alignment of the body cells of one column (left and centred vertically unless set).
    void setColumnAlignment(int col, Qt::Alignment alignment);

    int gridColCount() const { return m_cols; }
    int gridRowCount() const { return m_rows; }
    void setGridColCount(int cols);
    void setGridRowCount(int rows);

    QString cell(int col, int row) const;
    void setCell(int col, int row, const QString& text);

    // Rows and columns that may hold text: at least the grid's size, more when cells were written beyond.
    int extentRows() const;
    int extentCols() const;

    // Between these two calls cell writes send no per-cell notification; the views refresh once at the end.
    void beginUpdate();
    void endUpdate();

private:
    QString& storedCell(int col, int row);
    void notifyCell(int col, int row);
    void applySort();

    int m_cols = 1;
    int m_rows = 2;
    int m_updateDepth = 0;
    QStringList m_titles;                     // row 0
    std::vector<std::vector<QString>> m_body; // m_body[row - 1][col]
    int m_sortColumn = -1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
    std::vector<int> m_order;   // body row of the view -> written body row (0-based); empty: as written
    std::vector<int> m_inverse; // written body row -> body row of the view
    std::vector<Qt::Alignment> m_alignments; // per column; empty: the default
};

// A grid of texts with one fixed title row and no fixed column, cells not editable, columns and rows
// resizable by the user. Rows and columns are counted as written: row 0 is the title row. When the
// user has sorted the view, cell(), currentRow() and selectRow() still speak of rows as written.
class StringGrid : public QTableView {
    Q_OBJECT
public:
    explicit StringGrid(QWidget* parent = nullptr);

    int colCount() const { return m_model->gridColCount(); }
    void setColCount(int cols) { m_model->setGridColCount(cols); }
    // Rows including the title row; at least 1.
    int rowCount() const { return m_model->gridRowCount(); }
    void setRowCount(int rows) { m_model->setGridRowCount(rows); }

    // An empty text outside the grid's extent.
    QString cell(int col, int row) const { return m_model->cell(col, row); }
    void setCell(int col, int row, const QString& text) { m_model->setCell(col, row, text); }
    // Sets the titles of row 0 from the first column on.
    void setTitles(const QStringList& titles);

    void setDefaultColWidth(int width);
    void setDefaultRowHeight(int height);

    // A click on a column title sorts the view by that column (ascending, descending, as written).
    void setSortableByTitle(bool sortable);
    // Shows the rows as written again and clears the title's sort mark.
    void clearSort();
    // Keeps this column in view at the left edge once the grid is scrolled to the right past it.
    void setFrozenColumn(int col);
    // The view that shows the frozen column over the left edge, or nullptr.
    QTableView* frozenView() const { return m_frozen; }

    // The body row holding the cursor (1..), or 0 when there is none.
    int currentRow() const;
    void selectRow(int row);

    StringGridModel& model() { return *m_model; }
    const StringGridModel& model() const { return *m_model; }

signals:
    // The user pressed and released a mouse button, either one, on the same body cell (col, and the
    // row as written).
    void cellClicked(int col, int row);
    // The cursor moved to another body row (the row as written).
    void currentRowChanged(int row);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void placeFrozenView();

    StringGridModel* m_model;
    QPersistentModelIndex m_pressed; // the cell under the last press, for the click that follows
    QTableView* m_frozen = nullptr;
    int m_frozenColumn = -1;
};

} // namespace vorteq
