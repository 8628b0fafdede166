#include "simulation/TradeCodes.h"

#include <gtest/gtest.h>
#include <string>

using namespace vorteq;

// The texts are what stored result files, exports and earlier runs hold: they may never change.
TEST(TradeCodes, EveryTradeKindKeepsItsStoredTextBothWays)
{
    const std::pair<TradeKind, std::string_view> stored[] = {
        {TradeKind::OpenLong, "買い"},     {TradeKind::OpenShort, "空売り"}, {TradeKind::CloseLong, "売り"},
        {TradeKind::CloseShort, "買戻し"}, {TradeKind::TakeProfit, "利確"},  {TradeKind::CutLoss, "損切"},
    };
    for (const auto& [kind, text] : stored) {
        EXPECT_EQ(textOf(kind), text);
        EXPECT_EQ(tradeKindOf(text), kind) << text;
    }
    EXPECT_EQ(tradeKindOf(""), std::nullopt);
    EXPECT_EQ(tradeKindOf("買い・空売り"), std::nullopt); // a day's two trades are not one kind
    EXPECT_EQ(tradeKindOf("買"), std::nullopt);
}

TEST(TradeCodes, SignalsAndPositionsAreTheirDigits)
{
    const std::pair<Signal, std::string_view> signals[] = {
        {Signal::None, "0"}, {Signal::Buy, "1"}, {Signal::Sell, "2"}};
    for (const auto& [signal, text] : signals) {
        EXPECT_EQ(textOf(signal), text);
        EXPECT_EQ(signalOf(text), signal);
    }
    const std::pair<Position, std::string_view> positions[] = {
        {Position::Flat, "0"}, {Position::Long, "1"}, {Position::Short, "2"}};
    for (const auto& [position, text] : positions) {
        EXPECT_EQ(textOf(position), text);
        EXPECT_EQ(positionOf(text), position);
    }
    for (const std::string_view other : {"", "3", "01", "1 ", "a"}) {
        EXPECT_EQ(signalOf(other), std::nullopt) << other;
        EXPECT_EQ(positionOf(other), std::nullopt) << other;
    }
}
