// Memory records of the volume and band studies.
#pragma once

#include <cstdint>

#include "store/series_ring.h"

namespace zt {

// The error bands size their rings by the host's smoothing length (1 to the
// bar history's 200). No started flag: a fresh record is ready with the
// default lengths 80 and 14.
struct ErrorBandsMemory {
    std::int32_t period = 80;
    std::int32_t smoothing = 14;
    BoundedRing<double, BarHistoryCapacity> lineRing{14, 0, {}};
    BoundedRing<double, BarHistoryCapacity> errorRing{14, 0, {}};
    std::int32_t count = 0;
    double lower = 0.0;
    double upper = 0.0;
    double middle = 0.0;
};

}  // namespace zt
