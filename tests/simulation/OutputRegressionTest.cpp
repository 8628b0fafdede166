// Every text a back-test leaves behind, over the two real series in data/ and a few hundred made-up
// stocks with varied prices, periods and rules: the 99 fields of every day, every trade record,
// every result value and the outcome of the run. They are folded into one digest per field (over
// all runs) and one per group of runs, and compared with the digests recorded in
// output_digests.txt when the engine was known to be right. Work on the speed of the engine or the
// trade execution must leave every one of them as it is. Beside them, output_record.gz keeps one
// digest per run and field, and the texts themselves of the runs on the real series: when a digest
// differs, the runs are made again and the first difference is named with its run, stock, day or
// trade and field, and with the recorded and the new text where the run's texts are recorded.
//
// VORTEQ_WRITE_DIGESTS=1 records the digests and the record anew, after a deliberate change of
// behaviour only. VORTEQ_DUMP_TEXTS=<file> writes every text, one a line, to compare two builds.
#include "SimulationTestSupport.h"
#include "common/DateText.h"
#include "common/NumberText.h"
#include "conditions/ConditionCatalogue.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <sstream>
#include <zlib.h>

using namespace vorteq;
using namespace vorteq::testing;

namespace {

// FNV-1a over the texts, each closed by a unit separator so that "1","23" and "12","3" differ.
struct Digest {
    std::uint64_t h = 14695981039346656037ull;
    void add(std::string_view text)
    {
        for (const char c : text)
            mix(static_cast<unsigned char>(c));
        mix(0x1f);
    }
    void mix(unsigned char c)
    {
        h ^= c;
        h *= 1099511628211ull;
    }
};

std::string hex(std::uint64_t v)
{
    char buf[20];
    std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(v));
    return buf;
}

// The 80 bits of an extended value: a result value must not move even where its text would not.
std::string bitsOf(long double v)
{
    unsigned char b[10];
    std::memcpy(b, &v, sizeof b);
    std::string out;
    for (int i = 9; i >= 0; --i) {
        char two[3];
        std::snprintf(two, sizeof two, "%02x", b[i]);
        out += two;
    }
    return out;
}

// A text as the collector kept it: its place in the order of all texts, and where it came from.
struct KeptText {
    long seq = 0;
    std::string where;
    std::string text;
};

// The texts of one field in one run.
struct RunField {
    Digest digest;
    long firstSeq = 0;
    std::string firstWhere;
    std::vector<KeptText> texts; // kept for the runs whose texts are recorded, when asked
};

// A run and a field.
using RunFieldKey = std::pair<int, std::string>;

class TextCollector {
public:
    explicit TextCollector(const char* dumpPath)
    {
        if (dumpPath && *dumpPath)
            m_dump.open(dumpPath);
    }

    // Keeps one digest per run and field, and the texts of the runs whose texts are recorded.
    void keepRunFields() { m_keep = true; }
    void beginRun(int run, bool recordTexts)
    {
        m_run = run;
        m_recordTexts = recordTexts;
    }

    void add(const std::string& group, const std::string& where, const std::string& column,
             std::string_view text)
    {
        m_byColumn[column].add(text);
        m_byGroup[group].add(text);
        if (m_dump.is_open())
            m_dump << group << '|' << where << '|' << column << '|' << text << '\n';
        if (m_keep) {
            auto [it, fresh] = m_runFields.try_emplace({m_run, column});
            RunField& part = it->second;
            if (fresh) {
                part.firstSeq = m_count;
                part.firstWhere = group + " " + where;
            }
            part.digest.add(text);
            if (m_recordTexts)
                part.texts.push_back({m_count, group + " " + where, std::string(text)});
        }
        ++m_count;
    }

    std::map<std::string, std::string> digests() const
    {
        std::map<std::string, std::string> out;
        for (const auto& [column, d] : m_byColumn)
            out["field " + column] = hex(d.h);
        for (const auto& [group, d] : m_byGroup)
            out["group " + group] = hex(d.h);
        return out;
    }
    long texts() const { return m_count; }
    const std::map<RunFieldKey, RunField>& runFields() const { return m_runFields; }

private:
    std::map<std::string, Digest> m_byColumn;
    std::map<std::string, Digest> m_byGroup;
    std::ofstream m_dump;
    long m_count = 0;
    bool m_keep = false;
    int m_run = 0;
    bool m_recordTexts = false;
    std::map<RunFieldKey, RunField> m_runFields;
};

