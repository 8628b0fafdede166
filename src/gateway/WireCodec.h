#pragma once

#include "common/Result.h"
#include "gateway/Ptbl.h"

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <functional>
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
// The most columns a table section may announce (the database's default limit on a result's
// columns); more is malformed. It bounds what a short section without rows can make us allocate.
inline constexpr std::int32_t kMaxColumnCount = 2000;
// The most cells (columns + 1 times rows + 1, summed over the tables) one reply may hold: about
// twice the largest result the server sends (100,000 rows of 46 columns). Beyond it the reply is
// malformed, whatever its size: each cell costs memory even when its field is empty.
inline constexpr std::size_t kMaxReplyCells = 8u * 1024u * 1024u;

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
    bool failure = false; // a scalar -99 (Tbl[0][0] holds its text)
};

struct ParsedReply {
    std::vector<Section> sections; // in order, one per section stored
    bool ok = true;                // false when the last section was -99 (it is not stored)
};

// Parses one section text into a Section, converting fields that hold CP932 text to UTF-8.
// Errors: a non-integer NC, NR or scalar; a negative NC or NR; NC above kMaxColumnCount; a record
// count other than NR + 1 (record 0 and one per row); a row with fewer than NC fields; fields in a
// table whose NC is 0; a field that is not valid CP932. The table is only as large as the records
// that are really there, whatever NR announces; a table of more than kMaxReplyCells cells.
Result<Section> parseSection(std::string_view text);
// The same within what is left of a reply's cells (cellBudget, reduced by the table's cells).
Result<Section> parseSection(std::string_view text, std::size_t& cellBudget);

// Walks an (inflated) reply text for a batch of statementCount statements and hands each section
// to store(k, section), k from 1, as soon as it is parsed, so that sections before a failure stay
// stored. true: done (also for an empty text, a text without 0x04 whose last section is dropped,
// and fewer sections than statements); false: the section ended by 0x04 was -99 (not handed over);
// an error: a malformed section, more sections than statements or more than kMaxReplyCells cells in
// all. Bytes after 0x04 are ignored.
Result<bool> readReplyText(std::string_view text, int statementCount,
                           const std::function<void(int, Section&&)>& store);

// Parses a whole (inflated) reply text for a batch of statementCount statements, as readReplyText.
// Fields are converted from CP932 to UTF-8. More sections than statements is an error.
Result<ParsedReply> parseReplyText(std::string_view text, int statementCount);

// Server side: builds a reply text section by section (fields given in UTF-8, written as CP932).
class ReplyWriter {
public:
    // A table section with the given rows; every row must have exactly columnCount fields. On an
    // error nothing of the table is written.
    Status addTable(int columnCount, const std::vector<std::vector<std::string>>& rows);
    // Row-by-row form for large results: beginTable, addRow per row, endTable. A refused row is not
    // written and the table stays open. A table still open is ended by the next add or finish.
    void beginTable(int columnCount);
    // Refuses a row whose field count differs from the table's, a field holding one of the four
    // separator bytes, and a field that has no CP932 form.
    Status addRow(const std::vector<std::string_view>& fields);
    void endTable();
    // Field-by-field form of addRow, for a producer that formats its own values straight into the
    // reply: beginRow, then for each field either appendText (checked and converted as addRow's
    // fields are) or plainField (returns the reply text, to which the caller appends the field: only
    // digits, signs, points and letters it wrote itself, never a separator or a byte above 0x7F),
    // then endRow. A refused text drops the row begun and returns the error; the table stays open.
    void beginRow();
    Status appendText(std::string_view utf8);
    std::string& plainField()
    {
        startField();
        return m_text;
    }
    // Several plain fields at once: the caller appends their texts joined by kFieldSep.
    std::string& plainFields(int count)
    {
        assert(count > 0 && m_field + count <= m_columns &&
               "ReplyWriter: more fields than the table has columns");
        startField();
        m_field += count - 1;
        return m_text;
    }
    void endRow();
    // Drops the row begun, for a producer that fails part-way through it.
    void cancelRow();
    // Bytes of reply text written so far.
    std::size_t size() const { return m_text.size(); }
    // Drops the table begun by beginTable with every row added to it, as if it had not been begun:
    // for a producer that fails part-way through its rows.
    void abandonTable();
    void addScalar(std::int64_t value);
    // The failure marker; call finish() right after it.
    void addFailure();
    // The reply text: sections joined by 0x1D, ended by 0x04. The writer is empty again afterwards.
    std::string finish();
    // Sections written so far.
    int sectionCount() const { return m_sections; }

private:
    void startSection();
    void startField()
    {
        assert(m_field < m_columns && "ReplyWriter: more fields than the table has columns");
        if (m_field > 0)
            m_text += kFieldSep;
        ++m_field;
    }
    Status refuseRow(Error error);

    // The last non-ASCII text converted in each column and its CP932 form: a column such as the
    // market name repeats one value on every row, and iconv costs far more than a comparison.
    struct Converted {
        std::string utf8;
        std::string cp932;
    };

    std::string m_text;
    std::vector<Converted> m_converted;
    std::size_t m_rowStart = 0; // where the row begun by beginRow starts
    int m_field = 0;            // fields of that row written so far
    int m_columns = 0;
    int m_rows = 0;
    int m_sections = 0;
    bool m_inTable = false;
    std::size_t m_tableStart = 0; // where the open table's section (with its separator) begins
};

} // namespace vorteq::wire
