#pragma once

// The 28 buy and 28 sell conditions, written once: stem, caption, keys of each side, the editor row,
// the kind of test and the day fields it reads. The editor, the record binding, the validation and
// the signal rules all read this table; control names come from the key table through the keys.

#include "conditions/JoukenFields.h"
#include "series/TStkDailyData.h"

#include <array>
#include <span>
#include <string_view>

namespace vorteq {

enum class Side { Buy, Sell };

// How a condition turns one day's values into true or false.
enum class TestKind {
    SignedThreshold,   // value against the threshold; a negative threshold mirrors the test around 0
    LineComparison,    // tested[0] against tested[1], "以上" or "以下"
    Renzoku,           // run of days (tested[0]) at least |threshold|, with the day's change (tested[1])
    StopAndReverse,    // stop value (tested[0]) below or above the close (tested[1])
    BollingerBand,     // the close (tested[0]) against the band the choice picks (tested[1..4])
    StochasticsChoice, // the line the line choice picks (tested[0..2]) against the threshold, signed
};

// Field numbers (kJoukenFields) of one side of a condition; -1 where the side has none.
struct ConditionKeys {
    int use = -1;        // "0" unused, "1" Or group, "2" And group
    int threshold = -1;  // the Amt key compared with the value
    int choice = -1;     // the Kbn key of the comparison, direction, turn or band
    int lineChoice = -1; // the Kbn key choosing the stochastics line (STCC only)
};

// Where a condition's row sits on the buy and sell tabs: two columns of 14 rows.
struct EditorSlot {
    int column; // 0 left, 1 right
    int row;    // 1..14 from the top
};

// The day fields a test reads, in the order its kind gives them: the first count of at.
struct TestedFields {
    std::array<DayField, 5> at{};
    std::size_t count = 0;
};

struct ConditionDef {
    std::string_view stem;    // the key's indicator word: UseBuy<stem>
    std::string_view caption; // the Or box's text, the same on both sides
    TestKind test;
    TestedFields tested;
    ConditionKeys buy;
    ConditionKeys sell;
    EditorSlot slot;
    std::string_view editLabel; // text right after the threshold field ("％", "日以上、連続して")
    std::string_view lineChoiceLabel; // text after the line choice (STCC: "が")

