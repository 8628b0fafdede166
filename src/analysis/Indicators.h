#pragma once

// One function per indicator. Each checks its own start condition (the days on which it runs) and
// writes its fields into the day records; on every other day its fields stay empty.
// Pass 1..3 functions take the day i (0 = newest); pass 4 functions take the step r (1 = oldest)
// and its day d = N - r, and run from the oldest day to the newest.

#include "analysis/SeriesWork.h"

namespace vorteq::indicators {

// Percent change of a against b, the rate guard on texts: 0 when either text is "0".
inline long double rateOf(bool aIsZeroText, long double a, bool bIsZeroText, long double b)
{
    if (aIsZeroText || bIsZeroText)
        return 0;
    return (a - b) / b * 100;
}

// Pass 1: price-based (trend and oscillator) indicators.
void dayRates(SeriesWork& s, int i);
void integerChangeRate(SeriesWork& s, int i);
void ultimateOscillatorInputs(SeriesWork& s, int i);
void movingAverage(SeriesWork& s, int i, int p, DayField avg, DayField kairi);
void cciTypicalPrice(SeriesWork& s, int i, int n);
void dpoAverage(SeriesWork& s, int i, int n);
void williamsR(SeriesWork& s, int i, int n);
void rci(SeriesWork& s, int i, int n);
void psychologicalLine(SeriesWork& s, int i, int n);
void priceMovePsychologicalLine(SeriesWork& s, int i, int n);
void stochasticsK(SeriesWork& s, int i, int n);

// Pass 1: volume, volatility and band indicators.
void trueRange(SeriesWork& s, int i);
void volumeRates(SeriesWork& s, int i);
void directionalMovement(SeriesWork& s, int i);
void bollingerBands(SeriesWork& s, int i, int n);
void abRatio(SeriesWork& s, int i, int n);
void volumeRatiosAB(SeriesWork& s, int i, int n);
void wakoVolumeRatio(SeriesWork& s, int i, int n);

// Pass 2.
void directionalIndex(SeriesWork& s, int i, int n);
void ultimateOscillator(SeriesWork& s, int i, int n);
void cci(SeriesWork& s, int i, int n);
void dpo(SeriesWork& s, int i, int n);
void stochasticsD(SeriesWork& s, int i, int n);

// Pass 3.
void adx(SeriesWork& s, int i, int n);
void stochasticsSlowD(SeriesWork& s, int i, int n);

// Pass 4, oldest day first.
void rsi(SeriesWork& s, int r, int d, int n);
void parabolic(SeriesWork& s, int r, int d, long double afStep, long double afLimit);
void consecutiveDays(SeriesWork& s, int r, int d);
void wilderVolatility(SeriesWork& s, int r, int d, int n, long double multiple);
void macd(SeriesWork& s, int r, int d, int shortDays, int longDays, int signalDays);

} // namespace vorteq::indicators