// One run of Analyze: the rows of one or more stocks, the conditions and the period.
struct RunCase {
    std::string group;
    std::vector<PriceRow> rows;
    TJouken conditions;
    std::string start, end;
    bool simulate = true;
    // The run's texts are kept in output_record.gz, not only their digests: the runs of the real
    // series with the defaults and with the benchmark's rules, and the runs that stop with a message.
    bool recordTexts = false;
};

void collectRun(TStkAnalisys& a, const RunCase& c, int index, TextCollector& out)
{
    a.Clear();
    const Status st = a.Analyze(makePriceTable(c.rows), static_cast<int>(c.rows.size()), c.conditions,
                                c.start, c.end, c.simulate);
    out.beginRun(index, c.recordTexts);
    const std::string run = "run" + std::to_string(index);
    out.add(c.group, run, "status", st ? "ok" : st.error().message);
    out.add(c.group, run, "stocks", std::to_string(a.StkCount));
    for (std::size_t s = 0; s < a.StkList.size(); ++s) {
        const TStkData& stock = a.StkList[s];
        const std::string where = run + "/" + stock.StkCd;
        out.add(c.group, where, "days", std::to_string(stock.DayCount));
        for (std::size_t d = 0; d < stock.Days.size(); ++d) {
            const std::string day = where + "/" + std::to_string(d);
            for (int p = 0; p < TStkDailyData::kFieldCount; ++p) {
                const std::string_view name = kDayFieldNames[static_cast<std::size_t>(p)];
                out.add(c.group, day, name.empty() ? "pos" + std::to_string(p) : std::string(name),
                        stock.Days[d].text(p));
            }
        }
        const TUserResult& u = stock.UserResult;
        out.add(c.group, where, "TradeCount", std::to_string(u.TradeCount));
        out.add(c.group, where, "Position", u.Position);
        for (std::size_t t = 0; t < u.Trades.size(); ++t) {
            const TTradeRecord& r = u.Trades[t];
            const std::string trade = where + "/trade" + std::to_string(t);
            const std::pair<const char*, std::string> columns[] = {
                {"TradeDate", r.TradeDate},   {"TradeKind", r.TradeKind}, {"TradeRtn", r.TradeRtn},
                {"TradePrice", r.TradePrice}, {"TradeVlm", r.TradeVlm},   {"TradeAmt", r.TradeAmt},
                {"TradeFee", r.TradeFee},     {"RestAmt", r.RestAmt},     {"TotalAmt", r.TotalAmt},
            };
            for (const auto& [name, text] : columns)
                out.add(c.group, trade, name, text);
        }
        const std::pair<const char*, long double> numbers[] = {
            {"InitAmt", u.InitAmt},
            {"Cash", u.Cash},
            {"FinalAmt", u.FinalAmt},
            {"TotalRtn", u.TotalRtn},
            {"UnitShares", u.UnitShares},
            {"HoldShares", u.HoldShares},
            {"HoldCost", u.HoldCost},
            {"TotalNum", u.TotalNum},
            {"TotalWinNum", u.TotalWinNum},
            {"TotalWin", u.TotalWin},
            {"TotalEntryAmt", u.TotalEntryAmt},
            {"TotalExitAmt", u.TotalExitAmt},
            {"TotalAve", u.TotalAve},
            {"TotalPer", u.TotalPer},
            {"BuyNum", u.BuyNum},
            {"BuyWinNum", u.BuyWinNum},
            {"BuyWin", u.BuyWin},
            {"BuyEntryAmt", u.BuyEntryAmt},
            {"BuyExitAmt", u.BuyExitAmt},
            {"BuyAve", u.BuyAve},
            {"BuyPer", u.BuyPer},
            {"SellEntryAmt", u.SellEntryAmt},
            {"SellExitAmt", u.SellExitAmt},
            {"SellAve", u.SellAve},
            {"SellNum", u.SellNum},
            {"SellWinNum", u.SellWinNum},
            {"SellWin", u.SellWin},
            {"SellPer", u.SellPer},
        };
        for (const auto& [name, v] : numbers)
            out.add(c.group, where, name, formatNumber(v) + " " + bitsOf(v));
        const std::pair<const char*, const std::string*> texts[] = {
            {"TermSPrice", &u.TermSPrice}, {"TermSDate", &u.TermSDate}, {"TermEPrice", &u.TermEPrice},
            {"TermEDate", &u.TermEDate},   {"TermSERtn", &u.TermSERtn}, {"TermHPrice", &u.TermHPrice},
            {"TermHDate", &u.TermHDate},   {"TermLDate", &u.TermLDate}, {"TermLPrice", &u.TermLPrice},
            {"TermHLRtn", &u.TermHLRtn},
        };
        for (const auto& [name, text] : texts)
            out.add(c.group, where, name, *text);
    }
}

