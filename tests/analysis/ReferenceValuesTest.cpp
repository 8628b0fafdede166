// Our indicators against values an independent open-source indicator library computed for the same
// real and made-up series (data/reference, one row per day, oldest first, 15 significant digits).
// Only the columns whose definitions agree with ours are compared: simple moving averages,
// Bollinger bands, Wilder's RSI, Williams %R (the library's sign is the opposite of ours), the fast
// stochastic %K, the ultimate oscillator, and the MACD's two exponential averages and its line once
// the different seeding has died away. Not compared, because the definitions differ: the MACD
// signal line, %D and slow %D (ours are ratios of window sums), the directional indicators and ADX
// (ours are window means, not Wilder's smoothing), the CCI (ours averages each day's deviation from
// its own mean) and the parabolic (its own start and limits). Our stored values are either 15-digit
// texts or texts truncated to two decimals, so each comparison says which of the two it expects.
#include "AnalysisTestSupport.h"

#include <cmath>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

using namespace vorteq;
using namespace vorteq::testing;

namespace {

// The reference file as columns of optional values, oldest day first.
struct ReferenceTable {
    std::vector<std::string> dates; // yyyy/mm/dd, as our day records write them
    std::map<std::string, std::vector<std::optional<double>>> columns;
};

ReferenceTable loadReference(const std::string& path)
{
    std::ifstream in(path);
    EXPECT_TRUE(in.good()) << path;
    ReferenceTable t;
    std::string line;
    std::getline(in, line);
    std::vector<std::string> names;
    {
        std::stringstream header(line);
        std::string name;
        while (std::getline(header, name, ','))
            names.push_back(name);
    }
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::vector<std::string> cells;
        std::size_t start = 0;
        for (;;) {
            const std::size_t comma = line.find(',', start);
            cells.push_back(
                line.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
            if (comma == std::string::npos)
                break;
            start = comma + 1;
        }
        std::string date = cells[0];
        for (char& c : date)
            c = c == '-' ? '/' : c;
        t.dates.push_back(date);
        for (std::size_t c = 1; c < names.size(); ++c) {
            auto& column = t.columns[names[c]];
            if (c < cells.size() && !cells[c].empty())
                column.push_back(std::stod(cells[c]));
            else
                column.push_back(std::nullopt);
        }
    }
    return t;
}

TStkData analyzeSeries(const std::string& name, const char* from, const char* to)
{
    const auto rows = loadCsvNewestFirst(std::string(VORTEQ_DATA_DIR) + "/" + name, "9999");
    TStkAnalisys a;
    EXPECT_TRUE(
        a.Analyze(makePriceTable(rows), static_cast<int>(rows.size()), TJouken::defaults(), from, to, false));
    TStkData s;
    EXPECT_TRUE(a.GetStkData(0, s));
    return s;
}

enum class Stored {
    Digits15,  // 15 significant digits: equal within a relative tolerance
    Truncated, // cut to two decimals toward zero: at most 0.01 nearer to zero than the exact value
};

struct Column {
    const char* reference;
    DayField field;
    Stored stored;
    double sign = 1;     // ours = sign x library
    int skipLeading = 0; // days after the library's first value that we may still lack
    int fromNewest = 0;  // compare only this many newest days (0: all)
    double relative = 1e-9;
    // Days on which our definition gives no value where the library gives one.
    bool (*undefinedForUs)(const TStkData&, std::size_t day) = nullptr;
};

// The ultimate oscillator has no value for us when the shortest window's true range is zero (a
// flat week); the library counts that window's term as 0 and still gives a value.
bool flatShortWindow(const TStkData& s, std::size_t day)
{
    for (std::size_t j = day; j < day + 7 && j < s.Days.size(); ++j)
        if (std::stod(s.Days[j].text(DayField::OSIRange)) != 0)
            return false;
    return true;
}

// The fields with the engine's default periods: moving averages 5/15/25/50, bands 20, RSI 9,
// Williams %R 10, stochastics %K 9, ultimate oscillator 7/14/28, MACD 12/26.
const Column kColumns[] = {
    {"SMA_5", DayField::IdoAvg1, Stored::Truncated},
    {"SMA_15", DayField::IdoAvg2, Stored::Truncated},
    {"SMA_25", DayField::IdoAvg3, Stored::Truncated},
    {"SMA_50", DayField::IdoAvg4, Stored::Truncated},
    {"BB20_UP1", DayField::VolinPlus1, Stored::Truncated, 1, 1},
    {"BB20_LO1", DayField::VolinMinus1, Stored::Truncated, 1, 1},
    {"BB20_UP2", DayField::VolinPlus2, Stored::Truncated, 1, 1},
    {"BB20_LO2", DayField::VolinMinus2, Stored::Truncated, 1, 1},
    {"RSI_9", DayField::RSI, Stored::Truncated},
    {"WILLR_10", DayField::WilR, Stored::Truncated, -1, 1},
    {"STOCHF_K_9", DayField::STC_K, Stored::Truncated, 1, 1},
    {"ULTOSC_7_14_28", DayField::OSI, Stored::Truncated, 1, 1, 0, 1e-9, flatShortWindow},
    // Our averages start from the first close, the library's from a mean of the first days; after
    // 500 days the difference has shrunk by more than 10^-16.
    {"EMA_12", DayField::MACShortEMA, Stored::Digits15, 1, 0, 500},
    {"EMA_26", DayField::MACLongEMA, Stored::Digits15, 1, 0, 500},
    {"MACD_12_26_9", DayField::MACD, Stored::Truncated, 1, 0, 500},
};

double ours(const TStkDailyData& day, DayField f)
{
    return std::stod(day.text(f));
}

// Compares every column on one series; returns the number of values compared.
int compareSeries(const std::string& series, const char* from, const char* to)
{
    const ReferenceTable ref = loadReference(std::string(VORTEQ_DATA_DIR) + "/reference/" +
                                             series.substr(0, series.size() - 4) + ".talib.csv");
    const TStkData s = analyzeSeries(series, from, to);
    const std::size_t n = ref.dates.size();
    EXPECT_EQ(static_cast<std::size_t>(s.DayCount), n);
    if (static_cast<std::size_t>(s.DayCount) != n)
        return 0;
    int compared = 0;
    for (const Column& c : kColumns) {
        const auto& values = ref.columns.at(c.reference);
        std::size_t first = 0;
        while (first < n && !values[first])
            ++first;
        const std::size_t start = std::max(first + static_cast<std::size_t>(c.skipLeading),
                                           c.fromNewest > 0 && n > static_cast<std::size_t>(c.fromNewest)
                                               ? n - static_cast<std::size_t>(c.fromNewest)
                                               : 0);
        int mismatches = 0;
        for (std::size_t k = start; k < n && mismatches < 3; ++k) {
            if (!values[k])
                continue;
            const TStkDailyData& day = s.Days[n - 1 - k]; // our days run newest first
            if (c.undefinedForUs && c.undefinedForUs(s, n - 1 - k))
                continue;
            EXPECT_EQ(day.text(DayField::StkDate), ref.dates[k]);
            EXPECT_FALSE(day.text(c.field).empty()) << series << " " << c.reference << " " << ref.dates[k];
            const double expected = c.sign * *values[k];
            const double got = ours(day, c.field);
            const double tolerance = c.relative * std::max(1.0, std::fabs(expected));
            bool ok = false;
            if (c.stored == Stored::Digits15) {
                ok = std::fabs(got - expected) <= tolerance;
            } else if (expected >= 0) {
                ok = got <= expected + tolerance && got >= expected - 0.01 - tolerance;
            } else {
                ok = got >= expected - tolerance && got <= expected + 0.01 + tolerance;
            }
            if (!ok) {
                ++mismatches;
                ADD_FAILURE() << series << " " << c.reference << " on " << ref.dates[k] << ": ours "
                              << day.text(c.field) << ", library " << *values[k];
            }
            ++compared;
        }
    }
    return compared;
}

} // namespace

TEST(ReferenceValues, RealSeriesAgreesWithTheLibraryWhereTheDefinitionsAgree)
{
    // 1,047 days: every column is compared on most of them.
    EXPECT_GT(compareSeries("goog_2004-08-19_2008-10-14.csv", "2004/08/19", "2008/10/14"), 10000);
}

TEST(ReferenceValues, FlatStretchesAgreeWithTheLibrary)
{
    // Long runs of one price: zero ranges and zero variances on both sides.
    EXPECT_GT(compareSeries("edge_flat_synthetic.csv", "2020/01/01", "2020/12/31"), 500);
}
