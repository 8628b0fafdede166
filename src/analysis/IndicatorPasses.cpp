// The indicator passes of one stock: its prices read once, then every stage of the indicator
// table, pass by pass.
#include "analysis/DayInputs.h"
#include "analysis/TStkAnalisys.h"
#include "indicators/IndicatorTable.h"
#include "indicators/SeriesWork.h"

#include <optional>

namespace vorteq {

using namespace analysis_detail;

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
                return makeError(ErrorCode::Data, "株価データの数値が正しくありません: " + stock.StkCd + " " +
                                                      inputs[0].text() + " " +
                                                      std::string(dayFieldName(p.field)) + " = " +
                                                      quoted(price.text()));
            (s.*p.series)[static_cast<std::size_t>(i)] = *v;
            // A number's text is "0" exactly when it is zero.
            if (price.isNumber() ? *v == 0 : price.textEquals("0"))
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
                             std::string(dayFieldName(static_cast<DayField>(s.missingField))));
    }
    writeDays(stock, writeInputs);
    return {};
}

} // namespace vorteq
