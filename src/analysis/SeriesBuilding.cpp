// Building each stock's series: the price table's rows grouped by stock code into day records,
// or the records of an earlier run read back, into the working series the indicators compute on.
#include "analysis/DayInputs.h"
#include "analysis/TStkAnalisys.h"
#include "indicators/IndicatorTable.h"
#include "indicators/SeriesWork.h"

#include <algorithm>
#include <unordered_map>

namespace vorteq {

using namespace analysis_detail;

Status TStkAnalisys::groupRows(std::string_view start, std::string_view end, std::vector<int>& rows,
                               std::vector<std::size_t>& firstRow)
{
    Clear();
    rows.clear();
    firstRow.assign(1, 0);
    if (RowCount <= 0)
        return {};
    // Columns 1..7, each with rows 0..RowCount.
    bool complete = PriceTable && PriceTable->columnCount() > kColVolume;
    for (int col = kColCode; complete && col <= kColVolume; ++col)
        complete = static_cast<int>((*PriceTable)[col].size()) > RowCount;
    if (!complete)
        return makeError(ErrorCode::Data, "株価データの表の形式が正しくありません: " +
                                              std::to_string(RowCount) + "行の株価が必要です");
    const PtblData& t = *PriceTable;

    // Entries in order of first appearance; each code's days in table order. Codes are compared as
    // exact texts.
    std::unordered_map<std::string_view, std::size_t> entryOf;
    std::vector<std::size_t> entryOfRow(static_cast<std::size_t>(RowCount) + 1);
    std::vector<std::size_t> dayCounts;
    for (int row = 1; row <= RowCount; ++row) {
        const auto r = static_cast<std::size_t>(row);
        // A stock's rows usually follow each other.
        if (row > 1 && t[kColCode][r] == t[kColCode][r - 1]) {
            entryOfRow[r] = entryOfRow[r - 1];
        } else {
            const auto [it, added] = entryOf.emplace(t[kColCode][r], dayCounts.size());
            if (added)
                dayCounts.push_back(0);
            entryOfRow[r] = it->second;
        }
        ++dayCounts[entryOfRow[r]];
    }
    StkList.resize(dayCounts.size());
    firstRow.resize(dayCounts.size() + 1);
    for (const auto& [code, index] : entryOf) {
        TStkData& e = StkList[index];
        e.StkCd = code;
        e.TermStart = start;
        e.TermEnd = end;
        e.Days = m_work->takeDays(dayCounts[index]);
        e.DayCount = static_cast<int>(dayCounts[index]);
    }
    for (std::size_t e = 0; e < dayCounts.size(); ++e)
        firstRow[e + 1] = firstRow[e] + dayCounts[e];
    // Each entry's rows in table order.
    rows.resize(static_cast<std::size_t>(RowCount));
    std::vector<std::size_t> filled(firstRow.begin(), firstRow.end() - 1);
    for (int row = 1; row <= RowCount; ++row)
        rows[filled[entryOfRow[static_cast<std::size_t>(row)]]++] = row;
    StkCount = static_cast<int>(StkList.size());
    return {};
}

namespace {
// The date and the prices of a day as its record keeps them, read from table row r: the date with
// "/" for "-", each price kept as a number when its text is the general format of one (every step
// after this one reads them as numbers).
void readRow(const PtblData& t, std::size_t r, DayValue* inputs, std::string& date)
{
    date = t[TStkAnalisys::kColDate][r];
    std::replace(date.begin(), date.end(), '-', '/');
    inputs[0].setText(date);
    for (int k = 1; k < kInputsPerDay; ++k)
        inputs[k].setTextOrNumber(t[kPriceInputs[k - 1].column][r]);
}
} // namespace

Status TStkAnalisys::LoadDailyData(std::string_view start, std::string_view end)
{
    std::vector<int> rows;
    std::vector<std::size_t> firstRow;
    Status status = groupRows(start, end, rows, firstRow);
    if (!status)
        return status;
    std::string date;
    DayValue inputs[kInputsPerDay];
    for (std::size_t e = 0; e < StkList.size(); ++e)
        for (std::size_t k = firstRow[e]; k < firstRow[e + 1]; ++k) {
            TStkDailyData& day = StkList[e].Days[k - firstRow[e]];
            day.clearAll(); // a record of an earlier run
            readRow(*PriceTable, static_cast<std::size_t>(rows[k]), inputs, date);
            for (int f = 0; f < kInputsPerDay; ++f)
                day[kInputFields[f]] = std::move(inputs[f]);
        }
    return {};
}

Status TStkAnalisys::loadAndCalculate(std::string_view start, std::string_view end)
{
    std::vector<int> rows;
    std::vector<std::size_t> firstRow;
    Status status = groupRows(start, end, rows, firstRow);
    SeriesWork& s = *m_work;
    std::string date;
    for (std::size_t e = 0; status && e < StkList.size(); ++e) {
        const std::size_t days = firstRow[e + 1] - firstRow[e];
        s.reset(days);
        s.inputs.resize(days * kInputsPerDay);
        for (std::size_t k = firstRow[e]; k < firstRow[e + 1]; ++k)
            readRow(*PriceTable, static_cast<std::size_t>(rows[k]),
                    &s.inputs[(k - firstRow[e]) * kInputsPerDay], date);
        status = calculate(StkList[e], true);
    }
    return status;
}

Status TStkAnalisys::CalcIndicators()
{
    for (TStkData& stock : StkList) {
        Status s = CalcStock(stock);
        if (!s)
            return s;
    }
    return {};
}

Status TStkAnalisys::CalcStock(TStkData& stock)
{
    SeriesWork& s = *m_work;
    const int n = stock.DayCount;
    s.reset(stock.Days.size());
    // A series computed before starts over with every indicator field empty (the final pass
    // always leaves a value in the rounded fields, so one of them tells). The final pass writes
    // every named field anew; the positions no indicator writes are cleared here.
    const bool computedBefore = n > 0 && !stock.Days[0][DayField::IdoAvg1].empty();
    s.inputs.resize(static_cast<std::size_t>(n) * kInputsPerDay);
    for (int i = 0; i < n; ++i) {
        TStkDailyData& day = stock.Days[static_cast<std::size_t>(i)];
        for (int f = SeriesWork::kFirstComputed; computedBefore && f < TStkDailyData::kFieldCount; ++f)
            if (!writerOf(static_cast<DayField>(f)))
                day[f].clear();
        for (int k = 0; k < kInputsPerDay; ++k)
            s.inputs[static_cast<std::size_t>(i * kInputsPerDay + k)] = day[kInputFields[k]];
    }
    return calculate(stock, false);
}

} // namespace vorteq
