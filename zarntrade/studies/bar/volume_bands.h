// Volume and band studies: on-balance volume spikes, the volume-weighted
// shadow line and the standard error bands.
#pragma once

#include <cstdint>

#include "series/adaptive_averages.h"
#include "store/series_ring.h"

namespace zt {

struct BalanceVolumeSpikeMemory {
    std::uint8_t started = 0;
    Ring<3> balanceRing;
    double balance = 0.0;   // running on-balance volume
    double emaState = 0.0;  // starts at 0, not seeded

    ZT_FIELDS(started, balanceRing, balance, emaState)
};

struct BalanceVolumeSpikeResult {
    double value;  // smoothed balance of two bars ago minus the balance
    double up;     // 1 when value < 0: the balance broke above its smoothed copy
    double down;   // -1 when value > 0
};

struct ShadowLineMemory {
    std::uint8_t started = 0;
    Ring<10> pointRing;
    Ring<10> triangleRing;  // work ring of the triangular average
    VolumeAdjustedMemory<5> vama;

    ZT_FIELDS(started, pointRing, triangleRing, vama)
};

// The error bands size their rings by the host's smoothing length (1 to the
// bar history's 200). No started flag: a fresh record is ready with the
// default lengths 80 and 14.
struct ErrorBandsMemory {
    std::int32_t period = 80;
    std::int32_t smoothing = 14;
    BoundedRing<double, BarHistoryCapacity> lineRing{14, 0, {}};
    BoundedRing<double, BarHistoryCapacity> errorRing{14, 0, {}};
    std::int32_t count = 0;  // evaluated bars, limits the regression length while below period
    double lower = 0.0;
    double upper = 0.0;
    double middle = 0.0;

    // Restoring the working copy copies the rings only up to their length
    // (the smoothing), not all 200 slots.
    void restoreFrom(const ErrorBandsMemory& committed) {
        period = committed.period;
        smoothing = committed.smoothing;
        lineRing.readAs(committed.lineRing);
        errorRing.readAs(committed.errorRing);
        count = committed.count;
        lower = committed.lower;
        upper = committed.upper;
        middle = committed.middle;
    }

    ZT_FIELDS(period, smoothing, lineRing, errorRing, count, lower, upper, middle)
};

inline constexpr std::int32_t kMaxBandLength = static_cast<std::int32_t>(BarHistoryCapacity);

BalanceVolumeSpikeResult BalanceVolumeSpike(const BarRing& close, const BarRing& volume,
                                            BalanceVolumeSpikeMemory& m);

// A median-plus-acceleration point, triangular-averaged over 10 bars and
// averaged again with volume weights over 5.
double ShadowLine(const BarRing& high, const BarRing& low, const BarRing& close, const BarRing& volume,
                  ShadowLineMemory& m);

// A smoothed regression line of the close with the smoothed standard error of
// the fit on each side. Lengths must lie in 1..kMaxBandLength (the caller
// checks). Leaves lower, upper and middle in the record.
void ErrorBands(std::int32_t period, std::int32_t smoothing, const BarRing& close, ErrorBandsMemory& m);

}  // namespace zt
