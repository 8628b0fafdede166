#include "server/import/ApiQuotesFile.h"

#include "common/AsciiText.h"
#include "common/NumberText.h"
#include "common/TextFile.h"
#include "server/import/PriceFile.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <unordered_map>
#include <utility>

namespace vorteq::server {

namespace {

// One record of a file: its fields by name, and where it starts.
struct Record {
    std::vector<std::pair<std::string, std::string>> fields;
    int line = 0;
    bool hasField(std::string_view name) const
    {
        return std::any_of(fields.begin(), fields.end(),
                           [&](const auto& f) { return equalsIgnoringCase(f.first, name); });
    }
    // The field's text; empty when absent or null.
    std::string_view field(std::string_view name) const
    {
        for (const auto& [key, value] : fields)
            if (equalsIgnoringCase(key, name))
                return value;
        return {};
    }
};

struct Records {
    std::vector<Record> records;
    std::vector<std::string> header; // the columns a CSV file names; empty for JSON
    int headerLine = 1;
};

std::string where(std::string_view label, int line)
{
    return std::string(label) + ":" + std::to_string(line) + ": ";
}

int lineAt(std::string_view bytes, std::size_t offset)
{
    offset = std::min(offset, bytes.size());
    return 1 + static_cast<int>(
                   std::count(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(offset), '\n'));
}

// The offsets of the records of a JSON text: the objects of a top-level array, or of an array that
// is a member of the top-level object ({"daily_quotes": [...], "pagination_key": ...}).
std::vector<std::size_t> jsonRecordOffsets(std::string_view text)
{
    std::vector<std::size_t> offsets;
    std::vector<char> open;
    bool inString = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
            continue;
        }
        switch (c) {
        case '"':
            inString = true;
            break;
        case '{':
            if (!open.empty() && open.back() == '[' &&
                (open.size() == 1 || (open.size() == 2 && open[0] == '{')))
                offsets.push_back(i);
            open.push_back(c);
            break;
        case '[':
            open.push_back(c);
            break;
        case '}':
        case ']':
            if (!open.empty())
                open.pop_back();
            break;
        default:
            break;
        }
    }
    return offsets;
}

// Collects the records of a JSON text through the parser's event interface, without building the
// whole document: files of the whole market run to hundreds of megabytes.
class RecordCollector : public nlohmann::json_sax<nlohmann::json> {
public:
    std::vector<Record> records;
    std::string error;
    std::size_t errorOffset = 0;

    bool null() override { return value(std::string()); }
    bool boolean(bool v) override { return value(v ? "true" : "false"); }
    bool number_integer(number_integer_t v) override { return value(std::to_string(v)); }
    bool number_unsigned(number_unsigned_t v) override { return value(std::to_string(v)); }
    // The number's own text: the parser's double would lose what the file wrote.
    bool number_float(number_float_t, const string_t& s) override { return value(s); }
    bool string(string_t& s) override { return value(std::move(s)); }
    bool binary(binary_t&) override { return fail("値の種類が正しくありません"); }

    bool start_object(std::size_t) override
    {
        ++m_depth;
        if (m_depth == 1) {
            m_wrapper = true;
            return true;
        }
        if (m_inRecords && m_depth == m_arrayDepth + 1) {
            records.emplace_back();
            return true;
        }
        return fail("値が入れ子になっています（1 件は名前と値の組だけにしてください）");
    }
    bool end_object() override
    {
        --m_depth;
        return true;
    }
    bool start_array(std::size_t) override
    {
        ++m_depth;
        // The records: the top-level array, or an array member of the wrapper object.
        if (!m_inRecords && (m_depth == 1 || (m_depth == 2 && m_wrapper))) {
            m_inRecords = true;
            m_arrayDepth = m_depth;
            return true;
        }
        return fail("値が入れ子になっています（1 件は名前と値の組だけにしてください）");
    }
    bool end_array() override
    {
        if (m_inRecords && m_depth == m_arrayDepth)
            m_inRecords = false;
        --m_depth;
        return true;
    }
    bool key(string_t& k) override
    {
        if (!(m_wrapper && m_depth == 1))
            m_key = std::move(k);
        return true;
    }
    bool parse_error(std::size_t position, const std::string&, const nlohmann::detail::exception& e) override
    {
        errorOffset = position > 0 ? position - 1 : 0;
        // The parser's own words after its "parse error at line L, column C: " (the line is ours).
        std::string what = e.what();
        const std::size_t colon = what.find(": ", what.find("column"));
        error = "書式の誤り（" + (colon == std::string::npos ? what : what.substr(colon + 2)) + "）";
        return false;
    }

private:
    bool value(std::string v)
    {
        if (m_inRecords && m_depth == m_arrayDepth + 1) {
            records.back().fields.emplace_back(std::move(m_key), std::move(v));
            return true;
        }
        if (m_wrapper && m_depth == 1)
            return true; // another member of the wrapper (pagination_key)
        if (m_inRecords)
            return fail("配列の要素が名前と値の組ではありません");
        return fail("日足または上場銘柄の配列がありません");
    }
    bool fail(std::string message)
    {
        error = std::move(message);
        return false;
    }