    const ConditionKeys& keys(Side side) const { return side == Side::Buy ? buy : sell; }
    bool hasThreshold() const { return buy.threshold >= 0; }
};

namespace detail {
consteval ConditionKeys keysOf(std::string_view use, std::string_view threshold, std::string_view choice,
                               std::string_view lineChoice = {})
{
    ConditionKeys k;
    k.use = fieldNo(use);
    k.threshold = threshold.empty() ? -1 : fieldNo(threshold);
    k.choice = fieldNo(choice);
    k.lineChoice = lineChoice.empty() ? -1 : fieldNo(lineChoice);
    return k;
}

template <class... Fields> consteval TestedFields tested(Fields... fields)
{
    static_assert(sizeof...(fields) >= 1 && sizeof...(fields) <= 5, "a test reads one to five day fields");
    return TestedFields{{fields...}, sizeof...(fields)};
}
} // namespace detail

inline constexpr int kConditionCount = 28;

// In the order the signal rules file the conditions into their groups.
inline constexpr ConditionDef kConditions[kConditionCount] = {
    {"ARatio",
     "強弱ﾚｼｵのAﾚｼｵが",
     TestKind::SignedThreshold,
     detail::tested(DayField::ARatio),
     detail::keysOf("UseBuyARatio", "AmtBuyARatio", "KbnBuyARatio"),
     detail::keysOf("UseSellARatio", "AmtSellARatio", "KbnSellARatio"),
     {1, 3},
     "",
     ""},
    {"BRatio",
     "強弱ﾚｼｵのBﾚｼｵが",
     TestKind::SignedThreshold,
     detail::tested(DayField::BRatio),
     detail::keysOf("UseBuyBRatio", "AmtBuyBRatio", "KbnBuyBRatio"),
     detail::keysOf("UseSellBRatio", "AmtSellBRatio", "KbnSellBRatio"),
     {1, 4},
     "",
     ""},
    {"CCI",
     "CCIが",
     TestKind::SignedThreshold,
     detail::tested(DayField::CCI),
     detail::keysOf("UseBuyCCI", "AmtBuyCCI", "KbnBuyCCI"),
     detail::keysOf("UseSellCCI", "AmtSellCCI", "KbnSellCCI"),
     {1, 1},
     "",
     ""},
    {"Closs",
     "移動平均線Cが移動平均線D",
     TestKind::LineComparison,
     detail::tested(DayField::IdoAvg3, DayField::IdoAvg4),
     detail::keysOf("UseBuyCloss", "", "KbnBuyCloss"),
     detail::keysOf("UseSellCloss", "", "KbnSellCloss"),
     {0, 7},
     "",
     ""},
    {"DMI",
     "DMIの+DIが-DI",
     TestKind::LineComparison,
     detail::tested(DayField::PlusDI, DayField::MinusDI),
     detail::keysOf("UseBuyDMI", "", "KbnBuyDMI"),
     detail::keysOf("UseSellDMI", "", "KbnSellDMI"),
     {1, 11},
     "",
     ""},
    {"DPO",
     "DPOが",
     TestKind::SignedThreshold,
     detail::tested(DayField::DPO),
     detail::keysOf("UseBuyDPO", "AmtBuyDPO", "KbnBuyDPO"),
     detail::keysOf("UseSellDPO", "AmtSellDPO", "KbnSellDPO"),
     {1, 2},
     "",
     ""},
    {"Ido",
     "株価が移動平均線A",
     TestKind::LineComparison,
     detail::tested(DayField::EPrice, DayField::IdoAvg1),
     detail::keysOf("UseBuyIdo", "", "KbnBuyIdo"),
     detail::keysOf("UseSellIdo", "", "KbnSellIdo"),
     {0, 5},
     "",
     ""},
    {"Kairi",
     "株価と移動平均線Bとのカイリ率が",
     TestKind::SignedThreshold,
     detail::tested(DayField::Kairi2),
     detail::keysOf("UseBuyKairi", "AmtBuyKairi2", "KbnBuyKairi"),
     detail::keysOf("UseSellKairi", "AmtSellKairi2", "KbnSellKairi"),
     {0, 6},
     "％",
     ""},
    {"MACD",
     "MACDがｼｸﾞﾅﾙ",
     TestKind::LineComparison,
     detail::tested(DayField::MACD, DayField::MACSignal),
     detail::keysOf("UseBuyMACD", "", "KbnBuyMACD"),
     detail::keysOf("UseSellMACD", "", "KbnSellMACD"),
     {1, 12},
     "",
     ""},
    {"MPSY",
     "値動きｻｲｺﾛｼﾞｶﾙﾗｲﾝが",
     TestKind::SignedThreshold,
     detail::tested(DayField::MPSY),
     detail::keysOf("UseBuyMPSY", "AmtBuyMPSY2", "KbnBuyMPSY"),
     detail::keysOf("UseSellMPSY", "AmtSellMPSY2", "KbnSellMPSY"),
     {1, 14},
     "",
     ""},
    {"OSI",
     "U-OSIが",
     TestKind::SignedThreshold,
     detail::tested(DayField::OSI),
     detail::keysOf("UseBuyOSI", "AmtBuyOSI", "KbnBuyOSI"),
     detail::keysOf("UseSellOSI", "AmtSellOSI", "KbnSellOSI"),
     {0, 12},
     "",
     ""},
    {"Parab",
     "ﾊﾟﾗﾎﾞﾘｯｸが",
     TestKind::StopAndReverse,
     detail::tested(DayField::ParaboSAR, DayField::EPrice),
     detail::keysOf("UseBuyParab", "", "KbnBuyParab"),
     detail::keysOf("UseSellParab", "", "KbnSellParab"),
     {1, 5},
     "",
     ""},
    {"PSY",
     "ｻｲｺﾛｼﾞｶﾙﾗｲﾝが",
     TestKind::SignedThreshold,
     detail::tested(DayField::PSY),
     detail::keysOf("UseBuyPSY", "AmtBuyPSY2", "KbnBuyPSY"),
     detail::keysOf("UseSellPSY", "AmtSellPSY2", "KbnSellPSY"),
     {1, 13},
     "",
     ""},
    {"RCI",
     "RCIが",
     TestKind::SignedThreshold,
     detail::tested(DayField::RCI),
     detail::keysOf("UseBuyRCI", "AmtBuyRCI2", "KbnBuyRCI"),
     detail::keysOf("UseSellRCI", "AmtSellRCI2", "KbnSellRCI"),
     {0, 14},
     "",
     ""},
    {"Renzoku",
     "株価が",
     TestKind::Renzoku,
     detail::tested(DayField::RenzokuDays, DayField::ZenjituRate),
     detail::keysOf("UseBuyRenzoku", "AmtBuyRenzoku", "KbnBuyRenzoku"),
     detail::keysOf("UseSellRenzoku", "AmtSellRenzoku", "KbnSellRenzoku"),
     {0, 4},
     "日以上、連続して",
     ""},
    {"RSI",
     "RSIが",
     TestKind::SignedThreshold,
     detail::tested(DayField::RSI),
     detail::keysOf("UseBuyRSI", "AmtBuyRSI2", "KbnBuyRSI"),
     detail::keysOf("UseSellRSI", "AmtSellRSI2", "KbnSellRSI"),
     {0, 8},
     "",
     ""},
    {"STCB",
     "ｽﾄｷｬｽﾃｨｸｽ%Dが%SD",
     TestKind::LineComparison,
     detail::tested(DayField::STC_D, DayField::STC_SD),
     detail::keysOf("UseBuySTCB", "", "KbnBuySTCB"),
     detail::keysOf("UseSellSTCB", "", "KbnSellSTCB"),
     {0, 10},
     "",
     ""},
    {"STCC",
     "ｽﾄｷｬｽﾃｨｸｽ",
     TestKind::StochasticsChoice,
     detail::tested(DayField::STC_K, DayField::STC_D, DayField::STC_SD),
     detail::keysOf("UseBuySTCC", "AmtBuySTCC", "KbnBuySTCC2", "KbnBuySTCC1"),
     detail::keysOf("UseSellSTCC", "AmtSellSTCC", "KbnSellSTCC2", "KbnSellSTCC1"),
     {0, 11},
     "",
     "が"},
    {"STK",
     "ｽﾄｷｬｽﾃｨｸｽ%Kが%D",
     TestKind::LineComparison,
     detail::tested(DayField::STC_K, DayField::STC_D),
     detail::keysOf("UseBuySTK", "", "KbnBuySTK"),
     detail::keysOf("UseSellSTK", "", "KbnSellSTK"),
     {0, 9},
     "",
     ""},
    {"Toujitu",
     "株価当日比が",
     TestKind::SignedThreshold,
     detail::tested(DayField::ToujituRate),
     detail::keysOf("UseBuyToujitu", "AmtBuyToujitu", "KbnBuyToujitu"),
     detail::keysOf("UseSellToujitu", "AmtSellToujitu", "KbnSellToujitu"),
     {0, 1},
     "％",
     ""},
    {"VLM",
     "出来高増減率が",
     TestKind::SignedThreshold,
     detail::tested(DayField::VlmRate),
     detail::keysOf("UseBuyVLM", "AmtBuyVLM", "KbnBuyVLM"),
     detail::keysOf("UseSellVLM", "AmtSellVLM", "KbnSellVLM"),
     {0, 3},
     "％",
     ""},
    {"Volin",
     "株価がﾎﾞﾘﾝｼﾞｬｰﾊﾞﾝﾄﾞの",
     TestKind::BollingerBand,
     detail::tested(DayField::EPrice, DayField::VolinPlus2, DayField::VolinMinus2, DayField::VolinPlus1,
                    DayField::VolinMinus1),
     detail::keysOf("UseBuyVolin", "", "KbnBuyVorin"),
     detail::keysOf("UseSellVolin", "", "KbnSellVorin"),
     {1, 7},
     "",
     ""},
    {"VRA",
     "ﾎﾞﾘｭｰﾑﾚｼｵ[A]が",
     TestKind::SignedThreshold,
     detail::tested(DayField::VRA),
     detail::keysOf("UseBuyVRA", "AmtBuyVRA2", "KbnBuyVRA"),
     detail::keysOf("UseSellVRA", "AmtSellVRA2", "KbnSellVRA"),
     {1, 8},
     "",
     ""},
    {"VRB",
     "ﾎﾞﾘｭｰﾑﾚｼｵ[B]が",
     TestKind::SignedThreshold,
     detail::tested(DayField::VRB),
     detail::keysOf("UseBuyVRB", "AmtBuyVRB2", "KbnBuyVRB"),
     detail::keysOf("UseSellVRB", "AmtSellVRB2", "KbnSellVRB"),
     {1, 9},
     "",
     ""},
    {"VRW",
     "和光ﾎﾞﾘｭｰﾑﾚｼｵが",
     TestKind::SignedThreshold,
     detail::tested(DayField::VRW),
     detail::keysOf("UseBuyVRW", "AmtBuyVRW2", "KbnBuyVRW"),
     detail::keysOf("UseSellVRW", "AmtSellVRW2", "KbnSellVRW"),
     {1, 10},
     "",
     ""},
    {"Wild",
     "ﾜｲﾙﾀﾞｰｽﾞﾎﾞﾗﾃｨﾘﾃｨが",
     TestKind::StopAndReverse,
     detail::tested(DayField::WilSAR, DayField::EPrice),
     detail::keysOf("UseBuyWild", "", "KbnBuyWild"),
     detail::keysOf("UseSellWild", "", "KbnSellWild"),
     {1, 6},
     "",
     ""},
    {"WilR",
     "ﾗﾘｰｳｨﾘｱﾑｽﾞ%Rが",
     TestKind::SignedThreshold,
     detail::tested(DayField::WilR),
     detail::keysOf("UseBuyWilR", "AmtBuyWilR2", "KbnBuyWilR"),
     detail::keysOf("UseSellWilR", "AmtSellWilR2", "KbnSellWilR"),
     {0, 13},
     "",
     ""},
    {"Zenjitu",
     "株価前日比が",
     TestKind::SignedThreshold,
     detail::tested(DayField::ZenjituRate),
     detail::keysOf("UseBuyZenjitu", "AmtBuyZenjitu", "KbnBuyZenjitu"),
     detail::keysOf("UseSellZenjitu", "AmtSellZenjitu", "KbnSellZenjitu"),
     {0, 2},
     "％",
     ""},
};

// Control names, taken from the key table through the condition's keys (Or box, And box, the
// threshold's edit field, the choice list, the stochastics line list). Empty where there is none.
std::string_view orBoxName(const ConditionDef& c, Side side);
std::string_view andBoxName(const ConditionDef& c, Side side);
std::string_view editName(const ConditionDef& c, Side side);
std::string_view choiceName(const ConditionDef& c, Side side);
std::string_view lineChoiceName(const ConditionDef& c, Side side);

// Most characters the threshold field takes (4; the sell side's deviation field takes 3).
int editMaxLength(const ConditionDef& c, Side side);

// The 28 conditions in the editor's order: left column rows 1-14, then the right column. The
// validation checks thresholds in this order.
std::span<const ConditionDef* const> conditionsInEditorOrder();

// The condition of a stem ("RSI"), or nullptr.
const ConditionDef* findCondition(std::string_view stem);

} // namespace vorteq
