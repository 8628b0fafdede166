#include "conditions/ConditionCatalogue.h"

#include <algorithm>

namespace vorteq {
namespace {

std::string_view controlOf(int fieldNo, int which)
{
    if (fieldNo < 0)
        return {};
    return kJoukenFields[fieldNo].controls[static_cast<std::size_t>(which)];
}

// Every key a condition names has the kind its role needs; checked once, when compiling.
constexpr bool catalogueMatchesKeyTable()
{
    for (const auto& c : kConditions) {
        for (const ConditionKeys* k : {&c.buy, &c.sell}) {
            if (kJoukenFields[k->use].kind != FieldKind::ConditionUse)
                return false;
            if (kJoukenFields[k->choice].kind != FieldKind::Choice)
                return false;
            if (k->threshold >= 0 && kJoukenFields[k->threshold].role != NumberRole::Threshold)
                return false;
            if (k->lineChoice >= 0 && kJoukenFields[k->lineChoice].kind != FieldKind::Choice)
                return false;
        }
        if ((c.buy.threshold < 0) != (c.sell.threshold < 0))
            return false;
    }
    return true;
}
static_assert(catalogueMatchesKeyTable(), "a condition names a key of the wrong kind");

} // namespace

std::string_view orBoxName(const ConditionDef& c, Side side)
{
    return controlOf(c.keys(side).use, 0);
}
std::string_view andBoxName(const ConditionDef& c, Side side)
{
    return controlOf(c.keys(side).use, 1);
}
std::string_view editName(const ConditionDef& c, Side side)
{
    return controlOf(c.keys(side).threshold, 0);
}
std::string_view choiceName(const ConditionDef& c, Side side)
{
    return controlOf(c.keys(side).choice, 0);
}
std::string_view lineChoiceName(const ConditionDef& c, Side side)
{
    return controlOf(c.keys(side).lineChoice, 0);
}

int editMaxLength(const ConditionDef& c, Side side)
{
    if (!c.hasThreshold())
        return 0;
    return side == Side::Sell && c.stem == "Kairi" ? 3 : 4;
}

std::span<const ConditionDef* const> conditionsInEditorOrder()
{
    static const auto order = [] {
        std::array<const ConditionDef*, kConditionCount> o{};
        for (int i = 0; i < kConditionCount; ++i)
            o[static_cast<std::size_t>(i)] = &kConditions[i];
        std::sort(o.begin(), o.end(), [](const ConditionDef* a, const ConditionDef* b) {
            return a->slot.column != b->slot.column ? a->slot.column < b->slot.column
                                                    : a->slot.row < b->slot.row;
        });
        return o;
    }();
    return order;
}

const ConditionDef* findCondition(std::string_view stem)
{
    for (const auto& c : kConditions)
        if (c.stem == stem)
            return &c;
    return nullptr;
}

} // namespace vorteq