    int m_depth = 0;
    int m_arrayDepth = 0;
    bool m_inRecords = false;
    bool m_wrapper = false; // the records are a member of a top-level object
    std::string m_key;
};

Result<Records> jsonRecords(std::string_view bytes, std::string_view label)
{
    RecordCollector collector;
    const bool ok = nlohmann::json::sax_parse(bytes.begin(), bytes.end(), &collector,
                                              nlohmann::json::input_format_t::json, true);
    if (!ok) {
        // Structural complaints have no offset of their own: point at the start of the last record.
        std::size_t offset = collector.errorOffset;
        if (offset == 0 && !collector.records.empty()) {
            const auto offsets = jsonRecordOffsets(bytes);
            if (offsets.size() >= collector.records.size())
                offset = offsets[collector.records.size() - 1];
        }
        return makeError(ErrorCode::Parse,
                         where(label, lineAt(bytes, offset)) + "JSON として読めません: " + collector.error);
    }
    Records out;
    out.records = std::move(collector.records);
    const auto offsets = jsonRecordOffsets(bytes);
    for (std::size_t i = 0; i < out.records.size(); ++i)
        out.records[i].line = i < offsets.size() ? lineAt(bytes, offsets[i]) : 1;
    return out;
}

Result<Records> csvRecords(std::string_view bytes, std::string_view label)
{
    auto lines = decodeLines(bytes);
    if (!lines)
        return makeError(lines.error().code, std::string(label) + ": " + lines.error().message);
    Records out;
    std::size_t i = 0;
    while (i < lines->size() && (*lines)[i].find_first_not_of(" \t\r") == std::string::npos)
        ++i;
    if (i == lines->size())
        return makeError(ErrorCode::Parse, std::string(label) + ": データ行がありません");
    out.header = splitCsvFields((*lines)[i]);
    out.headerLine = static_cast<int>(i) + 1;
    for (++i; i < lines->size(); ++i) {
        const std::string& line = (*lines)[i];
        if (line.find_first_not_of(" \t\r") == std::string::npos)
            continue;
        Record r;
        r.line = static_cast<int>(i) + 1;
        std::vector<std::string> f = splitCsvFields(line);
        // A row with fewer fields keeps what it has: the field checks name what is missing.
        for (std::size_t k = 0; k < out.header.size() && k < f.size(); ++k)
            r.fields.emplace_back(out.header[k], std::move(f[k]));
        if (f.size() > out.header.size())
            r.fields.emplace_back("", "列が多すぎます");
        out.records.push_back(std::move(r));
    }
    return out;
}

bool isJson(std::string_view bytes)
{
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF")
        bytes.remove_prefix(3);
    const auto first = bytes.find_first_not_of(" \t\r\n");
    return first != std::string_view::npos && (bytes[first] == '{' || bytes[first] == '[');
}

constexpr std::string_view kQuoteColumns[] = {"Date", "Code",  "Open",   "High",
                                              "Low",  "Close", "Volume", "AdjustmentFactor"};
constexpr std::string_view kIssueColumns[] = {"Date", "Code", "CompanyName", "MarketCode"};

