#include "sweep/SweepTable.h"

#include "common/Csv.h"
#include "common/NumberText.h"
#include "common/TextFile.h"
#include "conditions/JoukenFields.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <set>

namespace vorteq {
namespace {

constexpr std::string_view kShardMark = "#vorteq-sweep-shard";
constexpr std::string_view kShardVersion = "1";

std::string oneLine(std::string text)
{
    std::replace(text.begin(), text.end(), '\n', ' ');
    std::replace(text.begin(), text.end(), '\r', ' ');
    return text;
}

// The cells of one export line (each cell followed by ","; quoted cells with doubled quotes).
std::vector<std::string> splitLine(std::string_view line)
{
    std::vector<std::string> cells;
    std::size_t i = 0;
    while (i < line.size()) {
        std::string cell;
        if (line[i] == '"') {
            ++i;
            while (i < line.size()) {
                if (line[i] == '"') {
                    if (i + 1 < line.size() && line[i + 1] == '"') {
                        cell.push_back('"');
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                cell.push_back(line[i++]);
            }
            while (i < line.size() && line[i] != ',')
                ++i;
        } else {
            const std::size_t comma = line.find(',', i);
            const std::size_t stop = comma == std::string_view::npos ? line.size() : comma;
            cell.assign(line.substr(i, stop - i));
            i = stop;
        }
        cells.push_back(std::move(cell));
        if (i < line.size())
            ++i; // the comma
    }
    return cells;
}

void sortRows(std::vector<SweepRow>& rows)
{
    std::stable_sort(rows.begin(), rows.end(), [](const SweepRow& a, const SweepRow& b) {
        return a.code != b.code ? a.code < b.code : a.cell < b.cell;
    });
}

std::vector<std::string> figureCaptions()
{
    return {kSweepMetricCaptions.begin(), kSweepMetricCaptions.end()};
}

} // namespace

std::string figureText(std::optional<long double> v)
{
    if (!v || !std::isfinite(*v))
        return {};
    return formatNumber(std::round(*v * 10000) / 10000);
}

SweepTable makeSweepTable(const SweepGrid& grid, const std::vector<std::string>& codes,
                          const std::vector<std::vector<CellFigures>>& figures)
{
    SweepTable table;
    for (const SweepAxis& axis : grid.axes())
        table.keys.emplace_back(kJoukenFields[static_cast<std::size_t>(axis.field)].key);
    for (int c = 0; c < grid.cellCount(); ++c)
        table.cellValues.push_back(grid.cellValues(c));
    for (std::size_t s = 0; s < codes.size() && s < figures.size(); ++s)
        for (int c = 0; c < grid.cellCount(); ++c) {
            const CellFigures& f = figures[s][static_cast<std::size_t>(c)];
            SweepRow& row = table.rows.emplace_back();
            row.code = codes[s];
            row.cell = c;
            row.error = oneLine(f.error);
            if (!f.error.empty())
                continue;
            for (int m = 0; m < kSweepMetricCount; ++m)
                row.figures[static_cast<std::size_t>(m)] =
                    figureText(metricOf(f, static_cast<SweepMetric>(m)));
        }
    sortRows(table.rows);
    return table;
}

std::vector<std::string> sweepCellLines(const SweepTable& table, SweepMetric metric)
{
    const std::size_t cells = table.cellValues.size();
    std::vector<std::array<long double, kSweepMetricCount>> sums(cells);
    std::vector<std::array<int, kSweepMetricCount>> counts(cells);
    std::vector<int> stocks(cells, 0);
    for (const SweepRow& row : table.rows) {
        const auto c = static_cast<std::size_t>(row.cell);
        if (c >= cells || !row.error.empty())
            continue;
        ++stocks[c];
        for (std::size_t m = 0; m < row.figures.size(); ++m)
            if (const auto v = parseNumber(row.figures[m])) {
                sums[c][m] += *v;
                ++counts[c][m];
            }
    }
    std::vector<std::array<std::string, kSweepMetricCount>> texts(cells);
    std::vector<std::optional<long double>> ranked(cells);
    for (std::size_t c = 0; c < cells; ++c) {
        for (std::size_t m = 0; m < kSweepMetricCount; ++m)
            if (counts[c][m] > 0)
                texts[c][m] = figureText(sums[c][m] / counts[c][m]);
        if (const auto v = parseNumber(texts[c][static_cast<std::size_t>(metric)]))
            ranked[c] = *v;
    }

    std::vector<std::string> header = table.keys;
    header.emplace_back("銘柄数");
    for (const std::string& caption : figureCaptions())
        header.push_back(caption);
    header.emplace_back("順位");
    std::vector<std::string> lines{csvLine(header)};
    for (std::size_t c = 0; c < cells; ++c) {
        std::vector<std::string> cellsOut = table.cellValues[c];
        cellsOut.push_back(std::to_string(stocks[c]));
        for (const std::string& t : texts[c])
            cellsOut.push_back(t);
        std::string rank;
        if (ranked[c]) {
            int better = 0;
            for (const auto& other : ranked)
                better += betterFigure(other, ranked[c]) ? 1 : 0;
            rank = std::to_string(better + 1);
        }
        cellsOut.push_back(rank);
        lines.push_back(csvLine(cellsOut));
    }
    return lines;
}

std::vector<std::string> sweepStockLines(const SweepTable& table)
{
    std::vector<std::string> header{"銘柄コード"};
    header.insert(header.end(), table.keys.begin(), table.keys.end());
    for (const std::string& caption : figureCaptions())
        header.push_back(caption);
    header.emplace_back("エラー");
    std::vector<std::string> lines{csvLine(header)};
    for (const SweepRow& row : table.rows) {
        std::vector<std::string> cells{row.code};
        const auto& values = table.cellValues[static_cast<std::size_t>(row.cell)];
        cells.insert(cells.end(), values.begin(), values.end());
        cells.insert(cells.end(), row.figures.begin(), row.figures.end());
        cells.push_back(row.error);
        lines.push_back(csvLine(cells));
    }
    return lines;
}

Result<ShardPart> parseShard(std::string_view text)
{
    const auto bad = makeError(ErrorCode::Validation,
                               "--shard は K/N (1 ≦ K ≦ N ≦ 10000) です: \"" + std::string(text) + "\"");
    const std::size_t slash = text.find('/');
    if (slash == std::string_view::npos)
        return bad;
    const auto whole = [](std::string_view t) -> std::optional<int> {
        if (t.empty() || t.size() > 5 ||
            !std::all_of(t.begin(), t.end(), [](char ch) { return ch >= '0' && ch <= '9'; }))
            return std::nullopt;
        return std::stoi(std::string(t));
    };
    const auto k = whole(text.substr(0, slash));
    const auto n = whole(text.substr(slash + 1));
    if (!k || !n || *k < 1 || *n < 1 || *k > *n || *n > 10000)
        return bad;
    return ShardPart{*k, *n};
}

std::string sweepFingerprint(std::string_view settings)
{
    // FNV-1a, 64 bits: a guard against mixing runs, not a secret.
    std::uint64_t h = 14695981039346656037ULL;
    for (const char ch : settings) {
        h ^= static_cast<unsigned char>(ch);
        h *= 1099511628211ULL;
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out(16, '0');
    for (int i = 15; i >= 0; --i, h >>= 4)
        out[static_cast<std::size_t>(i)] = kHex[h & 0xF];
    return out;
}

std::vector<std::string> shardLines(const ShardHeader& header, const SweepTable& table)
{
    std::vector<std::string> lines;
    lines.push_back(
        csvLine({std::string(kShardMark), std::string(kShardVersion), std::to_string(header.shard.index),
                 std::to_string(header.shard.count), header.fingerprint,
                 std::string(kSweepMetricWords[static_cast<std::size_t>(header.metric)]),
                 header.perStock ? "1" : "0", std::to_string(table.cellValues.size())}));
    lines.push_back(csvLine(table.keys));
    for (std::size_t c = 0; c < table.cellValues.size(); ++c) {
        std::vector<std::string> cells{"#cell", std::to_string(c)};
        cells.insert(cells.end(), table.cellValues[c].begin(), table.cellValues[c].end());
        lines.push_back(csvLine(cells));
    }
    for (const SweepRow& row : table.rows) {
        std::vector<std::string> cells{row.code, std::to_string(row.cell)};
        cells.insert(cells.end(), row.figures.begin(), row.figures.end());
        cells.push_back(row.error);
        lines.push_back(csvLine(cells));
    }
    return lines;
}

Result<MergedSweep> mergeShards(const std::vector<std::string>& texts)
{
    MergedSweep merged;
    std::set<int> seen;
    std::set<std::string> codes;
    if (texts.empty())
        return makeError(ErrorCode::Validation, "結合するシャードのファイルがありません。");
    for (std::size_t f = 0; f < texts.size(); ++f) {
        const std::string which = std::to_string(f + 1) + "番目のファイル";
        const auto bad = [&](const std::string& why) {
            return makeError(ErrorCode::Validation, which + ": " + why);
        };
        const auto lines = splitLines(texts[f]);
        if (lines.size() < 2)
            return bad("シャードの出力ではありません。");
        const auto head = splitLine(lines[0]);
        if (head.size() != 8 || head[0] != kShardMark || head[1] != kShardVersion)
            return bad(
                "シャードの出力ではありません (vorteq-cli sweep --shard K/N の出力を指定してください)。");
        const auto shard = parseShard(head[2] + "/" + head[3]);
        const auto metric = sweepMetricOf(head[5]);
        const auto cellCount = parseNumber(head[7]);
        if (!shard || !metric || (head[6] != "0" && head[6] != "1") || !cellCount || *cellCount < 0 ||
            *cellCount > kMaxSweepCells || *cellCount != std::floor(*cellCount))
            return bad("シャードの見出し行が正しくありません。");
        ShardHeader header{*shard, head[4], *metric, head[6] == "1"};
        const auto cells = static_cast<std::size_t>(*cellCount);
        SweepTable part;
        part.keys = splitLine(lines[1]);
        if (part.keys.size() > 2 || lines.size() < 2 + cells)
            return bad("シャードの見出し行が正しくありません。");
        for (std::size_t c = 0; c < cells; ++c) {
            auto cellsIn = splitLine(lines[2 + c]);
            if (cellsIn.size() != 2 + part.keys.size() || cellsIn[0] != "#cell" ||
                cellsIn[1] != std::to_string(c))
                return bad("セルの行が正しくありません: " + std::to_string(c + 3) + "行目");
            part.cellValues.emplace_back(cellsIn.begin() + 2, cellsIn.end());
        }
        if (f == 0) {
            merged.header = header;
            merged.table.keys = part.keys;
            merged.table.cellValues = part.cellValues;
        } else if (header.fingerprint != merged.header.fingerprint || header.metric != merged.header.metric ||
                   header.perStock != merged.header.perStock ||
                   header.shard.count != merged.header.shard.count || part.keys != merged.table.keys ||
                   part.cellValues != merged.table.cellValues) {
            return bad("別の掃引のシャードです (設定が1番目のファイルと違います)。");
        }
        if (!seen.insert(header.shard.index).second)
            return bad("シャード " + std::to_string(header.shard.index) + "/" +
                       std::to_string(header.shard.count) + " が2回指定されています。");
        std::map<std::string, std::set<int>> codesHere;
        for (std::size_t l = 2 + cells; l < lines.size(); ++l) {
            if (lines[l].empty())
                continue;
            auto in = splitLine(lines[l]);
            const auto cell = parseNumber(in.size() > 1 ? in[1] : std::string());
            if (in.size() != 3 + kSweepMetricCount || in[0].empty() || !cell || *cell < 0 ||
                *cell >= static_cast<long double>(cells) || *cell != std::floor(*cell))
                return bad("結果の行が正しくありません: " + std::to_string(l + 1) + "行目");
            SweepRow row;
            row.code = in[0];
            row.cell = static_cast<int>(*cell);
            for (std::size_t m = 0; m < kSweepMetricCount; ++m) {
                row.figures[m] = in[2 + m];
                if (!row.figures[m].empty() && !parseNumber(row.figures[m]))
                    return bad("結果の行の数値が正しくありません: " + std::to_string(l + 1) + "行目");
            }
            row.error = in[2 + kSweepMetricCount];
            if (codes.count(row.code))
                return bad("銘柄 " + row.code + " が別のシャードにもあります。");
            if (!codesHere[row.code].insert(row.cell).second)
                return bad("銘柄 " + row.code + " のセル " + in[1] + " が2回あります。");
            part.rows.push_back(std::move(row));
        }
        for (const auto& [code, cellsSeen] : codesHere) {
            if (cellsSeen.size() != cells)
                return bad("銘柄 " + code + " の行が足りません (途中で切れたファイルです)。");
            codes.insert(code);
        }
        for (SweepRow& row : part.rows)
            merged.table.rows.push_back(std::move(row));
    }
    const int n = merged.header.shard.count;
    for (int k = 1; k <= n; ++k)
        if (!seen.count(k))
            return makeError(ErrorCode::Validation, "シャード " + std::to_string(k) + "/" +
                                                        std::to_string(n) + " のファイルがありません。");
    sortRows(merged.table.rows);
    merged.header.shard = {1, 1};
    return merged;
}

} // namespace vorteq
