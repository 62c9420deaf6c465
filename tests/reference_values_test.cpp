// Reference values of every slot of every study over fixed bar series, kept
// in tests/reference/ (one file per series; tests/reference/README.md gives
// the format and how to regenerate them). The library is driven through its
// exports as the host drives it: one chart context, one state per study,
// every bar stored and every study evaluated; the built-in series also sends
// every forming bar three times with intrabar values first.
//
// Each file holds, per slot, the value at every 500th bar and a checksum of
// the slot's values over each block of 500 bars, and one fingerprint byte of
// every bar's whole row. A difference is reported as the first bar whose row
// differs, with the slots whose block differs and their sampled values.
//
//   zt_reference_test --regenerate   rewrites the files from this build
#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <sstream>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "include/zarntrade.h"
#include "replay/driver/bars.h"
#include "replay/driver/study_table.h"
#include "tests/study_calls.h"
#include "tests/study_table.h"

namespace zt {
namespace {

bool regenerate = false;

constexpr std::size_t kBlock = 500;
constexpr std::int32_t kBandsPeriod = 80;  // as zarn-replay passes them by default
constexpr std::int32_t kBandsSmoothing = 14;
constexpr int kSlotCount = 10;
constexpr std::int32_t kChart = 1;

struct SeriesCase {
    const char* reference;  // file in tests/reference
    const char* csv;        // in the data folder; null for the built-in series
    std::size_t bars;       // built-in series only
    std::uint64_t seed;
    int ticks;
};

const SeriesCase kOneMinuteFuture{"estx50fut_1min_20060102_20060113.txt", "estx50fut_1min_20060102_20060113.csv", 0, 0, 0};
const SeriesCase kFiveMinuteIndex{"estx50_5min_200601.txt", "estx50_5min_200601.csv", 0, 0, 0};
const SeriesCase kBuiltIn{"builtin_5000_seed7.txt", nullptr, 5000, 7, 3};

struct Column {
    std::string name;  // "E_ZARNMP.position"
    std::string study;
    int slot;
};

std::vector<Column> Columns() {
    std::vector<Column> columns;
    for (const test::StudyInfo& s : test::ExportedStudies()) {
        const replay::CatalogueEntry* about = replay::FindCatalogueEntry(s.name);
        for (int k = 0; k < s.slots; ++k)
            columns.push_back({std::string(s.name) + "." + std::string(about->slotNames[static_cast<std::size_t>(k)]),
                               s.name, k});
    }
    return columns;
}

std::uint64_t Bits(double v) {
    std::uint64_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

// FNV-1a over the bit patterns.
struct Checksum {
    std::uint64_t h = 0xcbf29ce484222325ull;
    void Add(double v) {
        std::uint64_t b = Bits(v);
        for (int i = 0; i < 8; ++i, b >>= 8) {
            h ^= b & 0xffu;
            h *= 0x100000001b3ull;
        }
    }
};

std::string Number(double v) {
    char buf[32];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, ec == std::errc{} ? end : buf);
}

std::string Hex(std::uint64_t v, int digits) {
    std::string s(static_cast<std::size_t>(digits), '0');
    for (int i = digits - 1; i >= 0; --i, v >>= 4) s[static_cast<std::size_t>(i)] = "0123456789abcdef"[v & 15];
    return s;
}

// Every slot of every study on every bar, as the host would see them.
struct Values {
    std::vector<replay::Bar> bars;
    std::vector<Column> columns;
    std::vector<double> cells;  // row-major
    double At(std::size_t bar, std::size_t column) const { return cells[bar * columns.size() + column]; }
};

Values Compute(const replay::Series& series, int ticks) {
    Values out{series.bars, Columns(), {}};
    const auto& studies = test::ExportedStudies();
    Dll_Add(kChart);
    Dll_Context(kChart);
    std::vector<std::int32_t> ids;
    std::vector<test::StudyCall> calls;
    for (const test::StudyInfo& s : studies) {
        ids.push_back(E_CREATESTATE2(1));
        calls.push_back(test::StudyByName(s.name));
    }
    const auto evaluate = [&](std::size_t i) {
        if (studies[i].bands) return E_ZARNEBANDS(ids[i], kBandsPeriod, kBandsSmoothing);
        return calls[i](ids[i]);
    };
    out.cells.reserve(series.bars.size() * out.columns.size());
    for (std::size_t b = 0; b < series.bars.size(); ++b) {
        const replay::Bar& bar = series.bars[b];
        const auto number = static_cast<std::int32_t>(b + 1);
        for (std::size_t i = 0; i < studies.size(); ++i) {
            for (int k = 0; k < ticks; ++k) {
                const replay::Bar f = replay::FormingBar(bar, k, ticks);
                E_BARVALUES(ids[i], number, replay::HostDate(f.date), f.time, f.open, f.high, f.low, f.close, f.volume);
                evaluate(i);
            }
            EXPECT_EQ(E_BARVALUES(ids[i], number, replay::HostDate(bar.date), bar.time, bar.open, bar.high, bar.low,
                                  bar.close, bar.volume),
                      1);
            const double value = evaluate(i);
            EXPECT_EQ(Bits(value), Bits(E_GETRETURN(ids[i], 0))) << studies[i].name << " bar " << number;
            for (int k = 0; k < studies[i].slots; ++k) out.cells.push_back(E_GETRETURN(ids[i], k));
            for (int k = studies[i].slots; k < kSlotCount; ++k)
                EXPECT_EQ(Bits(E_GETRETURN(ids[i], k)), Bits(0.0)) << studies[i].name << " slot " << k << " bar " << number;
        }
    }
    Dll_Free(kChart);
    return out;
}

std::uint8_t RowFingerprint(const Values& v, std::size_t bar) {
    Checksum c;
    for (std::size_t col = 0; col < v.columns.size(); ++col) c.Add(v.At(bar, col));
    return static_cast<std::uint8_t>(c.h ^ (c.h >> 8) ^ (c.h >> 16) ^ (c.h >> 24));
}

// The blocks of one column: [first bar, last bar] (0-based), checksum, and
// the value on the last bar.
struct Block {
    std::size_t first, last;
    std::uint64_t checksum;
    double sample;
};

std::vector<Block> Blocks(const Values& v, std::size_t column) {
    std::vector<Block> blocks;
    for (std::size_t first = 0; first < v.bars.size(); first += kBlock) {
        const std::size_t last = std::min(first + kBlock, v.bars.size()) - 1;
        Checksum c;
        for (std::size_t b = first; b <= last; ++b) c.Add(v.At(b, column));
        blocks.push_back({first, last, c.h, v.At(last, column)});
    }
    return blocks;
}

// ---------------------------------------------------------------------------
// The reference file.

struct Reference {
    std::map<std::string, std::string> header;  // series, bars, ticks, ebands, block
    std::vector<std::string> columns;
    std::vector<std::uint8_t> fingerprints;
    std::vector<std::vector<Block>> blocks;  // per column
};

std::string Describe(const SeriesCase& c) {
    if (c.csv != nullptr) return c.csv;
    return "built-in series, " + std::to_string(c.bars) + " bars, seed " + std::to_string(c.seed);
}

std::string Write(const SeriesCase& c, const Values& v) {
    std::ostringstream out;
    out << "# Reference values of every study slot (tests/reference/README.md). Written by\n"
        << "# zt_reference_test --regenerate; values print as the shortest text that reads back exactly.\n";
    out << "series " << Describe(c) << "\n";
    out << "bars " << v.bars.size() << "\n";
    out << "ticks " << c.ticks << "\n";
    out << "ebands " << kBandsPeriod << " " << kBandsSmoothing << "\n";
    out << "block " << kBlock << "\n";
    for (std::size_t first = 0; first < v.bars.size(); first += 64) {
        out << "fingerprint " << first + 1 << " ";
        for (std::size_t b = first; b < v.bars.size() && b < first + 64; ++b) out << Hex(RowFingerprint(v, b), 2);
        out << "\n";
    }
    for (std::size_t col = 0; col < v.columns.size(); ++col) {
        out << "column " << v.columns[col].name << "\n";
        for (const Block& b : Blocks(v, col))
            out << "  " << b.last + 1 << " " << Hex(b.checksum, 16) << " " << Number(b.sample) << "\n";
    }
    return out.str();
}

double ParseNumber(std::string_view text) {
    double v = 0.0;
    std::from_chars(text.data(), text.data() + text.size(), v);
    return v;
}

Reference Read(const std::string& path) {
    Reference r;
    std::ifstream in(path);
    std::string line;
    std::size_t previousLast = 0;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream s(line);
        std::string key;
        s >> key;
        if (key == "fingerprint") {
            std::size_t first = 0;
            std::string hex;
            s >> first >> hex;
            for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
                r.fingerprints.push_back(static_cast<std::uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
        } else if (key == "column") {
            std::string name;
            s >> name;
            r.columns.push_back(name);
            r.blocks.emplace_back();
            previousLast = 0;
        } else if (!r.columns.empty() && std::isdigit(static_cast<unsigned char>(key[0]))) {
            std::string checksum, sample;
            s >> checksum >> sample;
            const std::size_t last = std::stoul(key) - 1;
            r.blocks.back().push_back({previousLast, last, std::stoull(checksum, nullptr, 16), ParseNumber(sample)});
            previousLast = last + 1;
        } else {
            std::string rest;
            std::getline(s, rest);
            r.header[key] = rest.empty() ? rest : rest.substr(1);
        }
    }
    return r;
}

std::string DataFolder() { return ZT_DATA_DIR; }
std::string ReferencePath(const SeriesCase& c) { return std::string(ZT_REFERENCE_DIR) + "/" + c.reference; }

std::string BarText(const replay::Bar& b, std::size_t index) {
    return "bar " + std::to_string(index + 1) + " (" + std::to_string(b.date) + " " + std::to_string(b.time) + ")";
}

// Compares, and on a difference names the first differing bar and the slots
// that differ in its block.
void Compare(const SeriesCase& c, const Values& v) {
    const Reference r = Read(ReferencePath(c));
    ASSERT_FALSE(r.columns.empty()) << "no reference in " << ReferencePath(c)
                                    << " (zt_reference_test --regenerate writes it)";
    ASSERT_EQ(r.header.at("bars"), std::to_string(v.bars.size())) << c.reference << ": another series";
    ASSERT_EQ(r.header.at("ebands"), std::to_string(kBandsPeriod) + " " + std::to_string(kBandsSmoothing));
    ASSERT_EQ(r.header.at("block"), std::to_string(kBlock));
    std::vector<std::string> names;
    for (const Column& col : v.columns) names.push_back(col.name);
    ASSERT_EQ(r.columns, names) << c.reference << ": the studies or their slots changed; regenerate the references";
    ASSERT_EQ(r.fingerprints.size(), v.bars.size());

    std::size_t firstBar = v.bars.size();
    for (std::size_t b = 0; b < v.bars.size() && firstBar == v.bars.size(); ++b)
        if (RowFingerprint(v, b) != r.fingerprints[b]) firstBar = b;

    // The earliest block in which any slot differs, and those slots.
    std::size_t firstBlock = SIZE_MAX;
    std::vector<std::size_t> differing;
    for (std::size_t col = 0; col < v.columns.size(); ++col) {
        const std::vector<Block> got = Blocks(v, col);
        ASSERT_EQ(got.size(), r.blocks[col].size()) << v.columns[col].name;
        for (std::size_t i = 0; i < got.size(); ++i) {
            if (got[i].checksum == r.blocks[col][i].checksum && Bits(got[i].sample) == Bits(r.blocks[col][i].sample))
                continue;
            if (i < firstBlock) {
                firstBlock = i;
                differing.clear();
            }
            if (i == firstBlock) differing.push_back(col);
            break;
        }
    }
    if (firstBlock == SIZE_MAX && firstBar == v.bars.size()) return;

    std::ostringstream m;
    m << c.reference << " (" << Describe(c) << "): ";
    if (firstBar < v.bars.size()) m << "the first bar that differs is " << BarText(v.bars[firstBar], firstBar) << ". ";
    if (firstBlock != SIZE_MAX) {
        const Block& where = r.blocks[differing.front()][firstBlock];
        m << "Slots differing in bars " << where.first + 1 << " to " << where.last + 1 << ":";
        for (std::size_t col : differing) {
            const Block& want = r.blocks[col][firstBlock];
            m << "\n  " << v.columns[col].name;
            if (firstBar >= want.first && firstBar <= want.last)
                m << ": at bar " << firstBar + 1 << " now " << Number(v.At(firstBar, col)) << ";";
            m << " at bar " << want.last + 1 << " expected " << Number(want.sample) << ", got "
              << Number(v.At(want.last, col));
        }
    } else {
        m << "(every block checksum agrees: the row fingerprint alone differs)";
    }
    ADD_FAILURE() << m.str();
}

void Check(const SeriesCase& c, const Values& v) {
    if (!regenerate) {
        Compare(c, v);
        return;
    }
    const std::string path = ReferencePath(c);
    std::ofstream out(path, std::ios::binary);
    out << Write(c, v);
    ASSERT_TRUE(out.good()) << "cannot write " << path;
    std::printf("wrote %s\n", path.c_str());
}

replay::Series Load(const SeriesCase& c) {
    if (c.csv == nullptr) return replay::SyntheticSeries(c.bars, c.seed);
    return replay::ReadBarsCsv(DataFolder() + "/" + c.csv);
}

class ReferenceValues : public ::testing::Test {
protected:
    void Run(const SeriesCase& c) {
        if (c.csv != nullptr && !std::ifstream(DataFolder() + "/" + c.csv)) {
            GTEST_SKIP() << "no " << DataFolder() << "/" << c.csv << " (the repository's data folder is absent)";
        }
        Check(c, Compute(Load(c), c.ticks));
    }
};

// The one-minute future: whole-point prices, real volume, many flat bars.
TEST_F(ReferenceValues, OneMinuteFuture) { Run(kOneMinuteFuture); }

// The cash index in five-minute bars: every volume is 0.
TEST_F(ReferenceValues, FiveMinuteIndexWithoutVolume) { Run(kFiveMinuteIndex); }

// The built-in series, every bar sent three times while forming.
TEST_F(ReferenceValues, BuiltInSeriesWithIntrabarUpdates) { Run(kBuiltIn); }

// Without the intrabar updates the final values are the same: a re-sent
// forming bar changes nothing carried forward.
TEST_F(ReferenceValues, BuiltInSeriesWithoutIntrabarUpdatesGivesTheSameValues) {
    if (regenerate) GTEST_SKIP() << "written by BuiltInSeriesWithIntrabarUpdates";
    Compare(kBuiltIn, Compute(Load(kBuiltIn), 0));
}

// ---------------------------------------------------------------------------
// Readable vectors (tests/reference/vectors/): every slot of every study at a
// few chosen bars of a short series, printed to 17 significant digits and as
// the exact double in hexadecimal, one file per study. The hashes above guard
// every bar; these are what a reader can check by hand.

constexpr std::size_t kVectorBars = 360;
constexpr std::uint64_t kVectorSeed = 7;  // the first bars of builtin_5000_seed7.txt

std::string VectorPath(std::string_view file) {
    return std::string(ZT_REFERENCE_DIR) + "/vectors/" + std::string(file);
}

// The bars every vector is computed from, as a CSV a reader (and
// tests/reference/vectors/cross_check.py) can open.
std::string BarsCsv(const replay::Series& s) {
    std::string out = "date,time,open,high,low,close,volume\n";
    for (const replay::Bar& b : s.bars) {
        out += std::to_string(b.date) + "," + std::to_string(b.time) + "," + Number(b.open) + "," + Number(b.high) +
               "," + Number(b.low) + "," + Number(b.close) + "," + Number(b.volume) + "\n";
    }
    return out;
}

std::string Digits17(double v) {
    char buf[40];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 17);
    return std::string(buf, ec == std::errc{} ? end : buf);
}

std::string HexFloat(double v) {
    char buf[40];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::hex);
    const std::string digits(buf, ec == std::errc{} ? end : buf);
    if (!std::isfinite(v)) return digits;
    return digits[0] == '-' ? "-0x" + digits.substr(1) : "0x" + digits;
}

