// A deterministic, realistic bar series for tests, the Windows harness and
// benchmarks: trending and ranging stretches, opening gaps, flat bars and
// zero-volume bars. Its own small generator, so every platform gets the same
// bars.
#pragma once

#include <cstdint>
#include <vector>

namespace zt::test {

struct Bar {
    std::int32_t date;
    std::int32_t time;
    double open, high, low, close, volume;
};

class SeriesRandom {
public:
    explicit SeriesRandom(std::uint64_t seed) : state_(seed * 6364136223846793005ull + 1442695040888963407ull) {}
    std::uint32_t Next() {
        state_ = state_ * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<std::uint32_t>(state_ >> 33);
    }
    // A whole number in [lo, hi].
    std::int32_t Between(std::int32_t lo, std::int32_t hi) {
        return lo + static_cast<std::int32_t>(Next() % static_cast<std::uint32_t>(hi - lo + 1));
    }

private:
    std::uint64_t state_;
};

// `count` bars starting near `start`. With `wholeNumbers` every price and
// volume is a whole number (what the DLL entry passes on); otherwise prices
// move in quarter steps.
inline std::vector<Bar> SyntheticBars(std::size_t count, std::uint64_t seed = 7, bool wholeNumbers = false,
                                      double start = 1000.0) {
    SeriesRandom rnd(seed);
    std::vector<Bar> bars;
    bars.reserve(count);
    const double tick = wholeNumbers ? 1.0 : 0.25;
    double close = start;
    std::int32_t drift = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (i % 40 == 0) drift = rnd.Between(-2, 2);  // a new regime: trend up, down or range
        double open = close;
        if (i % 25 == 24) open += tick * rnd.Between(-30, 30);  // an opening gap
        double c = open + tick * (drift + rnd.Between(-8, 8));
        if (c < 10 * tick) c = 10 * tick;
        double high = (open > c ? open : c) + tick * rnd.Between(0, 6);
        double low = (open < c ? open : c) - tick * rnd.Between(0, 6);
        if (low < tick) low = tick;
        if (i % 17 == 16) high = low = open = c;  // a flat bar
        double volume = static_cast<double>(rnd.Between(0, 5000));
        if (i % 13 == 12) volume = 0;
        const std::int32_t minute = 9 * 60 + 30 + static_cast<std::int32_t>(i % 390);
        bars.push_back({1260102 + static_cast<std::int32_t>(i / 390), (minute / 60) * 100 + minute % 60,
                        open, high, low, c, volume});
        close = c;
    }
    return bars;
}

}  // namespace zt::test
