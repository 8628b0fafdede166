#include "gateway/WireCodec.h"

#include "common/Encoding.h"
#include "common/NumberText.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstring>
#include <limits>
#include <unordered_map>

namespace vorteq::wire {
namespace {

constexpr unsigned char kSectionEndByte = 0x1D;
constexpr unsigned char kRecordStartByte = 0x1E;
constexpr unsigned char kFieldSepByte = 0x1F;
constexpr unsigned char kTextEndByte = 0x04;

// A short, printable excerpt of wire bytes for a message: control and non-ASCII bytes become '?'
// so that the message stays valid UTF-8 whatever the bytes were.
std::string excerpt(std::string_view bytes)
{
    constexpr std::size_t kMax = 24;
    std::string out;
    for (std::size_t i = 0; i < bytes.size() && i < kMax; ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        out += (b < 0x20 || b >= 0x7F) ? '?' : static_cast<char>(b);
    }
    if (bytes.size() > kMax)
        out += "...";
    return "\"" + out + "\"";
}

Error malformed(std::string message)
{
    return makeError(ErrorCode::Protocol, std::move(message));
}

void appendInt(std::string& out, std::int64_t value)
{
    char buf[24];
    const auto r = std::to_chars(buf, buf + sizeof buf, value);
    out.append(buf, r.ptr);
}

// Finds the end of a field: the first byte below 0x20 from p on (0x1E and 0x1F are the only
// ones that matter; any other control byte is part of the field and the caller scans on). Eight
// bytes are tested at a time; highBytes is set when a byte of 0x80 or above was passed.
const char* scanField(const char* p, const char* const end, bool& highBytes)
{
    constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
    constexpr std::uint64_t kHigh = 0x8080808080808080ULL;
    std::uint64_t passed = 0;
    while (end - p >= 8) {
        std::uint64_t w;
        std::memcpy(&w, p, 8);
        // The lowest flagged byte is the first one below 0x20 (little-endian: the first in memory).
        const std::uint64_t below = (w - kOnes * 0x20) & ~w & kHigh;
        if (below != 0) {
            const int before = std::countr_zero(below) / 8;
            if (before > 0)
                passed |= w & (~0ULL >> (64 - 8 * before));
            highBytes |= (passed & kHigh) != 0;
            return p + before;
        }
        passed |= w;
        p += 8;
    }
    while (p < end && static_cast<unsigned char>(*p) >= 0x20) {
        passed |= static_cast<unsigned char>(*p);
        ++p;
    }
    highBytes |= (passed & kHigh) != 0;
    return p;
}

// The last CP932 field converted in a column and its UTF-8 form: a column such as the market
// name repeats one value on every row, and iconv costs far more than a comparison.
struct ConvertedField {
    std::string cp932;
    std::string utf8;
};

// Stores one field of the reply into its cell: ASCII as it is, anything else converted from CP932.
Status storeField(PtblData& tbl, std::size_t column, std::size_t row, std::string_view field, bool highBytes,
                  ConvertedField& last)
{
    if (!highBytes) {
        tbl.set(static_cast<int>(column), static_cast<int>(row), field);
        return {};
    }
    if (field != last.cp932) {
        auto utf8 = cp932ToUtf8(field);
        if (!utf8)
            return malformed(std::to_string(row) + "行目 " + std::to_string(column) +
                             "列目の文字が CP932 として正しくありません");
        last.cp932.assign(field);
        last.utf8 = std::move(utf8).value();
    }
    tbl.set(static_cast<int>(column), static_cast<int>(row), last.utf8);
    return {};
}

Result<Section> parseScalar(std::string_view text)
{
    const auto value = parseInt64(text);
    if (!value)
        return malformed("値 " + excerpt(text) + " が整数ではありません");
    Section s;
    s.tbl = makePtbl(2, 2);
    if (*value == kFailure) {
        s.tbl->set(0, 0, text);
        s.failure = true;
    } else {
        s.tbl->set(1, 0, text);
    }
    return s;
}

// Fills the records of D into the table. The record count was checked against NR beforehand, so
// every record has its row; fields beyond column NC are dropped.
Status fillTable(PtblData& tbl, std::string_view data, std::int32_t nc)
{
    const auto columns = static_cast<std::size_t>(nc) + 1;
    std::vector<ConvertedField> converted(columns);
    tbl.reserveText(data.size());

    const char* p = data.data();
    const char* const end = p + data.size();
    std::size_t row = 0;
    for (;;) {
        std::size_t column = 1;
        for (;;) {
            const char* const field = p;
            bool highBytes = false;
            p = scanField(p, end, highBytes);
            while (p < end && static_cast<unsigned char>(*p) != kFieldSepByte &&
                   static_cast<unsigned char>(*p) != kRecordStartByte)
                p = scanField(p + 1, end, highBytes); // a control byte inside the field
            if (column < columns && p != field) {
                const std::string_view text(field, static_cast<std::size_t>(p - field));
                if (auto st = storeField(tbl, column, row, text, highBytes, converted[column]); !st)
                    return st;
            }
            if (p == end || static_cast<unsigned char>(*p) == kRecordStartByte)
                break;
            ++p;
            if (column < columns)
                ++column; // past NC the count only needs to show "enough fields"
        }
        if (row >= 1 && column < columns - 1)
            return malformed(std::to_string(row) + "行目の項目数が列数 " + std::to_string(nc) +
                             " より少ないです");
        if (p == end)
            return {};
        ++p;
        ++row;
    }
}

Result<Section> parseTable(std::string_view text, std::size_t hash, std::size_t& cellBudget)
{
    const std::size_t slash = text.rfind('/');
    if (slash == std::string_view::npos || slash < hash)
        return malformed("表の末尾 " + excerpt(text.substr(hash)) +
                         " が \"#列数/行数\" の形になっていません");
    const std::string_view ncText = text.substr(hash + 1, slash - hash - 1);
    const std::string_view nrText = text.substr(slash + 1);
    const std::string_view data = text.substr(0, hash);
    const auto nc = parseInt32(ncText);
    if (!nc)
        return malformed("列数 " + excerpt(ncText) + " が整数ではありません");
    const auto nr = parseInt32(nrText);
    if (!nr)
        return malformed("行数 " + excerpt(nrText) + " が整数ではありません");
    if (*nc < 0 || *nc > kMaxColumnCount)
        return malformed("列数 " + std::to_string(*nc) + " が範囲外です (0 から " +
                         std::to_string(kMaxColumnCount) + ")");
    if (*nr < 0)
        return malformed("行数 " + std::to_string(*nr) + " が負の値です");
    if (*nr == std::numeric_limits<std::int32_t>::max())
        return malformed("行数 " + std::to_string(*nr) + " が大きすぎます");
    if (*nc == 0 && !data.empty())
        return malformed("列数が 0 の表にデータがあります");

    // Each row begins with 0x1E, so the record count is known before anything is allocated: the
    // table is never larger than what the text holds, however large NR claims to be.
    const auto rowStarts =
        static_cast<std::size_t>(std::count(data.begin(), data.end(), static_cast<char>(kRecordStartByte)));
    if (rowStarts != static_cast<std::size_t>(*nr))
        return malformed("表の行数が宣言 (" + std::to_string(*nr) + " 行) と合いません (実際は " +
                         std::to_string(rowStarts) + " 行)");
    // Every cell costs memory even when its field is empty: the cells of a reply are bounded
    // before any is allocated.
    const std::size_t cells = (static_cast<std::size_t>(*nc) + 1) * (rowStarts + 1);
    if (cells > cellBudget)
        return malformed("応答の表が大きすぎます (" + std::to_string(*nc) + " 列 x " + std::to_string(*nr) +
                         " 行、応答全体で " + std::to_string(kMaxReplyCells) + " 個までのところ)");
    cellBudget -= cells;

    Section s;
    s.colCount = *nc;
    s.rowCount = *nr;
    s.tbl = makePtbl(*nc + 1, *nr + 1);
    if (*nr == 0)
        return s;
    if (auto st = fillTable(*s.tbl, data, *nc); !st)
        return st.error();
    return s;
}

} // namespace

// ---- request ----

std::string buildRequestText(const std::vector<std::string>& items)
{
    std::size_t size = 3;
    for (const auto& item : items)
        size += item.size() + 1;
    std::string text;
    text.reserve(size);
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0)
            text += kSectionEnd;
        text += items[i];
    }
    text += kTextEnd;
    text += "\r\n";
    return text;
}

