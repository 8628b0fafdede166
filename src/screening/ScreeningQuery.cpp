#include "screening/ScreeningQuery.h"

#include "common/NumberText.h"
#include "common/SqlText.h"
#include "common/TextFile.h"
#include "screening/StockListColumns.h"
#include "series/MarketTable.h"

#include <algorithm>
#include <system_error>

namespace vorteq {

namespace {

constexpr int kAbove = 0; // "以上"
constexpr int kRise = 0;  // "上昇"

// "SELECT a.STK_CD, a.STK_NM, ..., a.MKT_CD FROM ": the 46 result columns, the market code last.
const std::string& selectColumns()
{
    static const std::string text = [] {
        std::string s = "SELECT ";
        for (std::size_t i = 0; i < kStockListColumns.size(); ++i) {
            if (i > 0)
                s += ", ";
            s += kStockListColumns[i].source;
        }
        s += " FROM ";
        return s;
    }();
    return text;
}

// "以上" means at least as far from zero as N on N's side; "以下" means between zero and N. For the
// deviation ratios and the volume change "以下" takes the positive side only when N is above zero.
void appendSignedThreshold(std::string& sql, std::string_view column, std::string_view text, long double n,
                           int op, bool strictBelowSign)
{
    sql += "AND c.";
    sql += column;
    sql += ' ';
    if (op == kAbove) {
        sql += n >= 0 ? ">= " : "<= ";
        sql += text;
        sql += ' ';
        return;
    }
    const bool positive = strictBelowSign ? n > 0 : n >= 0;
    sql += positive ? "<= " : ">= ";
    sql += text;
    sql += " AND c.";
    sql += column;
    sql += positive ? " >= 0 " : " <= 0 ";
}

std::string averageColumn(int period)
{
    return "c.MA_" + std::string(kAveragePeriodSuffixes[static_cast<std::size_t>(period)]);
}

// True when every choice of the row names an item of its list.
bool choicesInRange(const ScreeningCondition& condition, const ConditionState& state)
{
    std::size_t k = 0;
    for (std::size_t i = 0; i < condition.controlCount; ++i) {
        const ConditionControl& control = condition.controls[i];
        if (control.kind != InputKind::Choice)
            continue;
        const int chosen = state.choices[k++];
        if (chosen < 0 || chosen >= static_cast<int>(control.items.size()))
            return false;
    }
    return true;
}

// The fragment of one ticked condition whose number (if any) has been checked and whose choices are in range.
void appendFragment(std::string& sql, const ScreeningCondition& condition, const ConditionState& state)
{
    const std::string& text = state.number;
    const long double n = condition.numberControl() ? parseNumber(text).value_or(0) : 0;
    const auto& ch = state.choices;
    switch (condition.rule) {
    case FragmentRule::SignedThreshold:
        appendSignedThreshold(sql, condition.column, text, n, ch[0], condition.strictBelowSign);
        break;
    case FragmentRule::StochasticThreshold:
        appendSignedThreshold(sql, condition.fragments[static_cast<std::size_t>(ch[0])], text, n, ch[1],
                              false);
        break;
    case FragmentRule::RenzokuDays:
        // The operator follows the choice only: the number counts days, whichever the direction.
        sql += "AND c.RENZOKU ";
        sql += ch[0] == kAbove ? ">= " : "<= ";
        sql += text;
        sql += ' ';
        sql += ch[1] == kRise ? "AND c.PY_RANGE > 0 " : "AND c.PY_RANGE < 0 ";
        break;
    case FragmentRule::AverageAgainstClose:
        sql += "AND " + averageColumn(ch[0]) + ' ';
        sql += ch[1] == kAbove ? "<= c.E_PRICE " : ">= c.E_PRICE ";
        break;
    case FragmentRule::AverageDeviation:
        appendSignedThreshold(
            sql, "MARATIO_" + std::string(kAveragePeriodSuffixes[static_cast<std::size_t>(ch[0])]), text, n,
            ch[1], false);
        break;
    case FragmentRule::AverageAgainstAverage:
        sql += "AND " + averageColumn(ch[0]) + ' ';
        sql += ch[2] == kAbove ? ">= " : "<= ";
        sql += averageColumn(ch[1]) + ' ';
        break;
    case FragmentRule::AverageAverageDeviation: {
        // The ratio is computed in SQL as a fraction, so the typed percentage is divided by 100.
        const std::string a = averageColumn(ch[0]);
        const std::string b = averageColumn(ch[1]);
        const std::string ratio = formatNumber(n / 100);
        sql += "AND (" + a + " - " + b + ") / " + b + ' ';
        if (ch[2] == kAbove) {
            sql += n >= 0 ? ">= " : "<= ";
            sql += ratio + ' ';
        } else if (n >= 0) {
            sql += "<= " + ratio + " AND " + a + " >= " + b + ' ';
        } else {
            sql += ">= " + ratio + " AND " + a + " <= " + b + ' ';
        }
        break;
    }
    case FragmentRule::FixedChoice:
        sql += condition.fragments[static_cast<std::size_t>(ch[0])];
        break;
    }
}

bool isPlainDigits(std::string_view text)
{
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

Error invalid(std::string_view message)
{
    return makeError(ErrorCode::Validation, std::string(message));
}

} // namespace

std::optional<NumberCheckFailure> search_check_numbers(const ScreeningCriteria& criteria)
{
    const auto& table = screeningConditions();
    for (std::size_t i = 0; i < table.size(); ++i) {
        const ConditionState& state = criteria.conditions[i];
        if (!state.use || !table[i].numberControl())
            continue;
        if (state.number.empty())
            return NumberCheckFailure{i, std::string(kNumberMissingMessage)};
        if (!parseNumber(state.number))
            return NumberCheckFailure{i, std::string(kNumberInvalidMessage)};
    }
    return std::nullopt;
}

Result<std::string> buildScreeningSql(const ScreeningCriteria& criteria, std::string_view registeredFilter)
{
    if (auto failure = search_check_numbers(criteria))
        return invalid(failure->message);
    const MarketEntry* market = marketAt(criteria.marketPosition);
    if (!market)
        return invalid("市場名称の選択が正しくありません。");
    const std::string date = formatDate(criteria.baseDate);
    if (!parseDate(date))
        return invalid("基準日が正しくありません。");
    const std::string_view year = std::string_view(date).substr(0, 4);

    std::string where = "WHERE a.MKT_CD = b.MKT_CD ";
    if (criteria.target == StockTarget::Registered) {
        if (registeredFilter.empty())
            return invalid(kNoRegisteredStocksMessage);
        where += registeredFilter;
    }
    where += "AND a.MKT_CD = ";
    where += market->code;
    where += ' ';
    // Both fields match by prefix; a quote typed into them is doubled so that it stays inside the literal.
    if (!criteria.stockCode.empty())
        where += "AND a.STK_CD LIKE '" + escapeSqlText(criteria.stockCode) + "%' ";
    if (!criteria.stockName.empty())
        where += "AND a.STK_NM LIKE '" + escapeSqlText(criteria.stockName) + "%' ";

    const auto& table = screeningConditions();
    for (std::size_t i = 0; i < table.size(); ++i) {
        const ConditionState& state = criteria.conditions[i];
        if (!state.use)
            continue;
        if (!choicesInRange(table[i], state))
            return invalid("「" + std::string(table[i].caption) + "」の選択が正しくありません。");
        appendFragment(where, table[i], state);
    }
    where += " AND a.STK_CD = c.STK_CD ";
    where += " AND c.E_PRICE <> 0 ";
    where += " AND c.STK_DATE = '" + date + "' ";

    std::string sql = selectColumns();
    sql += "STK_INFO a, MKT_INFO b ";
    sql += ", " + dailyTableName(*market, year) + " c ";
    sql += where;
    sql += "ORDER BY a.STK_CD ";
    return sql;
}

std::string registeredStockFilter(const std::vector<std::string>& indexLines, std::string_view marketCode)
{
    std::vector<std::string_view> codes;
    for (const std::string& line : indexLines) {
        const std::size_t first = line.find(',');
        if (first == std::string::npos)
            continue;
        const std::size_t second = line.find(',', first + 1);
        if (second == std::string::npos)
            continue;
        if (std::string_view(line).substr(first + 1, second - first - 1) == marketCode)
            codes.push_back(std::string_view(line).substr(0, first));
    }
    if (codes.empty())
        return {};
    if (codes.size() == 1)
        return "AND a.STK_CD = '" + escapeSqlText(codes.front()) + "'";
    std::string filter = "AND a.STK_CD IN (";
    for (std::size_t i = 0; i < codes.size(); ++i) {
        if (i > 0)
            filter += ',';
        if (isPlainDigits(codes[i]))
            filter += codes[i];
        else
            filter.append("'").append(escapeSqlText(codes[i])).append("'");
    }
    filter += ") ";
    return filter;
}

Result<std::string> search_registered_filter(const std::filesystem::path& baseDir, int marketPosition)
{
    const MarketEntry* market = marketAt(marketPosition);
    if (!market)
        return invalid("市場名称の選択が正しくありません。");
    const std::filesystem::path path = conditionIndexPath(baseDir);
    std::error_code ec;
    if (!std::filesystem::exists(path, ec))
        return std::string();
    auto lines = readTextLines(path);
    if (!lines)
        return lines.error();
    return registeredStockFilter(*lines, market->code);
}

std::string stockNameQuery(std::string_view stockCode, std::string_view marketCode)
{
    return "SELECT a.STK_NM FROM STK_INFO a WHERE a.STK_CD = '" + escapeSqlText(stockCode) +
           "' AND a.MKT_CD = " + std::string(marketCode) + " ";
}

std::string marketCodesQuery(std::string_view marketCode)
{
    return "SELECT a.STK_CD FROM STK_INFO a WHERE a.MKT_CD = " + std::string(marketCode) +
           " ORDER BY a.STK_CD";
}

std::string marketStocksQuery(std::string_view marketCode)
{
    return "SELECT a.STK_CD, a.STK_NM, a.MKT_CD FROM STK_INFO a WHERE a.MKT_CD = " + std::string(marketCode) +
           " ORDER BY a.STK_CD";
}

} // namespace vorteq
