#pragma once

namespace vorteq {

// The simulation's result for one stock (trades, position, money, statistics). The trade
// execution fills it; the indicator computation never touches it. Its members belong to the
// simulation subsystem, which completes this type.
struct TUserResult {};

} // namespace vorteq