Result<std::vector<std::string>> splitRequestText(std::string_view text)
{
    const std::size_t end = text.find(kTextEnd);
    if (end == std::string_view::npos)
        return malformed("リクエストに終端 (0x04 CR LF) がありません");
    if (text.size() - end < 3 || text[end + 1] != '\r' || text[end + 2] != '\n')
        return malformed("リクエストの終端 0x04 の後に CR LF がありません");
    if (text.size() - end > 3)
        return malformed("リクエストの終端の後に " + std::to_string(text.size() - end - 3) +
                         " バイトの余分なデータがあります");
    std::vector<std::string> items;
    std::size_t start = 0;
    for (;;) {
        const std::size_t sep = text.find(kSectionEnd, start);
        if (sep == std::string_view::npos || sep > end) {
            items.emplace_back(text.substr(start, end - start));
            return items;
        }
        items.emplace_back(text.substr(start, sep - start));
        start = sep + 1;
    }
}

// ---- reply ----

Result<Section> parseSection(std::string_view text, std::size_t& cellBudget)
{
    if (text.empty())
        return Section{};
    const std::size_t hash = text.rfind('#');
    if (hash == std::string_view::npos)
        return parseScalar(text);
    return parseTable(text, hash, cellBudget);
}

Result<Section> parseSection(std::string_view text)
{
    std::size_t cellBudget = kMaxReplyCells;
    return parseSection(text, cellBudget);
}