// Right after the warm-up, the first bars, a few round bars and the last two.
std::vector<std::size_t> ChosenBars(int warmup) {
    std::vector<std::size_t> bars{1, 2, 3, 100, 200, 300, kVectorBars - 1, kVectorBars};
    for (int k = 1; k <= 2; ++k) bars.push_back(static_cast<std::size_t>(warmup + k));
    std::sort(bars.begin(), bars.end());
    bars.erase(std::unique(bars.begin(), bars.end()), bars.end());
    while (!bars.empty() && bars.back() > kVectorBars) bars.pop_back();
    return bars;
}

std::string Padded(std::string s, std::size_t width) {
    if (s.size() < width) s.insert(0, width - s.size(), ' ');
    return s;
}

std::string WriteVectors(const Values& v, const test::StudyInfo& study) {
    const replay::CatalogueEntry* about = replay::FindCatalogueEntry(study.name);
    std::ostringstream out;
    out << "# " << study.name << ": " << about->description << "\n"
        << "# Every bar of bars.csv (the first " << kVectorBars << " bars of the built-in series, seed " << kVectorSeed
        << ")\n# sent once to a fresh state (E_BARVALUES), then the study entry"
        << (study.bands ? " (period " + std::to_string(kBandsPeriod) + ", smoothing " +
                              std::to_string(kBandsSmoothing) + ")"
                        : std::string())
        << ", then E_GETRETURN for each slot.\n"
        << "# Warm-up " << about->warmup << " (the catalogue's): bar " << about->warmup + 1
        << " is the first a chart draws.\n"
        << "# Each value: 17 significant digits, then the same double exactly, in hexadecimal.\n"
        << "# Written by zt_reference_test --regenerate; checked by ReferenceVectors.EveryStudyAtChosenBars.\n"
        << "study " << study.name << "\n";
    std::size_t first = 0;
    while (v.columns[first].study != study.name) ++first;
    for (const std::size_t bar : ChosenBars(about->warmup)) {
        const replay::Bar& b = v.bars[bar - 1];
        out << "bar " << bar << "  " << b.date << " " << b.time << "  open " << Number(b.open) << " high "
            << Number(b.high) << " low " << Number(b.low) << " close " << Number(b.close) << " volume "
            << Number(b.volume) << "\n";
        for (int k = 0; k < study.slots; ++k) {
            const double x = v.At(bar - 1, first + static_cast<std::size_t>(k));
            const std::string slot(about->slotNames[static_cast<std::size_t>(k)]);
            out << "  " << slot << std::string(slot.size() < 12 ? 12 - slot.size() : 1, ' ')
                << Padded(Digits17(x), 24) << "  " << HexFloat(x) << "\n";
        }
    }
    return out.str();
}

