#pragma once

#include "series/DayValue.h"

#include <optional>
#include <ostream>
#include <string>
#include <string_view>

namespace vorteq {

// One text of a trade record: a text kept as given, or a number kept as its value and written in
// the general number format when the text is read. A back-test over a market makes hundreds of
// trades a stock and reads few of their texts; the trade list writes them all when it is shown.
// Kept in a day-field cell (16 bytes, short texts inline): only the cell's text is ever read, so
// a number is stored as it is and its text is formatNumber of it.
class TradeText {
public:
    TradeText() = default;
    TradeText(std::string_view text) { m_cell.setText(text); }
    TradeText(const std::string& text) : TradeText(std::string_view(text)) {}
    TradeText(const char* text) : TradeText(std::string_view(text)) {}

    // The general format of value, made when read.
    static TradeText number(long double value)
    {
        TradeText t;
        t.m_cell.setReadBack(value);
        return t;
    }

    std::string str() const { return m_cell.text(); }
    // The text read as a number without making the text (a number is kept as what its text reads
    // back as); nothing for a word such as "－".
    std::optional<long double> value() const { return m_cell.number(); }
    operator std::string() const { return str(); }

    bool operator==(const TradeText& other) const { return str() == other.str(); }
    friend bool operator==(const TradeText& a, std::string_view b) { return a.m_cell.textEquals(b); }
    friend bool operator==(const TradeText& a, const std::string& b) { return a == std::string_view(b); }
    friend bool operator==(const TradeText& a, const char* b) { return a == std::string_view(b); }
    friend std::ostream& operator<<(std::ostream& os, const TradeText& t) { return os << t.str(); }

private:
    DayValue m_cell;
};

// One trade of a simulation: nine texts, numbers in the general number format.
struct TTradeRecord {
    TradeText TradeDate;  // execution day, yyyy/mm/dd (the day after the signal)
    TradeText TradeKind;  // "買い", "空売り", "売り", "買戻し", "利確" or "損切"
    TradeText TradeRtn;   // return of a closing trade, percent, two decimals; "－" when opening
    TradeText TradePrice; // execution price, yen
    TradeText TradeVlm;   // shares
    TradeText TradeAmt;   // opening: shares x price; closing: the proceeds
    TradeText TradeFee;   // commission of this trade, yen
    TradeText RestAmt;    // cash after paying an opening, before crediting a closing
    TradeText TotalAmt;   // opening: RestAmt + TradeAmt; closing: the new cash

    bool operator==(const TTradeRecord&) const = default;
};

} // namespace vorteq
