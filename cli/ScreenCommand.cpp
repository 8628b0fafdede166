#include "cli/Commands.h"
#include "cli/Output.h"
#include "cli/ScreenRun.h"
#include "cli/ScreeningOptions.h"
#include "common/Csv.h"
#include "common/DateText.h"
#include "common/TextTable.h"
#include "results/ForwardReturns.h"
#include "screening/StockListColumns.h"
#include "screening/StockListExport.h"
#include "series/MarketTable.h"

namespace vorteq::cli {

std::vector<OptionDef> screenOptions()
{
    std::vector<OptionDef> optionDefs = resultOptions();
    for (OptionDef& def : screeningOptions())
        optionDefs.push_back(std::move(def));
    optionDefs.push_back({"format", "csv|table", "出力形式: csv (一覧の CSV 出力と同じ, 既定) または table"});
    optionDefs.push_back({"print-sql", "", "送信する SELECT 文を標準エラーに出力する"});
    optionDefs.push_back(
        {"forward", "1,5,20,60",
         "検索結果の検証: 翌日の始値からこの営業日数後の終値までの騰落率を、一覧と市場全体で比べて"
         "一覧の後に出力する"});
    for (OptionDef& def : conditionOptions())
        optionDefs.push_back(std::move(def));
    return optionDefs;
}

int runScreen(const ParsedOptions& options, CliIo& io)
{
    const std::string format = options.valueOr("format", "csv");
    if (format != "csv" && format != "table")
        return report(io, {ExitCode::Usage, "--format は csv か table です: \"" + format + "\""});
    const OutputEncoding encoding = encodingOf(options);
    std::optional<std::vector<int>> horizons;
    if (auto forward = options.value("forward")) {
        auto parsed = parseForwardHorizons(*forward);
        if (!parsed)
            return report(io, {ExitCode::Usage, "--forward: " + parsed.error().message});
        horizons = std::move(*parsed);
    }
    auto prepared = prepareScreening(options, io);
    if (!prepared)
        return report(io, prepared.error());
    auto session = Session::open(prepared->login, io);
    if (!session)
        return report(io, session.error());
    auto hits = runScreening(*session, *prepared, options.has("print-sql"), io);
    if (!hits)
        return report(io, hits.error());
    if (hits->RowCount == 0)
        io.writeErr("vorteq-cli: データがありませんでした。\n");

    const PtblData& table = *hits->Tbl;
    // The verification of the list rides after it, an empty line apart: the summary, then each stock.
    std::vector<std::vector<std::vector<std::string>>> checks;
    if (horizons) {
        std::vector<std::string> codes;
        for (int r = 1; r <= hits->RowCount; ++r)
            codes.push_back(table.cell(1, r));
        const std::string marketCode(
            kMarketTable[static_cast<std::size_t>(prepared->criteria.marketPosition)].code);
        auto returns = fetchForwardReturns(session->statements(), marketCode,
                                           formatDate(prepared->criteria.baseDate), codes, *horizons);
        if (!returns)
            return report(io, failureOf(returns.error()));
        if (returns->entryDate.empty())
            io.writeErr("vorteq-cli: 基準日の翌営業日以降の株価がないため、騰落率を計算できません。\n");
        checks.push_back(forwardSummaryRows(*returns));
        checks.push_back(forwardStockRows(*returns));
    }
    Result<std::string> bytes = std::string();
    if (format == "csv") {
        std::vector<std::string> lines = stockListExportLines(table, hits->RowCount);
        for (const auto& rows : checks) {
            lines.emplace_back();
            for (const auto& row : rows)
                lines.push_back(csvLine(row));
        }
        bytes = exportBytes(lines, encoding);
    } else {
        std::vector<std::vector<std::string>> rows;
        std::vector<std::string> header;
        for (int c = 0; c < kStockListVisibleColumns; ++c)
            header.emplace_back(kStockListColumns[static_cast<std::size_t>(c)].header);
        rows.push_back(std::move(header));
        for (int r = 1; r <= hits->RowCount; ++r) {
            std::vector<std::string> row;
            for (int c = 1; c <= kStockListVisibleColumns; ++c)
                row.push_back(table.cell(c, r));
            rows.push_back(std::move(row));
        }
        std::string text = formatTable(rows);
        for (const auto& more : checks)
            text += "\n" + formatTable(more);
        bytes = encodeText(text, encoding);
    }
    if (!bytes)
        return report(io, failureOf(bytes.error()));
    return writeResult(io, *bytes);
}

} // namespace vorteq::cli
