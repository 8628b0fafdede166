#include "accounts/LoginBatch.h"

#include "accounts/AccountTexts.h"
#include "common/SqlText.h"

namespace vorteq {

std::string loginUserStatement(std::string_view userId, std::string_view password)
{
    std::string sql = "SELECT a.USR_NM, a.E_MAIL, a.MAIL_STATUS ";
    sql += "FROM USR_INFO a ";
    sql += "WHERE a.USR_STATUS <> 1 ";
    sql += "AND a.USR_ID = '";
    sql += escapeSqlText(userId);
    sql += "' ";
    sql += "AND a.PASS_WORD = '";
    sql += escapeSqlText(password);
    sql += "' ";
    return sql;
}

std::string updateDatesStatement()
{
    return "SELECT a.UPD_DATE "
           "FROM STK_UPD a "
           "ORDER BY a.UPD_FLG ";
}

std::optional<LoginReply> readLoginReply(const TSqlSet& userItem, const TSqlSet& datesItem,
                                         std::string userId, std::string password)
{
    if (userItem.RowCount <= 0 || !userItem.Tbl)
        return std::nullopt;

    LoginReply reply;
    reply.user.userId = std::move(userId);
    reply.user.password = std::move(password);
    reply.user.userName = userItem.Tbl->cell(1, 1);
    reply.user.email = userItem.Tbl->cell(2, 1);
    reply.user.mailStatus = userItem.Tbl->cell(3, 1);

    if (datesItem.Tbl) {
        if (datesItem.RowCount >= 1)
            reply.stkUpdDate = datesItem.Tbl->cell(1, 1);
        if (datesItem.RowCount >= 2)
            reply.fxUpdDate = datesItem.Tbl->cell(1, 2);
    }
    return reply;
}

std::optional<int> throttledLoginWait(std::string_view loginHeader, std::string_view retryAfter)
{
    if (loginHeader != "throttled")
        return std::nullopt;
    int seconds = 0;
    for (char c : retryAfter) {
        if (c < '0' || c > '9' || seconds > 864000)
            return 0;
        seconds = seconds * 10 + (c - '0');
    }
    return seconds;
}

std::string throttledLoginMessage(int seconds)
{
    std::string text = texts::kLoginThrottled;
    text += texts::kBreak;
    text += texts::kBreak;
    if (seconds <= 0)
        return text + texts::kLoginThrottledRetry;
    // Rounded up to whole minutes beyond a minute, as a person reads a wait.
    const std::string wait =
        seconds < 60 ? std::to_string(seconds) + "秒" : std::to_string((seconds + 59) / 60) + "分";
    return text + "約" + wait + "後に、もう一度お試しください。";
}

} // namespace vorteq
