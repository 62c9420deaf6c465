// The replay tool's CSV reader over arbitrary text, read in chunks of any
// size, and the intrabar snapshots the tool sends while a bar is forming,
// over the bars read and over bars of arbitrary finite numbers.
//
// The reader either throws InputError or hands out bars the library can take:
// finite prices and volumes of magnitude at most 1e15, a volume not below 0,
// valid dates and times, every bar later than the one before; and the same
// text gives the same bars whatever the chunk size. Every snapshot of a
// finite bar starts at the open, is finite, stays inside the bar's price
// range (its extremes among open, high, low and close) with its high not
// below its low where the bar's is not, and never shows more volume than the bar.
//
// The same text read as trades either throws InputError or hands out trades
// with a price above zero and at most 1e15, a size from 0 to 1e15, a valid
// date and second of the day, none earlier than the one before, whatever the
// chunk size; the bars they form (every timeframe) go forward in time, each
// update keeps the bar's stamp and open, and its low, close and high in order.
//
// Input: a byte choosing the chunk size, a byte for the number of intrabar
// steps, a byte telling whether bars of raw doubles follow (each 5 doubles);
// the rest is the CSV text.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "replay/driver/bars.h"
#include "replay/driver/trades.h"

namespace zt::fuzz {
namespace {

using replay::Bar;

bool SameBar(const Bar& a, const Bar& b) {
    return a.date == b.date && a.time == b.time && SameBits(a.open, b.open) && SameBits(a.high, b.high) &&
           SameBits(a.low, b.low) && SameBits(a.close, b.close) && SameBits(a.volume, b.volume);
}

// Reads every bar, or none when the text is refused.
bool ReadBars(const std::string& text, std::size_t chunk, std::vector<Bar>& bars) {
    bars.clear();
    try {
        replay::CsvBars csv(text, "fuzz.csv", chunk);
        Bar bar{};
        while (csv.Next(bar)) bars.push_back(bar);
        (void)csv.Warnings();
        return true;
    } catch (const replay::InputError&) {
        return false;
    }
}

void CheckReadBar(const Bar& b, const Bar* previous) {
    for (const double v : {b.open, b.high, b.low, b.close, b.volume})
        ZT_FUZZ_CHECK(std::isfinite(v) && std::fabs(v) <= 1e15, "a bar read with an absurd or non-finite number");
    ZT_FUZZ_CHECK(b.volume >= 0.0, "a bar read with a negative volume");
    const int year = b.date / 10000, month = b.date / 100 % 100, day = b.date % 100;
    ZT_FUZZ_CHECK(year >= 1900 && year <= 2099 && month >= 1 && month <= 12 && day >= 1 && day <= 31,
                  "a bar read with an impossible date " + std::to_string(b.date));
    ZT_FUZZ_CHECK(b.time >= 0 && b.time / 100 <= 23 && b.time % 100 <= 59,
                  "a bar read with an impossible time " + std::to_string(b.time));
    if (previous != nullptr) {
        const bool later = b.date > previous->date || (b.date == previous->date && b.time > previous->time);
        ZT_FUZZ_CHECK(later, "a bar read that is not later than the one before");
    }
}

void CheckSnapshots(const Bar& bar, int n) {
    for (const double v : {bar.open, bar.high, bar.low, bar.close, bar.volume})
        if (!std::isfinite(v)) return;  // the promise is for finite bars
    const double top = std::max({bar.open, bar.high, bar.low, bar.close});
    const double bottom = std::min({bar.open, bar.high, bar.low, bar.close});
    const double volume = std::max(bar.volume, 0.0);
    for (int k = 0; k <= n; ++k) {
        const Bar f = replay::FormingBar(bar, k, n);
        const std::string at = "snapshot " + std::to_string(k) + " of " + std::to_string(n);
        ZT_FUZZ_CHECK(f.date == bar.date && f.time == bar.time, at + " moved the bar's stamp");
        ZT_FUZZ_CHECK(SameBits(f.open, bar.open), at + " changed the open");
        for (const double v : {f.high, f.low, f.close, f.volume})
            ZT_FUZZ_CHECK(std::isfinite(v), at + " is not finite");
        for (const double v : {f.high, f.low, f.close})
            ZT_FUZZ_CHECK(v >= bottom && v <= top, at + " left the bar's price range");
        // The reader replays a bar whose high is below its low (with a
        // warning); only a consistent bar promises consistent snapshots.
        if (bar.low <= bar.high) ZT_FUZZ_CHECK(f.low <= f.high, at + " has its low above its high");
        ZT_FUZZ_CHECK(f.volume <= volume, at + " shows more volume than the bar");
        if (k == 0) {
            ZT_FUZZ_CHECK(SameBits(f.close, bar.open) && SameBits(f.high, bar.open) && SameBits(f.low, bar.open),
                          "the first snapshot is not the open");
        }
        if (k == n) ZT_FUZZ_CHECK(SameBar(f, bar), "the last snapshot is not the bar");
    }
}

bool ReadTrades(const std::string& text, std::size_t chunk, std::vector<replay::Trade>& trades) {
    trades.clear();
    try {
        replay::CsvTrades csv(text, "fuzz.csv", chunk);
        replay::Trade t{};
        while (csv.Next(t)) trades.push_back(t);
        return true;
    } catch (const replay::InputError&) {
        return false;
    }
}

void CheckTrades(const std::string& text, std::size_t chunk) {
    std::vector<replay::Trade> trades, whole;
    const bool read = ReadTrades(text, chunk, trades);
    ZT_FUZZ_CHECK(read == ReadTrades(text, std::size_t{1} << 20, whole), "the chunk size decided whether trades were read");
    if (!read) return;
    ZT_FUZZ_CHECK(trades.size() == whole.size(), "the chunk size changed the number of trades");
    for (std::size_t i = 0; i < trades.size(); ++i) {
        const replay::Trade& t = trades[i];
        ZT_FUZZ_CHECK(SameBits(t.price, whole[i].price) && SameBits(t.size, whole[i].size) && t.date == whole[i].date &&
                          t.second == whole[i].second,
                      "the chunk size changed a trade");
        ZT_FUZZ_CHECK(t.price > 0.0 && t.price <= 1e15, "a trade read with a price not above zero or absurd");
        ZT_FUZZ_CHECK(t.size >= 0.0 && t.size <= 1e15, "a trade read with a negative or absurd size");
        ZT_FUZZ_CHECK(t.second >= 0 && t.second < 86400, "a trade read with an impossible time");
        if (i > 0) {
            const replay::Trade& p = trades[i - 1];
            ZT_FUZZ_CHECK(t.date > p.date || (t.date == p.date && t.second >= p.second), "trades read out of order");
        }
    }
    for (const char* timeframe : {"1m", "5m", "15m", "1h", "1d"}) {
        replay::TradesInMemory list(trades);
        replay::TradeBars bars(list, *replay::ParseTimeframe(timeframe));
        Bar b{}, first{}, previous{};
        bool last = false, opened = false, any = false;
        while (bars.Next(b, last)) {
            if (!opened) {
                if (any) {
                    const bool later = b.date > previous.date || (b.date == previous.date && b.time > previous.time);
                    ZT_FUZZ_CHECK(later, std::string("a ") + timeframe + " bar not later than the one before");
                }
                first = b;
                opened = true;
            }
            ZT_FUZZ_CHECK(b.date == first.date && b.time == first.time && SameBits(b.open, first.open),
                          "an update moved the forming bar's stamp or open");
            ZT_FUZZ_CHECK(b.low <= b.close && b.close <= b.high && b.low <= b.open && b.open <= b.high,
                          "an update with its prices out of order");
            if (last) previous = b, opened = false, any = true;
        }
        ZT_FUZZ_CHECK(!opened, "the last bar formed was not closed");
    }
}

}  // namespace
}  // namespace zt::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zt::fuzz;
    ByteReader in(data, size);
    // Chunks from 1 byte up: lines, quotes and the byte-order mark split
    // across reads.
    const std::size_t chunk = 1 + in.Byte() % 64;
    const int steps = 1 + in.Byte() % 12;
    const bool rawBars = (in.Byte() & 1) != 0;

    std::vector<Bar> raw;
    if (rawBars) {
        const std::size_t count = 1 + in.Byte() % 4;
        for (std::size_t i = 0; i < count; ++i) {
            Bar b{};
            b.date = 20240102;
            b.open = in.Raw<double>();
            b.high = in.Raw<double>();
            b.low = in.Raw<double>();
            b.close = in.Raw<double>();
            b.volume = std::fabs(in.Raw<double>());
            raw.push_back(b);
        }
    }
    const std::string text(in.Bytes(in.Left()));

    std::vector<Bar> bars, whole;
    const bool read = ReadBars(text, chunk, bars);
    const bool readWhole = ReadBars(text, std::size_t{1} << 20, whole);
    ZT_FUZZ_CHECK(read == readWhole, "the chunk size decided whether the text was read");
    if (read) {
        ZT_FUZZ_CHECK(bars.size() == whole.size(), "the chunk size changed the number of bars");
        for (std::size_t i = 0; i < bars.size(); ++i) {
            ZT_FUZZ_CHECK(SameBar(bars[i], whole[i]), "the chunk size changed bar " + std::to_string(i + 1));
            CheckReadBar(bars[i], i > 0 ? &bars[i - 1] : nullptr);
            CheckSnapshots(bars[i], steps);
        }
    }
    for (const Bar& b : raw) CheckSnapshots(b, steps);
    CheckTrades(text, chunk);
    return 0;
}