// Every run, each on an analysis object of its own.
void collectAll(const std::vector<RunCase>& cases, TextCollector& out)
{
    for (std::size_t i = 0; i < cases.size(); ++i) {
        TStkAnalisys a;
        installSimulation(a);
        collectRun(a, cases[i], static_cast<int>(i), out);
    }
}

// Made-up series from the raw output of a fixed generator (its distributions are left aside: they
// differ between standard libraries).
class Maker {
public:
    explicit Maker(std::uint64_t seed) : m_rng(seed) {}

    // 0 .. n-1.
    int below(int n) { return static_cast<int>(m_rng() % static_cast<std::uint64_t>(n)); }
    int between(int lo, int hi) { return lo + below(hi - lo + 1); }
    bool chance(int percent) { return below(100) < percent; }
    template <class T, std::size_t N> const T& pick(const T (&items)[N])
    {
        return items[below(static_cast<int>(N))];
    }

private:
    std::mt19937_64 m_rng;
};

// A whole number of ticks as a decimal text with the given number of decimals: 12345, 2 -> "123.45".
std::string decimalText(long long ticks, int decimals)
{
    std::string digits = std::to_string(ticks < 0 ? -ticks : ticks);
    if (decimals > 0) {
        if (static_cast<int>(digits.size()) <= decimals)
            digits.insert(0, static_cast<std::size_t>(decimals + 1) - digits.size(), '0');
        digits.insert(digits.size() - static_cast<std::size_t>(decimals), ".");
    }
    return ticks < 0 ? "-" + digits : digits;
}

// How a made-up stock's prices look.
struct Style {
    int decimals;     // decimals of a price text
    long long level;  // starting price in ticks
    int stepPercent;  // largest daily move, percent of the price
    int flatPercent;  // chance of a day with open = high = low = close = the previous close
    int zeroVolume;   // chance of a day without volume
    long long volume; // largest volume
    int volumeDecimals = 0;
};

std::vector<PriceRow> makeStock(Maker& m, const std::string& code, int days, const Style& st, Date first)
{
    std::vector<PriceRow> oldestFirst;
    long long close = st.level;
    for (int k = 0; k < days; ++k) {
        const auto move = [&](long long base) {
            const long long span = std::max<long long>(1, base * st.stepPercent / 100);
            return std::max<long long>(1, base + m.between(static_cast<int>(-span), static_cast<int>(span)));
        };
        long long open = close, high = close, low = close;
        if (!m.chance(st.flatPercent)) {
            open = move(close);
            close = move(close);
            high = std::max(open, close) +
                   (m.chance(30) ? 0 : m.below(static_cast<int>(std::max(2LL, close / 50))));
            low =
                std::max(1LL, std::min(open, close) -
                                  (m.chance(30) ? 0 : m.below(static_cast<int>(std::max(2LL, close / 50)))));
        }
        long long volume =
            m.chance(st.zeroVolume) ? 0 : m.between(1, static_cast<int>(st.volume / 100)) * 100LL;
        for (int k10 = 0; k10 < st.volumeDecimals; ++k10)
            volume = volume * 10 + m.below(10);
        std::string date = formatDate(addDays(first, k));
        std::replace(date.begin(), date.end(), '/', '-');
        oldestFirst.push_back({code, date, decimalText(open, st.decimals), decimalText(high, st.decimals),
                               decimalText(low, st.decimals), decimalText(close, st.decimals),
                               decimalText(volume, st.volumeDecimals)});
    }
    return {oldestFirst.rbegin(), oldestFirst.rend()};
}