// One value line of a vector file.
struct VectorValue {
    std::size_t bar;
    std::string slot;
    std::string decimal, hex;
};

struct VectorFile {
    std::string study;
    std::vector<VectorValue> values;
};

VectorFile ReadVectors(const std::string& path) {
    VectorFile f;
    std::ifstream in(path);
    std::string line;
    std::size_t bar = 0;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream s(line);
        std::string key;
        s >> key;
        if (key == "study") {
            s >> f.study;
        } else if (key == "bar") {
            s >> bar;
        } else {
            VectorValue value{bar, key, {}, {}};
            s >> value.decimal >> value.hex;
            f.values.push_back(value);
        }
    }
    return f;
}

double ParseDecimal(const std::string& text) {
    double v = std::numeric_limits<double>::quiet_NaN();
    std::from_chars(text.data(), text.data() + text.size(), v);
    return v;
}

double ParseHex(const std::string& text) {
    if (text.size() < 3) return std::numeric_limits<double>::quiet_NaN();
    const bool negative = text[0] == '-';
    const std::string digits = text.substr(negative ? 3 : 2);  // after "0x" or "-0x"
    double v = std::numeric_limits<double>::quiet_NaN();
    std::from_chars(digits.data(), digits.data() + digits.size(), v, std::chars_format::hex);
    return negative ? -v : v;
}

