#include "replay/bars.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>
#include <iterator>
#include <sstream>

namespace zt::replay {
namespace {

constexpr std::string_view kHeader = "date,time,open,high,low,close,volume";
constexpr std::string_view kFields[] = {"date", "time", "open", "high", "low", "close", "volume"};

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

bool SameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return (x >= 'A' && x <= 'Z' ? x - 'A' + 'a' : x) == (y >= 'A' && y <= 'Z' ? y - 'A' + 'a' : y);
           });
}

bool IsLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeapYear(y) ? 29 : kDays[m - 1];
}

class LineReader {
public:
    LineReader(const std::string& source, std::size_t line) : source_(source), line_(line) {}

    [[noreturn]] void Fail(std::string_view field, std::string_view text, const std::string& problem) const {
        std::ostringstream m;
        m << source_ << ':' << line_ << ": field '" << field << "'";
        if (!text.empty()) m << " (\"" << text << "\")";
        m << ": " << problem;
        throw InputError(m.str());
    }

    std::int32_t Integer(std::string_view field, std::string_view text) const {
        std::int32_t v = 0;
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
        if (text.empty()) Fail(field, text, "empty");
        if (ec != std::errc{} || end != text.data() + text.size()) Fail(field, text, "not a whole number");
        return v;
    }

    double Real(std::string_view field, std::string_view text) const {
        double v = 0.0;
        if (text.empty()) Fail(field, text, "empty");
        const char* first = text.data();
        if (*first == '+') ++first;
        const auto [end, ec] = std::from_chars(first, text.data() + text.size(), v);
        if (ec != std::errc{} || end != text.data() + text.size()) Fail(field, text, "not a number");
        if (!std::isfinite(v)) Fail(field, text, "not a finite number");
        return v;
    }

private:
    const std::string& source_;
    std::size_t line_;
};

}  // namespace

Series ParseBarsCsv(std::string_view text, const std::string& source) {
    Series series{source, {}};
    std::size_t lineNo = 0;
    bool headerSeen = false;
    while (!text.empty()) {
        const std::size_t nl = text.find('\n');
        const std::string_view raw = text.substr(0, nl);
        text = nl == std::string_view::npos ? std::string_view{} : text.substr(nl + 1);
        ++lineNo;
        const std::string_view line = Trim(raw);
        if (line.empty()) continue;
        const LineReader r(source, lineNo);

        std::string_view fields[std::size(kFields)];
        std::size_t n = 0;
        for (std::string_view rest = line;;) {
            const std::size_t comma = rest.find(',');
            if (n == std::size(kFields)) {
                std::ostringstream m;
                m << source << ':' << lineNo << ": more than " << std::size(kFields) << " fields (expected "
                  << kHeader << ")";
                throw InputError(m.str());
            }
            fields[n++] = Trim(rest.substr(0, comma));
            if (comma == std::string_view::npos) break;
            rest = rest.substr(comma + 1);
        }

        if (!headerSeen) {
            headerSeen = true;
            bool ok = n == std::size(kFields);
            for (std::size_t i = 0; ok && i < n; ++i) ok = SameText(fields[i], kFields[i]);
            if (!ok) {
                std::ostringstream m;
                m << source << ':' << lineNo << ": expected the header line \"" << kHeader << "\", found \""
                  << line << "\"";
                throw InputError(m.str());
            }
            continue;
        }
        if (n < std::size(kFields)) r.Fail(kFields[n], {}, "missing");

        Bar b{};
        b.date = r.Integer("date", fields[0]);
        const int year = b.date / 10000, month = b.date / 100 % 100, day = b.date % 100;
        if (year < 1900 || year > 2099 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month))
            r.Fail("date", fields[0], "not a date YYYYMMDD between 1900 and 2099");
        b.time = r.Integer("time", fields[1]);
        if (b.time < 0 || b.time > 2359 || b.time % 100 > 59) r.Fail("time", fields[1], "not a time HHMM");
        b.open = r.Real("open", fields[2]);
        b.high = r.Real("high", fields[3]);
        b.low = r.Real("low", fields[4]);
        b.close = r.Real("close", fields[5]);
        b.volume = r.Real("volume", fields[6]);
        if (b.high < b.low) r.Fail("high", fields[3], "below the low");
        if (b.open < b.low || b.open > b.high) r.Fail("open", fields[2], "outside the bar's low to high");
        if (b.close < b.low || b.close > b.high) r.Fail("close", fields[5], "outside the bar's low to high");
        if (b.volume < 0.0) r.Fail("volume", fields[6], "negative");
        if (!series.bars.empty()) {
            const Bar& prev = series.bars.back();
            if (b.date < prev.date) r.Fail("date", fields[0], "earlier than the bar before: bars go oldest first");
            if (b.date == prev.date && b.time <= prev.time)
                r.Fail("time", fields[1], "not later than the bar before: bars go oldest first");
        }
        series.bars.push_back(b);
    }
    if (!headerSeen) throw InputError(source + ": empty file (expected the header line \"" + std::string(kHeader) + "\")");
    if (series.bars.empty()) throw InputError(source + ": no bars after the header line");
    return series;
}