// Random indicator periods and factors; the MACD short period stays below the long one.
void randomPeriods(Maker& m, TJouken& j)
{
    static const char* const kPeriodKeys[] = {
        "AmtBuyIdo",   "AmtBuyKairi1", "AmtBuyCloss1",  "AmtBuyCloss2", "AmtBuyRSI1",  "AmtBuyDMI",
        "AmtBuyRCI1",  "AmtBuyVRA1",   "AmtBuyVRW1",    "AmtBuySTK1",   "AmtDaySTC_D", "AmtDaySTC_SD",
        "AmtBuyPSY1",  "AmtBuyMPSY1",  "AmtDayABRatio", "AmtDayMAC_SI", "AmtBuyWilR1", "AmtDayWIL",
        "AmtBuyVolin", "AmtDayCCI",    "AmtDayDPO",     "AmtDayOSI",
    };
    for (const char* key : kPeriodKeys) {
        if (m.chance(25))
            continue; // the default stays
        const int days = m.chance(10) ? m.between(1, 3) : m.chance(5) ? m.between(51, 120) : m.between(2, 50);
        j.set(key, std::to_string(days));
    }
    const int shortDays = m.between(1, 30);
    j.set("AmtBuyMACD1", std::to_string(shortDays));
    j.set("AmtBuyMACD2", std::to_string(shortDays + m.between(1, 30)));
    static const char* const kSteps[] = {"0.02", "0.01", "0.05", "0.1", "0.3"};
    static const char* const kLimits[] = {"2", "0.2", "0.5", "1", ""};
    static const char* const kMultiples[] = {"3", "2.5", "1", "0.7", "4"};
    j.set("AmtDayParaboAf", m.pick(kSteps));
    j.set("AmtDayParaboLim", m.pick(kLimits));
    j.set("AmtDayWIL_VI", m.pick(kMultiples));
}

// Random rules: a few conditions of each side in either group, random choices and thresholds, and
// random money management.
void randomRules(Maker& m, TJouken& j)
{
    static const char* const kThresholds[] = {"-50", "-5", "-0.5", "0",   "0.3",  "3",   "20",
                                              "30",  "50", "70",   "100", "-100", "2.75"};
    const int wanted = m.between(1, 8);
    for (int n = 0; n < wanted; ++n) {
        const ConditionDef& c = kConditions[m.below(kConditionCount)];
        const ConditionKeys& k = m.chance(50) ? c.buy : c.sell;
        j[k.use] = m.chance(50) ? "1" : "2";
        j[k.choice] = std::to_string(c.test == TestKind::BollingerBand ? m.below(4) : m.below(2));
        if (k.lineChoice >= 0)
            j[k.lineChoice] = std::to_string(m.below(3));
        if (k.threshold >= 0)
            j[k.threshold] = m.pick(kThresholds);
    }
    static const char* const kCapital[] = {"1000000", "1000000", "50000", "30000000", "123456.78"};
    j.set("AmtTousi", m.pick(kCapital));
    j.set("KbnTani", std::to_string(m.below(4)));
    j.set("KbnTrade", std::to_string(m.below(3)));
    if (m.chance(50)) {
        static const char* const kFees[] = {"0.1", "1", "500", "0", "2500"};
        j.set("UseTesuryo", "1");
        j.set("KbnTesuryo", std::to_string(m.below(2)));
        j.set("AmtTesuryo", m.pick(kFees));
    }
    static const char* const kPercents[] = {"5", "10", "2.5", "20", "1"};
    if (m.chance(50)) {
        j.set("UseRikaku", "1");
        j.set("AmtRikaku", m.pick(kPercents));
        j.set("KbnRikaku", std::to_string(m.below(2)));
    }
    if (m.chance(50)) {
        j.set("UseSongiri", "1");
        j.set("AmtSongiri", m.pick(kPercents));
        j.set("KbnSongiri", std::to_string(m.below(2)));
    }
    j.set("UseTradePrice", std::to_string(m.between(1, 4)));
}

