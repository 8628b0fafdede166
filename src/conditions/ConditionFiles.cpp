#include "conditions/ConditionFiles.h"

#include "common/Encoding.h"
#include "common/TextFile.h"
#include "conditions/JoukenFields.h"
#include "conditions/JoukenValidation.h"

#include <system_error>

namespace vorteq {
namespace {

namespace fs = std::filesystem;

Error fileError(const std::string& what, const fs::path& path, const std::error_code& ec)
{
    return makeError(ErrorCode::Io, what + ": " + path.string() + " (" + ec.message() + ")");
}

// Whether a path names something; a file system that cannot tell is an error, not a "no".
Result<bool> fileExists(const fs::path& path)
{
    std::error_code ec;
    const bool found = fs::exists(path, ec);
    if (ec)
        return fileError("ファイルを確認できません", path, ec);
    return found;
}

// The index's lines, none when it does not exist.
Result<std::vector<std::string>> indexLines(const fs::path& index)
{
    const auto found = fileExists(index);
    if (!found)
        return found.error();
    if (!*found)
        return std::vector<std::string>{};
    return readTextLines(index);
}

bool lineNames(const std::string& line, const ConditionSetId& id)
{
    const auto pieces = commaPieces(line);
    return pieces.size() >= 2 && pieces[0] == id.code && pieces[1] == id.market;
}

// A condition file's lines, each converted on its own: a line that is not CP932 text (a file edited
// in another encoding, a damaged byte) is left out and its number kept, so one bad line does not
// cost the whole set. Line ends (CR, LF) never occur inside a CP932 character, so the bytes are
// split first.
Status readConditionLines(const fs::path& file, std::vector<std::string>& lines, std::vector<int>& skipped)
{
    const auto bytes = readBytes(file);
    if (!bytes)
        return bytes.error();
    int number = 0;
    for (const std::string& raw : splitLines(*bytes)) {
        ++number;
        auto text = cp932ToUtf8(raw);
        if (text)
            lines.push_back(std::move(*text));
        else
            skipped.push_back(number);
    }
    return Status::success();
}

} // namespace

std::string skippedLinesMessage(const std::vector<int>& lines, const fs::path& file)
{
    std::string numbers;
    for (int line : lines)
        numbers += (numbers.empty() ? "" : ", ") + std::to_string(line);
    return "売買条件ファイルの " + numbers +
           " 行目は文字コードが正しくない (Shift-JIS ではない) "
           "ため読み込みませんでした。ほかの行は読み込みました。"
           "\n" +
           file.string();
}

fs::path usrDataFolder(const fs::path& baseDir)
{
    return baseDir / "UsrData";
}

fs::path conditionIndexPath(const fs::path& baseDir)
{
    return usrDataFolder(baseDir) / "UsrCndCd.dat";
}

fs::path conditionFilePath(const fs::path& baseDir, const ConditionSetId& id)
{
    return usrDataFolder(baseDir) / (id.code + id.market + ".dat");
}

std::vector<std::string> commaPieces(std::string_view line)
{
    std::vector<std::string> pieces;
    for (std::size_t comma = line.find(','); comma != std::string_view::npos; comma = line.find(',')) {
        pieces.emplace_back(line.substr(0, comma));
        line.remove_prefix(comma + 1);
    }
    return pieces;
}

std::vector<std::string> jouken_write_list(const TJouken& record)
{
    std::vector<std::string> list;
    list.reserve(2 * kJoukenFieldCount);
    for (const auto& f : kJoukenFields) {
        list.emplace_back(f.key);
        list.push_back(record[f.no]);
    }
    return list;
}

Ptbl conditionTable(const std::vector<std::string>& lines)
{
    const int rows = static_cast<int>(lines.size());
    Ptbl table = makePtbl(3, rows + 1);
    for (int i = 1; i <= rows; ++i) {
        auto pieces = commaPieces(lines[static_cast<std::size_t>(i - 1)]);
        if (pieces.size() >= 1)
            table->set(1, i, pieces[0]);
        if (pieces.size() >= 2)
            table->set(2, i, pieces[1]);
    }
    return table;
}

void jouken_read_tbl(const PtblData& tbl, int rows, TJouken& target)
{
    for (int i = 1; i <= rows; ++i)
        if (const auto no = lookupJoukenField(tbl.cell(1, i)))
            target[*no] = tbl.cell(2, i);
}

Result<std::optional<ConditionFileTable>> readConditionSet(const fs::path& baseDir, const ConditionSetId& id)
{
    const fs::path file = conditionFilePath(baseDir, id);
    const auto found = fileExists(file);
    if (!found)
        return found.error();
    if (!*found)
        return std::optional<ConditionFileTable>{};
    std::vector<std::string> lines;
    std::vector<int> skipped;
    if (Status read = readConditionLines(file, lines, skipped); !read)
        return read.error();
    return std::optional<ConditionFileTable>{
        ConditionFileTable{conditionTable(lines), static_cast<int>(lines.size()), std::move(skipped)}};
}

Status readConditionFile(const fs::path& file, TJouken& target)
{
    const auto lines = readTextLines(file);
    if (!lines)
        return lines.error();
    const Ptbl table = conditionTable(*lines);
    jouken_read_tbl(*table, static_cast<int>(lines->size()), target);
    return Status::success();
}

TJouken normaliseLoadedJouken(const TJouken& loaded, const TJouken& shown)
{
    TJouken out = loaded;
    for (const auto& f : kJoukenFields) {
        std::string& value = out[f.no];
        switch (f.kind) {
        case FieldKind::Number:
        case FieldKind::Unbound:
            break;
        case FieldKind::Choice:
            value = std::to_string(choicePosition(f.no, value).value_or(0));
            break;
        case FieldKind::Switch:
            value = value == "1" ? "1" : "0";
            break;
        case FieldKind::ConditionUse:
            if (value != "1" && value != "2")
                value = "0";
            break;
        case FieldKind::TradePrice:
            if (!(value.size() == 1 && value[0] >= '1' && value[0] <= '4'))
                value = shown[f.no];
            break;
        }
    }
    return out;
}

Status checkConditionSetId(const ConditionSetId& id)
{
    if (id.code.empty() || id.market.empty())
        return makeError(ErrorCode::Validation, "銘柄が選択されていません。");
    for (const std::string* text : {&id.code, &id.market})
        for (const char ch : *text)
            if (ch == '/' || ch == '\\' || ch == ',' || static_cast<unsigned char>(ch) < 0x20)
                return makeError(ErrorCode::Validation,
                                 "銘柄コードに使えない文字が含まれているため、売買条件を保存できません: " +
                                     id.code);
    return Status::success();
}

Status registerConditionSet(const fs::path& baseDir, const ConditionSetId& id, const TJouken& record)
{
    if (Status valid = checkConditionSetId(id); !valid)
        return valid;
    if (const auto unstorable = findUnstorableValue(record))
        return makeError(ErrorCode::Validation, std::string(unstorable->message));

    // The set's file first: an index line never names a file that failed to be written.
    const std::vector<std::string> list = jouken_write_list(record);
    std::vector<std::string> lines;
    lines.reserve(list.size() / 2);
    for (std::size_t i = 0; i + 1 < list.size(); i += 2)
        lines.push_back(list[i] + "," + list[i + 1] + ",");
    if (Status written = writeTextLinesAtomic(conditionFilePath(baseDir, id), lines); !written)
        return written;

    const fs::path index = conditionIndexPath(baseDir);
    auto entries = indexLines(index);
    if (!entries)
        return entries.error();
    for (const std::string& line : *entries)
        if (lineNames(line, id))
            return Status::success();
    entries->push_back(id.code + "," + id.market + ",");
    return writeTextLinesAtomic(index, *entries);
}

Result<DeleteOutcome> deleteConditionSet(const fs::path& baseDir, const ConditionSetId& id)
{
    if (Status valid = checkConditionSetId(id); !valid)
        return valid.error();
    const fs::path file = conditionFilePath(baseDir, id);
    const auto found = fileExists(file);
    if (!found)
        return found.error();
    if (!*found)
        return DeleteOutcome::NotRegistered;
    std::error_code ec;
    if (!fs::remove(file, ec) || ec)
        return fileError("ファイルを削除できません", file, ec);

    const fs::path index = conditionIndexPath(baseDir);
    auto entries = indexLines(index);
    if (!entries)
        return entries.error();
    for (auto it = entries->begin(); it != entries->end(); ++it) {
        if (lineNames(*it, id)) {
            entries->erase(it);
            break;
        }
    }
    if (Status written = writeTextLinesAtomic(index, *entries); !written)
        return written.error();
    return DeleteOutcome::Deleted;
}

Result<std::vector<ConditionSetId>> readConditionIndex(const fs::path& baseDir)
{
    const auto lines = indexLines(conditionIndexPath(baseDir));
    if (!lines)
        return lines.error();
    std::vector<ConditionSetId> ids;
    for (const std::string& line : *lines) {
        auto pieces = commaPieces(line);
        if (pieces.size() >= 2)
            ids.push_back(ConditionSetId{std::move(pieces[0]), std::move(pieces[1])});
    }
    return ids;
}

namespace {

Error refused(std::string message)
{
    return makeError(ErrorCode::Validation, std::move(message));
}

// The loaded values as the editor hands them back, checked with its rules.
Result<TJouken> checkedForRun(const TJouken& loaded, const TJouken& shown)
{
    TJouken record = normaliseLoadedJouken(loaded, shown);
    if (const auto failed = validateJouken(record))
        return refused(std::string(failed->message) + " (" + std::string(kJoukenFields[failed->field].key) +
                       ")");
    return record;
}

} // namespace

Result<TJouken> loadJoukenForRun(const std::optional<std::filesystem::path>& file)
{
    // What a fresh editor shows; keys a file lacks keep these values.
    const TJouken shown = TJouken::defaults();
    TJouken loaded = shown;
    if (file)
        if (Status read = readConditionFile(*file, loaded); !read)
            return refused("売買条件ファイルを読めません: " + read.error().message);
    return checkedForRun(loaded, shown);
}

Result<TJouken> loadRegisteredJoukenForRun(const std::filesystem::path& baseDir, const ConditionSetId& id)
{
    const TJouken shown = TJouken::defaults();
    TJouken loaded = shown;
    if (Status valid = checkConditionSetId(id); !valid)
        return refused(valid.error().message);
    auto set = readConditionSet(baseDir, id);
    if (!set)
        return refused("売買条件ファイルを読めません: " + set.error().message);
    if (!*set)
        return refused("売買条件が登録されていません。 (" + conditionFilePath(baseDir, id).string() + ")");
    // A back-test with some conditions silently missing would mislead: refuse it and say where.
    if (!(*set)->skippedLines.empty())
        return refused(skippedLinesMessage((*set)->skippedLines, conditionFilePath(baseDir, id)));
    jouken_read_tbl(*(*set)->table, (*set)->rows, loaded);
    return checkedForRun(loaded, shown);
}

} // namespace vorteq
