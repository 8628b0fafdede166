#pragma once

// The ordered table of indicators and what is derived from it: the parameters in order with their
// defaults, and the day fields by how the final pass writes them.

#include "indicators/Indicator.h"

#include <span>
#include <vector>

namespace vorteq {

// Every indicator, in the order the passes run them (a pass runs its stages in table order).
std::span<const IndicatorDef* const> indicatorTable();

// One parameter of the table, with its place among all parameters (the index of its value).
struct TableParam {
    const IndicatorDef* indicator;
    const ParamDef* def;
    std::size_t index;
};

// Every parameter of the table, in table order.
std::span<const TableParam> tableParams();

// The default value of every parameter, in table order.
std::vector<long double> defaultParamValues();

// The parameter of a condition key, or nullptr.
const TableParam* findTableParam(std::string_view key);

// The values of one indicator's parameters taken from the values of all (in table order).
ParamValues paramsOf(const IndicatorDef& indicator, std::span<const long double> all);

// The computed day fields by how the final pass writes them, each in table order.
std::span<const DayField> outputsOfKind(OutputKind kind);

// The indicator that writes a field, or nullptr for the inputs and the unused positions.
const IndicatorDef* writerOf(DayField field);

// The name of a day field: its name in the record's layout, or, for a free position an output
// takes, the name of the indicator that writes it.
std::string_view dayFieldName(DayField field);

// A precomputed column of the server's daily tables and the day field it keeps.
struct PrecomputedColumn {
    std::string_view name;
    DayField field;
    ColumnNumber number;
};

// The precomputed columns, in the order of their places: what the importer writes after the
// price columns of each row.
std::span<const PrecomputedColumn> precomputedColumns();

} // namespace vorteq
