#pragma once

// What the result views show after a simulation run, as plain texts: the daily table, the trade
// list, the summary fields and the export lines of both grids. The views only copy these into
// their controls.

#include "series/TStkData.h"

#include <array>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vorteq {

// What a summary field or the position field shows when there is nothing to show.
inline constexpr std::string_view kNoValue = "－";

inline constexpr std::string_view kBuySignalLabel = "買いｼｸﾞﾅﾙ";
inline constexpr std::string_view kBuyZoneLabel = "買いｿﾞｰﾝ";
inline constexpr std::string_view kSellSignalLabel = "売りｼｸﾞﾅﾙ";
inline constexpr std::string_view kSellZoneLabel = "売りｿﾞｰﾝ";

// What a column of the daily table shows.
enum class DailyCell {
    SignalLabel,     // the day's signal label
    NextTradeAction, // TradeAction of the next older day: the trades executed on this row's day
    Field,           // a field of the day, as its text
};

struct DailyColumn {
    std::string_view title;
    DailyCell cell;
    DayField field = DayField::Signal; // for DailyCell::Field
};

inline constexpr int kDailyColumnWidth = 90;
inline constexpr int kTradeColumnWidth = 80;

inline constexpr std::array<DailyColumn, 49> kDailyColumns{{
    {"ﾎﾟｼﾞｼｮﾝ", DailyCell::SignalLabel},
    {"取引内容", DailyCell::NextTradeAction},
    {"日付", DailyCell::Field, DayField::StkDate},
    {"始値", DailyCell::Field, DayField::SPrice},
    {"高値", DailyCell::Field, DayField::HPrice},
    {"安値", DailyCell::Field, DayField::LPrice},
    {"終値", DailyCell::Field, DayField::EPrice},
    {"出来高", DailyCell::Field, DayField::StkVlm},
    {"騰落率(当日)", DailyCell::Field, DayField::ToujituRate},
    {"騰落率(先日)", DailyCell::Field, DayField::ZenjituRate},
    {"連続騰落日数", DailyCell::Field, DayField::RenzokuDays},
    {"高値ｶｲﾘ率", DailyCell::Field, DayField::UpperShadowRate},
    {"安値ｶｲﾘ率", DailyCell::Field, DayField::LowerShadowRate},
    {"出来高前日比", DailyCell::Field, DayField::VlmRate},
    {"移動平均線1", DailyCell::Field, DayField::IdoAvg1},
    {"移動平均線2", DailyCell::Field, DayField::IdoAvg2},
    {"移動平均線3", DailyCell::Field, DayField::IdoAvg3},
    {"移動平均線4", DailyCell::Field, DayField::IdoAvg4},
    {"移動平均ｶｲﾘ率1", DailyCell::Field, DayField::Kairi1},
    {"移動平均ｶｲﾘ率2", DailyCell::Field, DayField::Kairi2},
    {"移動平均ｶｲﾘ率3", DailyCell::Field, DayField::Kairi3},
    {"移動平均ｶｲﾘ率4", DailyCell::Field, DayField::Kairi4},
    {"RSI", DailyCell::Field, DayField::RSI},
    {"ｽﾄｷｬｽﾃｨｸｽ%K", DailyCell::Field, DayField::STC_K},
    {"ｽﾄｷｬｽﾃｨｸｽ%D", DailyCell::Field, DayField::STC_D},
    {"ｽﾄｷｬｽﾃｨｸｽ%SD", DailyCell::Field, DayField::STC_SD},
    {"U-OSI", DailyCell::Field, DayField::OSI},
    {"ﾗﾘｰｳｨﾘｱﾑｽﾞ%R", DailyCell::Field, DayField::WilR},
    {"RCI", DailyCell::Field, DayField::RCI},
    {"CCI", DailyCell::Field, DayField::CCI},
    {"DPO", DailyCell::Field, DayField::DPO},
    {"Aﾚｼｵ", DailyCell::Field, DayField::ARatio},
    {"Bﾚｼｵ", DailyCell::Field, DayField::BRatio},
    {"ﾊﾟﾗﾎﾞﾘｯｸ", DailyCell::Field, DayField::ParaboSAR},
    {"ﾜｲﾙﾀﾞｰｽﾞﾎﾞﾗﾃｨﾘﾃｨ", DailyCell::Field, DayField::WilSAR},
    {"ﾎﾞﾘﾝｼﾞｬｰﾊﾞﾝﾄﾞ+2σ", DailyCell::Field, DayField::VolinPlus2},
    {"ﾎﾞﾘﾝｼﾞｬｰﾊﾞﾝﾄﾞ-2σ", DailyCell::Field, DayField::VolinMinus2},
    {"ﾎﾞﾘﾝｼﾞｬｰﾊﾞﾝﾄﾞ+1σ", DailyCell::Field, DayField::VolinPlus1},
    {"ﾎﾞﾘﾝｼﾞｬｰﾊﾞﾝﾄﾞ-1σ", DailyCell::Field, DayField::VolinMinus1},
    {"ﾎﾞﾘｭｰﾑﾚｼｵA", DailyCell::Field, DayField::VRA},
    {"ﾎﾞﾘｭｰﾑﾚｼｵB", DailyCell::Field, DayField::VRB},
    {"和光ﾎﾞﾘｭｰﾑﾚｼｵ", DailyCell::Field, DayField::VRW},
    {"MACD", DailyCell::Field, DayField::MACD},
    {"ｼｸﾞﾅﾙ", DailyCell::Field, DayField::MACSignal},
    {"+DI", DailyCell::Field, DayField::PlusDI},
    {"-DI", DailyCell::Field, DayField::MinusDI},
    {"ADX", DailyCell::Field, DayField::ADX},
    {"ｻｲｺﾛｼﾞｶﾙﾗｲﾝ", DailyCell::Field, DayField::PSY},
    {"値動きｻｲｺﾛｼﾞｶﾙﾗｲﾝ", DailyCell::Field, DayField::MPSY},
}};

