#include "indicators/IndicatorTable.h"

#include <algorithm>
#include <array>
#include <cassert>

namespace vorteq {
namespace indicators {
// Each defined in the indicator's own file.
extern const IndicatorDef kTrueRange, kDayRates, kVolumeRates, kIntegerChangeRate, kDmi, kUltimateOscillator,
    kMovingAverages, kBollingerBands, kCci, kAbRatio, kDpo, kWilliamsR, kRci, kPsychologicalLine,
    kPriceMovePsychologicalLine, kStochastics, kVolumeRatios, kRsi, kParabolic, kConsecutiveDays,
    kWilderVolatility, kMacd;
} // namespace indicators

namespace {

// In the order the passes run them. Within passes 1 to 3 an indicator reads only earlier passes, so
// the order there only decides which missing value is reported first; pass 4 keeps the order of the
// recursive indicators.
const IndicatorDef* const kTable[] = {
    &indicators::kTrueRange,
    &indicators::kDayRates,
    &indicators::kVolumeRates,
    &indicators::kIntegerChangeRate,
    &indicators::kDmi,
    &indicators::kUltimateOscillator,
    &indicators::kMovingAverages,
    &indicators::kBollingerBands,
    &indicators::kCci,
    &indicators::kAbRatio,
    &indicators::kDpo,
    &indicators::kWilliamsR,
    &indicators::kRci,
    &indicators::kPsychologicalLine,
    &indicators::kPriceMovePsychologicalLine,
    &indicators::kStochastics,
    &indicators::kVolumeRatios,
    &indicators::kRsi,
    &indicators::kParabolic,
    &indicators::kConsecutiveDays,
    &indicators::kWilderVolatility,
    &indicators::kMacd,
};

struct Derived {
    std::vector<TableParam> params;
    std::array<std::vector<DayField>, 3> outputs; // by OutputKind
    std::array<const IndicatorDef*, kDayFieldCount> writer{};
    std::vector<PrecomputedColumn> columns; // by place
};

const Derived& derived()
{
    static const Derived d = [] {
        Derived out;
        for (const IndicatorDef* ind : kTable) {
            for (const ParamDef& p : ind->params)
                out.params.push_back({ind, &p, out.params.size()});
            for (const OutputDef& o : ind->outputs) {
                out.outputs[static_cast<std::size_t>(o.kind)].push_back(o.field);
                auto& w = out.writer[static_cast<std::size_t>(pos(o.field))];
                assert(!w && "two indicators write one day field");
                w = ind;
                if (!o.column.name.empty()) {
                    assert(o.column.place >= 0 && "a daily-table column without its place");
                    const auto place = static_cast<std::size_t>(o.column.place);
                    if (out.columns.size() <= place)
                        out.columns.resize(place + 1);
                    assert(out.columns[place].name.empty() && "two outputs in one daily-table column");
                    out.columns[place] = {o.column.name, o.field, o.column.number};
                }
            }
        }
        assert(std::none_of(out.columns.begin(), out.columns.end(),
                            [](const PrecomputedColumn& c) { return c.name.empty(); }) &&
               "a place among the precomputed columns that no output takes");
        return out;
    }();
    return d;
}

} // namespace

std::span<const IndicatorDef* const> indicatorTable()
{
    return kTable;
}

std::span<const TableParam> tableParams()
{
    return derived().params;
}

std::vector<long double> defaultParamValues()
{
    std::vector<long double> values;
    for (const TableParam& p : tableParams())
        values.push_back(p.def->defaultValue);
    return values;
}

const TableParam* findTableParam(std::string_view key)
{
    for (const TableParam& p : tableParams())
        if (p.def->key == key)
            return &p;
    return nullptr;
}

ParamValues paramsOf(const IndicatorDef& indicator, std::span<const long double> all)
{
    for (const TableParam& p : tableParams())
        if (p.indicator == &indicator)
            return ParamValues(all.subspan(p.index, indicator.params.size()));
    return ParamValues({});
}

std::span<const DayField> outputsOfKind(OutputKind kind)
{
    return derived().outputs[static_cast<std::size_t>(kind)];
}

const IndicatorDef* writerOf(DayField field)
{
    return derived().writer[static_cast<std::size_t>(pos(field))];
}

std::string_view dayFieldName(DayField field)
{
    const std::string_view named = kDayFieldNames[static_cast<std::size_t>(pos(field))];
    if (!named.empty())
        return named;
    const IndicatorDef* writer = writerOf(field);
    return writer ? writer->name : std::string_view{};
}

std::span<const PrecomputedColumn> precomputedColumns()
{
    return derived().columns;
}

} // namespace vorteq
