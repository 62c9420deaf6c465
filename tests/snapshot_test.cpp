// State snapshots: a state saved at any point and restored into a new one
// continues bit for bit as the uninterrupted state, for every study alone and
// all 34 on one state, over real and random series; a snapshot saved again
// after its restore is the same bytes; and every damaged or foreign snapshot
// is refused with its reason, creating nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "include/zarntrade.h"
#include "include/zarntrade_snapshot.h"
#include "replay/driver/bars.h"
#include "store/registry.h"
#include "store/snapshot_codec.h"
#include "studies/snapshot.h"
#include "studies/bar/blend_lines.h"
#include "studies/bar/stop_lines.h"
#include "studies/bar/trend_bias.h"
#include "studies/bar/volume_bands.h"
#include "studies/composite/colour_template.h"
#include "studies/composite/scorecard.h"
#include "studies/composite/signal_studies.h"
#include "studies/composite/split_lines.h"
#include "studies/composite/swing_line.h"
#include "studies/composite/volume_flow.h"
#include "studies/composite/water_level.h"
#include "studies/study_records.h"
#include "tests/snapshot_script.h"
#include "tests/study_calls.h"
#include "tests/study_table.h"
#include "testing/synthetic_bars.h"
#include "tests/test_support.h"

namespace zt::test {
namespace {

using Bytes = std::vector<unsigned char>;

// The library's trace lines (a line per state created, restored, refused)
// kept out of the test output.
class QuietTrace : public ::testing::Environment {
    void SetUp() override { capture_ = std::make_unique<TraceCapture>(); }
    void TearDown() override { capture_.reset(); }
    std::unique_ptr<TraceCapture> capture_;
};
const auto* const kQuiet = ::testing::AddGlobalTestEnvironment(new QuietTrace);

Bytes Save(std::int32_t id) {
    const std::int32_t size = zt_state_save(id, nullptr, 0);
    Bytes bytes(static_cast<std::size_t>(size));
    EXPECT_EQ(zt_state_save(id, bytes.data(), size), size);
    return bytes;
}

std::int32_t Restore(const Bytes& bytes, std::string* error = nullptr) {
    char text[256] = "untouched";
    const std::int32_t id = zt_state_restore(bytes.data(), static_cast<std::int32_t>(bytes.size()), text, sizeof text);
    if (error != nullptr) *error = text;
    return id;
}

// Every step index after which the run is cut: spread over the run, and
// right after a re-sent bar's push and after a bar left unevaluated.
std::vector<std::size_t> CutPoints(const std::vector<Step>& steps, std::size_t spread) {
    std::vector<std::size_t> cuts = {0, 1};
    for (std::size_t k = 1; k < spread; ++k) cuts.push_back(steps.size() * k / spread);
    std::int32_t lastNumber = 0;
    bool resent = false, skipped = false;
    for (std::size_t i = 0; i + 1 < steps.size(); ++i) {
        if (steps[i].kind != Step::Push) continue;
        if (!resent && i > 200 && steps[i].barNumber == lastNumber) cuts.push_back(i + 1), resent = true;
        if (!skipped && i > 300 && steps[i + 1].kind == Step::Push && steps[i + 1].barNumber != steps[i].barNumber)
            cuts.push_back(i + 1), skipped = true;
        lastNumber = steps[i].barNumber;
    }
    cuts.push_back(steps.size());
    std::sort(cuts.begin(), cuts.end());
    cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
    return cuts;
}

// The whole run against the run cut at every cut point, saved, restored into
// a new state and run on: equal bit for bit on every slot of every bar.
void ExpectResumesExactly(const std::vector<Bar>& bars, const std::vector<StudyCall>& studies, std::size_t spread) {
    ResetLibrary();
    const std::vector<Step> steps = Script(bars, studies);
    const std::vector<std::size_t> cuts = CutPoints(steps, spread);

    const std::int32_t whole = E_CREATESTATE2(1);
    std::vector<double> expected;
    std::vector<std::size_t> outputsAt;  // outputs written before each cut
    std::vector<Bytes> snapshots;
    std::size_t done = 0;
    for (std::size_t cut : cuts) {
        Run(whole, steps, done, cut, expected);
        done = cut;
        outputsAt.push_back(expected.size());
        snapshots.push_back(Save(whole));
    }
    for (std::size_t c = 0; c < cuts.size(); ++c) {
        std::string error;
        const std::int32_t resumed = Restore(snapshots[c], &error);
        ASSERT_NE(resumed, 0) << error;
        ASSERT_NE(resumed, whole);
        std::vector<double> got(expected.begin(), expected.begin() + static_cast<std::ptrdiff_t>(outputsAt[c]));
        Run(resumed, steps, cuts[c], steps.size(), got);
        ASSERT_EQ(got.size(), expected.size());
        const auto firstDiff = [&] {
            for (std::size_t i = 0; i < got.size(); ++i)
                if (std::memcmp(&got[i], &expected[i], sizeof(double)) != 0) return i;
            return got.size();
        }();
        ASSERT_EQ(firstDiff, got.size()) << "cut at step " << cuts[c] << ": output " << firstDiff << " is "
                                         << got[firstDiff] << ", the whole run's " << expected[firstDiff];
        // Saved again at the end, the resumed state is the whole state.
        EXPECT_EQ(Save(resumed), Save(whole)) << "cut at step " << cuts[c];
        E_DESTROYSTATE(resumed);
    }
}

std::vector<Bar> RealBars(const char* file, std::size_t count) {
    const replay::Series series = replay::ReadBarsCsv(std::string(ZT_DATA_DIR) + "/" + file);
    std::vector<Bar> bars;
    for (std::size_t i = 0; i < series.bars.size() && bars.size() < count; ++i) {
        const replay::Bar& b = series.bars[i];
        bars.push_back({b.date - 19000000, b.time, b.open, b.high, b.low, b.close, b.volume});
    }
    return bars;
}

class EveryStudy : public ::testing::TestWithParam<StudyInfo> {};

TEST_P(EveryStudy, ResumesExactlyOverRealAndRandomSeries) {
    const std::vector<StudyCall> study = {StudyByName(GetParam().name)};
    ASSERT_NE(study[0], nullptr);
    ExpectResumesExactly(RealBars("spy_daily_2008_2014.csv", 450), study, 9);
    ExpectResumesExactly(SyntheticBars(450, 23), study, 9);
}

INSTANTIATE_TEST_SUITE_P(Snapshot, EveryStudy, ::testing::ValuesIn(ExportedStudies()),
                         [](const ::testing::TestParamInfo<StudyInfo>& info) { return std::string(info.param.name); });

std::vector<StudyCall> AllStudies() {
    std::vector<StudyCall> all;
    for (const StudyInfo& s : ExportedStudies()) all.push_back(StudyByName(s.name));
    return all;
}

TEST(Snapshot, AllStudiesOnOneStateResumeExactly) {
    ExpectResumesExactly(RealBars("estx50fut_1min_20060102_20060113.csv", 700), AllStudies(), 14);
    ExpectResumesExactly(SyntheticBars(600, 91, true), AllStudies(), 10);
}

// A state fed all 34 studies over `n` bars.
std::int32_t FedState(std::size_t n) {
    const std::int32_t id = E_CREATESTATE2(0);
    std::vector<double> ignored;
    const std::vector<Step> steps = Script(SyntheticBars(n, 5), AllStudies());
    Run(id, steps, 0, steps.size(), ignored);
    return id;
}

TEST(Snapshot, SavedAgainAfterRestoreIsTheSameBytes) {
    ResetLibrary();
    for (std::size_t n : {0u, 1u, 250u}) {
        const Bytes first = Save(FedState(n));
        const std::int32_t restored = Restore(first);
        ASSERT_NE(restored, 0);
        EXPECT_EQ(Save(restored), first) << n << " bars";
    }
}

TEST(Snapshot, RestoresIntoANewStateOfTheSelectedContextWithItsGcFlag) {
    ResetLibrary();
    const Bytes bytes = Save(FedState(30));
    Dll_Add(7);
    Dll_Context(7);
    const std::int32_t id = Restore(bytes);
    ASSERT_GT(id, 0);
    EXPECT_EQ(FindState(id)->gc, 0);
    EXPECT_EQ(FindState(id)->lastBarNumber, 30);
    Dll_Free(7);
    EXPECT_EQ(FindState(id), nullptr) << "freeing the chart destroys the restored state";
    EXPECT_EQ(zt_state_save(id, nullptr, 0), 0) << "an unknown id saves nothing";
}

TEST(Snapshot, ChecksumIsCrc32c) {
    const std::string check = "123456789";  // the standard check value of CRC-32C
    const auto* bytes = reinterpret_cast<const unsigned char*>(check.data());
    EXPECT_EQ(snapshot::Crc32c(bytes, check.size()), 0xE3069283u);
    EXPECT_EQ(snapshot::Crc32cPortable(bytes, check.size()), 0xE3069283u);
    Bytes odd(1021);
    for (std::size_t i = 0; i < odd.size(); ++i) odd[i] = static_cast<unsigned char>(i * 131 + 7);
    for (std::size_t n : {0u, 1u, 7u, 8u, 9u, 1021u})
        EXPECT_EQ(snapshot::Crc32c(odd.data(), n), snapshot::Crc32cPortable(odd.data(), n)) << n;
}

TEST(Snapshot, ATooSmallBufferIsLeftUntouched) {
    ResetLibrary();
    const std::int32_t id = FedState(10);
    const std::int32_t size = zt_state_save(id, nullptr, 0);
    Bytes buffer(static_cast<std::size_t>(size), 0xAB);
    EXPECT_EQ(zt_state_save(id, buffer.data(), size - 1), size);
    EXPECT_EQ(buffer, Bytes(static_cast<std::size_t>(size), 0xAB));
}

// --- refusals -----------------------------------------------------------

void PutU32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<unsigned char>(v >> (8 * i));
}
void FixChecksum(Bytes& b) { PutU32(b, b.size() - 4, snapshot::Crc32c(b.data(), b.size() - 4)); }
// Where a record's name starts (found with its length byte before it).
std::size_t Find(const Bytes& b, const std::string& name) {
    const std::string text = static_cast<char>(name.size()) + name;
    const auto it = std::search(b.begin(), b.end(), text.begin(), text.end());
    return static_cast<std::size_t>(it - b.begin()) + 1;
}
std::uint32_t GetU32(const Bytes& b, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(b[at + static_cast<std::size_t>(i)]) << (8 * i);
    return v;
}

constexpr std::size_t kHeader = 40;
constexpr std::size_t kRecordCountAt = kHeader + 1 + 4 + 80 + 200 * 4 * 2 + 200 * 8 * 5;

struct Refusal {
    const char* what;
    void (*damage)(Bytes&);
    const char* reason;
};

const Refusal kRefusals[] = {
    {"wrong magic", [](Bytes& b) { b[0] = 'X'; }, "not a zarntrade state snapshot"},
    {"empty", [](Bytes& b) { b.clear(); }, "not a zarntrade state snapshot"},
    {"other format version", [](Bytes& b) { PutU32(b, 8, 2), FixChecksum(b); }, "format version 2"},
    {"other catalogue", [](Bytes& b) { b[20] ^= 1, FixChecksum(b); }, "another study catalogue"},
    {"other layout", [](Bytes& b) { b[28] ^= 1, FixChecksum(b); }, "other record layouts"},
    {"truncated header", [](Bytes& b) { b.resize(20); }, "truncated"},
    {"truncated", [](Bytes& b) { b.pop_back(); }, "truncated"},
    {"extended", [](Bytes& b) { b.push_back(0); }, "follow the end"},
    {"checksum mismatch", [](Bytes& b) { b[kHeader + 10] ^= 0x10; }, "checksum mismatch"},
    {"size too small", [](Bytes& b) { PutU32(b, 36, 12); }, "less than a snapshot takes"},
    {"gc flag", [](Bytes& b) { b[kHeader] = 2, FixChecksum(b); }, "gc flag"},
    {"record count", [](Bytes& b) { PutU32(b, kRecordCountAt, 99), FixChecksum(b); }, "99 records"},
    {"unknown record",
     [](Bytes& b) {
         b[Find(b, "upsell")] = 'x';
         FixChecksum(b);
     },
     "\"xpsell\": no study uses it"},
    {"duplicate record",
     [](Bytes& b) {
         std::memcpy(&b[Find(b, "fast1")], "fast2", 5);  // after the real fast2
         FixChecksum(b);
     },
     "record fast2 appears twice"},
    {"started flag",
     [](Bytes& b) {
         b[Find(b, "upsell") + 6 + 4] = 7;  // the composite signal's started flag
         FixChecksum(b);
     },
     "started flag reads 7"},
    {"ring size",
     [](Bytes& b) {
         PutU32(b, Find(b, "errorBands") + 10 + 4 + 8, 201);  // after period and smoothing
         FixChecksum(b);
     },
     "a ring of 201 elements"},
    {"band lengths",
     [](Bytes& b) {
         PutU32(b, Find(b, "errorBands") + 10 + 4, 0);
         FixChecksum(b);
     },
     "band lengths 0"},
    {"record payload size",
     [](Bytes& b) {
         const std::size_t at = Find(b, "errorBands") + 10;
         PutU32(b, at, GetU32(b, at) - 8u);
         FixChecksum(b);
     },
     "record errorBands"},
};

TEST(Snapshot, RefusesDamagedOrForeignSnapshotsNamingWhyAndCreatingNothing) {
    ResetLibrary();
    const std::int32_t other = FedState(60);
    const Bytes good = Save(other);
    ASSERT_GT(good.size(), kRecordCountAt);
    ASSERT_EQ(GetU32(good, kRecordCountAt), static_cast<std::uint32_t>(RecordSlot::count)) << "the record count's place";
    const std::size_t states = TheRegistries().states.size();
    const std::int32_t lastId = TheRegistries().lastStateId;
    for (const Refusal& r : kRefusals) {
        Bytes bytes = good;
        r.damage(bytes);
        std::string error;
        EXPECT_EQ(Restore(bytes, &error), 0) << r.what;
        EXPECT_NE(error.find(r.reason), std::string::npos) << r.what << ": " << error;
        EXPECT_EQ(TheRegistries().states.size(), states) << r.what;
        EXPECT_EQ(TheRegistries().lastStateId, lastId) << r.what << ": no id handed out";
    }
    EXPECT_EQ(Save(other), good) << "the other state is untouched";

    // Two records swapped: fast2 must come before upsell.
    const std::int32_t two = E_CREATESTATE2(0);
    E_BARVALUES(two, 1, 1260102, 930, 10, 11, 9, 10.5, 100);
    E_ZARNUPSELL(two);
    E_ZARNFAST2(two);
    Bytes swapped = Save(two);
    const std::size_t fast2 = Find(swapped, "fast2") - 1, upsell = Find(swapped, "upsell") - 1;
    std::rotate(swapped.begin() + static_cast<std::ptrdiff_t>(fast2),
                swapped.begin() + static_cast<std::ptrdiff_t>(upsell), swapped.end() - 4);
    FixChecksum(swapped);
    std::string error;
    EXPECT_EQ(Restore(swapped, &error), 0);
    EXPECT_NE(error.find("record fast2 out of order"), std::string::npos) << error;
    // Every shorter prefix is refused too.
    for (std::size_t n = 0; n < good.size(); n += 97) {
        const Bytes prefix(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n));
        EXPECT_EQ(Restore(prefix), 0) << n;
    }
    char small[12];
    EXPECT_EQ(zt_state_restore(good.data(), 10, small, sizeof small), 0);
    EXPECT_EQ(std::strlen(small), sizeof small - 1) << "the reason is cut to the room given";
    EXPECT_EQ(zt_state_restore(nullptr, 0, nullptr, 0), 0);
    EXPECT_EQ(zt_state_restore(good.data(), -1, small, sizeof small), 0);
}

