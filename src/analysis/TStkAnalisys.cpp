#include "analysis/TStkAnalisys.h"

#include "analysis/Indicators.h"
#include "analysis/SeriesWork.h"
#include "analysis/TextRates.h"
#include "common/NumberText.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <unordered_map>

namespace vorteq {
namespace {

// One indicator parameter and the condition key that overrides its default, in the order the
// keys are read (a conversion error stops at the first faulty key).
struct ParamBinding {
    int key;
    int TStkAnalisys::*period;         // integer periods (days)
    long double TStkAnalisys::*factor; // extended parameters
};

constexpr ParamBinding kParamBindings[] = {
    {fieldNo("AmtBuyIdo"), &TStkAnalisys::DayIdo1, nullptr},
    {fieldNo("AmtBuyKairi1"), &TStkAnalisys::DayIdo2, nullptr},
    {fieldNo("AmtBuyCloss1"), &TStkAnalisys::DayIdo3, nullptr},
    {fieldNo("AmtBuyCloss2"), &TStkAnalisys::DayIdo4, nullptr},
    {fieldNo("AmtBuyRSI1"), &TStkAnalisys::DayRSI, nullptr},
    {fieldNo("AmtBuyDMI"), &TStkAnalisys::DayDMI, nullptr},
    {fieldNo("AmtBuyRCI1"), &TStkAnalisys::DayRCI, nullptr},
    {fieldNo("AmtBuyVRA1"), &TStkAnalisys::DayVR, nullptr},
    {fieldNo("AmtBuyVRW1"), &TStkAnalisys::DayVRW, nullptr},
    {fieldNo("AmtBuySTK1"), &TStkAnalisys::DaySTC_K, nullptr},
    {fieldNo("AmtDaySTC_D"), &TStkAnalisys::DaySTC_D, nullptr},
    {fieldNo("AmtDaySTC_SD"), &TStkAnalisys::DaySTC_SD, nullptr},
    {fieldNo("AmtBuyPSY1"), &TStkAnalisys::DayPSY, nullptr},
    {fieldNo("AmtBuyMPSY1"), &TStkAnalisys::DayMPSY, nullptr},
    {fieldNo("AmtDayABRatio"), &TStkAnalisys::DayABRatio, nullptr},
    {fieldNo("AmtBuyMACD1"), &TStkAnalisys::DayMACShort, nullptr},
    {fieldNo("AmtBuyMACD2"), &TStkAnalisys::DayMACLong, nullptr},
    {fieldNo("AmtDayMAC_SI"), &TStkAnalisys::DayMAC_SI, nullptr},
    {fieldNo("AmtDayParaboAf"), nullptr, &TStkAnalisys::ParaboAfStep},
    {fieldNo("AmtDayParaboLim"), nullptr, &TStkAnalisys::ParaboAfLim},
    {fieldNo("AmtBuyWilR1"), &TStkAnalisys::DayWilR, nullptr},
    {fieldNo("AmtDayWIL"), &TStkAnalisys::DayWIL, nullptr},
    {fieldNo("AmtDayWIL_VI"), nullptr, &TStkAnalisys::WIL_VI},
    {fieldNo("AmtBuyVolin"), &TStkAnalisys::DayVolin, nullptr},
    {fieldNo("AmtDayCCI"), &TStkAnalisys::DayCCI, nullptr},
    {fieldNo("AmtDayDPO"), &TStkAnalisys::DayDPO, nullptr},
    {fieldNo("AmtDayOSI"), &TStkAnalisys::DayOSI, nullptr},
};
static_assert(std::size(kParamBindings) == 27);

// The 40 fields that the final pass truncates to two decimals (an empty one becomes "0").
constexpr DayField kRoundedFields[] = {
    DayField::ARatio,
    DayField::ADX,
    DayField::BRatio,
    DayField::CCI,
    DayField::DPO,
    DayField::STC_D,
    DayField::STC_K,
    DayField::STC_SD,
    DayField::UpperShadowRate,
    DayField::LowerShadowRate,
    DayField::VRB,
    DayField::MACD,
    DayField::MinusDI,
    DayField::MPSY,
    DayField::MACSignal,
    DayField::OSI,
    DayField::PlusDI,
    DayField::PSY,
    DayField::ToujituRate,
    DayField::ZenjituRate,
    DayField::ParaboSAR,
    DayField::RCI,
    DayField::RSI,
    DayField::IdoAvg1,
    DayField::Kairi1,
    DayField::IdoAvg2,
    DayField::Kairi2,
    DayField::IdoAvg3,
    DayField::Kairi3,
    DayField::IdoAvg4,
    DayField::Kairi4,
    DayField::VlmRate,
    DayField::VolinMinus1,
    DayField::VolinMinus2,
    DayField::VolinPlus1,
    DayField::VolinPlus2,
    DayField::VRA,
    DayField::WilSAR,
    DayField::WilR,
    DayField::VRW,
};
static_assert(std::size(kRoundedFields) == 40);

// The rounded fields that later steps read too, kept as stored values; the others are the final
// fields, kept as hundredths.
constexpr std::size_t kFinalRoundedCount = static_cast<std::size_t>(
    std::count_if(std::begin(kRoundedFields), std::end(kRoundedFields), SeriesWork::isFinal));
static_assert(kFinalRoundedCount == std::size(kFinalFields), "a final field that is not rounded");
constexpr auto kRoundedFromValues = [] {
    std::array<DayField, std::size(kRoundedFields) - kFinalRoundedCount> out{};
    std::size_t k = 0;
    for (const DayField f : kRoundedFields)
        if (!SeriesWork::isFinal(f))
            out[k++] = f;
    return out;
}();

// The computed fields that the final pass copies as they are: every field an indicator writes but
// the rounded ones and the two integer rates.
constexpr std::array<DayField, 23> kStoredFields = {
    DayField::RenzokuDays, DayField::RSIUpAvg, DayField::RSIDownAvg, DayField::CCITypAvg,
    DayField::CCITypDev,   DayField::DPOAvg,   DayField::OSIRange,   DayField::OSIPressure,
    DayField::TrueRange,   DayField::STC_High, DayField::STC_Low,    DayField::MACShortEMA,
    DayField::MACLongEMA,  DayField::MACDOsc,  DayField::PlusDM,     DayField::MinusDM,
    DayField::DX,          DayField::ParaboAf, DayField::ParaboPos,  DayField::ParaboEp,
    DayField::WilATR,      DayField::WilSIC,   DayField::WilPos,
};

// Every named position from the first computed one on is either copied or rounded.
constexpr int namedComputedFields()
{
    int count = 0;
    for (int p = SeriesWork::kFirstComputed; p < kDayFieldCount; ++p)
        count += kDayFieldNames[static_cast<std::size_t>(p)].empty() ? 0 : 1;
    return count;
}
static_assert(static_cast<int>(kStoredFields.size() + 2 + std::size(kRoundedFields)) == namedComputedFields(),
              "a computed field is neither copied nor rounded by the final pass");

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

TStkAnalisys::TStkAnalisys() : m_work(std::make_unique<SeriesWork>()) {}
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
    DayIdo1 = 5;
    DayIdo2 = 15;
    DayIdo3 = 25;
    DayIdo4 = 50;
    DayRSI = 9;
    DayRCI = 9;
    DayPSY = 12;
    DayMPSY = 12;
    DayVR = 14;
    DayVRW = 14;
    DaySTC_K = 9;
    DaySTC_D = 5;
    DaySTC_SD = 3;
    DayMACShort = 12;
    DayMACLong = 26;
    DayMAC_SI = 9;
    DayOSI = 7;
    DayDMI = 14;
    DayABRatio = 26;
    DayWilR = 10;
    ParaboAfStep = 0.02L;
    ParaboAfLim = 2.0L;
    DayWIL = 7;
    WIL_VI = 3.0L;
    DayVolin = 20;
    DayCCI = 20;
    DayDPO = 20;
}

Status TStkAnalisys::LoadParams()
{
    for (const ParamBinding& b : kParamBindings) {
        const std::string& text = Jouken[b.key];
        if (text.empty())
            continue; // the default stays
        const std::string_view key = kJoukenFields[b.key].key;
        if (b.period) {
            const auto v = parseInt32(text);
            if (!v)
                return makeError(ErrorCode::Validation, "計算条件の数値が正しくありません: " +
                                                            std::string(key) + " = " + quoted(text));
            // Every window needs at least one day; a period of 0 would divide by zero.
            if (*v < 1)
                return makeError(ErrorCode::Validation, "計算条件の期間は1以上にしてください: " +
                                                            std::string(key) + " = " + quoted(text));
            this->*b.period = *v;
        } else {
            const auto v = parseNumber(text);
            if (!v)
                return makeError(ErrorCode::Validation, "計算条件の数値が正しくありません: " +
                                                            std::string(key) + " = " + quoted(text));
            this->*b.factor = *v;
        }
    }
    if (DayMACShort >= DayMACLong)
        return makeError(ErrorCode::Validation,
                         "MACDのロング期間はショート期間より大きくしてください: AmtBuyMACD1 = " +
                             std::to_string(DayMACShort) + ", AmtBuyMACD2 = " + std::to_string(DayMACLong));
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
            if (kDayFieldNames[static_cast<std::size_t>(f)].empty())
                day[f].clear();
        for (int k = 0; k < kInputsPerDay; ++k)
            s.inputs[static_cast<std::size_t>(i * kInputsPerDay + k)] = day[kInputFields[k]];
    }
    return calculate(stock, false);
}

