#include "server/storage/ValueText.h"

#include "gateway/WireCodec.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <sqlite3.h>
#include <string_view>

namespace vorteq::server {

namespace {

std::string_view columnText(sqlite3_stmt* stmt, int column)
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
    return {text, static_cast<std::size_t>(sqlite3_column_bytes(stmt, column))};
}

void appendInteger(std::string& out, std::int64_t value)
{
    std::array<char, 24> buf;
    const char* end = std::to_chars(buf.data(), buf.data() + buf.size(), value).ptr;
    out.append(buf.data(), static_cast<std::size_t>(end - buf.data()));
}

} // namespace

void appendColumn(std::string& out, sqlite3_stmt* stmt, int column)
{
    switch (sqlite3_column_type(stmt, column)) {
    case SQLITE_INTEGER:
        appendInteger(out, sqlite3_column_int64(stmt, column));
        break;
    case SQLITE_FLOAT:
        appendValueText(out, sqlite3_column_double(stmt, column));
        break;
    case SQLITE_TEXT:
        out.append(columnText(stmt, column));
        break;
    default: // NULL: no value; BLOB: none of our tables hold one
        break;
    }
}

Status writeColumn(wire::ReplyWriter& out, sqlite3_stmt* stmt, int column)
{
    // One look-up of the column, then its value read in its stored type: each sqlite3_column_*
    // call checks the statement and the connection's error state again, which for a screening of
    // forty-odd numbers a row costs more than formatting them. The connection is opened without a
    // mutex (SQLITE_OPEN_NOMUTEX) and used by one thread, so the value needs no protection.
    sqlite3_value* value = sqlite3_column_value(stmt, column);
    switch (sqlite3_value_type(value)) {
    case SQLITE_INTEGER:
        appendInteger(out.plainField(), sqlite3_value_int64(value));
        break;
    case SQLITE_FLOAT:
        appendValueText(out.plainField(), sqlite3_value_double(value));
        break;
    case SQLITE_TEXT: {
        const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(value));
        return out.appendText({text, static_cast<std::size_t>(sqlite3_value_bytes(value))});
    }
    default:
        out.plainField();
        break;
    }
    return Status::success();
}

void appendValueText(std::string& out, double value)
{
    // Fast path for whole numbers and values of up to two decimals (prices and the indicator values
    // kept to two decimals), zero and negative zero ("0") included: when v is the double nearest to
    // k / 100 and k has at most 15 digits, the decimal k / 100 is the shortest text that reads back
    // to v. k is rounded by truncating after adding a half, which can be one off near a half: the
    // check below catches that too. Not a number and the infinities fail the first test.
    if (std::abs(value) < 1e12) {
        const double scaled = value * 100.0;
        const auto k = static_cast<std::int64_t>(scaled < 0 ? scaled - 0.5 : scaled + 0.5);
        if (static_cast<double>(k) / 100.0 == value) {
            // Written from the right: the cents (without a trailing zero), then the whole part two
            // digits at a time, then the sign.
            static constexpr char kPairs[] =
                "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
                "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
                "8081828384858687888990919293949596979899";
            std::array<char, 24> buf;
            char* const end = buf.data() + buf.size();
            char* p = end;
            std::uint64_t whole = static_cast<std::uint64_t>(k < 0 ? -k : k);
            const auto cents = static_cast<unsigned>(whole % 100);
            whole /= 100;
            if (cents != 0) {
                if (cents % 10 != 0)
                    *--p = static_cast<char>('0' + cents % 10);
                *--p = static_cast<char>('0' + cents / 10);
                *--p = '.';
            }
            while (whole >= 100) {
                p -= 2;
                std::memcpy(p, kPairs + 2 * (whole % 100), 2);
                whole /= 100;
            }
            if (whole >= 10) {
                p -= 2;
                std::memcpy(p, kPairs + 2 * whole, 2);
            } else {
                *--p = static_cast<char>('0' + whole);
            }
            if (k < 0)
                *--p = '-';
            out.append(p, static_cast<std::size_t>(end - p));
            return;
        }
    }
    if (!std::isfinite(value))
        return;
    // The shortest digits that read back to the same double, in scientific form "d.ddde-05".
    std::array<char, 40> buf{};
    auto [end, ec] = std::to_chars(buf.data(), buf.data() + buf.size(), value, std::chars_format::scientific);
    const std::string_view text(buf.data(), static_cast<std::size_t>(end - buf.data()));
    const std::size_t e = text.find('e');
    std::string digits;
    for (char c : text.substr(0, e))
        if (c >= '0' && c <= '9')
            digits += c;
    int exponent = 0;
    std::from_chars(text.data() + e + 1 + (text[e + 1] == '+' ? 1 : 0), text.data() + text.size(), exponent);
    if (value < 0)
        out += '-';
    // Fixed notation from 0.0001 up to below 1E15, exponent form outside, as the client's numbers.
    if (exponent >= -4 && exponent < 15) {
        if (exponent < 0) {
            out += "0.";
            out.append(static_cast<std::size_t>(-exponent - 1), '0');
            out += digits;
        } else if (digits.size() <= static_cast<std::size_t>(exponent) + 1) {
            out += digits;
            out.append(static_cast<std::size_t>(exponent) + 1 - digits.size(), '0');
        } else {
            out.append(digits, 0, static_cast<std::size_t>(exponent) + 1);
            out += '.';
            out.append(digits, static_cast<std::size_t>(exponent) + 1);
        }
        return;
    }
    out += digits[0];
    if (digits.size() > 1) {
        out += '.';
        out.append(digits, 1);
    }
    out += 'E';
    out += std::to_string(exponent);
}

} // namespace vorteq::server
