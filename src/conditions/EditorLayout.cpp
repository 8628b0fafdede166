#include "conditions/EditorLayout.h"

#include "conditions/ConditionCatalogue.h"

namespace vorteq {
namespace {

// Every period and factor of the record has a place on the calculation tab, exactly once.
constexpr bool calcTabHoldsEveryParameter()
{
    for (const auto& f : kJoukenFields) {
        const bool parameter = f.role == NumberRole::Period || f.role == NumberRole::Factor;
        int places = 0;
        for (const auto& c : kCalcTabFields)
            places += c.field == f.no ? 1 : 0;
        if (places != (parameter ? 1 : 0))
            return false;
    }
    return true;
}
static_assert(calcTabHoldsEveryParameter(), "the calculation tab misses a parameter or shows one twice");

} // namespace

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
