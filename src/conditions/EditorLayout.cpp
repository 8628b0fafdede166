#include "conditions/EditorLayout.h"

#include "conditions/ConditionCatalogue.h"
#include "conditions/ValidationTable.h"
#include "indicators/IndicatorTable.h"

#include <algorithm>
#include <cassert>
#include <utility>
#include <vector>

namespace vorteq {
namespace {

// The indicator parameters in the tab's order: by column, then row; the fields of one row in the
// order their indicator lists them.
std::vector<const TableParam*> paramsInTabOrder()
{
    std::vector<const TableParam*> params;
    for (const TableParam& p : tableParams())
        params.push_back(&p);
    std::stable_sort(params.begin(), params.end(), [](const TableParam* a, const TableParam* b) {
        return std::pair(a->def->slot.column, a->def->slot.row) <
               std::pair(b->def->slot.column, b->def->slot.row);
    });
    return params;
}

int joukenFieldOf(const ParamDef& p)
{
    const auto no = lookupJoukenField(p.key);
    assert(no && "an indicator parameter without a condition key");
    return no.value_or(0);
}

} // namespace

std::span<const CalcTabField> calcTabFields()
{
    static const std::vector<CalcTabField> fields = [] {
        std::vector<CalcTabField> out;
        for (const TableParam* p : paramsInTabOrder()) {
            const CalcTabSlot& s = p->def->slot;
            out.push_back({s.column, s.row, s.heading, s.label, joukenFieldOf(*p->def)});
        }
        return out;
    }();
    return fields;
}

std::span<const ParameterRule> parameterRules()
{
    static const std::vector<ParameterRule> rules = [] {
        std::vector<ParameterRule> out;
        for (const TableParam* p : paramsInTabOrder()) {
            const ParamCheck& c = p->def->check;
            out.push_back({joukenFieldOf(*p->def), c.label, p->def->kind == ParamKind::Period, c.upperLimit,
                           c.upperMessage, c.lowerLimit, c.lowerMessage, c.extra, c.extraMessage,
                           c.emptyKeepsDefault});
        }
        return out;
    }();
    return rules;
}

int fieldMaxLength(int no)
{
    const JoukenFieldDef& f = kJoukenFields[no];
    switch (f.role) {
    case NumberRole::None:
        return 0;
    case NumberRole::Period:
        return 2;
    case NumberRole::Factor:
        return 3;
    case NumberRole::Amount:
        return f.key == "AmtTousi" ? 0 : 3;
    case NumberRole::Threshold:
        for (const auto& c : kConditions)
            for (Side side : {Side::Buy, Side::Sell})
                if (c.keys(side).threshold == no)
                    return editMaxLength(c, side);
        return 4;
    }
    return 0;
}

} // namespace vorteq
