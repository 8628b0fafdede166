#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vorteq {

// Which of the two entry fields of a change (the new value and its repetition) needs correcting.
enum class EntryField {
    First,
    Second,
};

// A new password may be sent when both entries are given and equal, and it is 4 to 10 letters and
// digits (the field itself stops at 10). Otherwise: the field that gets the focus.
std::optional<EntryField> checkNewPassword(std::string_view first, std::string_view second);

// A new e-mail address may be sent when both entries are given and equal, it holds only letters,
// digits, "-", ".", "_" and "@", and exactly one "@". Otherwise: the field that gets the focus.
std::optional<EntryField> checkNewMail(std::string_view first, std::string_view second);

// The password change of the logged-in user; the current password in the WHERE clause makes the
// change apply only to the row that still holds it. Quotes in every value are doubled.
std::string passwordUpdateStatement(std::string_view newPassword, std::string_view userId,
                                    std::string_view currentPassword);

// The e-mail change, built the same way.
std::string mailUpdateStatement(std::string_view newMail, std::string_view userId,
                                std::string_view currentMail);

} // namespace vorteq
