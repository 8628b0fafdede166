#include "accounts/AccountChange.h"

#include "common/SqlText.h"

#include <cstddef>

namespace vorteq {

namespace {

bool isAsciiAlnum(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Characters, not bytes: a UTF-8 continuation byte does not start a character.
std::size_t characterCount(std::string_view text)
{
    std::size_t count = 0;
    for (char c : text) {
        if ((static_cast<unsigned char>(c) & 0xC0U) != 0x80U)
            ++count;
    }
    return count;
}

// "UPDATE USR_INFO a SET a.<column> = '<new>' WHERE a.USR_ID = '<id>' AND a.<column> = '<current>' "
std::string updateOwnColumn(std::string_view column, std::string_view newValue, std::string_view userId,
                            std::string_view currentValue)
{
    std::string sql = "UPDATE USR_INFO a SET ";
    sql += "a.";
    sql += column;
    sql += " = '";
    sql += escapeSqlText(newValue);
    sql += "' ";
    sql += "WHERE a.USR_ID = '";
    sql += escapeSqlText(userId);
    sql += "' ";
    sql += "AND a.";
    sql += column;
    sql += " = '";
    sql += escapeSqlText(currentValue);
    sql += "' ";
    return sql;
}

} // namespace

std::optional<EntryField> checkNewPassword(std::string_view first, std::string_view second)
{
    if (first.empty())
        return EntryField::First;
    if (second.empty())
        return EntryField::Second;
    if (characterCount(first) < 4)
        return EntryField::First;
    if (first != second)
        return EntryField::First;
    for (char c : first) {
        if (!isAsciiAlnum(c))
            return EntryField::First;
    }
    return std::nullopt;
}

std::optional<EntryField> checkNewMail(std::string_view first, std::string_view second)
{
    if (first.empty())
        return EntryField::First;
    if (second.empty())
        return EntryField::Second;
    if (first != second)
        return EntryField::First;
    int atCount = 0;
    for (char c : first) {
        if (c == '@')
            ++atCount;
        else if (!isAsciiAlnum(c) && c != '-' && c != '.' && c != '_')
            return EntryField::First;
    }
    if (atCount != 1)
        return EntryField::First;
    return std::nullopt;
}

std::string passwordUpdateStatement(std::string_view newPassword, std::string_view userId,
                                    std::string_view currentPassword)
{
    return updateOwnColumn("PASS_WORD", newPassword, userId, currentPassword);
}

std::string mailUpdateStatement(std::string_view newMail, std::string_view userId,
                                std::string_view currentMail)
{
    return updateOwnColumn("E_MAIL", newMail, userId, currentMail);
}

} // namespace vorteq
