#include "simulation/TradeSimulation.h"

#include "common/DateText.h"
#include "common/NumberText.h"

#include <cassert>
#include <cmath>

namespace vorteq {
namespace {

constexpr std::string_view kOpenLong = "買い";
constexpr std::string_view kOpenShort = "空売り";
constexpr std::string_view kCloseLong = "売り";
constexpr std::string_view kCloseShort = "買戻し";
constexpr std::string_view kTakeProfit = "利確";
constexpr std::string_view kCutLoss = "損切";
constexpr std::string_view kActionJoin = "・";
constexpr std::string_view kNoReturn = "－"; // an opening trade has no return

// The loop that sizes an opening tries 1, 2, ... units up to this count; when all fit, one less is
// bought.
constexpr long double kUnitTrials = 100000;

Error settingError(std::string_view caption, std::string_view key, const std::string& text)
{
    return makeError(ErrorCode::Validation, "売買条件の設定が正しくありません: " + std::string(caption) +
                                                " " + std::string(key) + " = \"" + text + "\"");
}

// A date text as a date for comparing days; an impossible one compares as its text would.
bool laterThan(const std::string& a, const std::string& b)
{
    const auto da = parseDate(a);
    const auto db = parseDate(b);
    if (da && db)
        return *da > *db;
    return a > b;
}

// A change in percent truncated to two decimals, as text; "0" when there is nothing to divide by.
std::string changeText(long double from, long double to)
{
    if (from == 0)
        return "0";
    return formatNumber(truncate2((to - from) / from * 100));
}

char positionOf(const TUserResult& r)
{
    return r.Position.empty() ? kPositionFlat : r.Position[0];
}

} // namespace

Result<MoneySettings> readMoneySettings(const TJouken& j)
{
    MoneySettings m;
    const auto text = [&](std::string_view key) -> const std::string& { return j.value(key); };

    if (const auto v = parseNumber(text("AmtTousi")))
        m.capital = *v;
    else
        return settingError("初期投資金額", "AmtTousi", text("AmtTousi"));

    static constexpr long double kUnits[] = {1000, 100, 10, 1};
    const int unit = choiceIndex(text("KbnTani"));
    if (unit < 0)
        return settingError("売買単位株式数", "KbnTani", text("KbnTani"));
    m.unitShares = kUnits[unit];

    // "0" long only, "1" short only, "2" both; reversals only with both.
    const std::string& trade = text("KbnTrade");
    m.openLong = trade != "1";
    m.openShort = trade != "0";
    m.reverse = trade == "2";

    // With commission off its amount and unit are not read: leftovers there change nothing.
    if (text("UseTesuryo") == "1") {
        const std::string& kind = text("KbnTesuryo");
        if (kind == "0")
            m.commission = CommissionKind::Yen;
        else if (kind == "1")
            m.commission = CommissionKind::Percent;
        else
            return settingError("取引手数料の単位", "KbnTesuryo", kind);
        const std::string& amount = text("AmtTesuryo");
        if (!amount.empty()) {
            const auto v = parseNumber(amount);
            if (!v)
                return settingError("取引手数料", "AmtTesuryo", amount);
            m.commissionAmount = *v;
        }
    }

    if (text("UseRikaku") == "1") {
        const auto v = parseNumber(text("AmtRikaku"));
        if (!v)
            return settingError("利益確定", "AmtRikaku", text("AmtRikaku"));
        m.takeProfit = true;
        m.takeProfitPercent = *v;
    }
    m.reverseAfterProfit = text("KbnRikaku") == "0";

    if (text("UseSongiri") == "1") {
        const auto v = parseNumber(text("AmtSongiri"));
        if (!v)
            return settingError("損切り", "AmtSongiri", text("AmtSongiri"));
        m.cutLoss = true;
        m.cutLossPercent = *v;
    }
    m.reverseAfterLoss = text("KbnSongiri") == "0";

    static constexpr DayField kPrices[] = {DayField::SPrice, DayField::EPrice, DayField::HPrice,
                                           DayField::LPrice};
    const std::string& price = text("UseTradePrice");
    if (price.size() != 1 || price[0] < '1' || price[0] > '4')
        return settingError("売買時の取引価格", "UseTradePrice", price);
    m.tradePrice = kPrices[price[0] - '1'];
    return m;
}

TStkData& TradeSimulation::entry(int stock) const
{
    assert(stock >= 0 && stock < static_cast<int>(m_analysis.StkList.size()) && "stock index out of range");
    return m_analysis.StkList[static_cast<std::size_t>(stock)];
}

long double TradeSimulation::price(const TStkDailyData& day, DayField field) const
{
    // The engine has read every price of the series as a number before the simulation runs.
    const auto v = day[field].number();
    assert(v && "a price of the series is not a number");
    return v.value_or(0);
}

Status TradeSimulation::Simulate()
{
    Result<MoneySettings> money = readMoneySettings(m_analysis.Jouken);
    if (!money)
        return money.error();
    m_money = *money;
    for (int stock = 0; stock < static_cast<int>(m_analysis.StkList.size()); ++stock) {
        Status s = SimulateStock(stock);
        if (!s)
            return s;
    }
    return {};
}

Status TradeSimulation::SimulateStock(int stock)
{
    TStkData& s = entry(stock);
    const auto start = parseDate(s.TermStart);
    if (!start)
        return makeError(ErrorCode::Validation,
                         "シミュレーション期間の開始日が正しくありません: \"" + s.TermStart + "\"");
    s.UserResult = TUserResult{};
    for (TStkDailyData& day : s.Days) {
        day[DayField::Signal].clear();
        day[DayField::TradeAction].clear();
    }

    bool first = true;
    for (int d = s.DayCount - 1; d >= 0; --d) {
        TStkDailyData& day = s.Days[static_cast<std::size_t>(d)];
        const std::string date = day.text(DayField::StkDate);
        const auto when = parseDate(date);
        if (!when)
            return makeError(ErrorCode::Data,
                             "株価データの日付が正しくありません: " + s.StkCd + " \"" + date + "\"");
        // Days before the period and days without a close only fed the indicators.
        if (*when < *start || day[DayField::EPrice].textEquals("0"))
            continue;
        if (first) {
            StartTerm(stock, d);
            first = false;
        } else {
            TrackTermRange(stock, d);
        }

        TUserResult& u = s.UserResult;
        const char position = positionOf(u);
        const Result<char> judged = m_rules.JudgeSignal(stock, d, position);
        if (!judged)
            return judged.error();
        const char signal = *judged;
        day[DayField::Signal].setText(std::string_view(&signal, 1));

        char exit = '0';
        if (position != kPositionFlat)
            exit = CheckExit(stock, d);
        // An exit trades in the closing direction whatever the rules say; the day keeps its signal.
        const char traded = exit == '0' ? signal : (position == kPositionLong ? kSignalSell : kSignalBuy);

        if (d > 0)
            ExecuteSignal(stock, d, exit, traded);
        else
            CloseTerm(stock, d); // the newest day has no next day to trade on
    }
    return {};
}

void TradeSimulation::StartTerm(int stock, int day)
{
    TStkData& s = entry(stock);
    const TStkDailyData& d = s.Days[static_cast<std::size_t>(day)];
    TUserResult& u = s.UserResult;
    u.Position.assign(1, kPositionFlat);
    u.HoldShares = 0;
    u.HoldCost = 0;
    u.TradeCount = 0;
    u.Trades.clear();
    u.UnitShares = m_money.unitShares;
    u.InitAmt = m_money.capital;
    u.Cash = m_money.capital;
    u.FinalAmt = 0;
    u.TotalPer = u.BuyPer = u.SellPer = 100;
    u.TermSPrice = d.text(DayField::EPrice);
    u.TermSDate = d.text(DayField::StkDate);
    u.TermHDate = u.TermSDate;
    u.TermLDate = u.TermSDate;
    u.TermHPrice = d.text(DayField::HPrice);
    u.TermLPrice = d.text(DayField::LPrice);
    m_termStartClose = price(d, DayField::EPrice);
    m_termHigh = price(d, DayField::HPrice);
    m_termLow = price(d, DayField::LPrice);
}

void TradeSimulation::TrackTermRange(int stock, int day)
{
    TStkData& s = entry(stock);
    const TStkDailyData& d = s.Days[static_cast<std::size_t>(day)];
    TUserResult& u = s.UserResult;
    // Strictly lower or higher: on a tie the older day stays.
    const long double low = price(d, DayField::LPrice);
    if (low < m_termLow) {
        m_termLow = low;
        u.TermLPrice = d.text(DayField::LPrice);
        u.TermLDate = d.text(DayField::StkDate);
    }
    const long double high = price(d, DayField::HPrice);
    if (high > m_termHigh) {
        m_termHigh = high;
        u.TermHPrice = d.text(DayField::HPrice);
        u.TermHDate = d.text(DayField::StkDate);
    }
}

char TradeSimulation::CheckExit(int stock, int day) const
{
    const TStkData& s = entry(stock);
    const TUserResult& u = s.UserResult;
    const long double value = price(s.Days[static_cast<std::size_t>(day)], DayField::EPrice) * u.HoldShares;
    const long double cost = u.HoldCost;
    const bool isLong = positionOf(u) == kPositionLong;
    // Profit-taking is tested first; both compare the signal day's close.
    if (m_money.takeProfit) {
        const long double r = m_money.takeProfitPercent;
        if (isLong ? value >= cost * (1 + r / 100) : value <= cost * (1 - r / 100))
            return '1';
    }
    if (m_money.cutLoss) {
        const long double l = m_money.cutLossPercent;
        if (isLong ? value <= cost * (1 - l / 100) : value >= cost * (1 + l / 100))
            return '2';
    }
    return '0';
}

void TradeSimulation::ExecuteSignal(int stock, int day, char exit, char signal)
{
    const TUserResult& u = entry(stock).UserResult;
    const char position = positionOf(u);
    if (signal != kSignalBuy && signal != kSignalSell)
        return;
    if (exit == '0' && position == kPositionLong && signal == kSignalBuy)
        return; // already long
    if (exit == '0' && position == kPositionShort && signal == kSignalSell)
        return; // already short

    // After an exit the opposite position follows at once only when its setting says so.
    const bool reopen = m_money.reverse && (exit == '0' || (exit == '1' && m_money.reverseAfterProfit) ||
                                            (exit == '2' && m_money.reverseAfterLoss));
    const bool buy = signal == kSignalBuy;
    // A position is held when its entry amount is not 0.
    if (u.HoldCost == 0) {
        if (buy ? m_money.openLong : m_money.openShort)
            OpenPosition(stock, day, buy ? kPositionLong : kPositionShort);
        return;
    }
    ClosePosition(stock, day, buy ? '1' : '2', exit);
    if (reopen)
        OpenPosition(stock, day, buy ? kPositionLong : kPositionShort);
}

long double TradeSimulation::affordableUnits(long double cash, long double unitPrice) const
{
    const long double u = m_money.unitShares;
    const long double c = m_money.commission == CommissionKind::None ? 0 : m_money.commissionAmount;
    // Whether n units fit the cash, with the commission of the opening.
    const auto fits = [&](long double n) {
        const long double amount = n * u * unitPrice;
        switch (m_money.commission) {
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
    if (m_money.commission == CommissionKind::Percent && c < 0)
        return countUp(); // a negative rate need not grow with the count

    // The cost grows with the count, so the answer is the largest count that fits: start from
    // the division and settle it with the same comparisons the count-up makes.
    const long double budget = m_money.commission == CommissionKind::None  ? cash
                               : m_money.commission == CommissionKind::Yen ? cash - c
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

void TradeSimulation::OpenPosition(int stock, int day, char direction)
{
    assert(day > 0 && "a position opens on the next trading day");
    TStkData& s = entry(stock);
    TUserResult& u = s.UserResult;
    const TStkDailyData& next = s.Days[static_cast<std::size_t>(day - 1)];
    const long double p = price(next, m_money.tradePrice);
    // No price, no sizing: a price of 0 would make every count affordable and the position free.
    if (!(p > 0) || u.UnitShares <= 0)
        return;
    const long double units = affordableUnits(u.Cash, p);
    if (units == 0) {
        // The cash does not cover one unit: the opening is skipped, and the first such day kept so
        // that a run without trades can say why.
        if (u.ShortOfUnitDate.empty())
            u.ShortOfUnitDate = s.Days[static_cast<std::size_t>(day)].text(DayField::StkDate);
        return;
    }

    const bool isLong = direction == kPositionLong;
    u.TotalNum += 1;
    (isLong ? u.BuyNum : u.SellNum) += 1;
    u.HoldShares = units * u.UnitShares;
    u.HoldCost = u.HoldShares * p;
    long double fee = 0;
    if (m_money.commission == CommissionKind::Yen)
        fee = m_money.commissionAmount;
    else if (m_money.commission == CommissionKind::Percent)
        fee = static_cast<long double>(truncateToInt64(u.HoldCost * m_money.commissionAmount / 100));
    u.Cash = u.Cash - u.HoldCost - fee;
    u.TotalEntryAmt += u.HoldCost;
    (isLong ? u.BuyEntryAmt : u.SellEntryAmt) += u.HoldCost;

    const std::string_view kind = isLong ? kOpenLong : kOpenShort;
    u.Trades.push_back(TTradeRecord{next.text(DayField::StkDate), kind, kNoReturn, TradeText::number(p),
                                    TradeText::number(u.HoldShares), TradeText::number(u.HoldCost),
                                    TradeText::number(fee), TradeText::number(u.Cash),
                                    TradeText::number(u.Cash + u.HoldCost)});
    u.TradeCount += 1;

    // The signal day names the trades decided on it: a closing trade, then this opening.
    DayValue& action = s.Days[static_cast<std::size_t>(day)][DayField::TradeAction];
    if (action.empty()) {
        action.setText(kind);
    } else {
        std::string joined = action.text();
        joined.append(kActionJoin);
        joined.append(kind);
        action.setText(joined);
    }
    u.Position.assign(1, direction);
}

void TradeSimulation::ClosePosition(int stock, int day, char direction, char exit)
{
    assert(day > 0 && "a position closes on the next trading day");
    TStkData& s = entry(stock);
    TUserResult& u = s.UserResult;
    const TStkDailyData& next = s.Days[static_cast<std::size_t>(day - 1)];
    const long double p = price(next, m_money.tradePrice);

    // Proceeds and return; a short returns what the price fell, on the cash it tied up.
    long double proceeds = 0;
    const bool buyBack = direction == '1';
    if (buyBack)
        proceeds = 2 * u.HoldCost - u.HoldShares * p;
    else
        proceeds = u.HoldShares * p;
    const long double r = (proceeds - u.HoldCost) / u.HoldCost * 100;
    if (buyBack) {
        u.SellExitAmt += proceeds;
        u.SellAve += r;
        u.SellPer = u.SellPer * (1 + r / 100);
        if (r > 0)
            u.SellWinNum += 1;
    } else {
        u.BuyExitAmt += proceeds;
        u.BuyAve += r;
        u.BuyPer = u.BuyPer * (1 + r / 100);
        if (r > 0)
            u.BuyWinNum += 1;
    }
    u.TotalExitAmt += proceeds;
    u.TotalAve += r;
    u.TotalPer = u.TotalPer * (1 + r / 100);
    if (r > 0)
        u.TotalWinNum += 1;

    // Returns leave the commission out; the cash pays it.
    long double fee = 0;
    if (m_money.commission == CommissionKind::Yen)
        fee = m_money.commissionAmount;
    else if (m_money.commission == CommissionKind::Percent)
        fee = static_cast<long double>(truncateToInt64(proceeds * m_money.commissionAmount / 100));

    const std::string_view kind = exit == '1'   ? kTakeProfit
                                  : exit == '2' ? kCutLoss
                                  : buyBack     ? kCloseShort
                                                : kCloseLong;
    u.Trades.push_back(TTradeRecord{next.text(DayField::StkDate), kind, TradeText::number(truncate2(r)),
                                    TradeText::number(p), TradeText::number(u.HoldShares),
                                    TradeText::number(proceeds), TradeText::number(fee),
                                    TradeText::number(u.Cash), TradeText::number(u.Cash + proceeds - fee)});
    u.TradeCount += 1;
    s.Days[static_cast<std::size_t>(day)][DayField::TradeAction].setText(kind);

    u.Position.assign(1, kPositionFlat);
    u.Cash = u.Cash + proceeds - fee;
    u.HoldCost = 0;
    u.HoldShares = 0;
}

void TradeSimulation::CloseTerm(int stock, int day)
{
    TStkData& s = entry(stock);
    const TStkDailyData& d = s.Days[static_cast<std::size_t>(day)];
    TUserResult& u = s.UserResult;
    u.TermEDate = d.text(DayField::StkDate);
    u.TermEPrice = d.text(DayField::EPrice);
    const long double close = price(d, DayField::EPrice);
    u.TermSERtn = changeText(m_termStartClose, close);
    // The swing from the earlier extreme to the later one.
    if (laterThan(u.TermHDate, u.TermLDate))
        u.TermHLRtn = changeText(m_termLow, m_termHigh);
    else
        u.TermHLRtn = changeText(m_termHigh, m_termLow);

    // An open position is valued at the close and stays open: it is not counted as a trade.
    switch (positionOf(u)) {
    case kPositionLong:
        u.FinalAmt = u.HoldShares * close + u.Cash;
        u.BuyNum -= 1;
        u.TotalNum -= 1;
        break;
    case kPositionShort:
        u.FinalAmt = u.Cash + 2 * u.HoldCost - u.HoldShares * close;
        u.SellNum -= 1;
        u.TotalNum -= 1;
        break;
    default:
        u.FinalAmt = u.Cash;
        break;
    }

    // Rates and averages over the closed trades; without a win or a return they stay 0.
    const auto rate = [](long double wins, long double count) {
        return wins != 0 && count != 0 ? truncate2(wins / count * 100) : 0.0L;
    };
    u.TotalWin = rate(u.TotalWinNum, u.TotalNum);
    u.BuyWin = rate(u.BuyWinNum, u.BuyNum);
    u.SellWin = rate(u.SellWinNum, u.SellNum);
    const auto average = [](long double sum, long double count) {
        return sum != 0 && count != 0 ? truncate2(sum / count) : sum;
    };
    u.TotalAve = average(u.TotalAve, u.TotalNum);
    u.BuyAve = average(u.BuyAve, u.BuyNum);
    u.SellAve = average(u.SellAve, u.SellNum);
    u.TotalPer = truncate2(u.TotalPer);
    u.BuyPer = truncate2(u.BuyPer);
    u.SellPer = truncate2(u.SellPer);
    // No capital, no return: 0 rather than a division by zero.
    u.TotalRtn = u.InitAmt != 0 ? truncate2((u.FinalAmt - u.InitAmt) / u.InitAmt * 100) : 0;
}

Status runSimulation(TStkAnalisys& analysis)
{
    TradeSimulation simulation(analysis);
    simulation.LoadSignalRules();
    return simulation.Simulate();
}

void installSimulation(TStkAnalisys& analysis)
{
    analysis.setSimulation(&runSimulation);
}

} // namespace vorteq