Series ReadBarsCsv(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw InputError(path + ": cannot open the file");
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) throw InputError(path + ": read error");
    return ParseBarsCsv(text, path);
}

// ---------------------------------------------------------------------------
// The built-in series.

namespace {

// SplitMix64: small, fast, and the same on every platform.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t Next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    double Uniform() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }  // [0, 1)
    // Sum of four uniforms, centred and scaled to unit variance: bell-shaped
    // without log or trigonometry, whose results differ between C runtimes.
    double Normal() {
        const double s = Uniform() + Uniform() + Uniform() + Uniform();
        return (s - 2.0) * 1.7320508075688772;  // sqrt(3)
    }
    bool Chance(double p) { return Uniform() < p; }
    int Between(int lo, int hi) { return lo + static_cast<int>(Next() % static_cast<std::uint64_t>(hi - lo + 1)); }

private:
    std::uint64_t state_;
};

struct Regime {
    double drift = 0.0;       // per bar, in units of the bar's volatility
    double volatility = 1.0;  // multiple of the base volatility
    double pull = 0.0;        // share of the distance to the anchor recovered per bar
    double anchor = 0.0;      // in ticks
    int bars = 0;
};

constexpr double kTick = 0.25;
constexpr double kStartPrice = 4800.0;
constexpr int kSessionBars = 78;  // 09:35 .. 16:00 in 5-minute bars

Regime NextRegime(Random& rng, double price) {
    Regime r;
    r.bars = rng.Between(40, 300);
    int kind = rng.Between(0, 5);
    if (price < kStartPrice / kTick * 0.6) kind = 0;  // keep the series in a plausible band
    if (price > kStartPrice / kTick * 1.6) kind = 1;
    switch (kind) {
        case 0: r.drift = 0.10 + 0.10 * rng.Uniform(); break;                  // rally
        case 1: r.drift = -(0.12 + 0.12 * rng.Uniform()); break;               // sell-off
        case 2: case 3: r.pull = 0.03 + 0.05 * rng.Uniform(); r.anchor = price; break;  // range
        case 4: r.volatility = 0.45; break;                                    // quiet drift
        default: r.volatility = 2.2; r.drift = rng.Chance(0.5) ? 0.08 : -0.08; break;  // wild
    }
    return r;
}

// U-shaped intraday activity: busy at the open and the close.
double Activity(int barOfSession) {
    const double x = (barOfSession - 38.5) / 38.5;
    return 0.75 + 0.85 * x * x;
}

}  // namespace

