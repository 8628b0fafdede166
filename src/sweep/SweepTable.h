#pragma once

// The text form of a sweep: one row per stock and cell with its figures, the table of the cells
// (mean over the stocks and rank by the metric), and the shard files that split a sweep over
// several machines. Every mean is taken from the figures as written, so a sweep merged from shards
// gives the same bytes as the sweep run in one piece.

#include "sweep/ParameterSweep.h"

#include <string>
#include <vector>

namespace vorteq {

// A figure as written: rounded to four decimals (more than any figure is judged by) in the
// general number format; empty for a missing or infinite value.
std::string figureText(std::optional<long double> v);

// One stock's figures in one cell, as written (empty text: the figure is not defined).
struct SweepRow {
    std::string code;
    int cell = 0;
    std::array<std::string, kSweepMetricCount> figures; // in the metric enum's order
    std::string error;                                  // empty when the run succeeded
};

// Everything the output is made of, without the conditions or the prices.
struct SweepTable {
    std::vector<std::string> keys;                    // the swept keys
    std::vector<std::vector<std::string>> cellValues; // per cell, one text per key
    std::vector<SweepRow> rows;                       // by stock code, then by cell
};

// The rows of a sweep run: stocks[i].code and figures[i][cell].
SweepTable makeSweepTable(const SweepGrid& grid, const std::vector<std::string>& codes,
                          const std::vector<std::vector<CellFigures>>& figures);

// The per-cell table: the keys, "銘柄数", the five figures (means over the stocks whose run
// succeeded) and "順位" by the metric (1 is the best; equal values share a rank; empty without a
// value). Export lines (each cell followed by ",").
std::vector<std::string> sweepCellLines(const SweepTable& table, SweepMetric metric);

// The per-stock table: "銘柄コード", the keys, the five figures and "エラー".
std::vector<std::string> sweepStockLines(const SweepTable& table);

// The K-th of N parts (K from 1) of a list: the items whose position modulo N is K - 1. The
// stocks are sorted by code first, so every shard of the same run sees the same split.
struct ShardPart {
    int index = 1; // K
    int count = 1; // N
};
Result<ShardPart> parseShard(std::string_view text); // "K/N", 1 <= K <= N <= 10000

template <class T> std::vector<T> shardOf(const std::vector<T>& sorted, const ShardPart& shard)
{
    std::vector<T> part;
    for (std::size_t i = static_cast<std::size_t>(shard.index - 1); i < sorted.size();
         i += static_cast<std::size_t>(shard.count))
        part.push_back(sorted[i]);
    return part;
}

// What a merge needs besides the rows: which shard, of which run, and how the result is written.
struct ShardHeader {
    ShardPart shard;
    std::string fingerprint; // of everything that decides the result (see sweepFingerprint)
    SweepMetric metric = SweepMetric::NetReturn;
    bool perStock = false;
};

// A short hexadecimal digest of the settings text: shards of different runs never merge.
std::string sweepFingerprint(std::string_view settings);

// A shard file's lines (UTF-8): the header line, the key line, then one line per row with its
// cell number and the cell's values.
std::vector<std::string> shardLines(const ShardHeader& header, const SweepTable& table);

// Reads the shard files' texts (lines split at CR LF or LF) and merges them: every shard of 1..N
// exactly once, all of the same run. The merged table and the header of shard 1 (its metric and
// layout), or the first problem found, naming the file by its position.
struct MergedSweep {
    ShardHeader header;
    SweepTable table;
};
Result<MergedSweep> mergeShards(const std::vector<std::string>& texts);

} // namespace vorteq
