// The analysis object's run: its parameters from the indicator table and the conditions, and the
// steps of Analyze, the simulation last when one is set.
#include "analysis/TStkAnalisys.h"

#include "analysis/DayInputs.h"
#include "common/NumberText.h"
#include "indicators/IndicatorTable.h"
#include "indicators/SeriesWork.h"

#include <cassert>

namespace vorteq {

using analysis_detail::quoted;

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

} // namespace vorteq
