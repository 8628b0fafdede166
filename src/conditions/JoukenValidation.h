#pragma once

// The number check that runs before a simulation, on a condition record: the client runs it on a
// snapshot of the editor's controls, the command-line tool on a record read from a condition file.
// The rules themselves are data (ValidationTable.h, ConditionCatalogue.h).

#include "conditions/TJouken.h"

#include <optional>
#include <string_view>
#include <vector>

namespace vorteq {

// The first number that stops a simulation, and where the editor shows it.
struct ValidationFailure {
    int field = -1;           // kJoukenFields number of the failing field
    std::string_view tab;     // the editor tab holding the field (kTabCommon, ...)
    std::string_view message; // shown as it is
    // The tab comes to the front before the message is shown (the sell tab's volume ratio B
    // threshold when it is missing); everywhere else the message comes first.
    bool tabBeforeMessage = false;
};

// Checks in the editor's order: the common tab's amounts, the thresholds of the conditions in force
// on the buy tab then the sell tab, then every parameter of the calculation tab. Stops at the first
// failure; nothing when every check passes. Reads the record only.
std::optional<ValidationFailure> validateJouken(const TJouken& record);

// The editor tab that shows a field; empty for the two fields bound to no control.
std::string_view tabOfField(int no);

// The list position that a Kbn field's text names, or nothing when the text is not a whole number
// or names no item of the field's list.
std::optional<int> choicePosition(int no, std::string_view text);

// The Kbn fields of a record whose text names no item of their list, in field order.
std::vector<int> choicesOutOfRange(const TJouken& record);

// A value holding a comma cannot be stored in a condition file (the comma ends the value there):
// the first such field in the editor's order, with its message; nothing when every value can be
// stored.
std::optional<ValidationFailure> findUnstorableValue(const TJouken& record);

inline constexpr std::string_view kMsgCommaInValue = "カンマ(,)を含む数値は登録できません。";

} // namespace vorteq
