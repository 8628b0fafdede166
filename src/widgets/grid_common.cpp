#include "widgets/grid_common.h"

#include "widgets/StringGrid.h"

#include <algorithm>

namespace vorteq {

void clear_grid_cells(StringGrid& grid, int firstCol, int lastCol, int firstRow, int lastRow)
{
    if (lastCol < firstCol || lastRow < firstRow)
        return;
    StringGridModel& model = grid.model();
    // Cells outside what the grid can hold are blank already; bounding the loops keeps a huge range cheap.
    const int colEnd = std::min(lastCol, model.extentCols() - 1);
    const int rowEnd = std::min(lastRow, model.extentRows() - 1);
    model.beginUpdate();
    for (int c = std::max(firstCol, 0); c <= colEnd; ++c) {
        for (int r = std::max(firstRow, 0); r <= rowEnd; ++r)
            model.setCell(c, r, QString());
    }
    model.endUpdate();
}

} // namespace vorteq
