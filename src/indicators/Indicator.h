#pragma once

// What an indicator says about itself: its parameters with their condition keys and defaults, the
// day fields it writes and how the final pass writes them, the first day its window allows, and
// its computation by passes. IndicatorTable lists every indicator in the order the passes run them.

#include "series/TStkDailyData.h"

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace vorteq {

class SeriesWork;

enum class ParamKind {
    Period, // a whole number of days, at least 1
    Factor, // a number such as the parabolic's acceleration step
};

// An extra rule of the number check, tested after the upper limit.
enum class ExtraRule {
    None,
    Even,             // the value must be even (by its remainder: -3 is odd)
    GreaterThanShort, // the MACD long period, read as a float, must exceed the short one
};

// Where a parameter's field stands on the calculation tab: fields of one row stand side by side
// after the row's heading, each after its own label; a period field is followed by "日".
struct CalcTabSlot {
    int column;               // 0 left, 1 right
    int row;                  // 1.. from the top of the column
    std::string_view heading; // the row's caption, on the row's first field only
    std::string_view label;   // text right before the field; empty when the heading names it
};

// How the number check before a simulation tests a parameter: missing value, conversion (integer
// or float by kind), upper limit, lower limit (periods: at least 1), then the extra rule.
struct ParamCheck {
    std::string_view label; // the parameter's caption in the check
    long double upperLimit;
    std::string_view upperMessage;
    int lowerLimit; // factors have no lower limit (lowerMessage empty)
    std::string_view lowerMessage;
    ExtraRule extra = ExtraRule::None;
    std::string_view extraMessage = {};
    bool emptyKeepsDefault = false; // an empty field leaves the default period
};

struct ParamDef {
    std::string_view key;    // the condition key whose value overrides the default (AmtBuyRSI1)
    std::string_view member; // the analysis object's name for the value (DayRSI)
    ParamKind kind;
    long double defaultValue;
    CalcTabSlot slot;
    ParamCheck check;
};

// How the final pass writes an output into the day record.
enum class OutputKind {
    Stored,  // the value as computed, in the general number format
    Rounded, // truncated to two decimals; an empty value reads "0"
    Whole,   // a whole number written as its digits
};

// What the server's daily tables keep of an output for the screening, precomputed at import.
enum class ColumnNumber {
    Real,    // a float
    Integer, // a whole number
};

// The daily-table column of an output: its name and its place among the precomputed columns, which
// follow the price columns (0 the first). An output without a name has no column.
struct DailyColumnDef {
    std::string_view name;
    int place = -1;
    ColumnNumber number = ColumnNumber::Real;
};

// A position of the day record that no named field takes, for an indicator whose output has no
// name in the record's layout; a taken or out-of-range position does not compile.
consteval DayField freeDayField(int position)
{
    if (position < 0 || position >= kDayFieldCount ||
        !kDayFieldNames[static_cast<std::size_t>(position)].empty())
        throw "the position is taken by a named day field, or lies outside the day record";
    return static_cast<DayField>(position);
}

struct OutputDef {
    DayField field;
    OutputKind kind;
    DailyColumnDef column = {};
};

// The run's values of one indicator's parameters, in the order of its ParamDefs.
class ParamValues {
public:
    explicit ParamValues(std::span<const long double> values) : m_values(values) {}
    int period(std::size_t k) const { return static_cast<int>(m_values[k]); }
    long double factor(std::size_t k) const { return m_values[k]; }

private:
    std::span<const long double> m_values;
};

// One computation of an indicator within a pass. Passes 1 to 3 compute every day of the series
// over whole columns; pass 4 walks the days oldest first for `steps` steps (the recursive
// indicators), each step reading the day before.
struct IndicatorStage {
    int pass; // 1..4
    void (*compute)(SeriesWork& s, const ParamValues& p, int steps);
};

struct IndicatorDef {
    std::string_view name;
    std::span<const ParamDef> params;
    std::span<const OutputDef> outputs;
    std::span<const IndicatorStage> stages;
    // The days of history before the first day that has a value of `output` (a window of n days
    // needs n - 1 before it), for the given parameters.
    int (*lookback)(const ParamValues& p, DayField output);
    // A rule between the parameters, checked once they are read: a message naming the keys, or
    // nothing. Null when there is none.
    std::optional<std::string> (*checkParams)(const ParamValues& p) = nullptr;
};

} // namespace vorteq
