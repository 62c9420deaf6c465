// The studies that keep no memory: their value depends only on the bar
// history.
#pragma once

#include "store/state.h"

namespace zt {

// The value of E_ZARNTIGHTSTOP: the weighted mean of the low, the close
// (twice) and the high, each a three-bar mean over bars 2 to 4 back.
double TightStopLevel(const BarHistory& b);

}  // namespace zt
