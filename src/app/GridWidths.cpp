#include "app/GridWidths.h"

#include "common/NumberText.h"
#include "common/TextFile.h"

#include <algorithm>
#include <system_error>
#include <vector>

namespace vorteq {

namespace {

constexpr int kMaxColumn = 1000;
constexpr int kMaxWidth = 5000; // pixels; wider than any screen

bool isGridName(const std::string& name)
{
    return !name.empty() && name.size() <= 64 && std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    });
}

} // namespace

std::filesystem::path gridWidthsPath(const std::filesystem::path& baseDir)
{
    return baseDir / "SysData" / "grid_widths.ini";
}

Result<GridWidths> readGridWidths(const std::filesystem::path& path)
{
    GridWidths widths;
    std::error_code ec;
    if (!std::filesystem::exists(path, ec))
        return widths;
    auto lines = readTextLines(path);
    if (!lines)
        return lines.error();
    for (const std::string& line : *lines) {
        std::vector<std::string> pieces;
        std::size_t start = 0;
        for (std::size_t comma = line.find(','); comma != std::string::npos; comma = line.find(',', start)) {
            pieces.push_back(line.substr(start, comma - start));
            start = comma + 1;
        }
        if (pieces.size() != 3 || !isGridName(pieces[0]))
            continue;
        const auto column = parseInt32(pieces[1]);
        const auto width = parseInt32(pieces[2]);
        if (column && width && *column >= 0 && *column<kMaxColumn&& * width> 0 && *width <= kMaxWidth)
            widths[pieces[0]][*column] = *width;
    }
    return widths;
}

Status writeGridWidths(const std::filesystem::path& path, const GridWidths& widths)
{
    std::vector<std::string> lines;
    for (const auto& [grid, columns] : widths)
        for (const auto& [column, width] : columns)
            lines.push_back(grid + "," + std::to_string(column) + "," + std::to_string(width) + ",");
    return writeTextLinesAtomic(path, lines);
}

} // namespace vorteq