// The rules of the engine benchmark: ten conditions, commission, profit-taking and loss-cutting.
TJouken tenConditions()
{
    TJouken j = TJouken::defaults();
    const std::pair<const char*, const char*> settings[] = {
        {"UseBuyRSI", "1"},    {"KbnBuyRSI", "1"},    {"AmtBuyRSI2", "30"},  {"UseBuyVolin", "1"},
        {"KbnBuyVorin", "1"},  {"UseBuyMACD", "2"},   {"KbnBuyMACD", "0"},   {"UseBuyDMI", "2"},
        {"KbnBuyDMI", "0"},    {"UseBuyIdo", "2"},    {"KbnBuyIdo", "0"},    {"UseSellRSI", "1"},
        {"KbnSellRSI", "0"},   {"AmtSellRSI2", "70"}, {"UseSellVolin", "1"}, {"KbnSellVorin", "0"},
        {"UseSellMACD", "2"},  {"KbnSellMACD", "1"},  {"UseSellSTK", "2"},   {"KbnSellSTK", "1"},
        {"UseSellParab", "2"}, {"KbnSellParab", "1"}, {"UseTesuryo", "1"},   {"KbnTesuryo", "1"},
        {"AmtTesuryo", "0.1"}, {"UseRikaku", "1"},    {"AmtRikaku", "10"},   {"KbnRikaku", "0"},
        {"UseSongiri", "1"},   {"AmtSongiri", "5"},   {"KbnSongiri", "1"},
    };
    for (const auto& [key, value] : settings)
        j.set(key, value);
    return j;
}

std::string dateOfRow(const std::vector<PriceRow>& newestFirst, int fromOldest)
{
    const int n = static_cast<int>(newestFirst.size());
    const int k = std::clamp(n - 1 - fromOldest, 0, n - 1);
    return normaliseDateText(newestFirst[static_cast<std::size_t>(k)].date);
}

