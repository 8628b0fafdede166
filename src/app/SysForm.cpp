#include "app/SysForm.h"

#include "common/NumberText.h"
#include "common/TextFile.h"

#include <string>
#include <system_error>
#include <vector>

namespace vorteq {

namespace {

int indexOrFirst(const std::string& line, int count)
{
    const auto value = parseInt32(line);
    return (value && *value >= 0 && *value < count) ? *value : 0;
}

} // namespace

std::filesystem::path sysFormPath(const std::filesystem::path& baseDir)
{
    return baseDir / "SysData" / "sys_form.ini";
}

Result<SysFormChoices> readSysForm(const std::filesystem::path& path, int stkTgtCount, int mktCdCount)
{
    SysFormChoices choices;
    std::error_code ec;
    if (!std::filesystem::exists(path, ec))
        return choices;

    auto lines = readTextLines(path);
    if (!lines)
        return lines.error();
    if (lines->size() >= 1)
        choices.stkTgt = indexOrFirst((*lines)[0], stkTgtCount);
    if (lines->size() >= 2)
        choices.mktCd = indexOrFirst((*lines)[1], mktCdCount);
    return choices;
}

Status writeSysForm(const std::filesystem::path& path, int stkTgt, int mktCd)
{
    return writeTextLinesAtomic(path, {std::to_string(stkTgt), std::to_string(mktCd)});
}

} // namespace vorteq