Series SyntheticSeries(std::size_t count, std::uint64_t seed) {
    Series series;
    series.source = "built-in series (seed " + std::to_string(seed) + ", " + std::to_string(count) + " bars)";
    series.bars.reserve(count);
    Random rng(seed);

    int year = 2024, month = 1, day = 2, weekday = 1;  // Tuesday
    double price = kStartPrice / kTick;                 // in ticks
    Regime regime = NextRegime(rng, price);
    const double stepScale = 1.0 / std::sqrt(6.0);      // six path steps per bar
    int deadBars = 0;

    for (std::size_t i = 0; i < count; ++i) {
        const int barOfSession = static_cast<int>(i % kSessionBars);
        if (barOfSession == 0 && i > 0) {
            do {  // next weekday
                weekday = (weekday + 1) % 7;
                if (++day > DaysInMonth(year, month)) {
                    day = 1;
                    if (++month > 12) month = 1, ++year;
                }
            } while (weekday >= 5);
        }
        if (--regime.bars <= 0) regime = NextRegime(rng, price);

        const int minutes = 9 * 60 + 35 + 5 * barOfSession;
        Bar b{};
        b.date = year * 10000 + month * 100 + day;
        b.time = minutes / 60 * 100 + minutes % 60;

        // No trade: a lunchtime lull now and then, and single empty bars.
        if (barOfSession == 30 && rng.Chance(0.05)) deadBars = rng.Between(4, 12);
        const bool dead = i > 0 && barOfSession > 0 && (deadBars-- > 0 || rng.Chance(0.015));
        if (dead) {
            const double last = series.bars.back().close;
            b.open = b.high = b.low = b.close = last;
            b.volume = 0.0;
            series.bars.push_back(b);
            continue;
        }

        const double sigma = price * 0.0009 * regime.volatility * Activity(barOfSession);
        double open = price;
        if (barOfSession == 0 && i > 0) {  // overnight gap
            open += rng.Chance(0.08) ? (rng.Chance(0.5) ? 1.0 : -1.0) * price * (0.01 + 0.015 * rng.Uniform())
                                     : rng.Normal() * price * 0.003;
        }
        open = std::floor(open + 0.5);
        double p = open, hi = open, lo = open;
        for (int s = 0; s < 6; ++s) {
            const double pull = regime.pull * (regime.anchor - p) / 6.0;
            p += (regime.drift * sigma) / 6.0 + pull + rng.Normal() * sigma * stepScale;
            hi = std::max(hi, p);
            lo = std::min(lo, p);
        }
        const double close = std::floor(p + 0.5);
        hi = std::max(std::floor(hi + std::fabs(rng.Normal()) * sigma * 0.25 + 0.5), std::max(open, close));
        lo = std::min(std::floor(lo - std::fabs(rng.Normal()) * sigma * 0.25 + 0.5), std::min(open, close));
        if (lo < 1.0) lo = 1.0;  // never reached at these levels; keeps prices positive whatever the seed

        b.open = open * kTick;
        b.high = hi * kTick;
        b.low = lo * kTick;
        b.close = close * kTick;
        const double move = sigma > 0.0 ? std::fabs(close - open) / sigma : 0.0;
        b.volume = std::floor(1200.0 * Activity(barOfSession) * (0.4 + rng.Uniform() + 0.4 * move)) + 1.0;
        series.bars.push_back(b);
        price = close;
    }
    return series;
}

Bar FormingBar(const Bar& bar, int k, int n) {
    if (n <= 0 || k >= n) return bar;
    const double way[4] = {bar.open, bar.high, bar.low, bar.close};
    double remaining = (std::fabs(way[1] - way[0]) + std::fabs(way[2] - way[1]) + std::fabs(way[3] - way[2])) *
                       static_cast<double>(k) / static_cast<double>(n);
    double p = bar.open, hi = bar.open, lo = bar.open;
    for (int j = 0; j < 3; ++j) {
        const double segment = std::fabs(way[j + 1] - way[j]);
        if (remaining >= segment) {
            p = way[j + 1];
            remaining -= segment;
        } else {
            p = way[j] + (way[j + 1] >= way[j] ? remaining : -remaining);
            remaining = 0.0;
        }
        hi = std::max(hi, p);
        lo = std::min(lo, p);
        if (remaining == 0.0) break;
    }
    Bar f = bar;
    f.high = hi;
    f.low = lo;
    f.close = p;
    f.volume = std::floor(bar.volume * static_cast<double>(k) / static_cast<double>(n));
    return f;
}

}  // namespace zt::replay
