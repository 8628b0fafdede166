#include "server/import/PriceFile.h"

#include "common/Encoding.h"
#include "common/NumberText.h"
#include "common/TextFile.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>
#include <unordered_map>

namespace vorteq::server {

namespace {

// Bad-row messages kept per stock; the rest are counted.
constexpr int kProblemsPerStock = 5;

// Years a trading day may have.
constexpr int kEarliestYear = 1900;
constexpr int kLatestYear = 2199;

bool isBlank(std::string_view line)
{
    return std::all_of(line.begin(), line.end(),
                       [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; });
}

std::string lowerAscii(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool validUtf8(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size()) {
        // Plain ASCII, the bulk of a price file, eight bytes at a time.
        std::uint64_t eight = 0;
        if (i + sizeof eight <= text.size()) {
            std::memcpy(&eight, text.data() + i, sizeof eight);
            if ((eight & 0x8080808080808080ULL) == 0) {
                i += sizeof eight;
                continue;
            }
        }
        const auto c = static_cast<unsigned char>(text[i]);
        std::size_t extra = 0;
        std::uint32_t cp = 0;
        if (c < 0x80) {
            ++i;
            continue;
        }
        if ((c & 0xE0) == 0xC0) {
            extra = 1;
            cp = c & 0x1Fu;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            cp = c & 0x0Fu;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            cp = c & 0x07u;
        } else {
            return false;
        }
        if (i + extra >= text.size())
            return false;
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto cc = static_cast<unsigned char>(text[i + k]);
            if ((cc & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (cc & 0x3Fu);
        }
        // Overlong forms, surrogates and values beyond Unicode are not UTF-8.
        static constexpr std::array<std::uint32_t, 4> kMin{0, 0x80, 0x800, 0x10000};
        if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += extra + 1;
    }
    return true;
}

// Which field holds what; -1 for a column the file does not have.
struct Layout {
    int code = -1;
    int name = -1;
    int date = -1;
    int open = -1;
    int high = -1;
    int low = -1;
    int close = -1;
    int volume = -1;
    bool hasHeader = false;

    std::size_t fieldsNeeded() const
    {
        return static_cast<std::size_t>(std::max({code, name, date, open, high, low, close, volume}) + 1);
    }
};

enum class Column { None, Code, Name, Date, Open, High, Low, Close, Volume };

Column columnOfHeader(std::string_view header)
{
    struct Word {
        std::string_view text;
        Column column;
    };
    static constexpr Word kWords[] = {
        {"code", Column::Code},       {"stk_cd", Column::Code},   {"コード", Column::Code},
        {"銘柄コード", Column::Code}, {"name", Column::Name},     {"stk_nm", Column::Name},
        {"銘柄名", Column::Name},     {"date", Column::Date},     {"stk_date", Column::Date},
        {"日付", Column::Date},       {"open", Column::Open},     {"s_price", Column::Open},
        {"始値", Column::Open},       {"high", Column::High},     {"h_price", Column::High},
        {"高値", Column::High},       {"low", Column::Low},       {"l_price", Column::Low},
        {"安値", Column::Low},        {"close", Column::Close},   {"e_price", Column::Close},
        {"終値", Column::Close},      {"volume", Column::Volume}, {"vol", Column::Volume},
        {"stk_vlm", Column::Volume},  {"出来高", Column::Volume},
    };
    const std::string lower = lowerAscii(header);
    for (const Word& w : kWords)
        if (lower == w.text)
            return w.column;
    return Column::None;
}

std::string where(std::string_view label, int line)
{
    return std::string(label) + ":" + std::to_string(line) + ": ";
}

// The fields of one line, as splitCsvFields gives them, without a string per field: a line without
// quotes (nearly every line of a price file) is split in place, one with quotes through
// splitCsvFields. The views stay valid until the next split and while the line lives.
class LineFields {
public:
    void split(std::string_view line)
    {
        m_fields.clear();
        if (line.find('"') != std::string_view::npos) {
            m_quoted = splitCsvFields(line);
            m_fields.assign(m_quoted.begin(), m_quoted.end());
            return;
        }
        for (;;) {
            const std::size_t comma = line.find(',');
            m_fields.push_back(trimmed(line.substr(0, comma)));
            if (comma == std::string_view::npos)
                return;
            line.remove_prefix(comma + 1);
        }
    }
    std::size_t size() const { return m_fields.size(); }
    bool empty() const { return m_fields.empty(); }
    std::string_view operator[](std::size_t i) const { return m_fields[i]; }

private:
    // An unquoted field as splitCsvFields trims it (the same expression, on a view).
    static std::string_view trimmed(std::string_view field)
    {
        const auto first = field.find_first_not_of(" \t");
        const auto last = field.find_last_not_of(" \t\r");
        return first == std::string_view::npos ? std::string_view() : field.substr(first, last - first + 1);
    }

    std::vector<std::string_view> m_fields;
    std::vector<std::string> m_quoted;
};

// The layout of a file from its first line. Returns nothing (and sets error) when the line is
// neither data nor a header we understand.
std::optional<Layout> detectLayout(const LineFields& fields, std::string& error)
{
    Layout layout;
    if (!fields.empty() && parseDate(fields[0])) {
        layout.date = 0;
        layout.open = 1;
        layout.high = 2;
        layout.low = 3;
        layout.close = 4;
        layout.volume = 5;
        return layout;
    }
    if (fields.size() >= 2 && isStockCode(fields[0]) && parseDate(fields[1])) {
        layout.code = 0;
        layout.date = 1;
        layout.open = 2;
        layout.high = 3;
        layout.low = 4;
        layout.close = 5;
        layout.volume = 6;
        return layout;
    }
    layout.hasHeader = true;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        int* slot = nullptr;
        switch (columnOfHeader(fields[i])) {
        case Column::Code:
            slot = &layout.code;
            break;
        case Column::Name:
            slot = &layout.name;
            break;
        case Column::Date:
            slot = &layout.date;
            break;
        case Column::Open:
            slot = &layout.open;
            break;
        case Column::High:
            slot = &layout.high;
            break;
        case Column::Low:
            slot = &layout.low;
            break;
        case Column::Close:
            slot = &layout.close;
            break;
        case Column::Volume:
            slot = &layout.volume;
            break;
        case Column::None:
            break;
        }
        if (slot != nullptr && *slot < 0)
            *slot = static_cast<int>(i);
    }
    std::string missing;
    const std::pair<int, std::string_view> required[] = {{layout.date, "日付"},  {layout.open, "始値"},
                                                         {layout.high, "高値"},  {layout.low, "安値"},
                                                         {layout.close, "終値"}, {layout.volume, "出来高"}};
    for (const auto& [index, caption] : required)
        if (index < 0) {
            if (!missing.empty())
                missing += "、";
            missing += caption;
        }
    if (!missing.empty()) {
        error = "1 行目がデータでも見出しでもありません（見出しに " + missing + " の列がありません）";
        return std::nullopt;
    }
    return layout;
}

// True when text is a price already in the general format: "0", or 1 to 12 whole digits without a
// leading zero and at most 3 decimals ending in a non-zero digit. Such a text has at most 15
// significant digits, which reading into 64 bits and rounding back to 15 digits keeps, so
// formatting the number it reads as gives the text again.
bool isGeneralPrice(std::string_view text)
{
    if (text == "0")
        return true;
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    std::size_t i = 0;
    while (i < text.size() && digit(text[i]))
        ++i;
    if (i == 0 || i > 12 || text[0] == '0')
        return false;
    if (i == text.size())
        return true;
    const std::size_t decimals = text.size() - i - 1;
    if (text[i] != '.' || decimals == 0 || decimals > 3 || text.back() == '0')
        return false;
    return std::all_of(text.begin() + static_cast<std::ptrdiff_t>(i) + 1, text.end(), digit);
}

// A price text: a number of at least 0, normalised to the general format.
std::optional<std::string> priceText(std::string_view text, long double& value)
{
    auto v = parseNumber(text);
    if (!v || *v < 0 || !std::isfinite(*v))
        return std::nullopt;
    value = *v;
    return isGeneralPrice(text) ? std::string(text) : formatNumber(*v);
}

std::optional<std::int64_t> volumeValue(std::string_view text)
{
    auto v = parseNumber(text);
    if (!v || *v < 0 || *v >= 1e15L || std::trunc(*v) != *v)
        return std::nullopt;
    return static_cast<std::int64_t>(*v);
}

// Reads the prices and volume of one row into day; an empty result means the row is good.
std::string readRow(const LineFields& f, const Layout& layout, PriceDay& day)
{
    const std::string_view dateText = f[static_cast<std::size_t>(layout.date)];
    auto date = parseDate(dateText);
    if (!date)
        return "日付が読めません: \"" + std::string(dateText) +
               "\"（yyyy-mm-dd か yyyy/mm/dd で書いてください）";
    // Daily tables are named by a four-digit year; anything far outside the market era is a typo.
    if (date->year < kEarliestYear || date->year > kLatestYear)
        return "日付の年が範囲外です: \"" + std::string(dateText) + "\"（" + std::to_string(kEarliestYear) +
               "〜" + std::to_string(kLatestYear) + " 年）";
    day.date = *date;
    struct PriceField {
        int index;
        std::string_view caption;
        std::string* out;
        long double value;
    };
    std::array<PriceField, 4> prices{{{layout.open, "始値", &day.open, 0},
                                      {layout.high, "高値", &day.high, 0},
                                      {layout.low, "安値", &day.low, 0},
                                      {layout.close, "終値", &day.close, 0}}};
    for (PriceField& p : prices) {
        const std::string_view text = f[static_cast<std::size_t>(p.index)];
        auto normal = priceText(text, p.value);
        if (!normal)
            return std::string(p.caption) + "が 0 以上の数ではありません: \"" + std::string(text) + "\"";
        *p.out = std::move(*normal);
    }
    const long double open = prices[0].value, high = prices[1].value, low = prices[2].value,
                      close = prices[3].value;
    const bool allZero = open == 0 && high == 0 && low == 0 && close == 0;
    if (!allZero) {
        // A day without trades has all four prices 0; otherwise every price is a real quote.
        if (open == 0 || high == 0 || low == 0 || close == 0)
            return "値のない日は始値・高値・安値・終値をすべて 0 にしてください";
        if (high < low || high < open || high < close || low > open || low > close)
            return "高値・安値が始値・終値を挟んでいません（始値 " + day.open + "、高値 " + day.high +
                   "、安値 " + day.low + "、終値 " + day.close + "）";
    }
    const std::string_view volumeText = f[static_cast<std::size_t>(layout.volume)];
    auto volume = volumeValue(volumeText);
    if (!volume)
        return "出来高が 0 以上の整数ではありません: \"" + std::string(volumeText) + "\"";
    day.volume = *volume;
    return {};
}

struct StockRows {
    StockSeries series;
    std::vector<int> lines; // source line of each day
    int problems = 0;
};

} // namespace

std::string nameProblem(std::string_view name)
{
    for (char c : name)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return "銘柄名に制御文字が含まれています";
    if (!utf8ToCp932(name))
        return "銘柄名に CP932 で表せない文字が含まれています: \"" + std::string(name) + "\"";
    return {};
}

bool isStockCode(std::string_view code)
{
    if (code.empty() || code.size() > 10 || code[0] < '1' || code[0] > '9')
        return false;
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    if (std::all_of(code.begin(), code.end(), digit))
        return true;
    // Codes with letters (130A, since 2024) are four characters: a leading digit, then digits or
    // capital letters.
    return code.size() == 4 &&
           std::all_of(code.begin(), code.end(), [&](char c) { return digit(c) || (c >= 'A' && c <= 'Z'); });
}

std::string codeFromFileName(const std::filesystem::path& file)
{
    const std::string stem = file.stem().string();
    std::size_t n = 0;
    while (n < stem.size() && ((stem[n] >= '0' && stem[n] <= '9') || (stem[n] >= 'A' && stem[n] <= 'Z')))
        ++n;
    if (n == 0 || (n < stem.size() && std::isalpha(static_cast<unsigned char>(stem[n]))))
        return {};
    const std::string code = stem.substr(0, n);
    return isStockCode(code) ? code : std::string();
}

namespace {

// Raw file bytes as UTF-8 text: a UTF-8 byte-order mark dropped, text that is not valid UTF-8 read
// as CP932 into converted. The text is a view of bytes or of converted.
Result<std::string_view> decodedText(std::string_view bytes, std::string& converted)
{
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF")
        return bytes.substr(3);
    if (validUtf8(bytes))
        return bytes;
    auto text = cp932ToUtf8(bytes);
    if (!text)
        return makeError(ErrorCode::Encoding,
                         "文字コードを判別できません（UTF-8 でも CP932 でもありません）");
    converted = std::move(*text);
    return std::string_view(converted);
}

// The lines of text as views, split as splitLines splits them: at CR, LF or CR LF; a last line
// without an end counts, an empty text has none.
std::vector<std::string_view> lineViews(std::string_view text)
{
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c != '\r' && c != '\n')
            continue;
        lines.push_back(text.substr(start, i - start));
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines.push_back(text.substr(start));
    return lines;
}

} // namespace

