#include "server/storage/ValueText.h"

#include "gateway/WireCodec.h"

#include <algorithm>
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

// "00" to "99".
constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

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

Status writeRow(wire::ReplyWriter& out, sqlite3_stmt* stmt, int columns, std::string& scratch)
{
    // Each column is looked up once and its value read in its stored type: each sqlite3_column_*
    // call checks the statement and the connection's error state again, which for a screening of
    // forty-odd numbers a row costs more than formatting them. The connection is opened without a
    // mutex (SQLITE_OPEN_NOMUTEX) and used by one thread, so the values need no protection.
    // Numbers and empty fields go into the scratch with their separators, a whole run between two
    // texts at once, so that a number costs no call and no check of the reply's room.
    const std::size_t room = static_cast<std::size_t>(columns) * (kMaxValueTextBytes + 1);
    if (scratch.size() < room)
        scratch.resize(room);
    char* const start = scratch.data();
    char* p = start;
    int pending = 0; // fields in the scratch
    auto handOver = [&] {
        if (pending > 0)
            out.plainFields(pending).append(start, static_cast<std::size_t>(p - start));
        p = start;
        pending = 0;
    };
    out.beginRow();
    for (int c = 0; c < columns; ++c) {
        sqlite3_value* value = sqlite3_column_value(stmt, c);
        const int type = sqlite3_value_type(value);
        if (type == SQLITE_TEXT) {
            handOver();
            const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(value));
            if (auto st = out.appendText({text, static_cast<std::size_t>(sqlite3_value_bytes(value))}); !st)
                return st; // the reply has dropped the row
            continue;
        }
        if (pending > 0)
            *p++ = wire::kFieldSep;
        ++pending;
        if (type == SQLITE_FLOAT)
            p = writeValueText(p, sqlite3_value_double(value));
        else if (type == SQLITE_INTEGER)
            p = std::to_chars(p, p + kMaxValueTextBytes, sqlite3_value_int64(value)).ptr;
        // NULL: no value; BLOB: none of our tables hold one
    }
    handOver();
    out.endRow();
    return Status::success();
}

void appendValueText(std::string& out, double value)
{
    std::array<char, kMaxValueTextBytes> buf;
    out.append(buf.data(), static_cast<std::size_t>(writeValueText(buf.data(), value) - buf.data()));
}

char* writeValueText(char* out, double value)
{
    // Shortcut for whole numbers and values of up to two decimals (prices and the indicator values
    // kept to two decimals), zero and negative zero ("0") included: when v is the double nearest to
    // k / 100 and k has at most 15 digits, the decimal k / 100 is the shortest text that reads back
    // to v. k is rounded by truncating after adding a half, which can be one off near a half: the
    // check below catches that too. Not a number and the infinities fail the first test.
    if (std::abs(value) < 1e12) {
        const double scaled = value * 100.0;
        const auto k = static_cast<std::int64_t>(scaled < 0 ? scaled - 0.5 : scaled + 0.5);
        if (static_cast<double>(k) / 100.0 == value) {
            if (k < 0)
                *out++ = '-';
            const auto hundredths = static_cast<std::uint64_t>(k < 0 ? -k : k);
            const std::uint64_t whole = hundredths / 100;
            const auto cents = static_cast<unsigned>(hundredths % 100);
            // Most values are below 100 before the point (changes in percent, oscillators).
            if (whole < 10) {
                *out++ = static_cast<char>('0' + whole);
            } else if (whole < 100) {
                std::memcpy(out, kDigitPairs + 2 * whole, 2);
                out += 2;
            } else {
                out = std::to_chars(out, out + 16, whole).ptr; // below 1E12: at most 12 digits
            }
            if (cents != 0) { // both digits written, the second left behind the end when it is a zero
                *out = '.';
                std::memcpy(out + 1, kDigitPairs + 2 * cents, 2);
                out += cents % 10 != 0 ? 3 : 2;
            }
            return out;
        }
    }
    return writeShortestValueText(out, value);
}

char* writeShortestValueText(char* out, double value)
{
    if (!std::isfinite(value))
        return out;
    // The shortest digits that read back to the same double, in scientific form "d.ddde-05".
    std::array<char, 40> buf{};
    const char* const end =
        std::to_chars(buf.data(), buf.data() + buf.size(), value, std::chars_format::scientific).ptr;
    const char* const e = std::find(static_cast<const char*>(buf.data()), end, 'e');
    std::array<char, 24> digits;
    std::size_t count = 0;
    for (const char* c = buf.data(); c != e; ++c)
        if (*c >= '0' && *c <= '9')
            digits[count++] = *c;
    int exponent = 0;
    std::from_chars(e + 1 + (e[1] == '+' ? 1 : 0), end, exponent);
    auto put = [&out](const char* from, std::size_t n) {
        std::memcpy(out, from, n);
        out += n;
    };
    if (value < 0)
        *out++ = '-';
    // Fixed notation from 0.0001 up to below 1E15, exponent form outside, as the client's numbers.
    if (exponent >= -4 && exponent < 15) {
        const auto whole = static_cast<std::size_t>(exponent) + 1;
        if (exponent < 0) {
            put("0.000", static_cast<std::size_t>(1 - exponent));
            put(digits.data(), count);
        } else if (count <= whole) {
            put(digits.data(), count);
            out = std::fill_n(out, whole - count, '0');
        } else {
            put(digits.data(), whole);
            *out++ = '.';
            put(digits.data() + whole, count - whole);
        }
        return out;
    }
    *out++ = digits[0];
    if (count > 1) {
        *out++ = '.';
        put(digits.data() + 1, count - 1);
    }
    *out++ = 'E';
    return std::to_chars(out, out + 8, exponent).ptr;
}

} // namespace vorteq::server
