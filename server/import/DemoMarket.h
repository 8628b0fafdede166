#pragma once

#include "common/DateText.h"
#include "server/import/PriceFile.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vorteq::server {

// One made-up instrument of the demo market and the traits its prices are drawn with.
struct DemoInstrument {
    std::string code;
    std::string name; // ends with the sample marker
    int market = 0;
    bool fx = false;
    int decimals = 0;            // digits after the point (0: whole yen)
    double startPrice = 0;       // yen (or the rate)
    double volatility = 0;       // daily standard deviation of the own part of the move
    double beta = 0;             // share of the market's move
    double illiquidity = 0;      // chance of a day without trades
    std::int64_t baseVolume = 0; // shares on an ordinary day
    Date listed;                 // first trading day
};

struct DemoOptions {
    std::uint64_t seed = 1;
    Date first{2005, 1, 4};
    Date last{2005, 12, 30}; // the last trading day, inclusive
};

// Every name of the demo market ends with this, so a user never takes it for real data.
inline constexpr std::string_view kSampleMarker = "（サンプル）";

// A deterministic demo market: the same options give the same instruments and the same prices,
// byte for byte. Trading days are the weekdays between first and last, without the exchange's
// New Year holidays (12/31 to 1/3). Stock prices are whole yen on the exchange's tick, with trends,
// a shared market factor, gaps at the open, moves capped by the daily price limit (and now and then
// a limit-up or limit-down day) and, for thinly traded names, days without trades (volume 0, every
// price the last close). The FX market (999) has rates with decimals and no volume.
class DemoMarket {
public:
    explicit DemoMarket(const DemoOptions& options);

    const std::vector<DemoInstrument>& instruments() const { return m_instruments; }
    const std::vector<Date>& tradingDays() const { return m_days; }

    // The daily series of instrument i, oldest day first (from its listing day on).
    StockSeries series(std::size_t i) const;

private:
    DemoOptions m_options;
    std::vector<Date> m_days;
    std::vector<double> m_marketMoves; // the market factor's log move of each trading day
    std::vector<DemoInstrument> m_instruments;
};

// The latest weekday strictly before day.
Date latestWeekdayBefore(const Date& day);

// The exchange's price step (yen) at a price, and the daily price limit (yen) from a previous close.
double tickSize(double price);
double dailyLimit(double previousClose);

// A series as a price file: header "Date,Open,High,Low,Close,Volume", dates yyyy-mm-dd, LF.
std::string seriesCsv(const StockSeries& series);

} // namespace vorteq::server