Result<bool> readReplyText(std::string_view text, int statementCount,
                           const std::function<void(int, Section&&)>& store)
{
    // Everything after the first 0x04 is ignored; before it, sections end at 0x1D.
    const void* const endMark = std::memchr(text.data(), kTextEnd, text.size());
    const char* const end =
        endMark != nullptr ? static_cast<const char*>(endMark) : text.data() + text.size();
    const char* p = text.data();
    int k = 1;
    std::size_t cellBudget = kMaxReplyCells;
    for (;;) {
        const void* const sep = std::memchr(p, kSectionEnd, static_cast<std::size_t>(end - p));
        const char* const q = sep != nullptr ? static_cast<const char*>(sep) : end;
        if (q == end && endMark == nullptr)
            return true; // an unterminated last section carries nothing reliable: dropped
        const bool last = q == end;
        const std::string_view sectionText(p, static_cast<std::size_t>(q - p));
        if (k > statementCount) {
            if (last && sectionText.empty())
                return true; // a bare end mark after the last section adds nothing
            return malformed("応答の区画数が文の数 (" + std::to_string(statementCount) + ") より多いです");
        }
        auto section = parseSection(sectionText, cellBudget);
        if (!section)
            return malformed("応答の第" + std::to_string(k) + "区画が不正です: " + section.error().message);
        if (last) {
            if (section->failure)
                return false;
            store(k, std::move(section).value());
            return true;
        }
        store(k, std::move(section).value());
        ++k;
        p = q + 1;
    }
}

Result<ParsedReply> parseReplyText(std::string_view text, int statementCount)
{
    ParsedReply reply;
    auto done = readReplyText(text, statementCount,
                              [&reply](int, Section&& s) { reply.sections.push_back(std::move(s)); });
    if (!done)
        return done.error();
    reply.ok = *done;
    return reply;
}

// ---- ReplyWriter ----

namespace {

// The CP932 forms of the non-ASCII texts this thread wrote into replies lately: a stock's name comes
// back in every screening that lists it, and iconv costs far more than a look-up. Only short texts
// are kept, and the whole memo is emptied when it would hold more than kMaxBytes, so whatever a
// statement selects, it costs each worker thread at most about that much memory.
class Cp932Memo {
public:
    static constexpr std::size_t kMaxTextBytes = 128;
    static constexpr std::size_t kMaxBytes = 512 * 1024;

    // The CP932 form of utf8 kept earlier, or null.
    const std::string* find(std::string_view utf8) const
    {
        const auto it = m_known.find(utf8);
        return it == m_known.end() ? nullptr : &it->second;
    }
    // Keeps a converted text (a long one is not kept).
    void keep(std::string_view utf8, const std::string& cp932)
    {
        if (utf8.size() > kMaxTextBytes)
            return;
        // Each entry is charged its texts and a rough allowance for the node and the bucket.
        const std::size_t cost = utf8.size() + cp932.size() + 96;
        if (m_bytes + cost > kMaxBytes) {
            m_known.clear();
            m_bytes = 0;
        }
        m_bytes += cost;
        m_known.emplace(std::string(utf8), cp932);
    }

private:
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
    };
    std::unordered_map<std::string, std::string, Hash, std::equal_to<>> m_known;
    std::size_t m_bytes = 0;
};

} // namespace

void ReplyWriter::startSection()
{
    if (m_inTable)
        endTable();
    if (m_sections > 0)
        m_text += kSectionEnd;
    ++m_sections;
}

Status ReplyWriter::addTable(int columnCount, const std::vector<std::vector<std::string>>& rows)
{
    if (m_inTable)
        endTable();
    const std::size_t before = m_text.size();
    beginTable(columnCount);
    std::vector<std::string_view> fields;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        fields.assign(rows[r].begin(), rows[r].end());
        if (auto st = addRow(fields); !st) {
            m_text.resize(before);
            --m_sections;
            m_inTable = false;
            return st;
        }
    }
    endTable();
    return {};
}

void ReplyWriter::beginTable(int columnCount)
{
    assert(columnCount >= 0 && columnCount <= kMaxColumnCount && "ReplyWriter: column count out of range");
    if (m_inTable)
        endTable();
    m_tableStart = m_text.size();
    startSection();
    m_columns = columnCount;
    m_rows = 0;
    m_inTable = true;
    m_converted.assign(static_cast<std::size_t>(columnCount), Converted{});
}