std::optional<double> numberOf(std::string_view text)
{
    const auto v = parseNumber(text);
    if (!v || !std::isfinite(*v))
        return std::nullopt;
    // The double of the general-format text: what the database keeps and reads back.
    const auto d = parseNumber(formatNumber(*v));
    return d ? std::optional<double>(static_cast<double>(*d)) : std::nullopt;
}

// Reads one quote; an empty result means it is good.
std::string readQuote(const Record& r, ApiQuote& q)
{
    const std::string_view dateText = r.field("Date");
    const auto date = parseDate(dateText);
    if (!date || date->year < 1900 || date->year > 2199)
        return "日付が読めません: \"" + std::string(dateText) + "\"（yyyy-mm-dd）";
    q.date = *date;
    static constexpr std::pair<std::string_view, std::string_view> kPrices[] = {
        {"Open", "始値"}, {"High", "高値"}, {"Low", "安値"}, {"Close", "終値"}};
    int empty = 0;
    for (const auto& [field, caption] : kPrices)
        empty += r.field(field).empty() ? 1 : 0;
    if (empty != 0 && empty != 4)
        return "始値・高値・安値・終値の一部だけが空です（取引のない日はすべて空です）";
    q.traded = empty == 0;
    if (q.traded) {
        double* out[] = {&q.open, &q.high, &q.low, &q.close};
        for (std::size_t k = 0; k < 4; ++k) {
            const std::string_view text = r.field(kPrices[k].first);
            const auto v = numberOf(text);
            if (!v || *v <= 0)
                return std::string(kPrices[k].second) + "が正の数ではありません: \"" + std::string(text) +
                       "\"";
            *out[k] = *v;
        }
        if (q.high < q.low || q.high < q.open || q.high < q.close || q.low > q.open || q.low > q.close)
            return "高値・安値が始値・終値を挟んでいません";
        const std::string_view volumeText = r.field("Volume");
        const auto volume = parseNumber(volumeText);
        if (!volume || *volume < 0 || *volume >= 1e15L || std::trunc(*volume) != *volume)
            return "出来高が 0 以上の整数ではありません: \"" + std::string(volumeText) + "\"";
        q.volume = static_cast<std::int64_t>(*volume);
        if (const std::string_view t = r.field("TurnoverValue"); !t.empty()) {
            const auto v = numberOf(t);
            if (!v || *v < 0)
                return "売買代金が 0 以上の数ではありません: \"" + std::string(t) + "\"";
            q.turnover = *v;
        }
    }
    if (const std::string_view t = r.field("AdjustmentFactor"); !t.empty()) {
        const auto v = numberOf(t);
        if (!v || *v <= 0)
            return "調整係数（AdjustmentFactor）が正の数ではありません: \"" + std::string(t) + "\"";
        q.factor = *v;
    }
    static constexpr std::pair<std::string_view, bool ApiQuote::*> kFlags[] = {
        {"UpperLimit", &ApiQuote::upperLimit}, {"LowerLimit", &ApiQuote::lowerLimit}};
    for (const auto& [field, member] : kFlags) {
        const std::string_view t = r.field(field);
        if (t == "1" || t == "true")
            q.*member = true;
        else if (!t.empty() && t != "0" && t != "false")
            return std::string(field) + " は 0 か 1 です: \"" + std::string(t) + "\"";
    }
    return {};
}

std::string missingColumns(const std::vector<std::string_view>& needed, const Record* first,
                           const std::vector<std::string>& header)
{
    std::string missing;
    for (std::string_view column : needed) {
        const bool present = first ? first->hasField(column)
                                   : std::any_of(header.begin(), header.end(), [&](const std::string& h) {
                                         return equalsIgnoringCase(h, column);
                                     });
        if (!present)
            missing += (missing.empty() ? "" : ", ") + std::string(column);
    }
    return missing;
}

