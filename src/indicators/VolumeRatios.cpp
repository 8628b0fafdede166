// Volume ratios A and B, and the Wako volume ratio: the volume of the rising days against that of
// the falling days, each over its own period. C, V are the close and the volume; day i+1 is the
// day before day i.

#include "indicators/Indicator.h"
#include "indicators/IndicatorKit.h"

#include <algorithm>

namespace vorteq::indicators {
namespace {

// Volume of the rising, flat and falling days of a window (close against the previous close) and
// of all its days. Adding 0 to the other sums changes nothing and avoids a branch that rising and
// falling days would keep mispredicting.

auto volumeSplit(SeriesWork& s, int n)
{
    return WindowSums(n, s.wholeVolumes, [&s](int d) {
        const auto u = at(d);
        const long double vol = s.V[u];
        const bool rising = s.C[u] > s.C[u + 1];
        const bool flat = s.C[u] == s.C[u + 1];
        return std::array<long double, 4>{rising ? vol : 0.0L, flat ? vol : 0.0L, rising || flat ? 0.0L : vol,
                                          vol};
    });
}

// Volume ratios A and B over abDays, flat days split half and half:
// VRA = (U + S/2) / (D + S/2) x 100, VRB = (U + S/2) / T x 100; 0 on a zero denominator.
// Wako volume ratio over wakoDays, flat days counted as falling: (U - (S + D)) / T x 100, between
// -100 and +100; 0 when there was no volume. Each on the days with i + its period < N; one split
// serves both when the periods agree.
void volumeRatios(SeriesWork& s, int abDays, int wakoDays)
{
    auto abSplit = volumeSplit(s, abDays);
    auto wakoSplit = volumeSplit(s, wakoDays);
    auto& wakoSums = wakoDays == abDays ? abSplit : wakoSplit;
    for (int i = 0; ll(i) + std::min(abDays, wakoDays) < s.N; ++i) {
        if (ll(i) + abDays < s.N) {
            const auto& [up, flat, down, total] = abSplit.at(i);
            s.putFinal(DayField::VRA, i,
                       down + flat / 2 == 0 ? 0 : (up + flat / 2) / (down + flat / 2) * 100);
            s.putFinal(DayField::VRB, i, total == 0 ? 0 : (up + flat / 2) / total * 100);
        }
        if (ll(i) + wakoDays < s.N) {
            const auto& [up, flat, down, total] = wakoSums.at(i);
            s.putFinal(DayField::VRW, i, total == 0 ? 0 : (up - (flat + down)) / total * 100);
        }
    }
}

void compute(SeriesWork& s, const ParamValues& p, int)
{
    volumeRatios(s, p.period(0), p.period(1));
}

constexpr ParamDef kParams[] = {
    {"AmtBuyVRA1",
     "DayVR",
     ParamKind::Period,
     14,
     {1, 5, "ﾎﾞﾘｭｰﾑﾚｼｵ[A][B]", ""},
     {"ﾎﾞﾘｭｰﾑﾚｼｵ[A][B]", 50, "ﾎﾞﾘｭｰﾑﾚｼｵの数値の上限は50です。", 1, "ﾎﾞﾘｭｰﾑﾚｼｵの数値は1以上にしてください。"}},
    {"AmtBuyVRW1",
     "DayVRW",
     ParamKind::Period,
     14,
     {1, 6, "和光ﾎﾞﾘｭｰﾑﾚｼｵ", ""},
     {"和光ﾎﾞﾘｭｰﾑﾚｼｵ", 50, "和光ﾎﾞﾘｭｰﾑﾚｼｵの数値の上限は50です。", 1,
      "和光ﾎﾞﾘｭｰﾑﾚｼｵの数値は1以上にしてください。"}},
};
constexpr OutputDef kOutputs[] = {
    {DayField::VRA, OutputKind::Rounded, {"VR_A", 30}},
    {DayField::VRB, OutputKind::Rounded, {"VR_B", 31}},
    {DayField::VRW, OutputKind::Rounded, {"VR_W", 32}},
};
constexpr IndicatorStage kStages[] = {
    {1, compute},
};

int lookback(const ParamValues& p, DayField output)
{
    return output == DayField::VRW ? p.period(1) : p.period(0);
}

} // namespace

extern const IndicatorDef kVolumeRatios = {"VolumeRatios", kParams, kOutputs, kStages, lookback};

} // namespace vorteq::indicators