Result<std::vector<std::string>> decodeLines(std::string_view bytes)
{
    std::string converted;
    auto text = decodedText(bytes, converted);
    if (!text)
        return text.error();
    return splitLines(*text);
}

std::vector<std::string> splitCsvFields(std::string_view line)
{
    std::vector<std::string> fields;
    std::string field;
    bool quoted = false;    // inside a quoted field
    bool wasQuoted = false; // the current field was quoted (keep its blanks)
    auto finish = [&] {
        if (!wasQuoted) {
            const auto first = field.find_first_not_of(" \t");
            const auto last = field.find_last_not_of(" \t\r");
            field = first == std::string::npos ? std::string() : field.substr(first, last - first + 1);
        }
        fields.push_back(std::move(field));
        field.clear();
        wasQuoted = false;
    };
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c == '"') {
                if (i + 1 < line.size() && line[i + 1] == '"') {
                    field += '"';
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                field += c;
            }
        } else if (c == '"' && field.find_first_not_of(" \t") == std::string::npos) {
            field.clear();
            quoted = true;
            wasQuoted = true;
        } else if (c == ',') {
            finish();
        } else {
            field += c;
        }
    }
    finish();
    return fields;
}

namespace {

Result<StockBatch> parseLineViews(const std::vector<std::string_view>& lines, std::string_view label,
                                  std::string_view defaultCode, int market)
{
    std::size_t first = 0;
    while (first < lines.size() && isBlank(lines[first]))
        ++first;
    if (first == lines.size())
        return makeError(ErrorCode::Parse, std::string(label) + ": データ行がありません");
    std::string error;
    LineFields f;
    f.split(lines[first]);
    auto layout = detectLayout(f, error);
    if (!layout)
        return makeError(ErrorCode::Parse, where(label, static_cast<int>(first) + 1) + error);
    if (layout->code < 0 && !isStockCode(defaultCode))
        return makeError(ErrorCode::Parse,
                         std::string(label) +
                             ": 銘柄コードが分かりません。ファイル名を銘柄コードにするか（例: 7203.csv）、"
                             "コードの列を加えてください");

    std::vector<StockRows> stocks;
    std::unordered_map<std::string, std::size_t> byCode;
    StockBatch batch;
    // Rows of one stock mostly follow one another: the last stock is looked up first.
    std::size_t lastStock = 0;
    auto stockOf = [&](std::string_view code) -> StockRows& {
        if (!stocks.empty() && stocks[lastStock].series.code == code)
            return stocks[lastStock];
        auto [it, added] = byCode.try_emplace(std::string(code), stocks.size());
        if (added) {
            stocks.emplace_back();
            stocks.back().series.code = std::string(code);
            stocks.back().series.market = market;
        }
        lastStock = it->second;
        return stocks[it->second];
    };
    auto report = [&](StockRows& stock, int line, const std::string& message) {
        if (stock.problems++ < kProblemsPerStock)
            batch.problems.push_back(where(label, line) + message);
    };

    const std::size_t needed = layout->fieldsNeeded();
    const std::size_t dataStart = layout->hasHeader ? first + 1 : first;
    std::size_t dataRows = 0;
    for (std::size_t i = dataStart; i < lines.size(); ++i) {
        if (isBlank(lines[i]))
            continue;
        ++dataRows;
        const int lineNo = static_cast<int>(i) + 1;
        f.split(lines[i]);
        std::string_view code = defaultCode;
        if (layout->code >= 0 && static_cast<std::size_t>(layout->code) < f.size())
            code = f[static_cast<std::size_t>(layout->code)];
        StockRows& stock = stockOf(code);
        if (layout->code >= 0 && !isStockCode(code)) {
            report(stock, lineNo,
                   "銘柄コードが正しくありません: \"" + std::string(code) +
                       "\"（先頭が 0 でない 1〜10 桁の数字か、130A のような 4 文字）");
            continue;
        }
        if (f.size() < needed) {
            report(stock, lineNo,
                   "列が足りません（" + std::to_string(f.size()) + " 列、必要なのは " +
                       std::to_string(needed) + " 列）");
            continue;
        }
        PriceDay day;
        if (std::string problem = readRow(f, *layout, day); !problem.empty()) {
            report(stock, lineNo, problem);
            continue;
        }
        if (layout->name >= 0 && stock.series.name.empty()) {
            const std::string_view name = f[static_cast<std::size_t>(layout->name)];
            if (std::string problem = nameProblem(name); !problem.empty()) {
                report(stock, lineNo, problem);
                continue;
            }
            stock.series.name = std::string(name);
        }
        stock.series.days.push_back(std::move(day));
        stock.lines.push_back(lineNo);
    }
    if (dataRows == 0)
        return makeError(ErrorCode::Parse, std::string(label) + ": データ行がありません");

    for (StockRows& stock : stocks) {
        std::vector<PriceDay>& days = stock.series.days;
        // Rows oldest first and every date once, as most files have them: nothing to sort.
        if (stock.problems == 0 &&
            std::adjacent_find(days.begin(), days.end(), [](const PriceDay& a, const PriceDay& b) {
                return !(a.date < b.date);
            }) == days.end()) {
            batch.stocks.push_back(std::move(stock.series));
            continue;
        }
        // Oldest first; rows may come in any order, but a date may occur only once.
        std::vector<std::size_t> order(stock.series.days.size());
        for (std::size_t k = 0; k < order.size(); ++k)
            order[k] = k;
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
            return stock.series.days[a].date < stock.series.days[b].date;
        });
        std::vector<PriceDay> sorted;
        sorted.reserve(order.size());
        for (std::size_t k = 0; k < order.size(); ++k) {
            const std::size_t at = order[k];
            if (k > 0 && stock.series.days[order[k - 1]].date == stock.series.days[at].date) {
                report(stock, stock.lines[at],
                       "日付 " + formatDate(stock.series.days[at].date) + " が重複しています（" +
                           std::to_string(stock.lines[order[k - 1]]) + " 行目と同じ日）");
                continue;
            }
            sorted.push_back(std::move(stock.series.days[at]));
        }
        if (stock.problems > 0) {
            std::string note = std::string(label) + ": 銘柄 " + stock.series.code +
                               " は取り込みませんでした（不正な行 " + std::to_string(stock.problems) + " 件";
            if (stock.problems > kProblemsPerStock)
                note += "、最初の " + std::to_string(kProblemsPerStock) + " 件を表示";
            batch.problems.push_back(note + "）");
            ++batch.skippedStocks;
            continue;
        }
        stock.series.days = std::move(sorted);
        batch.stocks.push_back(std::move(stock.series));
    }
    return batch;
}

} // namespace

