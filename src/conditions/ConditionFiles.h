#pragma once

// The condition sets saved per stock and market under <base>/UsrData: one file per set holding the
// 194 fields as "key,value," lines, and the index UsrCndCd.dat with one "code,market," line per set.
// Files are CP932 with CR LF line ends and are replaced atomically.

#include "common/Result.h"
#include "conditions/TJouken.h"
#include "gateway/Ptbl.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorteq {

// One registered set: the stock code and the market code, both decimal texts.
struct ConditionSetId {
    std::string code;
    std::string market;
    bool operator==(const ConditionSetId&) const = default;
};

std::filesystem::path usrDataFolder(const std::filesystem::path& baseDir);
// <base>/UsrData/UsrCndCd.dat
std::filesystem::path conditionIndexPath(const std::filesystem::path& baseDir);
// <base>/UsrData/<code><market>.dat: code and market joined without a separator.
std::filesystem::path conditionFilePath(const std::filesystem::path& baseDir, const ConditionSetId& id);

// The pieces of a line, each ended by a comma; text after the last comma is dropped, so a line
// without a comma has no pieces.
std::vector<std::string> commaPieces(std::string_view line);

// Key 1, value 1, key 2, value 2, ... for the 194 fields in field order: 388 entries.
std::vector<std::string> jouken_write_list(const TJouken& record);

// A condition file's lines as a table of 3 columns and lines+1 rows: row i holds the key of line i
// in column 1 and its value in column 2; a line without a comma leaves both cells empty.
Ptbl conditionTable(const std::vector<std::string>& lines);

// Copies rows 1..rows of the table into the record by key: keys compare exactly, unknown keys are
// skipped, a key given twice takes its later value, fields whose key is absent keep their value.
void jouken_read_tbl(const PtblData& tbl, int rows, TJouken& target);

// A saved set read back: the file's lines as a table, and the line count.
struct ConditionFileTable {
    Ptbl table;
    int rows = 0;
    // Lines (from 1) that were not CP932 text: left out of the table, the rest of the file is read.
    std::vector<int> skippedLines;
};

// The message naming the lines of a condition file that were left out.
std::string skippedLinesMessage(const std::vector<int>& lines, const std::filesystem::path& file);

// Reads a condition file; nothing when the set's file does not exist.
Result<std::optional<ConditionFileTable>> readConditionSet(const std::filesystem::path& baseDir,
                                                           const ConditionSetId& id);

// Reads a condition file anywhere into the record (the command-line tool's --conditions FILE).
Status readConditionFile(const std::filesystem::path& file, TJouken& target);

// The record as the condition editor hands it back after showing a loaded one (jouken_to_editor, then
// editor_to_jouken): a list value that names no item becomes "0" (the first item) and a valid one
// its plain position ("01" becomes "1"); a switch is "1" or "0"; a condition's Use is "1", "2" or
// "0"; a trade price other than "1" to "4" keeps the button `shown` had selected; numbers and the
// two unbound fields stay as loaded. `shown` is what the editor showed before the load: its
// defaults in a fresh editor. Read a file into a copy of `shown` first, so that keys missing from
// the file keep what the editor showed.
TJouken normaliseLoadedJouken(const TJouken& loaded, const TJouken& shown);

// The condition set a back-test runs with when it comes from a file rather than the editor, checked
// with the editor's rules: the editor's defaults, the file's values over them, normalised as the
// editor shows them. Without a file it is the defaults. An unreadable file or the first failing
// rule (the editor's message, then the key) is a Validation error.
Result<TJouken> loadJoukenForRun(const std::optional<std::filesystem::path>& file);
// The same for a stock's registered set under the base folder. A stock without a registered set, or
// a set with lines that could not be read, is a Validation error naming the file.
Result<TJouken> loadRegisteredJoukenForRun(const std::filesystem::path& baseDir, const ConditionSetId& id);

// A stock and market that can name a condition file and an index line: not empty, and without
// separators of paths or of the index's pieces.
Status checkConditionSetId(const ConditionSetId& id);

// Writes the set's file (a new set or a complete replacement), then adds its index line when the
// index has none for this code and market, creating the index when it is missing. Values holding a
// comma are refused before anything is written (findUnstorableValue).
Status registerConditionSet(const std::filesystem::path& baseDir, const ConditionSetId& id,
                            const TJouken& record);

enum class DeleteOutcome {
    Deleted,       // the file is gone and the index lost the set's line
    NotRegistered, // there was no file; nothing changed
};

// Removes the set's file and the first index line of this code and market; the index is written back
// (an empty one is created when it was missing).
Result<DeleteOutcome> deleteConditionSet(const std::filesystem::path& baseDir, const ConditionSetId& id);

// The index's sets in file order; an absent index holds none. Lines with fewer than two pieces are
// skipped.
Result<std::vector<ConditionSetId>> readConditionIndex(const std::filesystem::path& baseDir);

} // namespace vorteq
