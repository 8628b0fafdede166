#include "analysis/TStkAnalisys.h"

#include "common/NumberText.h"
#include "indicators/IndicatorTable.h"
#include "indicators/SeriesWork.h"
#include "indicators/TextRates.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cmath>
#include <optional>
#include <unordered_map>

namespace vorteq {
namespace {

// The computed fields by how the final pass writes them (indicator table), with the rounded
// fields split into those kept as stored values (later steps read them too) and the final fields,
// kept as hundredths.
struct FinalPassFields {
    std::vector<DayField> stored;
    std::vector<DayField> roundedFromValues;
    std::vector<DayField> whole;
};

const FinalPassFields& finalPassFields()
{
    static const FinalPassFields fields = [] {
        FinalPassFields f;
        const auto stored = outputsOfKind(OutputKind::Stored);
        f.stored.assign(stored.begin(), stored.end());
        const auto whole = outputsOfKind(OutputKind::Whole);
        f.whole.assign(whole.begin(), whole.end());
        const auto rounded = outputsOfKind(OutputKind::Rounded);
        for (const DayField d : rounded)
            if (!SeriesWork::isFinal(d))
                f.roundedFromValues.push_back(d);
        assert(std::all_of(std::begin(kFinalFields), std::end(kFinalFields),
                           [&](DayField d) {
                               return std::find(rounded.begin(), rounded.end(), d) != rounded.end();
                           }) &&
               "a field kept as hundredths that is not rounded");
        return f;
    }();
    return fields;
}

// What a day record holds before the indicators: the date, then the prices in the order of the
// table's columns.
constexpr int kInputsPerDay = 6;
constexpr DayField kInputFields[kInputsPerDay] = {DayField::StkDate, DayField::SPrice, DayField::HPrice,
                                                  DayField::LPrice,  DayField::EPrice, DayField::StkVlm};
struct PriceInput {
    DayField field;
    int column; // of the price table
    std::vector<long double> SeriesWork::*series;
    std::uint8_t zeroBit;
};
constexpr PriceInput kPriceInputs[kInputsPerDay - 1] = {
    {DayField::SPrice, TStkAnalisys::kColOpen, &SeriesWork::O, SeriesWork::kZeroOpen},
    {DayField::HPrice, TStkAnalisys::kColHigh, &SeriesWork::H, SeriesWork::kZeroHigh},
    {DayField::LPrice, TStkAnalisys::kColLow, &SeriesWork::L, SeriesWork::kZeroLow},
    {DayField::EPrice, TStkAnalisys::kColClose, &SeriesWork::C, SeriesWork::kZeroClose},
    {DayField::StkVlm, TStkAnalisys::kColVolume, &SeriesWork::V, SeriesWork::kZeroVolume},
};

std::string quoted(std::string_view text)
{
    std::string q = "\"";
    q.append(text);
    q.push_back('"');
    return q;
}

} // namespace

TStkAnalisys::TStkAnalisys() : Params(defaultParamValues()), m_work(std::make_unique<SeriesWork>()) {}
TStkAnalisys::~TStkAnalisys() = default;

Status TStkAnalisys::Analyze(const Ptbl& table, int rowCount, const TJouken& conditions,
                             std::string_view start, std::string_view end, bool simulate)
{
    Clear();
    BuyAndList.clear();
    BuyOrList.clear();
    SellAndList.clear();
    SellOrList.clear();
    PriceTable = table;
    RowCount = rowCount;
    Jouken = conditions;
    SetDefaultParams();

    Status status = LoadParams();
    if (status)
        status = loadAndCalculate(start, end);
    if (status && simulate && m_simulation)
        status = m_simulation(*this);
    if (!status)
        Clear();
    return status;
}

void TStkAnalisys::Clear()
{
    StkCount = 0;
    for (TStkData& e : StkList)
        m_work->keepDays(std::move(e.Days));
    StkList.clear();
}

bool TStkAnalisys::GetStkData(int index, TStkData& out) const
{
    if (index < 0 || index >= static_cast<int>(StkList.size()))
        return false;
    out = StkList[static_cast<std::size_t>(index)];
    return true;
}

void TStkAnalisys::SetDefaultParams()
{
    Params = defaultParamValues();
}

long double TStkAnalisys::param(std::string_view member) const
{
    for (const TableParam& p : tableParams())
        if (p.def->member == member)
            return Params[p.index];
    return 0;
}

Status TStkAnalisys::LoadParams()
{
    for (const TableParam& p : tableParams()) {
        const std::string_view key = p.def->key;
        const auto no = lookupJoukenField(key);
        assert(no && "an indicator parameter without a condition key");
        const std::string& text = Jouken[*no];
        if (text.empty())
            continue; // the default stays
        if (p.def->kind == ParamKind::Period) {
            const auto v = parseInt32(text);
            if (!v)
                return makeError(ErrorCode::Validation, "計算条件の数値が正しくありません: " +
                                                            std::string(key) + " = " + quoted(text));
            // Every window needs at least one day; a period of 0 would divide by zero.
            if (*v < 1)
                return makeError(ErrorCode::Validation, "計算条件の期間は1以上にしてください: " +
                                                            std::string(key) + " = " + quoted(text));
            Params[p.index] = *v;
        } else {
            const auto v = parseNumber(text);
            if (!v)
                return makeError(ErrorCode::Validation, "計算条件の数値が正しくありません: " +
                                                            std::string(key) + " = " + quoted(text));
            Params[p.index] = *v;
        }
    }
    for (const IndicatorDef* ind : indicatorTable())
        if (ind->checkParams)
            if (auto message = ind->checkParams(paramsOf(*ind, Params)))
                return makeError(ErrorCode::Validation, std::move(*message));
    return {};
}

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
        inputs[k].setTextOrNumber(t[static_cast<std::size_t>(kPriceInputs[k - 1].column)][r]);
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
            if (kDayFieldNames[static_cast<std::size_t>(f)].empty())
                day[f].clear();
        for (int k = 0; k < kInputsPerDay; ++k)
            s.inputs[static_cast<std::size_t>(i * kInputsPerDay + k)] = day[kInputFields[k]];
    }
    return calculate(stock, false);
}

