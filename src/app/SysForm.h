#pragma once

#include "common/Result.h"

#include <filesystem>
#include <optional>

namespace vorteq {

// The two choices of the main window remembered in SysData/sys_form.ini: line 1 the stock-target
// index, line 2 the market index. A missing line leaves its choice empty (the combo keeps what it shows).
struct SysFormChoices {
    std::optional<int> stkTgt;
    std::optional<int> mktCd;
};

// <baseDir>/SysData/sys_form.ini
std::filesystem::path sysFormPath(const std::filesystem::path& baseDir);

// Reads the file; both choices empty when it does not exist. A line that is not a whole number or names
// no item (index outside 0..count-1) reads as 0, the first item. Lines after the second are ignored.
Result<SysFormChoices> readSysForm(const std::filesystem::path& path, int stkTgtCount, int mktCdCount);

// Writes the two indexes, replacing the file atomically and creating SysData when it is missing.
Status writeSysForm(const std::filesystem::path& path, int stkTgt, int mktCd);

} // namespace vorteq
