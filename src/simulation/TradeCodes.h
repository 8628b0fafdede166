#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

namespace vorteq {

// A day's signal, kept in the day record's Signal field as its digit.
enum class Signal : char { None = '0', Buy = '1', Sell = '2' };

// The position held, kept in the result record's Position field as its digit (empty before the
// period's first day).
enum class Position : char { Flat = '0', Long = '1', Short = '2' };

// Why a held position closes on a day whatever the signal says, judged on the day's close.
enum class ExitReason { None, TakeProfit, CutLoss };

// What a trade does, kept in the trade record's TradeKind text (and the day's TradeAction).
enum class TradeKind { OpenLong, OpenShort, CloseLong, CloseShort, TakeProfit, CutLoss };

// The stored texts of the trade kinds, in TradeKind order.
inline constexpr std::array<std::string_view, 6> kTradeKindTexts{"買い",   "空売り", "売り",
                                                                 "買戻し", "利確",   "損切"};

constexpr std::string_view textOf(TradeKind kind)
{
    return kTradeKindTexts[static_cast<std::size_t>(kind)];
}

// The kind a stored text names; nothing for any other text.
constexpr std::optional<TradeKind> tradeKindOf(std::string_view text)
{
    for (std::size_t i = 0; i < kTradeKindTexts.size(); ++i)
        if (kTradeKindTexts[i] == text)
            return static_cast<TradeKind>(i);
    return std::nullopt;
}

// The stored digit of a signal or a position.
constexpr char codeOf(Signal signal)
{
    return static_cast<char>(signal);
}
constexpr char codeOf(Position position)
{
    return static_cast<char>(position);
}

// The stored text of a signal or a position: its digit.
constexpr std::string_view textOf(Signal signal)
{
    constexpr std::array<std::string_view, 3> kDigits{"0", "1", "2"};
    return kDigits[static_cast<std::size_t>(codeOf(signal) - '0')];
}
constexpr std::string_view textOf(Position position)
{
    return textOf(static_cast<Signal>(codeOf(position)));
}

// The signal or position a stored text names; nothing for any other text.
constexpr std::optional<Signal> signalOf(std::string_view text)
{
    for (const Signal s : {Signal::None, Signal::Buy, Signal::Sell})
        if (text.size() == 1 && text[0] == codeOf(s))
            return s;
    return std::nullopt;
}
constexpr std::optional<Position> positionOf(std::string_view text)
{
    for (const Position p : {Position::Flat, Position::Long, Position::Short})
        if (text.size() == 1 && text[0] == codeOf(p))
            return p;
    return std::nullopt;
}

} // namespace vorteq
