#include "cli/Output.h"

#include "common/Csv.h"
#include "common/Encoding.h"
#include "common/TextFile.h"

namespace vorteq::cli {

Result<std::string> encodeText(std::string_view utf8, OutputEncoding encoding)
{
    if (encoding == OutputEncoding::Utf8)
        return std::string(utf8);
    return utf8ToCp932(utf8);
}

Result<std::string> exportBytes(const std::vector<std::string>& lines, OutputEncoding encoding)
{
    std::string text;
    for (const std::string& line : lines) {
        text += line;
        text += "\r\n";
    }
    return encodeText(text, encoding);
}

Status writeExportFile(const std::filesystem::path& path, const std::vector<std::string>& lines,
                       OutputEncoding encoding)
{
    if (encoding == OutputEncoding::Cp932)
        return writeCsvFile(path, lines);
    auto bytes = exportBytes(lines, encoding);
    if (!bytes)
        return bytes.error();
    return writeBytesAtomic(path, *bytes);
}

std::string terminalLines(std::string_view dialogText)
{
    std::string out;
    out.reserve(dialogText.size());
    for (std::size_t i = 0; i < dialogText.size(); ++i) {
        if (dialogText[i] == '\n' && i + 1 < dialogText.size() && dialogText[i + 1] == '\r') {
            out += '\n';
            ++i;
        } else {
            out += dialogText[i];
        }
    }
    return out;
}

} // namespace vorteq::cli
