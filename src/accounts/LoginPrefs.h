#pragma once

#include "common/Result.h"

#include <filesystem>
#include <optional>
#include <string>

namespace vorteq {

// How much of the credentials the login window fills in next time: the item index of its choice list.
enum class LoginSaveChoice {
    UserIdAndPassword = 0, // "ユーザーIDとパスワードを保存"
    UserIdOnly = 1,        // "ユーザーIDを保存"
    Nothing = 2,           // "保存しない"
};
inline constexpr int kLoginSaveChoiceCount = 3;

// The contents of SysData/vorteq.ini: line 1 the choice, line 2 the user ID, line 3 the password.
// A missing line leaves the matching control as it was.
struct LoginPrefs {
    // Always within 0..2. An unreadable or out-of-range value reads as "ユーザーIDを保存" (1), never
    // as the choice that saves the password, and the password line of such a file is not read.
    std::optional<int> choice;
    std::optional<std::string> userId;
    std::optional<std::string> password;
};

// <baseDir>/SysData/vorteq.ini
std::filesystem::path loginPrefsPath(const std::filesystem::path& baseDir);

// Reads the file; empty when it does not exist. An error when it exists but cannot be read.
Result<std::optional<LoginPrefs>> readLoginPrefs(const std::filesystem::path& path);

// Writes the choice and, as it asks, the user ID (choices 0 and 1) and the password (choice 0). The
// file may hold a password, so it is readable by its owner only; it is replaced atomically and a
// missing SysData folder is created.
Status writeLoginPrefs(const std::filesystem::path& path, int choice, const std::string& userId,
                       const std::string& password);

} // namespace vorteq
