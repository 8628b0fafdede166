#include "common/DateText.h"

#include <ctime>

namespace vorteq {
namespace {

// Reads 1 to maxDigits decimal digits at text[i], advancing i.
std::optional<int> readField(std::string_view text, std::size_t& i, std::size_t maxDigits)
{
    const std::size_t start = i;
    int v = 0;
    while (i < text.size() && i - start < maxDigits && text[i] >= '0' && text[i] <= '9') {
        v = v * 10 + (text[i] - '0');
        ++i;
    }
    if (i == start)
        return std::nullopt;
    return v;
}

} // namespace

bool isLeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(int year, int month)
{
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month == 2 && isLeapYear(year))
        return 29;
    return kDays[month - 1];
}

std::optional<Date> parseDate(std::string_view text)
{
    std::size_t i = 0;
    const auto year = readField(text, i, 4);
    if (!year || i != 4 || i >= text.size() || (text[i] != '/' && text[i] != '-'))
        return std::nullopt;
    ++i;
    const auto month = readField(text, i, 2);
    if (!month || i >= text.size() || (text[i] != '/' && text[i] != '-'))
        return std::nullopt;
    ++i;
    const auto day = readField(text, i, 2);
    if (!day || i != text.size())
        return std::nullopt;
    if (*year < 1 || *month < 1 || *month > 12 || *day < 1 || *day > daysInMonth(*year, *month))
        return std::nullopt;
    return Date{*year, *month, *day};
}

std::string formatDate(const Date& date)
{
    std::string out(10, '0');
    int y = date.year;
    for (int k = 3; k >= 0; --k) {
        out[static_cast<std::size_t>(k)] = static_cast<char>('0' + y % 10);
        y /= 10;
    }
    out[4] = '/';
    out[5] = static_cast<char>('0' + date.month / 10);
    out[6] = static_cast<char>('0' + date.month % 10);
    out[7] = '/';
    out[8] = static_cast<char>('0' + date.day / 10);
    out[9] = static_cast<char>('0' + date.day % 10);
    return out;
}

std::string normaliseDateText(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        if (c == '-')
            c = '/';
    return out;
}

// Howard Hinnant's days_from_civil.
long long toDayNumber(const Date& date)
{
    const long long y = date.month <= 2 ? date.year - 1 : date.year;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const long long yoe = y - era * 400;
    const long long mp = (date.month + 9) % 12;
    const long long doy = (153 * mp + 2) / 5 + date.day - 1;
    const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

Date fromDayNumber(long long days)
{
    days += 719468;
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const long long doe = days - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    const long long d = doy - (153 * mp + 2) / 5 + 1;
    const long long m = mp < 10 ? mp + 3 : mp - 9;
    const long long y = yoe + era * 400 + (m <= 2 ? 1 : 0);
    return Date{static_cast<int>(y), static_cast<int>(m), static_cast<int>(d)};
}

Date addDays(const Date& date, long long days)
{
    return fromDayNumber(toDayNumber(date) + days);
}

Date addMonths(const Date& date, int months)
{
    long long index = static_cast<long long>(date.year) * 12 + (date.month - 1) + months;
    long long y = index >= 0 ? index / 12 : (index - 11) / 12;
    const int m = static_cast<int>(index - y * 12) + 1;
    const int yy = static_cast<int>(y);
    const int dim = daysInMonth(yy, m);
    return Date{yy, m, date.day > dim ? dim : date.day};
}

int dayOfWeek(const Date& date)
{
    const long long n = toDayNumber(date); // 1970-01-01 was a Thursday
    return static_cast<int>(((n % 7) + 11) % 7);
}

Date today()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return Date{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
}

} // namespace vorteq