std::vector<RunCase> allCases()
{
    std::vector<RunCase> cases;
    Maker m(20240611);

    // The real series: the engine's defaults, the benchmark's rules and random periods and rules.
    const std::pair<const char*, const char*> files[] = {
        {"goog", "goog_2004-08-19_2008-10-14.csv"},
        {"flat", "edge_flat_synthetic.csv"},
    };
    for (const auto& [name, file] : files) {
        const auto rows = loadCsvNewestFirst(std::string(VORTEQ_DATA_DIR) + "/" + file, "1301");
        cases.push_back({name, rows, TJouken(), "2006/01/01", "2006/12/31", false, true});
        cases.push_back(
            {name, rows, tenConditions(), dateOfRow(rows, 55), dateOfRow(rows, 1 << 20), true, true});
        for (int k = 0; k < 6; ++k) {
            TJouken j = TJouken::defaults();
            randomPeriods(m, j);
            randomRules(m, j);
            cases.push_back({name, rows, j, dateOfRow(rows, m.below(static_cast<int>(rows.size()))),
                             dateOfRow(rows, 1 << 20), true});
        }
    }

    // Made-up stocks in eight groups of thirty.
    const Style styles[] = {
        {0, 1500, 3, 2, 2, 500000},        // whole yen
        {0, 300000, 2, 1, 1, 20000},       // high priced
        {2, 4000, 4, 5, 5, 1000000},       // cents
        {1, 80, 10, 10, 10, 100000000},    // one decimal, heavy volume
        {0, 12, 20, 30, 30, 10000},        // a few yen: many ties and flat days
        {0, 2000000000, 1, 0, 0, 9000000}, // very high priced
        {3, 500, 15, 0, 50, 1000, 1},      // thousandths, volumes with a decimal
        {0, 3000000000, 0, 20, 0, 100000}, // very high and nearly flat: squares beyond 2^64 in a window
    };
    for (int group = 0; group < 8; ++group) {
        for (int n = 0; n < 30; ++n) {
            const Style& st = m.pick(styles);
            const int days = m.chance(10) ? m.between(0, 12) : m.between(13, 700);
            RunCase c{"made" + std::to_string(group), {}, TJouken::defaults(), {}, {}, true};
            c.rows = makeStock(m, std::to_string(1000 + group * 100 + n), days, st, Date{2003, 1, 6});
            if (m.chance(70))
                randomPeriods(m, c.conditions);
            if (m.chance(85))
                randomRules(m, c.conditions);
            else
                c.conditions = tenConditions();
            c.start = c.rows.empty() ? "2004/01/01" : dateOfRow(c.rows, m.between(-5, days + 5));
            c.end = c.rows.empty() ? "2005/01/01" : dateOfRow(c.rows, 1 << 20);
            // Now and then a close of "0" (the run skips the day; the recursive indicators stop there).
            if (days > 20 && m.chance(8))
                c.rows[static_cast<std::size_t>(m.below(days))].close = "0";
            cases.push_back(std::move(c));
        }
    }

    // Three stocks interleaved in one table.
    {
        RunCase c{"mixed", {}, tenConditions(), "2003/03/01", "2005/01/01", true};
        std::vector<std::vector<PriceRow>> stocks;
        for (int s = 0; s < 3; ++s)
            stocks.push_back(
                makeStock(m, std::to_string(7000 + s), 200 + 50 * s, styles[s], Date{2003, 1, 6}));
        for (std::size_t k = 0; k < 300; ++k)
            for (const auto& rows : stocks)
                if (k < rows.size())
                    c.rows.push_back(rows[k]);
        cases.push_back(std::move(c));
    }

    // Runs that stop with a message: a close that reads as 0 without being "0", a price that is not
    // a number, a threshold that is not a number.
    {
        auto rows = makeStock(m, "9001", 120, styles[0], Date{2004, 1, 5});
        rows[30].close = "0.0";
        cases.push_back(
            {"errors", rows, tenConditions(), dateOfRow(rows, 10), dateOfRow(rows, 200), true, true});
        rows = makeStock(m, "9002", 120, styles[2], Date{2004, 1, 5});
        rows[70].high = "12a";
        cases.push_back(
            {"errors", rows, tenConditions(), dateOfRow(rows, 10), dateOfRow(rows, 200), true, true});
        // Prices at the end of the extended range: ranges overflow, and the first value found
        // missing is the one a day-by-day run of the passes meets first.
        rows = makeStock(m, "9004", 120, styles[0], Date{2004, 1, 5});
        rows[60].high = "1e4932";
        rows[60].low = "-1e4932";
        rows[75].high = "1.1e4932";
        rows[75].low = "-1.1e4932";
        cases.push_back({"errors", rows, TJouken(), dateOfRow(rows, 10), dateOfRow(rows, 200), false, true});
        rows = makeStock(m, "9003", 120, styles[0], Date{2004, 1, 5});
        TJouken j = tenConditions();
        j.set("AmtBuyRSI2", "x");
        cases.push_back({"errors", rows, j, dateOfRow(rows, 10), dateOfRow(rows, 200), true, true});
    }
    return cases;
}

std::map<std::string, std::string> readDigests(const std::string& path)
{
    std::map<std::string, std::string> out;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        const auto space = line.rfind(' ');
        out[line.substr(0, space)] = line.substr(space + 1);
    }
    return out;
}

// The digest of one run's field as recorded: the low 32 bits are plenty to find the run and field.
std::string shortDigest(const Digest& d)
{
    return hex(d.h).substr(8);
}

