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

    int m_cols = 1;
    int m_rows = 2;
    int m_updateDepth = 0;
    QStringList m_titles;                     // row 0
    std::vector<std::vector<QString>> m_body; // m_body[row - 1][col]
};

// A grid of texts with one fixed title row and no fixed column, cells not editable, columns and rows
// resizable by the user. Rows and columns are counted as on screen: row 0 is the title row.
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

    // The body row holding the cursor (1..), or 0 when there is none.
    int currentRow() const;
    void selectRow(int row);

    StringGridModel& model() { return *m_model; }
    const StringGridModel& model() const { return *m_model; }

signals:
    // The user clicked a body cell (col, row counted as on screen).
    void cellClicked(int col, int row);
    // The cursor moved to another body row.
    void currentRowChanged(int row);

private:
    StringGridModel* m_model;
};

} // namespace vorteq
