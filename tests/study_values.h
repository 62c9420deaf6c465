// The values every exported study gives over the synthetic test series, as
// text with each slot's exact bits, so that two builds (native and Windows)
// can be compared bit for bit.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

#include "tests/study_table.h"
#include "testing/synthetic_bars.h"

namespace zt::test {

// The library's entry points as the caller reaches them (linked directly or
// found in a loaded DLL).
template <class Create, class Bars, class Get, class Destroy>
struct LibraryCalls {
    Create create;
    Bars bars;
    Get get;
    Destroy destroy;
};

inline void AppendBits(std::string& out, double v) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &v, sizeof bits);
    char hex[17];
    for (int i = 15; i >= 0; --i, bits >>= 4) hex[i] = "0123456789abcdef"[bits & 15];
    hex[16] = '\0';
    out += hex;
}

inline constexpr std::size_t kValueBars = 260;

// `evaluate(info, id)` evaluates one study on a state. Every bar is first
// sent with an intrabar value and evaluated, then sent final and evaluated.
template <class Calls, class Evaluate>
std::string StudyValues(const Calls& lib, Evaluate evaluate) {
    std::string out;
    const auto series = SyntheticBars(kValueBars, 29);
    for (const StudyInfo& info : ExportedStudies()) {
        const std::int32_t id = lib.create(1);
        for (std::size_t i = 0; i < series.size(); ++i) {
            const Bar& b = series[i];
            const auto n = static_cast<std::int32_t>(i + 1);
            lib.bars(id, n, b.date, b.time, b.open, b.high, b.open, b.high, b.volume * 0.5);
            evaluate(info, id);
            lib.bars(id, n, b.date, b.time, b.open, b.high, b.low, b.close, b.volume);
            evaluate(info, id);
            out += info.name;
            out += ' ';
            out += std::to_string(n);
            for (int k = 0; k < 10; ++k) {
                out += ' ';
                AppendBits(out, lib.get(id, k));
            }
            out += '\n';
        }
        lib.destroy(id);
    }
    return out;
}

}  // namespace zt::test
