#pragma once

#include "conditions/JoukenFields.h"

#include <array>
#include <string>
#include <string_view>

namespace vorteq {

// One complete set of trading conditions: 194 text fields in the fixed order of kJoukenFields,
// each addressed by its number or its key. Values are kept exactly as entered or loaded.
class TJouken {
public:
    static constexpr int kFieldCount = kJoukenFieldCount;

    // A record with every field empty (the state of the global record at start-up).
    TJouken() = default;

    // A record holding the Default column: what the editor shows in its initial state.
    static TJouken defaults();

    std::string& operator[](int no);
    const std::string& operator[](int no) const;

    // The field of a key, or nullptr for a key the record does not have.
    std::string* field(std::string_view key);
    const std::string* field(std::string_view key) const;

    // The text of a key; an unknown key reads as empty.
    const std::string& value(std::string_view key) const;

    // Sets the field of a key; false (nothing changed) for an unknown key.
    bool set(std::string_view key, std::string_view text);

    bool operator==(const TJouken&) const = default;

private:
    std::array<std::string, kFieldCount> m_fields;
};

// The current conditions of the program: empty at start, filled by the editor or a condition file.
extern TJouken jouken;

} // namespace vorteq