// The record of the runs: for every run and field, in that order, a line "= <run> <field> <digest>",
// followed for the runs whose texts are recorded by one line per text, with backslash and line feed
// escaped. gzip, so that the texts stay small.
void writeRecord(const std::string& path, const std::map<RunFieldKey, RunField>& runFields)
{
    gzFile out = gzopen(path.c_str(), "wb9");
    ASSERT_NE(out, nullptr) << "cannot write " << path;
    std::string line;
    for (const auto& [key, part] : runFields) {
        line = "= " + std::to_string(key.first) + " " + key.second + " " + shortDigest(part.digest) + "\n";
        for (const KeptText& k : part.texts) {
            for (const char c : k.text)
                line += c == '\\' ? std::string("\\\\") : c == '\n' ? std::string("\\n") : std::string(1, c);
            line += '\n';
        }
        gzwrite(out, line.data(), static_cast<unsigned>(line.size()));
    }
    ASSERT_EQ(gzclose(out), Z_OK) << "cannot write " << path;
}

// A run's field as recorded.
struct RecordedField {
    std::string digest;
    std::vector<std::string> texts;
};

// The record written by writeRecord; empty when there is none.
std::map<RunFieldKey, RecordedField> readRecord(const std::string& path)
{
    std::map<RunFieldKey, RecordedField> out;
    gzFile in = gzopen(path.c_str(), "rb");
    if (!in)
        return out;
    RecordedField* current = nullptr;
    std::string line;
    char buf[4096];
    const auto takeLine = [&] {
        if (line.rfind("= ", 0) == 0) {
            std::istringstream fields(line.substr(2));
            int run = 0;
            std::string column, digest;
            fields >> run >> column >> digest;
            current = &out[{run, column}];
            current->digest = digest;
            return;
        }
        if (!current)
            return;
        std::string text;
        for (std::size_t i = 0; i < line.size(); ++i) {
            if (line[i] == '\\' && i + 1 < line.size()) {
                text += line[i + 1] == 'n' ? '\n' : line[i + 1];
                ++i;
            } else {
                text += line[i];
            }
        }
        current->texts.push_back(std::move(text));
    };
    while (gzgets(in, buf, sizeof buf)) {
        const std::size_t n = std::strlen(buf);
        if (n > 0 && buf[n - 1] == '\n') {
            line.append(buf, n - 1);
            takeLine();
            line.clear();
        } else {
            line.append(buf, n);
        }
    }
    gzclose(in);
    return out;
}

std::string quoted(const std::string& text)
{
    return "\"" + text + "\"";
}

// The first difference, in the order of the runs, between the record and the runs made again, told
// as a message: the run, stock and day or trade, the field, and the recorded and the new text where
// the run's texts are recorded.
std::string firstDifference(const TextCollector& again, const std::string& recordPath)
{
    const auto recorded = readRecord(recordPath);
    if (recorded.empty())
        return "no record of the runs in " + recordPath;
    std::map<int, std::vector<std::string>> changedByRun; // run -> fields whose digest differs
    for (const auto& [key, part] : again.runFields()) {
        const auto it = recorded.find(key);
        if (it == recorded.end() || it->second.digest != shortDigest(part.digest))
            changedByRun[key.first].push_back(key.second);
    }
    for (const auto& [key, old] : recorded)
        if (!again.runFields().count(key))
            changedByRun[key.first].push_back(key.second + " (recorded, not produced now)");
    if (changedByRun.empty())
        return "the record in " + recordPath + " matches every run: it is older than output_digests.txt";

    const auto& [run, fields] = *changedByRun.begin();
    long firstSeq = -1;
    std::string first;
    for (const std::string& column : fields) {
        const auto now = again.runFields().find({run, column});
        const auto was = recorded.find({run, column});
        if (now == again.runFields().end() || was == recorded.end()) {
            if (first.empty())
                first = "run " + std::to_string(run) + ", field " + column +
                        ": produced in one of record and run only";
            continue;
        }
        const RunField& part = now->second;
        long seq = part.firstSeq;
        std::string message;
        if (part.texts.empty() || was->second.texts.empty()) {
            message = "first difference in " + part.firstWhere + ", field " + column +
                      ": the texts of this run are not recorded, only its digest (recorded " +
                      was->second.digest + ", now " + shortDigest(part.digest) + ")";
        } else {
            const std::vector<std::string>& old = was->second.texts;
            std::size_t i = 0;
            while (i < old.size() && i < part.texts.size() && old[i] == part.texts[i].text)
                ++i;
            if (i < part.texts.size())
                seq = part.texts[i].seq;
            else
                seq = part.texts.empty() ? seq : part.texts.back().seq + 1;
            const std::string where =
                i < part.texts.size() ? part.texts[i].where : part.firstWhere + " (after its last text)";
            message = "first difference at " + where + ", field " + column + ": recorded " +
                      (i < old.size() ? quoted(old[i]) : "(no text)") + ", now " +
                      (i < part.texts.size() ? quoted(part.texts[i].text) : "(no text)");
        }
        if (firstSeq < 0 || seq < firstSeq) {
            firstSeq = seq;
            first = message;
        }
    }
    std::size_t pairs = 0;
    for (const auto& [r, f] : changedByRun)
        pairs += f.size();
    return first + "\n  (" + std::to_string(pairs) + " fields of " + std::to_string(changedByRun.size()) +
           " runs differ; in run " + std::to_string(run) + ": " + std::to_string(fields.size()) + " fields)";
}

} // namespace