// The trade list's columns, in the order of the trade record's fields.
inline constexpr std::array<std::string_view, 9> kTradeColumnTitles{
    "取引日", "取引内容", "取引利回り", "取引価格", "取引高", "取引金額", "手数料", "投資残額", "合計金額",
};
// The column of the return, which gets " %" unless it is "－".
inline constexpr int kTradeReturnColumn = 2;

// One summary field: its group and caption on the result tab, its edit control, the result field
// it shows and the suffix appended to the text.
struct SummaryField {
    std::string_view group;
    std::string_view caption;
    std::string_view edit;
    long double TUserResult::*number; // a number shown in the general format, or
    std::string TUserResult::*text;   // a text shown as it is
    std::string_view suffix;
};

inline constexpr std::string_view kResultGroup = "ｼﾐｭﾚｰｼｮﾝ結果";
inline constexpr std::string_view kTermGroup = "期間株価情報";

// The 28 summary fields in the order they are filled.
inline constexpr std::array<SummaryField, 28> kSummaryFields{{
    {kResultGroup, "初期投資金額", "edt_rst_init", &TUserResult::InitAmt, nullptr, ""},
    {kResultGroup, "最終評価額", "edt_rst_final", &TUserResult::FinalAmt, nullptr, ""},
    {kResultGroup, "最終利回り", "edt_rst_return", &TUserResult::TotalRtn, nullptr, " %"},
    {kResultGroup, "ﾄｰﾀﾙﾊﾟﾌｫｰﾏﾝｽ", "edt_rst_total_per", &TUserResult::TotalPer, nullptr, ""},
    {kResultGroup, "買いﾊﾟﾌｫｰﾏﾝｽ", "edt_rst_buy_per", &TUserResult::BuyPer, nullptr, ""},
    {kResultGroup, "空売りﾊﾟﾌｫｰﾏﾝｽ", "edt_rst_sell_per", &TUserResult::SellPer, nullptr, ""},
    {kResultGroup, "取引回数", "edt_rst_total_num", &TUserResult::TotalNum, nullptr, " 回"},
    {kResultGroup, "買い取引回数", "edt_rst_buy_num", &TUserResult::BuyNum, nullptr, " 回"},
    {kResultGroup, "空売り取引回数", "edt_rst_sell_num", &TUserResult::SellNum, nullptr, " 回"},
    {kResultGroup, "ﾄｰﾀﾙ勝率", "edt_rst_total_winnum", &TUserResult::TotalWinNum, nullptr, " 回"},
    {kResultGroup, "ﾄｰﾀﾙ勝率", "edt_rst_total_win", &TUserResult::TotalWin, nullptr, " %"},
    {kResultGroup, "買い勝率", "edt_rst_buy_winnum", &TUserResult::BuyWinNum, nullptr, " 回"},
    {kResultGroup, "買い勝率", "edt_rst_buy_win", &TUserResult::BuyWin, nullptr, " %"},
    {kResultGroup, "空売り勝率", "edt_rst_sell_winnum", &TUserResult::SellWinNum, nullptr, " 回"},
    {kResultGroup, "空売り勝率", "edt_rst_sell_win", &TUserResult::SellWin, nullptr, " %"},
    {kResultGroup, "平均ﾘﾀｰﾝ", "edt_rst_total_ave", &TUserResult::TotalAve, nullptr, " %"},
    {kResultGroup, "買い平均ﾘﾀｰﾝ", "edt_rst_buy_ave", &TUserResult::BuyAve, nullptr, " %"},
    {kResultGroup, "空売り平均ﾘﾀｰﾝ", "edt_rst_sell_ave", &TUserResult::SellAve, nullptr, " %"},
    {kTermGroup, "期間始値", "edt_term_sdate", nullptr, &TUserResult::TermSDate, ""},
    {kTermGroup, "期間始値", "edt_term_sprice", nullptr, &TUserResult::TermSPrice, ""},
    {kTermGroup, "期間終値", "edt_term_edate", nullptr, &TUserResult::TermEDate, ""},
    {kTermGroup, "期間終値", "edt_term_eprice", nullptr, &TUserResult::TermEPrice, ""},
    {kTermGroup, "騰落率", "edt_term_sertn", nullptr, &TUserResult::TermSERtn, " %"},
    {kTermGroup, "期間高値", "edt_term_hdate", nullptr, &TUserResult::TermHDate, ""},
    {kTermGroup, "期間高値", "edt_term_hprice", nullptr, &TUserResult::TermHPrice, ""},
    {kTermGroup, "期間安値", "edt_term_ldate", nullptr, &TUserResult::TermLDate, ""},
    {kTermGroup, "期間安値", "edt_term_lprice", nullptr, &TUserResult::TermLPrice, ""},
    {kTermGroup, "騰落率", "edt_term_hlrtn", nullptr, &TUserResult::TermHLRtn, " %"},
}};