Status TStkAnalisys::calculate(TStkData& stock, bool writeInputs)
{
    namespace ind = indicators;
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

    // Pass 1: what reads only the prices, each indicator over every day.
    ind::trueRange(s);
    ind::dayRates(s);
    ind::volumeRates(s);
    ind::integerChangeRate(s);
    ind::directionalMovement(s);
    ind::ultimateOscillatorInputs(s);
    ind::movingAverage(s, DayIdo1, DayField::IdoAvg1, DayField::Kairi1);
    ind::movingAverage(s, DayIdo2, DayField::IdoAvg2, DayField::Kairi2);
    ind::movingAverage(s, DayIdo3, DayField::IdoAvg3, DayField::Kairi3);
    ind::movingAverage(s, DayIdo4, DayField::IdoAvg4, DayField::Kairi4);
    ind::bollingerBands(s, DayVolin);
    ind::cciTypicalPrice(s, DayCCI);
    ind::abRatio(s, DayABRatio);
    ind::dpoAverage(s, DayDPO);
    ind::williamsR(s, DayWilR);
    ind::rci(s, DayRCI);
    ind::psychologicalLine(s, DayPSY);
    ind::priceMovePsychologicalLine(s, DayMPSY);
    ind::stochasticsK(s, DaySTC_K);
    ind::volumeRatios(s, DayVR, DayVRW);
    // Pass 2: what reads pass 1's stored fields.
    ind::directionalIndex(s, DayDMI);
    ind::ultimateOscillator(s, DayOSI);
    ind::cci(s, DayCCI);
    ind::dpo(s, DayDPO);
    ind::stochasticsD(s, DaySTC_D);
    // Pass 3: averages of pass 2's fields.
    ind::adx(s, DayDMI);
    ind::stochasticsSlowD(s, DaySTC_SD);
    // Pass 4, oldest day to newest: the recursive indicators. It ends at a day whose close text is
    // "0" (looked at before the step after it; day 0 before the first step).
    int steps = 0;
    while (steps < n && !s.zero(steps == 0 ? 0 : n - steps, SeriesWork::kZeroClose))
        ++steps;
    s.computing(4, 0);
    ind::rsi(s, steps, DayRSI);
    s.computing(4, 1);
    ind::parabolic(s, steps, ParaboAfStep, ParaboAfLim);
    s.computing(4, 2);
    ind::consecutiveDays(s, steps);
    s.computing(4, 3);
    ind::wilderVolatility(s, steps, DayWIL, WIL_VI);
    s.computing(4, 4);
    ind::macd(s, steps, DayMACShort, DayMACLong, DayMAC_SI);
    if (s.missingField >= 0) {
        return makeError(ErrorCode::Data,
                         "計算に必要な値がありません: " + stock.StkCd + " " +
                             inputsOf(s.missingDay)[0].text() + " " +
                             std::string(kDayFieldNames[static_cast<std::size_t>(s.missingField)]));
    }

    // Pass 5, with the copy into the day records: the 40 rounded fields truncated to two decimals,
    // an empty one reading "0"; every other computed field as stored. A series computed before
    // gets every field anew. With writeInputs, each record is first emptied and given its date and
    // prices, so that it is written in one go.
    std::array<const long double*, kStoredFields.size()> stored{};
    for (std::size_t k = 0; k < kStoredFields.size(); ++k)
        stored[k] = s.column(kStoredFields[k]);
    std::array<const long double*, kRoundedFromValues.size()> rounded{};
    for (std::size_t k = 0; k < rounded.size(); ++k)
        rounded[k] = s.column(kRoundedFromValues[k]);
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
        for (std::size_t k = 0; k < kStoredFields.size(); ++k)
            day[kStoredFields[k]].setReadBackFrom(stored[k] + u);
        for (const DayField f : {DayField::ZenjituRateInt, DayField::VlmRateInt}) {
            // A whole number below 1E15 is written as its digits; a larger one in full.
            const long double v = s.at(f, i);
            if (std::isnan(v))
                day[f].clear();
            else if (std::fabs(v) < 1e15L)
                day[f].setReadBack(v);
            else
                day[f].setText(std::to_string(static_cast<std::int64_t>(v)));
        }
        for (std::size_t k = 0; k < rounded.size(); ++k)
            writeRounded(day[kRoundedFromValues[k]], rounded[k][u]);
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
