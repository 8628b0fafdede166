#pragma once

#include "common/Result.h"
#include "gateway/Ptbl.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The batch wire format, shared by the client and the server.
//
// Request text: the items (mode word first) separated by 0x1D, then 0x04, CR, LF. Its body: the
// 4-byte little-endian length of the text, then the zlib stream of the text.
// Reply text: one section per statement; each section but the last ends with 0x1D, the last with
// 0x04. A section is a table, D "#" NC "/" NR, where D is record 0 and then one record per row,
// each row starting with 0x1E and its fields separated by 0x1F; or a scalar, one decimal integer;
// -99 in the last section reports that a statement failed.
namespace vorteq::wire {

inline constexpr char kSectionEnd = '\x1D';
inline constexpr char kRecordStart = '\x1E';
inline constexpr char kFieldSep = '\x1F';
inline constexpr char kTextEnd = '\x04';
inline constexpr std::int32_t kFailure = -99;

// ---- request ----

// The request text from items already encoded for the wire (CP932).
std::string buildRequestText(const std::vector<std::string>& items);
// Server side: the items of a request text (mode word first). Refuses a text without its
// 0x04 CR LF end or holding bytes after it.
Result<std::vector<std::string>> splitRequestText(std::string_view text);

// ---- reply ----

// One parsed section: what Execute stores into its item.
struct Section {
    std::int32_t colCount = 0;
    std::int32_t rowCount = 0;
    Ptbl tbl = makePtbl(0, 0);
    bool failure = false;  // a scalar -99 (Tbl[0][0] holds its text)
};

struct ParsedReply {
    std::vector<Section> sections;  // in order, one per section stored
    bool ok = true;                 // false when the last section was -99 (it is not stored)
};

// Parses one section text into a Section; errors: a non-integer NC, NR or scalar, more records
// than NR + 1, fields in a table whose NC is 0 or less.
Result<Section> parseSection(std::string_view text);

// Parses a whole (inflated) reply text for a batch of statementCount statements. Fields are
// converted from CP932 to UTF-8. More sections than statements is an error.
Result<ParsedReply> parseReplyText(std::string_view text, int statementCount);

// Server side: builds a reply text section by section (fields given in UTF-8, written as CP932).
class ReplyWriter {
public:
    // A table section with the given rows; every row must have exactly columnCount fields.
    Status addTable(int columnCount, const std::vector<std::vector<std::string>>& rows);
    // Row-by-row form for large results: beginTable, addRow per row, endTable.
    void beginTable(int columnCount);
    Status addRow(const std::vector<std::string_view>& fields);
    void endTable();
    void addScalar(std::int64_t value);
    // The failure marker; call finish() right after it.
    void addFailure();
    // The reply text: sections joined by 0x1D, ended by 0x04.
    std::string finish();

private:
    std::string m_text;
    std::string m_section;
    int m_columns = 0;
    int m_rows = 0;
    int m_sections = 0;
};

} // namespace vorteq::wire