// Per-stock collection with the rule that one bad record leaves the whole stock out.
template <typename Row> class StockRecords {
public:
    StockRecords(ApiFile& file, std::string_view label) : m_file(file), m_label(label) {}

    void add(const std::string& code, Row row) { m_rows[code].push_back(std::move(row)); }

    void reject(const std::string& code, int line, const std::string& message)
    {
        m_file.problems.push_back(where(m_label, line) + (code.empty() ? "" : "銘柄 " + code + ": ") +
                                  message);
        if (!code.empty() && m_rejected.insert(code).second)
            m_file.skippedCodes.push_back(code);
    }

    bool rejected(const std::string& code) const { return m_rejected.count(code) > 0; }

    std::map<std::string, std::vector<Row>>& rows() { return m_rows; }

    void noteSkipped()
    {
        for (const std::string& code : m_rejected)
            m_file.problems.push_back(std::string(m_label) + ": 銘柄 " + code + " は取り込みませんでした");
    }

private:
    ApiFile& m_file;
    std::string_view m_label;
    std::map<std::string, std::vector<Row>> m_rows;
    std::set<std::string> m_rejected;
};

// The stock a record names, or empty after reporting why it names none.
template <typename Row> std::string recordCode(const Record& r, StockRecords<Row>& stocks)
{
    const std::string_view text = r.field("Code");
    std::string code = codeOfApiCode(text);
    if (!code.empty())
        return code;
    // A check character other than "0" names another class of share (preferred shares): not a
    // stock of the daily tables. Any other text is a bad row; the stock it seems to name is left out.
    const std::string four(text.substr(0, 4));
    if (text.size() == 5 && isStockCode(four) && text[4] >= '1' && text[4] <= '9')
        stocks.reject(four, r.line, "コード " + std::string(text) + " は普通株式ではないため取り込みません");
    else
        stocks.reject(
            isStockCode(four) ? four : std::string(), r.line,
            "コードが 5 文字のコード（4 文字の銘柄コードとチェック文字、例 86970）ではありません: \"" +
                std::string(text) + "\"");
    return {};
}

void readQuotes(const Records& in, std::string_view label, ApiFile& out)
{
    StockRecords<std::pair<ApiQuote, int>> stocks(out, label);
    for (const Record& r : in.records) {
        const std::string code = recordCode(r, stocks);
        if (code.empty() || stocks.rejected(code))
            continue;
        if (r.hasField("")) {
            stocks.reject(code, r.line, "列が見出しより多くあります");
            continue;
        }
        ApiQuote q;
        if (std::string problem = readQuote(r, q); !problem.empty()) {
            stocks.reject(code, r.line, problem);
            continue;
        }
        stocks.add(code, {q, r.line});
    }
    for (auto& [code, rows] : stocks.rows()) {
        if (stocks.rejected(code))
            continue;
        std::stable_sort(rows.begin(), rows.end(),
                         [](const auto& a, const auto& b) { return a.first.date < b.first.date; });
        ApiStockQuotes stock;
        stock.code = code;
        bool good = true;
        for (std::size_t k = 0; k < rows.size() && good; ++k) {
            if (k > 0 && rows[k - 1].first.date == rows[k].first.date) {
                stocks.reject(code, rows[k].second,
                              "日付 " + formatDate(rows[k].first.date) + " が重複しています（" +
                                  std::to_string(rows[k - 1].second) + " 行目と同じ日）");
                good = false;
            }
            stock.days.push_back(rows[k].first);
        }
        if (good)
            out.quotes.push_back(std::move(stock));
    }
    stocks.noteSkipped();
}

void readIssues(const Records& in, std::string_view label, ApiFile& out)
{
    StockRecords<ApiListedIssue> stocks(out, label);
    for (const Record& r : in.records) {
        const std::string code = recordCode(r, stocks);
        if (code.empty() || stocks.rejected(code))
            continue;
        ApiListedIssue issue;
        issue.code = code;
        const auto date = parseDate(r.field("Date"));
        if (!date) {
            stocks.reject(code, r.line, "日付が読めません: \"" + std::string(r.field("Date")) + "\"");
            continue;
        }
        issue.date = *date;
        issue.name = std::string(r.field("CompanyName"));
        if (std::string problem = nameProblem(issue.name); !problem.empty() || issue.name.empty()) {
            stocks.reject(code, r.line, problem.empty() ? "銘柄名（CompanyName）が空です" : problem);
            continue;
        }
        issue.marketCode = std::string(r.field("MarketCode"));
        issue.market = marketOfApiCode(issue.marketCode);
        stocks.add(code, std::move(issue));
    }
    for (auto& [code, rows] : stocks.rows()) {
        if (stocks.rejected(code))
            continue;
        // A file of several days describes a stock several times: the latest day holds.
        out.issues.push_back(*std::max_element(rows.begin(), rows.end(),
                                               [](const auto& a, const auto& b) { return a.date < b.date; }));
    }
    stocks.noteSkipped();
}

} // namespace

