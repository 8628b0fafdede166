// Reading the computed columns back into the day records: the final pass, which writes each
// field as the indicator table says (rounded to two decimals, as a whole number, or as computed).
#include "analysis/DayInputs.h"
#include "analysis/TStkAnalisys.h"
#include "indicators/IndicatorTable.h"
#include "indicators/SeriesWork.h"
#include "indicators/TextRates.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cmath>
#include <string>
#include <vector>

namespace vorteq {
namespace {

// The computed fields by how the final pass writes them (indicator table), with the rounded
// fields split into those kept as stored values (later steps read them too) and the final fields,
// kept as hundredths.
struct FinalPassFields {
    std::vector<DayField> stored;
    std::vector<DayField> roundedFromValues;
    std::vector<DayField> whole;
    // The positions that neither the inputs nor the final pass write: emptied in a record used
    // again.
    std::vector<int> untouched;
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
        std::array<bool, kDayFieldCount> written{};
        for (const DayField d : analysis_detail::kInputFields)
            written[static_cast<std::size_t>(pos(d))] = true;
        for (const auto* list : {&stored, &whole, &rounded})
            for (const DayField d : *list)
                written[static_cast<std::size_t>(pos(d))] = true;
        for (int p = 0; p < kDayFieldCount; ++p)
            if (!written[static_cast<std::size_t>(p)])
                f.untouched.push_back(p);
        assert(std::all_of(std::begin(kFinalFields), std::end(kFinalFields),
                           [&](DayField d) {
                               return std::find(rounded.begin(), rounded.end(), d) != rounded.end();
                           }) &&
               "a field kept as hundredths that is not rounded");
        return f;
    }();
    return fields;
}

} // namespace

using namespace analysis_detail;

void TStkAnalisys::writeDays(TStkData& stock, bool writeInputs)
{
    SeriesWork& s = *m_work;
    const int n = stock.DayCount;
    const auto inputsOf = [&](int i) { return &s.inputs[static_cast<std::size_t>(i * kInputsPerDay)]; };

    // Pass 5, with the copy into the day records: the rounded fields truncated to two decimals,
    // an empty one reading "0"; every other computed field as stored. A series computed before
    // gets every field anew. With writeInputs, each record is also given its date and prices and
    // its other positions are emptied, so that it is written in one go.
    const FinalPassFields& fields = finalPassFields();
    const std::vector<DayField>& storedFields = fields.stored;
    const std::vector<DayField>& roundedFields = fields.roundedFromValues;
    std::array<const long double*, kDayFieldCount> stored{};
    for (std::size_t k = 0; k < storedFields.size(); ++k)
        stored[k] = s.column(storedFields[k]);
    std::array<const long double*, kDayFieldCount> rounded{};
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
            // A record of an earlier run: every other position is written below.
            for (const int p : fields.untouched)
                day[p].clear();
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
}

} // namespace vorteq
