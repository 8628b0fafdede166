#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string_view>

namespace vorteq {

// The tabs of the screening page control, in tab order.
enum class ScreeningTab {
    Usual,      // ts_stk_usual "検索条件"
    Additional, // ts_stk_additional "追加条件A"
    Technical,  // ts_technical "追加条件B"
};

enum class InputKind {
    Number, // an edit field holding the typed number
    Choice, // a fixed drop-down list
};

// One input of a condition row, in the order it stands on screen.
struct ConditionControl {
    InputKind kind = InputKind::Number;
    std::string_view name;                   // control name
    std::span<const std::string_view> items; // Choice: the list texts
    int initial = 0;                         // Choice: the item a reset selects
    std::string_view unit;                   // Number: "%" or "日" shown after the field, or empty
};

// How a ticked condition turns into its SQL fragment.
enum class FragmentRule {
    SignedThreshold,         // `column` against the typed number, direction by its sign
    StochasticThreshold,     // signed threshold on the column chosen by the first list (`fragments`)
    RenzokuDays,             // run length of rises or falls, and the direction of the day
    AverageAgainstClose,     // moving average of the chosen period against the close
    AverageDeviation,        // signed threshold on MARATIO_xx of the chosen period
    AverageAgainstAverage,   // moving average of period a against that of period b
    AverageAverageDeviation, // (MA a - MA b) / MA b against the typed percentage / 100
    FixedChoice,             // the fragment of the chosen item (`fragments`), as it stands
};

// One row of the condition table: its check box and caption, its inputs, its SQL rule and where it
// stands on the screening tabs (column and row of that tab's grid).
struct ScreeningCondition {
    std::string_view checkBox;
    std::string_view caption;
    std::array<ConditionControl, 4> controls{};
    std::size_t controlCount = 0;
    FragmentRule rule = FragmentRule::SignedThreshold;
    std::string_view column;                     // SignedThreshold: "PT_RANGE"
    bool strictBelowSign = false;                // "以下" keeps the positive side only for N > 0
    std::span<const std::string_view> fragments; // FixedChoice, StochasticThreshold: one per item
    ScreeningTab tab = ScreeningTab::Additional;
    int gridColumn = 0;
    int gridRow = 0;

    // The edit field of a condition that takes a number, or nullptr.
    const ConditionControl* numberControl() const
    {
        for (std::size_t i = 0; i < controlCount; ++i)
            if (controls[i].kind == InputKind::Number)
                return &controls[i];
        return nullptr;
    }
    std::size_t choiceCount() const
    {
        std::size_t n = 0;
        for (std::size_t i = 0; i < controlCount; ++i)
            n += controls[i].kind == InputKind::Choice ? 1u : 0u;
        return n;
    }
};

inline constexpr std::size_t kScreeningConditionCount = 28;
// The most choice lists one condition has.
inline constexpr std::size_t kMaxConditionChoices = 3;
// Edit fields of the condition tabs take at most this many characters.
inline constexpr int kConditionFieldMaxLength = 3;

// The 28 screening conditions in the order their fragments are appended and their numbers checked.
const std::array<ScreeningCondition, kScreeningConditionCount>& screeningConditions();

// The period lists: "5日", "15日", "25日", "50日" select the column suffixes 05, 15, 25 and 50.
inline constexpr std::array<std::string_view, 4> kAveragePeriodSuffixes{"05", "15", "25", "50"};

} // namespace vorteq