TEST(OutputRegression, EveryTextOfEveryRunIsAsRecorded)
{
    TextCollector texts(std::getenv("VORTEQ_DUMP_TEXTS"));
    const auto cases = allCases();
    collectAll(cases, texts);
    const auto actual = texts.digests();
    ASSERT_GT(texts.texts(), 1000000) << "the runs should produce texts by the million";

    const std::string path = VORTEQ_DIGEST_FILE;
    const std::string recordPath = VORTEQ_RECORD_FILE;
    const char* write = std::getenv("VORTEQ_WRITE_DIGESTS");
    if (write && std::string_view(write) == "1") {
        std::ofstream out(path);
        out << "# Digests of every text of the runs in OutputRegressionTest.cpp: field <name> over all "
               "runs,\n"
               "# group <name> over all fields of its runs. Written with VORTEQ_WRITE_DIGESTS=1.\n";
        for (const auto& [what, digest] : actual)
            out << what << ' ' << digest << '\n';
        TextCollector all(nullptr);
        all.keepRunFields();
        collectAll(cases, all);
        writeRecord(recordPath, all.runFields());
        GTEST_SKIP() << "digests written to " << path << ", the record of the runs to " << recordPath;
    }
    const auto expected = readDigests(path);
    ASSERT_FALSE(expected.empty()) << "no digests in " << path;
    bool changed = false;
    for (const auto& [what, digest] : expected) {
        const auto it = actual.find(what);
        ASSERT_NE(it, actual.end()) << what << " was not produced";
        EXPECT_EQ(it->second, digest) << "the texts of " << what << " changed";
        changed = changed || it->second != digest;
    }
    EXPECT_EQ(actual.size(), expected.size()) << "the runs produce other fields or groups than recorded";
    if (!changed && actual.size() == expected.size())
        return;

    // Run again keeping the digests of every run's fields, and name the first text that differs.
    TextCollector again(nullptr);
    again.keepRunFields();
    collectAll(cases, again);
    ADD_FAILURE() << firstDifference(again, recordPath);
}

// The client runs every back-test on the one analysis object of its window, and a batch runs stock
// after stock on one object: nothing of a run may leak into the next.
TEST(OutputRegression, OneObjectForEveryRunGivesTheSameTexts)
{
    const auto cases = allCases();
    TextCollector fresh(nullptr);
    TextCollector reused(nullptr);
    TStkAnalisys shared;
    installSimulation(shared);
    // Longest first, so that a shorter run finds the working columns of a longer one behind it.
    std::vector<std::size_t> order(cases.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t x, std::size_t y) {
        return cases[x].rows.size() > cases[y].rows.size();
    });
    for (const std::size_t i : order) {
        TStkAnalisys a;
        installSimulation(a);
        collectRun(a, cases[i], static_cast<int>(i), fresh);
        collectRun(shared, cases[i], static_cast<int>(i), reused);
    }
    EXPECT_EQ(reused.digests(), fresh.digests());
}