int marketOfApiCode(std::string_view apiMarketCode)
{
    static constexpr std::pair<std::string_view, int> kMarkets[] = {
        {"0101", 11}, {"0102", 12}, {"0104", 13}, {"0106", 91},
        {"0107", 91}, {"0111", 14}, {"0112", 15}, {"0113", 16},
    };
    for (const auto& [api, market] : kMarkets)
        if (api == apiMarketCode)
            return market;
    return 0;
}

std::string codeOfApiCode(std::string_view apiCode)
{
    if (apiCode.size() != 5 || apiCode[4] != '0')
        return {};
    const std::string code(apiCode.substr(0, 4));
    return isStockCode(code) ? code : std::string();
}

bool looksLikeApiFile(std::string_view bytes)
{
    if (isJson(bytes))
        return true;
    const std::size_t end = bytes.find('\n');
    const std::string_view first = bytes.substr(0, end);
    // Words only the API's files use, so that one with a column missing is still told as such.
    for (std::string_view word : {"AdjustmentFactor", "AdjustmentClose", "TurnoverValue", "UpperLimit",
                                  "CompanyName", "MarketCode", "Sector17Code", "ScaleCategory"})
        if (first.find(word) != std::string_view::npos)
            return true;
    return false;
}

bool isApiFile(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::string head(4096, '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(std::max<std::streamsize>(0, in.gcount())));
    return looksLikeApiFile(head);
}

Result<ApiFile> parseApiFile(std::string_view bytes, std::string_view label)
{
    auto records = isJson(bytes)
                       ? jsonRecords(bytes.substr(bytes.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0), label)
                       : csvRecords(bytes, label);
    if (!records)
        return records.error();
    const Record* first =
        records->header.empty() ? (records->records.empty() ? nullptr : &records->records[0]) : nullptr;
    if (records->header.empty() && !first)
        return makeError(ErrorCode::Parse, std::string(label) + ": データがありません");
    const int firstLine = first ? first->line : records->headerLine;
    ApiFile out;
    const auto has = [&](std::string_view column) {
        return missingColumns({column}, first, records->header).empty();
    };
    if (has("CompanyName") || has("MarketCode"))
        out.kind = ApiFileKind::ListedIssues;
    else if (has("Open") || has("Close") || has("AdjustmentFactor"))
        out.kind = ApiFileKind::Quotes;
    else
        return makeError(ErrorCode::Parse,
                         where(label, firstLine) +
                             "日足（Date, Code, Open, High, Low, Close, Volume, AdjustmentFactor）の列も、"
                             "上場銘柄（Date, Code, CompanyName, MarketCode）の列もありません");
    const bool quotes = out.kind == ApiFileKind::Quotes;
    const std::vector<std::string_view> needed =
        quotes ? std::vector<std::string_view>(std::begin(kQuoteColumns), std::end(kQuoteColumns))
               : std::vector<std::string_view>(std::begin(kIssueColumns), std::end(kIssueColumns));
    if (std::string missing = missingColumns(needed, first, records->header); !missing.empty())
        return makeError(ErrorCode::Parse, where(label, firstLine) + (quotes ? "日足" : "上場銘柄") +
                                               "の列が足りません: " + missing);
    if (quotes)
        readQuotes(*records, label, out);
    else
        readIssues(*records, label, out);
    return out;
}

Result<ApiFile> readApiFile(const std::filesystem::path& file)
{
    const std::string label = file.string();
    auto bytes = readBytes(file);
    if (!bytes)
        return makeError(bytes.error().code, label + ": " + bytes.error().message);
    return parseApiFile(*bytes, label);
}

} // namespace vorteq::server
