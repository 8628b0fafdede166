#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorteq::server {

// The statements the server recognises by their shape rather than running them: the login's user
// query, the update-dates query, and the two account changes. A shape is a token sequence; white
// space between tokens may vary, nothing else may. Each quoted value is returned with its doubled
// single quotes undone.

struct LoginStatement {
    std::string userId;
    std::string password;
};

struct PasswordChange {
    std::string newPassword;
    std::string userId;
    std::string currentPassword;
};

struct MailChange {
    std::string newMail;
    std::string userId;
    std::string currentMail;
};

// SELECT a.USR_NM, a.E_MAIL, a.MAIL_STATUS FROM USR_INFO a WHERE a.USR_STATUS <> 1
// AND a.USR_ID = '...' AND a.PASS_WORD = '...'
std::optional<LoginStatement> matchLogin(std::string_view sql);

// SELECT a.UPD_DATE FROM STK_UPD a ORDER BY a.UPD_FLG
bool matchUpdateDates(std::string_view sql);

// UPDATE USR_INFO a SET a.PASS_WORD = '...' WHERE a.USR_ID = '...' AND a.PASS_WORD = '...'
std::optional<PasswordChange> matchPasswordChange(std::string_view sql);

// UPDATE USR_INFO a SET a.E_MAIL = '...' WHERE a.USR_ID = '...' AND a.E_MAIL = '...'
std::optional<MailChange> matchMailChange(std::string_view sql);

// The quoted values of sql when its tokens equal those of pattern, where each "?" of the pattern
// stands for one single-quoted string. Keywords and names compare exactly.
std::optional<std::vector<std::string>> matchShape(std::string_view pattern, std::string_view sql);

// The first word of a statement in upper case ("SELECT"), or empty.
std::string firstWord(std::string_view sql);

} // namespace vorteq::server
