#include "common/Csv.h"

#include "common/TextFile.h"

namespace vorteq {

void appendCsvCell(std::string& line, std::string_view cell)
{
    if (cell.find_first_of(",\"\r\n") == std::string_view::npos) {
        line.append(cell);
    } else {
        line.push_back('"');
        for (char c : cell) {
            if (c == '"')
                line.push_back('"');
            line.push_back(c);
        }
        line.push_back('"');
    }
    line.push_back(',');
}

std::string csvLine(const std::vector<std::string>& cells)
{
    std::string line;
    for (const auto& cell : cells)
        appendCsvCell(line, cell);
    return line;
}

Status writeCsvFile(const std::filesystem::path& path, const std::vector<std::string>& lines)
{
    return writeTextLinesAtomic(path, lines);
}

} // namespace vorteq