Result<StockBatch> parsePriceLines(const std::vector<std::string>& lines, std::string_view label,
                                   std::string_view defaultCode, int market)
{
    return parseLineViews(std::vector<std::string_view>(lines.begin(), lines.end()), label, defaultCode,
                          market);
}

Result<StockBatch> readPriceFile(const std::filesystem::path& file, std::string_view codeOverride, int market)
{
    const std::string label = file.string();
    auto bytes = readBytes(file);
    if (!bytes)
        return makeError(bytes.error().code, label + ": " + bytes.error().message);
    std::string converted;
    auto text = decodedText(*bytes, converted);
    if (!text)
        return makeError(text.error().code, label + ": " + text.error().message);
    const std::string code = codeOverride.empty() ? codeFromFileName(file) : std::string(codeOverride);
    return parseLineViews(lineViews(*text), label, code, market);
}

Result<std::map<std::string, std::string>> readNamesFile(const std::filesystem::path& file)
{
    const std::string label = file.string();
    auto bytes = readBytes(file);
    if (!bytes)
        return makeError(bytes.error().code, label + ": " + bytes.error().message);
    auto lines = decodeLines(*bytes);
    if (!lines)
        return makeError(lines.error().code, label + ": " + lines.error().message);
    std::map<std::string, std::string> names;
    bool firstLine = true;
    for (std::size_t i = 0; i < lines->size(); ++i) {
        const std::string& line = (*lines)[i];
        if (isBlank(line))
            continue;
        const std::vector<std::string> f = splitCsvFields(line);
        const bool header = firstLine && columnOfHeader(f[0]) == Column::Code;
        firstLine = false;
        if (header)
            continue;
        const int lineNo = static_cast<int>(i) + 1;
        if (f.size() < 2 || !isStockCode(f[0]) || f[1].empty())
            return makeError(ErrorCode::Parse, where(label, lineNo) +
                                                   "「銘柄コード,銘柄名」の行ではありません（コードは先頭が "
                                                   "0 でない 1〜10 桁の数字か、130A のような 4 文字）");
        if (std::string problem = nameProblem(f[1]); !problem.empty())
            return makeError(ErrorCode::Parse, where(label, lineNo) + problem);
        names[f[0]] = f[1];
    }
    return names;
}

} // namespace vorteq::server
