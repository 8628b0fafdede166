#include "simulation/TradeSizing.h"

#include <cmath>

namespace vorteq {
namespace {

// The loop that sizes an opening tries 1, 2, ... units up to this count; when all fit, one less is
// bought.
constexpr long double kUnitTrials = 100000;

} // namespace

long double affordableUnits(const MoneySettings& money, long double cash, long double unitPrice)
{
    const long double u = money.unitShares;
    const long double c = money.commission == CommissionKind::None ? 0 : money.commissionAmount;
    // Whether n units fit the cash, with the commission of the opening.
    const auto fits = [&](long double n) {
        const long double amount = n * u * unitPrice;
        switch (money.commission) {
        case CommissionKind::None:
            return cash >= amount;
        case CommissionKind::Yen:
            return amount <= cash - c;
        case CommissionKind::Percent:
            return cash >= amount + amount * c / 100;
        }
        return false;
    };
    // One less than the first count that does not fit; all fitting gives one less than the trials.
    const auto countUp = [&]() -> long double {
        for (long double n = 1; n <= kUnitTrials; ++n)
            if (!fits(n))
                return n - 1;
        return kUnitTrials - 1;
    };
    if (money.commission == CommissionKind::Percent && c < 0)
        return countUp(); // a negative rate need not grow with the count

    // The cost grows with the count, so the answer is the largest count that fits: start from
    // the division and settle it with the same comparisons the count-up makes.
    const long double budget = money.commission == CommissionKind::None  ? cash
                               : money.commission == CommissionKind::Yen ? cash - c
                                                                         : cash / (1 + c / 100);
    long double n = std::floor(budget / (u * unitPrice));
    if (!(n >= 0))
        n = 0;
    if (n > kUnitTrials)
        n = kUnitTrials;
    int steps = 0;
    while (n >= 1 && !fits(n)) {
        --n;
        if (++steps > 4)
            return countUp();
    }
    while (n < kUnitTrials && fits(n + 1)) {
        ++n;
        if (++steps > 4)
            return countUp();
    }
    return n >= kUnitTrials ? kUnitTrials - 1 : n;
}

} // namespace vorteq