using GridRows = std::vector<std::vector<std::string>>;

// The signal label of day i: "買いｼｸﾞﾅﾙ"/"売りｼｸﾞﾅﾙ" on the first day of a run of equal signals
// (the next older day has another signal, or there is none), "買いｿﾞｰﾝ"/"売りｿﾞｰﾝ" on the
// following days; empty for a day without a buy or sell signal.
std::string_view signalLabel(const TStkData& stock, int day);

// The daily table's rows, newest day first, from the newest day down to the first day before
// `start` (yyyy/mm/dd), which is not shown: 49 texts each.
GridRows dailyRows(const TStkData& stock, std::string_view start);

// The position field: the newest row's label, or "－" when there is none.
std::string positionText(const GridRows& daily);

// The trade list's rows, newest trade first, with " %" after every return but "－".
GridRows tradeRows(const TUserResult& result);

struct SummaryText {
    std::string_view edit;
    std::string text;
};

// The 28 summary texts with their suffixes, in kSummaryFields order.
std::vector<SummaryText> summaryTexts(const TUserResult& result);

// A grid's export lines: the title row, then every row; a grid without rows shows, and so
// exports, one blank row. Each cell is followed by ",".
std::vector<std::string> gridCsvLines(std::span<const std::string_view> titles, const GridRows& rows);

// The export lines of the daily table and of the trade list after a run.
std::vector<std::string> dailyTableCsvLines(const TStkData& stock, std::string_view start);
std::vector<std::string> tradeListCsvLines(const TUserResult& result);

// The summary as export lines: the title row "区分", "項目", "値", then one row per summary field in
// kSummaryFields order with its group, its caption and its text (suffix included).
std::vector<std::string> summaryCsvLines(const TUserResult& result);

// The daily table's titles in column order.
std::array<std::string_view, kDailyColumns.size()> dailyColumnTitles();

} // namespace vorteq
