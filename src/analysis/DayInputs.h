#pragma once

// What the analysis driver's steps share about a day record's inputs: the date and the prices, in
// the order of the price table's columns, and how they reach the working series.

#include "analysis/TStkAnalisys.h"
#include "indicators/SeriesWork.h"

#include <string>
#include <string_view>
#include <vector>

namespace vorteq::analysis_detail {

// What a day record holds before the indicators: the date, then the prices in the order of the
// table's columns.
inline constexpr int kInputsPerDay = 6;
inline constexpr DayField kInputFields[kInputsPerDay] = {DayField::StkDate, DayField::SPrice,
                                                         DayField::HPrice,  DayField::LPrice,
                                                         DayField::EPrice,  DayField::StkVlm};
struct PriceInput {
    DayField field;
    int column; // of the price table
    std::vector<long double> SeriesWork::*series;
    std::uint8_t zeroBit;
};
inline constexpr PriceInput kPriceInputs[kInputsPerDay - 1] = {
    {DayField::SPrice, TStkAnalisys::kColOpen, &SeriesWork::O, SeriesWork::kZeroOpen},
    {DayField::HPrice, TStkAnalisys::kColHigh, &SeriesWork::H, SeriesWork::kZeroHigh},
    {DayField::LPrice, TStkAnalisys::kColLow, &SeriesWork::L, SeriesWork::kZeroLow},
    {DayField::EPrice, TStkAnalisys::kColClose, &SeriesWork::C, SeriesWork::kZeroClose},
    {DayField::StkVlm, TStkAnalisys::kColVolume, &SeriesWork::V, SeriesWork::kZeroVolume},
};

inline std::string quoted(std::string_view text)
{
    std::string q = "\"";
    q.append(text);
    q.push_back('"');
    return q;
}

} // namespace vorteq::analysis_detail
