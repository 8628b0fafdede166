#include "server/import/DemoMarket.h"

#include "common/NumberText.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <set>
#include <string_view>

namespace vorteq::server {

namespace {

// Random numbers whose sequence is fixed by the standard (mt19937_64) and turned into uniform and
// normal draws here, not by the library's distributions, whose output may differ between versions.
class Draw {
public:
    explicit Draw(std::uint64_t seed) : m_rng(mix(seed)) {}

    static std::uint64_t mix(std::uint64_t x)
    {
        x += 0x9E3779B97F4A7C15ull;
        x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
        x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
        return x ^ (x >> 31);
    }

    double uniform() { return static_cast<double>(m_rng() >> 11) * 0x1.0p-53; }
    double uniform(double lo, double hi) { return lo + (hi - lo) * uniform(); }
    int integer(int lo, int hi) // lo..hi inclusive
    {
        return lo + static_cast<int>(uniform() * (hi - lo + 1));
    }
    bool chance(double p) { return uniform() < p; }
    double normal()
    {
        double u = uniform();
        while (u <= 0)
            u = uniform();
        const double v = uniform();
        return std::sqrt(-2.0 * std::log(u)) * std::cos(2.0 * 3.14159265358979323846 * v);
    }
    // A value whose logarithm is spread evenly between those of lo and hi.
    double logUniform(double lo, double hi) { return std::exp(uniform(std::log(lo), std::log(hi))); }

private:
    std::mt19937_64 m_rng;
};

struct Sector {
    int codeBase;
    std::string_view word;
    bool industrial; // may carry 工業 / 産業 / 製作所
};

constexpr std::array<Sector, 32> kSectors{{
    {1300, "水産", false}, {1800, "建設", false}, {1900, "住建", false},   {2200, "製菓", false},
    {2500, "酒造", false}, {2800, "食品", false}, {3100, "紡績", true},    {3800, "製紙", true},
    {4000, "化学", true},  {4500, "製薬", false}, {5100, "ゴム", true},    {5300, "窯業", true},
    {5400, "製鋼", true},  {5700, "金属", true},  {6100, "機械", true},    {6300, "重機", true},
    {6500, "電機", true},  {6700, "電子", true},  {7200, "自動車", true},  {7300, "車体", true},
    {7700, "精機", true},  {7900, "印刷", false}, {8000, "商事", false},   {8200, "ストア", false},
    {8300, "銀行", false}, {8600, "証券", false}, {8800, "不動産", false}, {9000, "鉄道", false},
    {9100, "海運", false}, {9300, "倉庫", false}, {9500, "電力", false},   {9700, "サービス", false},
}};

constexpr std::array<std::string_view, 48> kKanjiPrefixes{
    "青葉", "若松", "白鷺", "朝霧", "北斗", "銀河", "湊",   "葵",   "楓",   "桜台", "飛鳥", "暁",
    "翠",   "藤浪", "大川", "山吹", "鳴海", "高峰", "春日", "秋津", "千草", "潮見", "緑川", "柊",
    "椿",   "白樺", "月岡", "星川", "錦",   "常盤", "美空", "東雲", "花村", "浜風", "峰岸", "若葉",
    "篠崎", "丸岡", "旭台", "早瀬", "玉川", "水城", "松風", "梅津", "藍沢", "雪村", "陽光", "瀬名"};

constexpr std::array<std::string_view, 4> kIndustrialSuffixes{"", "工業", "産業", "製作所"};

constexpr std::array<std::string_view, 30> kKanaPrefixes{
    "アオバ", "ミナト", "ホクト", "アカツキ", "ソラ",     "カエデ", "ツバキ", "ヒカリ",   "ミライ", "ハルカ",
    "アスカ", "コスモ", "ルミナ", "ノヴァ",   "アルタ",   "ベルク", "リベロ", "ステラ",   "エール", "トワ",
    "ヒビキ", "クレア", "オルカ", "フェリオ", "ラティス", "セレス", "ウィズ", "プリズム", "カナタ", "イロハ"};

constexpr std::array<std::string_view, 16> kKanaSuffixes{
    "テック", "ネット",   "ラボ",     "システムズ", "メディア", "バイオ", "ソリューションズ", "ワークス",
    "リンク", "デザイン", "ゲームズ", "ヘルスケア", "エナジー", "データ", "ロボティクス",     "クラウド"};

// Code ranges of newer, smaller companies.
constexpr std::array<std::pair<int, int>, 4> kEmergingCodeRanges{
    {{2100, 2499}, {3300, 3999}, {4700, 4899}, {6000, 6099}}};

struct FxPair {
    std::string_view code;
    std::string_view name;
    double rate;
    double volatility;
    int decimals;
};

constexpr std::array<FxPair, 10> kFxPairs{{
    {"101", "米ドル/円", 110.0, 0.006, 2},
    {"102", "ユーロ/円", 135.0, 0.007, 2},
    {"103", "英ポンド/円", 165.0, 0.008, 2},
    {"104", "豪ドル/円", 85.0, 0.009, 2},
    {"105", "スイスフラン/円", 100.0, 0.006, 2},
    {"106", "カナダドル/円", 90.0, 0.007, 2},
    {"107", "NZドル/円", 75.0, 0.009, 2},
    {"108", "香港ドル/円", 14.0, 0.006, 3},
    {"109", "南アフリカランド/円", 10.0, 0.011, 3},
    {"110", "ユーロ/米ドル", 1.25, 0.006, 4},
}};

enum class Kind { Large, Small, Emerging };

struct MarketPlan {
    int market;
    int count;
    Kind kind;
};

// About 300 instruments in all, with the FX pairs.
constexpr std::array<MarketPlan, 7> kPlans{{
    {11, 110, Kind::Large},
    {12, 40, Kind::Small},
    {21, 25, Kind::Large},
    {22, 15, Kind::Small},
    {91, 45, Kind::Emerging},
    {13, 30, Kind::Emerging},
    {24, 20, Kind::Emerging},
}};

// プライム, スタンダード and グロース.
constexpr std::array<MarketPlan, 3> kTodayPlans{{
    {14, 15, Kind::Large},
    {15, 10, Kind::Small},
    {16, 10, Kind::Emerging},
}};

bool isHoliday(const Date& d)
{
    return (d.month == 12 && d.day == 31) || (d.month == 1 && d.day <= 3);
}

double roundDownTo(double value, double step)
{
    return std::floor(value / step + 1e-9) * step;
}

double roundUpTo(double value, double step)
{
    return std::ceil(value / step - 1e-9) * step;
}

double roundTo(double value, double step)
{
    return std::round(value / step) * step;
}

// Price text of a value on the grid of 10^-decimals, in the general number format.
std::string priceText(double value, int decimals)
{
    const double scale = std::pow(10.0, decimals);
    const auto units = static_cast<long long>(std::llround(value * scale));
    return formatNumber(static_cast<long double>(units) / static_cast<long double>(scale));
}

} // namespace

double tickSize(double price)
{
    static constexpr std::array<std::pair<double, double>, 8> kTicks{{{3000, 1},
                                                                      {5000, 5},
                                                                      {30000, 10},
                                                                      {50000, 50},
                                                                      {300000, 100},
                                                                      {500000, 500},
                                                                      {3000000, 1000},
                                                                      {30000000, 5000}}};
    for (const auto& [upTo, tick] : kTicks)
        if (price <= upTo)
            return tick;
    return 10000;
}

double dailyLimit(double previousClose)
{
    static constexpr std::array<std::pair<double, double>, 24> kLimits{{
        {100, 30},       {200, 50},        {500, 80},         {700, 100},        {1000, 150},
        {1500, 300},     {2000, 400},      {3000, 500},       {5000, 700},       {7000, 1000},
        {10000, 1500},   {15000, 3000},    {20000, 4000},     {30000, 5000},     {50000, 7000},
        {70000, 10000},  {100000, 15000},  {150000, 30000},   {200000, 40000},   {300000, 50000},
        {500000, 70000}, {700000, 100000}, {1000000, 150000}, {1500000, 300000},
    }};
    for (const auto& [below, limit] : kLimits)
        if (previousClose < below)
            return limit;
    return 400000;
}

Date latestWeekdayBefore(const Date& day)
{
    Date d = addDays(day, -1);
    while (dayOfWeek(d) == 0 || dayOfWeek(d) == 6)
        d = addDays(d, -1);
    return d;
}

DemoMarket::DemoMarket(const DemoOptions& options) : m_options(options)
{
    for (Date d = options.first; d <= options.last; d = addDays(d, 1))
        if (dayOfWeek(d) != 0 && dayOfWeek(d) != 6 && !isHoliday(d))
            m_days.push_back(d);

    // The market factor: calm and nervous spells, rising and falling phases, rare crash days.
    Draw market(options.seed * 1000003u);
    m_marketMoves.reserve(m_days.size());
    int spell = 0;
    double drift = 0, vol = 0;
    for (std::size_t t = 0; t < m_days.size(); ++t) {
        if (spell-- <= 0) {
            spell = market.integer(60, 250);
            drift = 0.0003 + 0.0012 * market.normal();
            vol = market.uniform(0.007, 0.017);
        }
        double move = drift + vol * market.normal();
        if (market.chance(0.0015))
            move -= market.uniform(0.04, 0.09);
        m_marketMoves.push_back(move);
    }

    // The instruments: codes by sector, names from word lists, every name marked as a sample.
    Draw pick(options.seed * 1000003u + 1);
    std::set<int> codes;
    std::set<std::string> names;
    const int lastListing = static_cast<int>(m_days.size() * 3 / 4);
    auto uniqueCode = [&](int lo, int hi) {
        for (;;) {
            const int code = pick.integer(lo, hi);
            if (codes.insert(code).second)
                return code;
        }
    };
    auto uniqueName = [&](auto make) {
        for (;;) {
            std::string name = make();
            if (names.insert(name).second)
                return name + std::string(kSampleMarker);
        }
    };
    for (const MarketPlan& plan : kPlans) {
        for (int i = 0; i < plan.count; ++i) {
            DemoInstrument s;
            s.market = plan.market;
            s.listed = m_days.empty() ? options.first : m_days.front();
            if (plan.kind == Kind::Emerging) {
                const auto& range = kEmergingCodeRanges[static_cast<std::size_t>(pick.integer(0, 3))];
                s.code = std::to_string(uniqueCode(range.first, range.second));
                s.name = uniqueName([&] {
                    return std::string(kKanaPrefixes[static_cast<std::size_t>(pick.integer(0, 29))]) +
                           std::string(kKanaSuffixes[static_cast<std::size_t>(pick.integer(0, 15))]);
                });
                s.startPrice =
                    pick.chance(0.15) ? pick.logUniform(60000, 400000) : pick.logUniform(150, 6000);
                s.volatility = pick.uniform(0.025, 0.04);
                s.beta = pick.uniform(0.4, 1.2);
                s.illiquidity = pick.uniform(0.0, 0.06);
                if (!m_days.empty() && pick.chance(0.6))
                    s.listed = m_days[static_cast<std::size_t>(pick.integer(0, lastListing))];
            } else {
                const Sector& sector =
                    kSectors[static_cast<std::size_t>(pick.integer(0, kSectors.size() - 1))];
                s.code = std::to_string(uniqueCode(sector.codeBase, sector.codeBase + 99));
                s.name = uniqueName([&] {
                    std::string name(kKanjiPrefixes[static_cast<std::size_t>(pick.integer(0, 47))]);
                    name += sector.word;
                    if (sector.industrial)
                        name += kIndustrialSuffixes[static_cast<std::size_t>(pick.integer(0, 3))];
                    else if (pick.chance(0.15))
                        name += "ホールディングス";
                    return name;
                });
                const bool large = plan.kind == Kind::Large;
                s.startPrice = large ? pick.logUniform(250, 9000) : pick.logUniform(80, 2500);
                s.volatility = large ? pick.uniform(0.013, 0.024) : pick.uniform(0.018, 0.03);
                s.beta = large ? pick.uniform(0.7, 1.3) : pick.uniform(0.4, 1.0);
                s.illiquidity = large ? 0.0 : pick.uniform(0.005, 0.05);
            }
            // Whole trading units: 100 shares, or 1 share for the high-priced ones.
            const double unit = s.startPrice >= 50000 ? 1 : 100;
            const double turnover =
                plan.kind == Kind::Large ? pick.logUniform(3e8, 3e10) : pick.logUniform(5e6, 5e8);
            s.baseVolume = static_cast<std::int64_t>(std::max(unit, roundTo(turnover / s.startPrice, unit)));
            m_instruments.push_back(std::move(s));
        }
    }
    for (const FxPair& pair : kFxPairs) {
        DemoInstrument s;
        s.code = std::string(pair.code);
        s.name = std::string(pair.name) + std::string(kSampleMarker);
        s.market = 999;
        s.fx = true;
        s.decimals = pair.decimals;
        s.startPrice = pair.rate;
        s.volatility = pair.volatility;
        s.listed = m_days.empty() ? options.first : m_days.front();
        m_instruments.push_back(std::move(s));
    }
    // Tokyo's segments since April 2022, after every older instrument so that those keep their
    // draws. Their series start with the segments (or on the first day of a shorter demo); the
    // growth stocks carry codes with a letter (130A).
    const auto firstSegmentDay = std::lower_bound(m_days.begin(), m_days.end(), Date{2022, 4, 4});
    const Date segmentsStart = m_days.empty()                    ? options.first
                               : firstSegmentDay != m_days.end() ? *firstSegmentDay
                                                                 : m_days.front();
    for (const MarketPlan& plan : kTodayPlans) {
        for (int i = 0; i < plan.count; ++i) {
            DemoInstrument s;
            s.market = plan.market;
            const bool emerging = plan.kind == Kind::Emerging;
            const int base = emerging ? 130 : (plan.kind == Kind::Large ? 1300 : 2600);
            if (emerging) {
                for (;;) {
                    const int number = pick.integer(base, base + 69);
                    if (codes.insert(-number).second) { // the letter codes apart from the numbers
                        s.code = std::to_string(number) + "A";
                        break;
                    }
                }
            } else {
                s.code = std::to_string(uniqueCode(base, base + 99));
            }
            s.name = uniqueName([&] {
                return std::string(kKanaPrefixes[static_cast<std::size_t>(pick.integer(0, 29))]) +
                       std::string(kKanaSuffixes[static_cast<std::size_t>(pick.integer(0, 15))]);
            });
            s.startPrice = plan.kind == Kind::Large ? pick.logUniform(400, 8000) : pick.logUniform(150, 3000);
            s.volatility = emerging ? pick.uniform(0.025, 0.04) : pick.uniform(0.013, 0.024);
            s.beta = pick.uniform(0.5, 1.2);
            s.illiquidity = plan.kind == Kind::Large ? 0.0 : pick.uniform(0.0, 0.04);
            s.listed = segmentsStart;
            const double unit = s.startPrice >= 50000 ? 1 : 100;
            s.baseVolume = static_cast<std::int64_t>(
                std::max(unit, roundTo(pick.logUniform(5e7, 5e9) / s.startPrice, unit)));
            m_instruments.push_back(std::move(s));
        }
    }
}

StockSeries DemoMarket::series(std::size_t index) const
{
    const DemoInstrument& s = m_instruments.at(index);
    StockSeries out;
    out.code = s.code;
    out.name = s.name;
    out.market = s.market;
    Draw draw(m_options.seed * 7919u + index + 17);

    std::size_t t = 0;
    while (t < m_days.size() && m_days[t] < s.listed)
        ++t;
    out.days.reserve(m_days.size() - t);

    const double anchor = s.startPrice;
    double close = s.fx ? s.startPrice : roundTo(s.startPrice, tickSize(s.startPrice));
    double drift = 0;
    int spell = 0;
    double cluster = 1; // volatility clustering: recent large moves raise the next day's spread
    double unit = s.fx ? 0 : (s.startPrice >= 50000 ? 1 : 100);
    for (; t < m_days.size(); ++t) {
        PriceDay day;
        day.date = m_days[t];
        if (spell-- <= 0) {
            spell = draw.integer(40, 200);
            // A new trend, pulled back toward the starting level so prices stay plausible.
            const double pull = s.fx ? 0.0015 : 0.001;
            drift = (s.fx ? 0.0002 : 0.0012) * draw.normal() - pull * std::log(close / anchor);
        }
        const double sigma = s.volatility * std::sqrt(cluster);
        const double z = draw.normal();
        cluster = 0.94 * cluster + 0.06 * z * z;

        if (!s.fx && draw.chance(s.illiquidity) && !out.days.empty()) {
            // No trade: every price is the last close.
            day.open = day.high = day.low = day.close = priceText(close, 0);
            day.volume = 0;
            out.days.push_back(std::move(day));
            continue;
        }

        double move = s.beta * m_marketMoves[t] + drift + sigma * z;
        if (!s.fx && draw.chance(0.003))
            move += (draw.chance(0.55) ? -1 : 1) * draw.uniform(0.08, 0.3); // news
        if (!s.fx && draw.chance(0.0015))
            move += (draw.chance(0.5) ? -1 : 1) * 0.5; // a limit-up or limit-down day
        double gap = 0.35 * move + 0.3 * sigma * draw.normal();
        if (!s.fx && draw.chance(0.01))
            gap += (draw.chance(0.5) ? -1 : 1) * draw.uniform(0.02, 0.06);
        if (s.fx)
            gap = 0.1 * sigma * draw.normal();
        const double spread = std::fabs(draw.normal()) * sigma * 0.5;
        const double spread2 = std::fabs(draw.normal()) * sigma * 0.5;

        double open = close * std::exp(gap);
        double next = close * std::exp(move);
        double high = std::max(open, next) * std::exp(spread);
        double low = std::min(open, next) * std::exp(-spread2);
        if (s.fx) {
            const double step = std::pow(10.0, -s.decimals);
            open = std::max(step, roundTo(open, step));
            next = std::max(step, roundTo(next, step));
            high = std::max({roundUpTo(high, step), open, next});
            low = std::max(step, std::min({roundDownTo(low, step), open, next}));
            day.open = priceText(open, s.decimals);
            day.high = priceText(high, s.decimals);
            day.low = priceText(low, s.decimals);
            day.close = priceText(next, s.decimals);
            day.volume = 0;
        } else {
            // Every price stays within the daily limit around the last close, on the tick grid.
            const double limit = dailyLimit(close);
            const double upper = roundDownTo(close + limit, tickSize(close + limit));
            const double lower =
                std::max(1.0, roundUpTo(close - limit, tickSize(std::max(1.0, close - limit))));
            auto onGrid = [&](double p) { return std::clamp(roundTo(p, tickSize(p)), lower, upper); };
            open = onGrid(open);
            next = onGrid(next);
            high = std::clamp(std::max({roundUpTo(high, tickSize(high)), open, next}), lower, upper);
            low = std::clamp(std::min({roundDownTo(low, tickSize(low)), open, next}), lower, upper);
            day.open = priceText(open, 0);
            day.high = priceText(high, 0);
            day.low = priceText(low, 0);
            day.close = priceText(next, 0);
            // Busier on large moves, thin on a day locked at the limit.
            double volume = static_cast<double>(s.baseVolume) * std::exp(0.5 * draw.normal()) *
                            (1.0 + 2.5 * std::fabs(move) / s.volatility);
            if (next == upper || next == lower)
                volume *= 0.4;
            day.volume = static_cast<std::int64_t>(std::max(unit, roundTo(volume, unit)));
        }
        close = next;
        out.days.push_back(std::move(day));
    }
    return out;
}

std::string seriesCsv(const StockSeries& series)
{
    std::string out = "Date,Open,High,Low,Close,Volume\n";
    for (const PriceDay& d : series.days) {
        std::string date = formatDate(d.date);
        std::replace(date.begin(), date.end(), '/', '-');
        out += date + "," + d.open + "," + d.high + "," + d.low + "," + d.close + "," +
               std::to_string(d.volume) + "\n";
    }
    return out;
}

} // namespace vorteq::server
