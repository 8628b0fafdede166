#pragma once

// Where the condition editor puts the fields that the condition catalogue does not place: the rows
// of the calculation tab, and the most characters each edit field takes.

#include "conditions/JoukenFields.h"

#include <span>
#include <string_view>

namespace vorteq {

// One field of the calculation tab. Fields of one row stand side by side after the row's heading,
// each after its own label; a period field is followed by "日".
struct CalcTabField {
    int column;               // 0 left, 1 right
    int row;                  // 1.. from the top of the column
    std::string_view heading; // the row's caption, on the row's first field only
    std::string_view label;   // text right before the field; empty when the heading names it
    int field;                // kJoukenFields number
};

// Every indicator parameter's field, in the tab's order (left column top to bottom, then the
// right one), from the indicator table.
std::span<const CalcTabField> calcTabFields();

// Most characters the edit field of a number field takes; 0 for no limit (the initial capital) and
// for fields that are not numbers. Periods 2, the three factors 3, thresholds 4 (the sell side's
// deviation 3), commission and the profit-taking and loss-cut percentages 3.
int fieldMaxLength(int no);

} // namespace vorteq