Status ReplyWriter::addRow(const std::vector<std::string_view>& fields)
{
    assert(m_inTable && "ReplyWriter::addRow outside a table");
    if (m_columns == 0)
        return makeError(ErrorCode::Internal, "列数が 0 の表に行は書けません");
    if (fields.size() != static_cast<std::size_t>(m_columns))
        return makeError(ErrorCode::Internal, "応答の行の項目数 (" + std::to_string(fields.size()) +
                                                  ") が列数 (" + std::to_string(m_columns) + ") と違います");
    beginRow();
    for (const std::string_view field : fields)
        if (auto st = appendText(field); !st)
            return st;
    endRow();
    return {};
}

void ReplyWriter::beginRow()
{
    assert(m_inTable && m_columns > 0 && "ReplyWriter::beginRow outside a table with columns");
    m_rowStart = m_text.size();
    m_field = 0;
    m_text += kRecordStart;
}

Status ReplyWriter::refuseRow(Error error)
{
    cancelRow();
    return error;
}

Status ReplyWriter::appendText(std::string_view field)
{
    startField();
    // Most fields are plain ASCII without control bytes: eight bytes are tested at a time for a
    // byte below 0x20 (possibly a separator) or above 0x7F (a text to convert).
    constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
    constexpr std::uint64_t kHigh = 0x8080808080808080ULL;
    const char* p = field.data();
    const char* const end = p + field.size();
    std::uint64_t special = 0;
    for (; end - p >= 8 && special == 0; p += 8) {
        std::uint64_t w;
        std::memcpy(&w, p, 8);
        special = ((w - kOnes * 0x20) & ~w & kHigh) | (w & kHigh);
    }
    for (; p < end && special == 0; ++p) {
        const auto b = static_cast<unsigned char>(*p);
        special = b < 0x20 || b >= 0x80;
    }
    if (special == 0) {
        m_text += field;
        return {};
    }

    unsigned char seen = 0;
    bool separator = false;
    for (const char ch : field) {
        const auto b = static_cast<unsigned char>(ch);
        seen |= b;
        separator |= b == kSectionEndByte || b == kRecordStartByte || b == kFieldSepByte || b == kTextEndByte;
    }
    const auto where = [&] {
        return std::to_string(m_rows + 1) + "行目 " + std::to_string(m_field) + "列目";
    };
    if (separator)
        return refuseRow(
            makeError(ErrorCode::Data, where() + "の値に区切り文字 (0x04, 0x1D-0x1F) が含まれています"));
    if ((seen & 0x80u) == 0) {
        m_text += field;
        return {};
    }
    Converted& last = m_converted[static_cast<std::size_t>(m_field - 1)];
    if (field != last.utf8) { // a converted text is never empty, so the first one always converts
        thread_local Cp932Memo memo;
        if (const std::string* known = memo.find(field)) {
            last.cp932.assign(*known);
        } else {
            auto cp932 = utf8ToCp932(field); // a refused text is not kept: it is refused each time
            if (!cp932)
                return refuseRow(
                    makeError(ErrorCode::Encoding, where() + "の値に CP932 で表せない文字があります"));
            memo.keep(field, *cp932);
            last.cp932 = std::move(cp932).value();
        }
        last.utf8.assign(field);
    }
    m_text += last.cp932;
    return {};
}

void ReplyWriter::endRow()
{
    assert(m_field == m_columns &&
           "ReplyWriter::endRow: the row has fewer fields than the table has columns");
    ++m_rows;
}

void ReplyWriter::cancelRow()
{
    m_text.resize(m_rowStart);
    m_field = 0;
}

void ReplyWriter::endTable()
{
    assert(m_inTable && "ReplyWriter::endTable without beginTable");
    m_text += '#';
    appendInt(m_text, m_columns);
    m_text += '/';
    appendInt(m_text, m_rows);
    m_inTable = false;
}

void ReplyWriter::abandonTable()
{
    assert(m_inTable && "ReplyWriter::abandonTable without beginTable");
    m_text.resize(m_tableStart);
    --m_sections;
    m_inTable = false;
}

void ReplyWriter::addScalar(std::int64_t value)
{
    startSection();
    appendInt(m_text, value);
}

void ReplyWriter::addFailure()
{
    addScalar(kFailure);
}

std::string ReplyWriter::finish()
{
    if (m_inTable)
        endTable();
    m_text += kTextEnd;
    std::string text = std::move(m_text);
    m_text.clear();
    m_sections = 0;
    m_rows = 0;
    m_columns = 0;
    return text;
}

} // namespace vorteq::wire
