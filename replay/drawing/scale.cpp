#include "replay/drawing/scale.h"

#include <charconv>
#include <cmath>
#include <functional>

namespace zt::replay {
namespace {

constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

std::string Month(std::int32_t date) {
    const int m = date / 100 % 100;
    return m >= 1 && m <= 12 ? kMonths[m - 1] : "?";
}

std::string TwoDigits(int v) { return {static_cast<char>('0' + v / 10 % 10), static_cast<char>('0' + v % 10)}; }

std::string ClockText(std::int32_t time) { return TwoDigits(time / 100) + ":" + TwoDigits(time % 100); }

}  // namespace

ValueAxis RoundAxis(double low, double high, int maxTicks, double pad) {
    ValueAxis a;
    if (!std::isfinite(low) || !std::isfinite(high) || low > high) low = 0.0, high = 1.0;
    if (high - low < 1e-12 * std::max(1.0, std::fabs(high))) low -= 1.0, high += 1.0;
    const double span = high - low;
    a.low = low - span * pad;
    a.high = high + span * pad;
    maxTicks = std::max(maxTicks, 2);
    // The smallest round step giving no more than maxTicks ticks.
    double magnitude = std::pow(10.0, std::floor(std::log10((a.high - a.low) / maxTicks)));
    a.step = 0.0;
    for (int tries = 0; a.step == 0.0 && tries < 4; ++tries, magnitude *= 10.0)
        for (const double m : {1.0, 2.0, 5.0}) {
            const double step = m * magnitude;
            if (std::floor(a.high / step) - std::ceil(a.low / step) + 1.0 <= maxTicks) {
                a.step = step;
                break;
            }
        }
    if (a.step == 0.0) a.step = a.high - a.low;
    for (double k = std::ceil(a.low / a.step); k * a.step <= a.high + a.step * 1e-9; k += 1.0)
        a.ticks.push_back(k * a.step == 0.0 ? 0.0 : k * a.step);
    a.decimals = a.step >= 1.0 ? 0 : static_cast<int>(std::ceil(-std::log10(a.step) - 1e-9));
    return a;
}

std::string TickLabel(const ValueAxis& axis, double v) {
    // Large values in thousands, millions or billions: "600M", "2.5k".
    double unit = 1.0;
    const char* suffix = "";
    const double largest = std::max(std::fabs(axis.low), std::fabs(axis.high));
    for (const auto& [u, s] : {std::pair{1e9, "B"}, std::pair{1e6, "M"}, std::pair{1e3, "k"}})
        if (largest >= 1e5 && axis.step >= u) {
            unit = u;
            suffix = s;
            break;
        }
    const double step = axis.step / unit;
    const int decimals = unit == 1.0 ? axis.decimals : step >= 1.0 ? 0 : static_cast<int>(std::ceil(-std::log10(step) - 1e-9));
    char buf[64];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v / unit, std::chars_format::fixed, decimals);
    std::string s(buf, ec == std::errc{} ? end : buf);
    if (s.find_first_not_of("-0.") == std::string::npos) return decimals > 0 ? s.substr(s[0] == '-') : "0";
    return s + suffix;
}

std::vector<TimeTick> TimeTicks(const std::vector<Bar>& bars, std::size_t first, std::size_t count, int maxTicks) {
    using Key = std::function<std::int64_t(const Bar&)>;
    struct Level {
        Key key;
        // The label of bar b, the first of a new period after the bar before.
        std::function<std::string(const Bar& b, const Bar& before, bool firstTick)> label;
    };
    const auto year = [](const Bar& b) { return std::to_string(b.date / 10000); };
    const auto day = [](const Bar& b) { return std::to_string(b.date % 100) + " " + Month(b.date); };
    // Hours in steps of 1, 2, 3, 6 and 12, a new day by its date.
    const auto hours = [&](int every) {
        return Level{[every](const Bar& b) { return std::int64_t{b.date} * 100 + b.time / 100 / every; },
                     [day](const Bar& b, const Bar& before, bool) {
                         return b.date != before.date ? day(b) : ClockText(b.time / 100 * 100);
                     }};
    };
    const Level levels[] = {
        hours(1), hours(2), hours(3), hours(6), hours(12),
        {[](const Bar& b) { return std::int64_t{b.date}; }, [day](const Bar& b, const Bar&, bool) { return day(b); }},
        {[](const Bar& b) { return std::int64_t{b.date / 100}; },
         [&](const Bar& b, const Bar&, bool firstTick) {
             return b.date / 100 % 100 == 1 || firstTick ? Month(b.date) + " " + year(b) : Month(b.date);
         }},
        {[](const Bar& b) { return std::int64_t{b.date / 10000 * 10 + (b.date / 100 % 100 - 1) / 3}; },
         [&](const Bar& b, const Bar&, bool firstTick) {
             return b.date / 100 % 100 <= 3 || firstTick ? Month(b.date) + " " + year(b) : Month(b.date);
         }},
        {[](const Bar& b) { return std::int64_t{b.date / 10000}; }, [&](const Bar& b, const Bar&, bool) { return year(b); }},
    };
    constexpr std::size_t kFirstDaily = 5;  // the day level
    const std::size_t end = first + count;
    const auto changes = [&](const Level& level) {
        std::vector<std::size_t> at;
        for (std::size_t i = first + 1; i < end; ++i)
            if (level.key(bars[i]) != level.key(bars[i - 1])) at.push_back(i);
        return at;
    };
    std::vector<TimeTick> ticks;
    const auto emit = [&](const Level& level, const std::vector<std::size_t>& at, std::size_t every) {
        for (std::size_t k = 0; k < at.size(); k += every)
            ticks.push_back({at[k], level.label(bars[at[k]], bars[at[k] - 1], ticks.empty())});
    };
    if (count < 2) return ticks;
    const bool intraday = bars[first].time != 0 || bars[end - 1].time != 0;
    const std::size_t finest = intraday ? 0 : kFirstDaily;
    const std::size_t limit = static_cast<std::size_t>(maxTicks);
    for (std::size_t l = finest; l < std::size(levels); ++l) {
        const std::vector<std::size_t> at = changes(levels[l]);
        if (at.size() >= 2 && at.size() <= limit) {
            emit(levels[l], at, 1);
            return ticks;
        }
        if (at.size() > limit && l + 1 < std::size(levels)) continue;
        if (at.size() > limit || l > finest) {
            // Too many changes here, or too few here after too many at the
            // level below: every few changes of the busier level.
            const std::size_t busy = at.size() > limit ? l : l - 1;
            const std::vector<std::size_t> many = changes(levels[busy]);
            emit(levels[busy], many, many.size() / limit + 1);
            return ticks;
        }
        // Even the finest level changes too rarely: a tick every few bars.
        const std::size_t every = std::max<std::size_t>(1, count / limit + 1);
        for (std::size_t i = first + every / 2; i < end; i += every)
            ticks.push_back({i, intraday ? ClockText(bars[i].time) : day(bars[i])});
        return ticks;
    }
    return ticks;
}

std::string DateTimeText(const Bar& bar) {
    std::string s = std::to_string(bar.date / 10000);
    s.append("-").append(TwoDigits(bar.date / 100 % 100)).append("-").append(TwoDigits(bar.date % 100));
    if (bar.time != 0) s.append(" ").append(ClockText(bar.time));
    return s;
}

}  // namespace zt::replay