// Every member of every record is listed in its Fields: at each level the
// listed members, in place order, leave no gap that padding cannot explain
// (a gap before a member narrower than its alignment, at the end narrower
// than the record's). A member added without its line fails here.
struct Coverage {
    const char* base;
    std::size_t size;
    std::size_t align;
    std::string where;
    std::vector<std::string>& faults;

    template <class... Members>
    void operator()(const char* names, Members&... members) {
        struct Span {
            std::size_t at, size, align;
        };
        std::vector<Span> spans = {
            {static_cast<std::size_t>(reinterpret_cast<const char*>(&members) - base), sizeof(Members),
             alignof(Members)}...};
        std::sort(spans.begin(), spans.end(), [](const Span& a, const Span& b) { return a.at < b.at; });
        std::size_t cursor = 0;
        for (const Span& span : spans) {
            if (span.at < cursor || span.at - cursor >= span.align)
                faults.push_back(where + " (" + names + "): unlisted bytes before offset " + std::to_string(span.at));
            cursor = span.at + span.size;
        }
        if (size - cursor >= align) faults.push_back(where + " (" + names + "): unlisted bytes at its end");
        (Inner(members), ...);
    }
    template <class T>
    void Inner(T& member) {
        if constexpr (requires { member.Fields(*this); }) {
            Coverage inner{reinterpret_cast<const char*>(&member), sizeof(T), alignof(T), where + ".", faults};
            member.Fields(inner);
        }
    }
};

TEST(Snapshot, EveryRecordListsEveryMember) {
    std::vector<std::string> faults;
#define ZT_CHECK_RECORD(slot, type)                                                              \
    {                                                                                            \
        auto record = std::make_unique<type>();                                                  \
        Coverage c{reinterpret_cast<const char*>(record.get()), sizeof(type), alignof(type), #type, faults}; \
        record->Fields(c);                                                                       \
    }
    ZT_STUDY_RECORDS(ZT_CHECK_RECORD)
#undef ZT_CHECK_RECORD
    for (const std::string& f : faults) ADD_FAILURE() << f;
}

}  // namespace
}  // namespace zt::test
