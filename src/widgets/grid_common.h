#pragma once

namespace vorteq {

class StringGrid;

// Blanks every cell whose column lies in [firstCol, lastCol] and whose row lies in [firstRow, lastRow],
// all bounds inclusive and counted as on screen (row 0 is the title row). Nothing changes when a last
// bound is below its first. The grid's size is not changed.
void clear_grid_cells(StringGrid& grid, int firstCol, int lastCol, int firstRow, int lastRow);

} // namespace vorteq
