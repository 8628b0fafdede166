#include "accounts/LoginPrefs.h"

#include "common/NumberText.h"
#include "common/TextFile.h"

#include <system_error>
#include <vector>

namespace vorteq {

std::filesystem::path loginPrefsPath(const std::filesystem::path& baseDir)
{
    return baseDir / "SysData" / "vorteq.ini";
}

Result<std::optional<LoginPrefs>> readLoginPrefs(const std::filesystem::path& path)
{
    std::error_code ec;
    if (!std::filesystem::exists(path, ec))
        return std::optional<LoginPrefs>();

    auto lines = readTextLines(path);
    if (!lines)
        return lines.error();

    LoginPrefs prefs;
    const std::vector<std::string>& text = *lines;
    bool damaged = false;
    if (!text.empty()) {
        const auto value = parseInt32(text[0]);
        damaged = !value || *value < 0 || *value >= kLoginSaveChoiceCount;
        prefs.choice = damaged ? static_cast<int>(LoginSaveChoice::UserIdOnly) : *value;
    }
    if (text.size() >= 2)
        prefs.userId = text[1];
    if (text.size() >= 3 && !damaged)
        prefs.password = text[2];
    return std::optional<LoginPrefs>(std::move(prefs));
}

Status writeLoginPrefs(const std::filesystem::path& path, int choice, const std::string& userId,
                       const std::string& password)
{
    std::vector<std::string> lines{std::to_string(choice)};
    if (choice == static_cast<int>(LoginSaveChoice::UserIdAndPassword)) {
        lines.push_back(userId);
        lines.push_back(password);
    } else if (choice == static_cast<int>(LoginSaveChoice::UserIdOnly)) {
        lines.push_back(userId);
    }
    return writeTextLinesAtomic(path, lines, FileAccess::OwnerOnly);
}

} // namespace vorteq
