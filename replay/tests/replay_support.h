// What the replay tests share: the library loaded once from the build and a
// sink that keeps every row (bars in memory come through SeriesBars).
#pragma once

#include <bit>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "replay/driver/bars.h"
#include "replay/driver/library.h"
#include "replay/driver/replay.h"

namespace zt::replay::testing {

// The shared library the build made, loaded once for the test program.
inline const Exports& Lib() {
    static const Library library(ZT_LIBRARY_PATH);
    return library.exports();
}

// Every row of a replay.
struct RowTable : RowSink {
    std::vector<Column> columns;
    std::vector<Bar> bars;
    std::vector<double> values;
    ReplayStats stats;
    void Row(const Bar& bar, const double* v) override {
        bars.push_back(bar);
        values.insert(values.end(), v, v + columns.size());
    }
    const double* Row(std::size_t bar) const { return values.data() + bar * columns.size(); }
};

inline RowTable ReplayTable(BarSource& source, const ReplayOptions& options) {
    RowTable t;
    t.columns = ReplayColumns(options);
    t.stats = Replay(Lib(), source, options, t);
    return t;
}

inline RowTable ReplayTable(const Series& s, const ReplayOptions& options) {
    SeriesBars source(s);
    return ReplayTable(source, options);
}

inline ReplayOptions AllStudiesOptions(int ticks = 0, bool viaDll = false) {
    ReplayOptions o;
    o.studies = AllStudies();
    o.ticks = ticks;
    o.viaDll = viaDll;
    return o;
}

// Bit for bit, NaN included; names the first difference.
inline ::testing::AssertionResult SameValues(const RowTable& a, const RowTable& b) {
    if (a.columns.size() != b.columns.size() || a.values.size() != b.values.size())
        return ::testing::AssertionFailure() << "different shapes";
    for (std::size_t i = 0; i < a.values.size(); ++i) {
        if (std::bit_cast<std::uint64_t>(a.values[i]) != std::bit_cast<std::uint64_t>(b.values[i])) {
            const std::size_t width = a.columns.size();
            return ::testing::AssertionFailure()
                   << a.columns[i % width].name << " on bar " << i / width + 1 << ": " << a.values[i] << " vs "
                   << b.values[i];
        }
    }
    return ::testing::AssertionSuccess();
}

inline bool SameBars(const std::vector<Bar>& a, const std::vector<Bar>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const Bar &x = a[i], &y = b[i];
        if (x.date != y.date || x.time != y.time || x.open != y.open || x.high != y.high || x.low != y.low ||
            x.close != y.close || x.volume != y.volume)
            return false;
    }
    return true;
}

// A folder of its own under the system's temporary folder, removed at the end.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& name)
        : path_(std::filesystem::temp_directory_path() /
                (name + "_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name())) {
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

}  // namespace zt::replay::testing
