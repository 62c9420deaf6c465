// Bars as the tool replays them: read from a CSV file or generated, and the
// intrabar snapshots that a live chart sends while a bar is forming.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace zt::replay {

struct Bar {
    std::int32_t date;  // YYYYMMDD
    std::int32_t time;  // HHMM, 0 for daily bars
    double open, high, low, close, volume;
};

struct Series {
    std::string source;  // file name, or a description of the built-in series
    std::vector<Bar> bars;
};

// Input that cannot be used. what() names the file, the line and the field.
class InputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The CSV layout: a header line `date,time,open,high,low,close,volume`, then
// one bar per line, oldest first; dates YYYYMMDD, times HHMM. Every bar must
// be consistent (low <= open, close <= high; volume >= 0) and later than the
// one before. Blank lines are skipped; a trailing carriage return is ignored.
Series ParseBarsCsv(std::string_view text, const std::string& source);
Series ReadBarsCsv(const std::string& path);

// The built-in series: 5-minute bars of a made-up index future (09:35 to
// 16:00, weekdays from 2 January 2024) with trends, ranges, quiet and wild
// stretches, opening gaps, and bars without trades (zero volume, flat at
// the last price). Prices are quarter points, volumes whole. It uses its own
// generator and only exactly rounded arithmetic, so a seed gives the same
// bars on every platform.
Series SyntheticSeries(std::size_t count, std::uint64_t seed);

// The bar as the chart shows it after the first k of n equal steps along
// its price path, which runs from the open to the high, the low and the
// close (k = 0: just opened, every price the open). High and low are those
// reached so far; volume grows with the steps, in whole units.
Bar FormingBar(const Bar& bar, int k, int n);

// The date as the host passes it to the library: YYYMMDD, years counted
// from 1900 (20240102 -> 1240102).
inline std::int32_t HostDate(std::int32_t yyyymmdd) { return yyyymmdd - 19000000; }

}  // namespace zt::replay