replay::Series VectorSeries() { return replay::ReadBarsCsv(VectorPath("bars.csv")); }

TEST(ReferenceVectors, BarsAreTheFirstBarsOfTheBuiltInSeries) {
    const replay::Series builtIn = replay::SyntheticSeries(kVectorBars, kVectorSeed);
    if (regenerate) {
        std::ofstream out(VectorPath("bars.csv"), std::ios::binary);
        out << BarsCsv(builtIn);
        ASSERT_TRUE(out.good()) << "cannot write " << VectorPath("bars.csv");
        return;
    }
    std::ifstream in(VectorPath("bars.csv"), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), BarsCsv(builtIn));
}

TEST(ReferenceVectors, EveryStudyAtChosenBars) {
    if (regenerate && !std::ifstream(VectorPath("bars.csv"))) GTEST_SKIP() << "bars.csv is written first";
    const replay::Series series = VectorSeries();
    ASSERT_EQ(series.bars.size(), kVectorBars) << VectorPath("bars.csv");
    const Values v = Compute(series, 0);
    for (const test::StudyInfo& study : test::ExportedStudies()) {
        const std::string path = VectorPath(std::string(study.name) + ".txt");
        if (regenerate) {
            std::ofstream out(path, std::ios::binary);
            out << WriteVectors(v, study);
            ASSERT_TRUE(out.good()) << "cannot write " << path;
            continue;
        }
        const VectorFile f = ReadVectors(path);
        ASSERT_EQ(f.study, study.name) << path << ": missing or for another study (zt_reference_test --regenerate)";
        const replay::CatalogueEntry* about = replay::FindCatalogueEntry(study.name);
        std::size_t first = 0;
        while (v.columns[first].study != study.name) ++first;
        std::map<std::size_t, int> perBar;
        for (const VectorValue& x : f.values) {
            ASSERT_TRUE(x.bar >= 1 && x.bar <= kVectorBars) << path << ": bar " << x.bar;
            int k = 0;
            while (k < study.slots && about->slotNames[static_cast<std::size_t>(k)] != x.slot) ++k;
            ASSERT_LT(k, study.slots) << path << ": no slot " << x.slot;
            perBar[x.bar] += 1;
            const double got = v.At(x.bar - 1, first + static_cast<std::size_t>(k));
            const double decimal = ParseDecimal(x.decimal), hex = ParseHex(x.hex);
            EXPECT_EQ(Bits(decimal), Bits(hex)) << path << ": bar " << x.bar << " " << x.slot
                                                << ": the two columns disagree";
            EXPECT_EQ(Bits(got), Bits(hex)) << study.name << " bar " << x.bar << " " << x.slot << ": expected "
                                             << x.decimal << " (" << x.hex << "), got " << Digits17(got) << " ("
                                             << HexFloat(got) << ")";
        }
        EXPECT_GE(perBar.size(), 6u) << path;
        for (const auto& [bar, count] : perBar) EXPECT_EQ(count, study.slots) << path << ": bar " << bar;
    }
    // No file left behind by a study that is gone or was renamed.
    for (const auto& entry : std::filesystem::directory_iterator(VectorPath(""))) {
        const std::string file = entry.path().filename().string();
        if (file.rfind("E_", 0) != 0) continue;
        bool known = false;
        for (const test::StudyInfo& study : test::ExportedStudies())
            known = known || file == std::string(study.name) + ".txt";
        EXPECT_TRUE(known) << VectorPath(file) << ": no such study";
    }
}

}  // namespace
}  // namespace zt

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i)
        if (std::string_view(argv[i]) == "--regenerate") zt::regenerate = true;
    return RUN_ALL_TESTS();
}
