#include "cli/Commands.h"
#include "cli/Output.h"
#include "cli/ScreenRun.h"
#include "cli/ScreeningOptions.h"
#include "cli/TextTable.h"
#include "screening/StockListColumns.h"
#include "screening/StockListExport.h"

namespace vorteq::cli {

std::vector<OptionDef> screenOptions()
{
    std::vector<OptionDef> optionDefs = resultOptions();
    for (OptionDef& def : screeningOptions())
        optionDefs.push_back(std::move(def));
    optionDefs.push_back({"format", "csv|table", "出力形式: csv (一覧の CSV 出力と同じ, 既定) または table"});
    optionDefs.push_back({"print-sql", "", "送信する SELECT 文を標準エラーに出力する"});
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

    auto prepared = prepareScreening(options, io);
    if (!prepared)
        return report(io, prepared.failure());
    auto session = Session::open(prepared->login, io);
    if (!session)
        return report(io, session.failure());
    auto hits = runScreening(*session, *prepared, options.has("print-sql"), io);
    if (!hits)
        return report(io, hits.failure());
    if (hits->RowCount == 0)
        io.writeErr("vorteq-cli: データがありませんでした。\n");

    const PtblData& table = *hits->Tbl;
    Result<std::string> bytes = std::string();
    if (format == "csv") {
        bytes = exportBytes(stockListExportLines(table, hits->RowCount), encoding);
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
        bytes = encodeText(formatTable(rows), encoding);
    }
    if (!bytes)
        return report(io, failureOf(bytes.error()));
    return writeResult(io, *bytes);
}

} // namespace vorteq::cli
