#include "simulation/TradeFees.h"

#include "common/NumberText.h"

namespace vorteq {

long double commissionOf(const MoneySettings& money, long double amount)
{
    switch (money.commission) {
    case CommissionKind::Yen:
        return money.commissionAmount;
    case CommissionKind::Percent:
        return static_cast<long double>(truncateToInt64(amount * money.commissionAmount / 100));
    case CommissionKind::None:
        break;
    }
    return 0;
}

} // namespace vorteq
