#pragma once

#include <compare>
#include <optional>
#include <string>
#include <string_view>

namespace vorteq {

// A calendar day. Dates travel as "yyyy/mm/dd" text everywhere.
struct Date {
    int year = 0;
    int month = 0;
    int day = 0;

    auto operator<=>(const Date&) const = default;
};

bool isLeapYear(int year);
int daysInMonth(int year, int month);

// "yyyy/mm/dd"; also accepts "-" between the parts and one-digit months and days. Rejects
// impossible days (2006/02/30) and anything around the date.
std::optional<Date> parseDate(std::string_view text);

// "yyyy/mm/dd" with zero padding.
std::string formatDate(const Date& date);

// Replaces every "-" by "/", as dates read from the server may use either.
std::string normaliseDateText(std::string_view text);

// Days since 1970-01-01 and back.
long long toDayNumber(const Date& date);
Date fromDayNumber(long long days);

Date addDays(const Date& date, long long days);

// Adds whole months; the day is clamped to the last day of the target month (03/31 - 1 month = 02/28).
Date addMonths(const Date& date, int months);

// 0 = Sunday ... 6 = Saturday.
int dayOfWeek(const Date& date);

// Today in local time.
Date today();

} // namespace vorteq
