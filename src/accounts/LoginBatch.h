#pragma once

#include "accounts/TUSRInfo.h"
#include "gateway/TSqlSet.h"

#include <optional>
#include <string>
#include <string_view>

namespace vorteq {

// The user statement of the login batch: name, e-mail and mail status of an account that may log in
// with this user ID and password. Quotes in the typed texts are doubled.
std::string loginUserStatement(std::string_view userId, std::string_view password);

// The second statement of the login batch: the update dates, stock prices first, exchange rates second.
std::string updateDatesStatement();

// What a successful login brings back.
struct LoginReply {
    TUSRInfo user;
    std::optional<std::string> stkUpdDate; // absent when the reply holds no such row
    std::optional<std::string> fxUpdDate;

    bool mailUndeliverable() const { return user.mailStatus == "1"; }
};

// Reads the two result items of an executed login batch. Empty when the user statement found no row:
// no such user, a wrong password or a blocked account.
std::optional<LoginReply> readLoginReply(const TSqlSet& userItem, const TSqlSet& datesItem,
                                         std::string userId, std::string password);

// A refused login that the server answered as throttled (too many failures from this address): the
// seconds to wait before the next try, 0 when the server names none; empty for an ordinary refusal.
// loginHeader and retryAfter are the reply headers "X-Vorteq-Login" and "Retry-After".
std::optional<int> throttledLoginWait(std::string_view loginHeader, std::string_view retryAfter);

// The message for a throttled login or password change, naming the wait when it is known.
std::string throttledLoginMessage(int seconds);

} // namespace vorteq