Status TStkAnalisys::calculate(TStkData& stock, bool writeInputs)
{
    SeriesWork& s = *m_work;
    const int n = stock.DayCount;
    const auto inputsOf = [&](int i) { return &s.inputs[static_cast<std::size_t>(i * kInputsPerDay)]; };

    // Read every price once; a text that is not a number stops the run.
    for (int i = 0; i < n; ++i) {
        const DayValue* inputs = inputsOf(i);
        for (int k = 1; k < kInputsPerDay; ++k) {
            const PriceInput& p = kPriceInputs[k - 1];
            const DayValue& price = inputs[k];
            const auto v = price.isNumber() ? std::optional(price.storedNumber()) : price.number();
            if (!v)
                return makeError(ErrorCode::Data,
                                 "株価データの数値が正しくありません: " + stock.StkCd + " " +
                                     inputs[0].text() + " " +
                                     std::string(kDayFieldNames[static_cast<std::size_t>(pos(p.field))]) +
                                     " = " + quoted(price.text()));
            (s.*p.series)[static_cast<std::size_t>(i)] = *v;
            if (price.textEquals("0"))
                s.zeroText[static_cast<std::size_t>(i)] |= p.zeroBit;
        }
    }
    s.classifyPrices();

    // Passes 1 to 3 over whole columns, then pass 4, oldest day to newest: the recursive
    // indicators. Pass 4 ends at a day whose close text is "0" (looked at before the step after it;
    // day 0 before the first step). Each pass runs its stages in the order of the indicator table.
    int steps = 0;
    while (steps < n && !s.zero(steps == 0 ? 0 : n - steps, SeriesWork::kZeroClose))
        ++steps;
    for (int pass = 1; pass <= 4; ++pass) {
        int place = 0;
        for (const IndicatorDef* ind : indicatorTable())
            for (const IndicatorStage& stage : ind->stages)
                if (stage.pass == pass) {
                    s.computing(pass, place++);
                    stage.compute(s, paramsOf(*ind, Params), steps);
                }
    }
    if (s.missingField >= 0) {
        return makeError(ErrorCode::Data,
                         "計算に必要な値がありません: " + stock.StkCd + " " +
                             inputsOf(s.missingDay)[0].text() + " " +
                             std::string(kDayFieldNames[static_cast<std::size_t>(s.missingField)]));
    }

    // Pass 5, with the copy into the day records: the rounded fields truncated to two decimals,
    // an empty one reading "0"; every other computed field as stored. A series computed before
    // gets every field anew. With writeInputs, each record is first emptied and given its date and
    // prices, so that it is written in one go.
    const FinalPassFields& fields = finalPassFields();
    const std::vector<DayField>& storedFields = fields.stored;
    const std::vector<DayField>& roundedFields = fields.roundedFromValues;
    std::array<const long double*, SeriesWork::kValueColumns> stored{};
    for (std::size_t k = 0; k < storedFields.size(); ++k)
        stored[k] = s.column(storedFields[k]);
    std::array<const long double*, SeriesWork::kValueColumns> rounded{};
    for (std::size_t k = 0; k < roundedFields.size(); ++k)
        rounded[k] = s.column(roundedFields[k]);
    std::array<const std::int64_t*, std::size(kFinalFields)> hundredths{};
    for (std::size_t k = 0; k < hundredths.size(); ++k)
        hundredths[k] = s.hundredths(kFinalFields[k]);
    // Writes the two-decimal result of a value to a record's field.
    const auto writeRounded = [](DayValue& cell, long double v) {
        std::int64_t q = 0;
        if (std::isnan(v))
            cell.setHundredths(0);
        else if (round2ToHundredths(v, q))
            cell.setHundredths(q);
        else
            cell.setReadBack(round2OfText(v));
    };
    for (int i = 0; i < n; ++i) {
        const auto u = static_cast<std::size_t>(i);
        TStkDailyData& day = stock.Days[u];
        if (writeInputs) {
            // The records of a long series are not in the caches: ask for a later day's record
            // while this one is written.
            constexpr std::size_t kAhead = 3;
            if (u + kAhead < static_cast<std::size_t>(n)) {
                const auto* ahead = reinterpret_cast<const char*>(&stock.Days[u + kAhead]);
                for (std::size_t b = 0; b < sizeof(TStkDailyData); b += 64)
                    __builtin_prefetch(ahead + b, 1);
            }
            day.clearAll(); // a record of an earlier run
            DayValue* inputs = inputsOf(i);
            for (int k = 0; k < kInputsPerDay; ++k)
                day[kInputFields[k]] = std::move(inputs[k]);
        }
        for (std::size_t k = 0; k < storedFields.size(); ++k)
            day[storedFields[k]].setReadBackFrom(stored[k] + u);
        for (const DayField f : fields.whole) {
            // A whole number below 1E15 is written as its digits; a larger one in full.
            const long double v = s.at(f, i);
            if (std::isnan(v))
                day[f].clear();
            else if (std::fabs(v) < 1e15L)
                day[f].setReadBack(v);
            else
                day[f].setText(std::to_string(static_cast<std::int64_t>(v)));
        }
        for (std::size_t k = 0; k < roundedFields.size(); ++k)
            writeRounded(day[roundedFields[k]], rounded[k][u]);
        for (std::size_t k = 0; k < hundredths.size(); ++k) {
            const std::int64_t q = hundredths[k][u];
            if (q != SeriesWork::kSettleLater)
                day[kFinalFields[k]].setHundredths(q);
            else
                writeRounded(day[kFinalFields[k]], s.settleValue(kFinalFields[k], i));
        }
    }
    return {};
}

} // namespace vorteq
