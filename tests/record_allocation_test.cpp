// Making a study's memory record, the one allocation a study makes on a
// state: what a failure leaves (the study answers 0.0, writes no slot, and
// the state goes on as if that call had not been made), and that nothing
// allocates after it, neither evaluations nor bar stores. The program's
// allocation functions are replaced (testing/allocation_switch.h).
#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <string_view>

#include "studies/study_entry.h"
#include "testing/allocation_switch.h"
#include "tests/study_calls.h"
#include "testing/synthetic_bars.h"
#include "tests/test_support.h"

namespace zt {
namespace {

using test::Bar;
using test::StudyInfo;

class RecordAllocation : public ::testing::TestWithParam<StudyInfo> {
protected:
    void SetUp() override { test::ResetLibrary(); }
    void TearDown() override { test::ResetLibrary(); }
    test::StudyCall call() const { return test::StudyByName(GetParam().name); }
    static void Store(std::int32_t id, std::int32_t n, const Bar& b) {
        E_BARVALUES(id, n, b.date, b.time, b.open, b.high, b.low, b.close, b.volume);
    }
    test::QuietTrace quiet_;
};

// The slot of studies/study_records.h named `record`, or kSlots.
std::uint32_t RecordSlotNamed(std::string_view record) {
    constexpr std::string_view kNames[] = {
#define ZT_RECORD_NAME(slot, type) #slot,
        ZT_STUDY_RECORDS(ZT_RECORD_NAME)
#undef ZT_RECORD_NAME
    };
    for (std::uint32_t i = 0; i < std::size(kNames); ++i)
        if (kNames[i] == record) return i;
    return RecordTable::kSlots;
}

int RecordsHeld(const StudyState& state) {
    int held = 0;
    for (std::uint32_t slot = 0; slot < RecordTable::kSlots; ++slot) held += state.records.find(slot) != nullptr;
    return held;
}

TEST_P(RecordAllocation, AFailedRecordAnswersZeroWritesNothingAndTheStateGoesOn) {
    const auto bars = test::SyntheticBars(80, 13);
    const std::int32_t failing = E_CREATESTATE2(1);
    const std::int32_t plain = E_CREATESTATE2(1);
    StudyState* state = TheRegistries().states.at(failing).get();
    for (std::size_t i = 0; i < bars.size(); ++i) {
        const auto n = static_cast<std::int32_t>(i + 1);
        Store(failing, n, bars[i]);
        Store(plain, n, bars[i]);
        if (i < 3) continue;  // the study starts on bar 4 on both states
        if (i == 3) {
            for (double& v : state->slots.values) v = 7.5;
            const bool keepsMemory = GetParam().about->KeepsMemory();
            test::FailNextAllocation();
            const double v = call()(failing);
            test::FailNextAllocation(false);
            if (keepsMemory) {
                EXPECT_EQ(v, 0.0);
                for (int k = 0; k < kReturnSlotCount; ++k) EXPECT_EQ(E_GETRETURN(failing, k), 7.5) << k;
                EXPECT_EQ(RecordsHeld(*state), 0);
            }
        }
        const double a = call()(failing);
        const double b = call()(plain);
        ASSERT_EQ(std::memcmp(&a, &b, sizeof a), 0) << GetParam().name << " bar " << n;
        for (int k = 1; k < kReturnSlotCount; ++k) {
            const double x = E_GETRETURN(failing, k), y = E_GETRETURN(plain, k);
            ASSERT_EQ(std::memcmp(&x, &y, sizeof x), 0) << GetParam().name << " bar " << n << " slot " << k;
        }
    }
}

TEST_P(RecordAllocation, NothingAllocatesAfterTheFirstEvaluation) {
    const auto bars = test::SyntheticBars(300, 17);
    const std::int32_t id = E_CREATESTATE2(1);
    const long beforeFirst = test::Allocations();
    Store(id, 1, bars[0]);
    call()(id);
    EXPECT_LE(test::Allocations() - beforeFirst, 1) << "one record at most";
    // The record is the one the catalogue names, or none.
    const StudyState& state = *TheRegistries().states.at(id);
    const catalogue::Study& about = *GetParam().about;
    EXPECT_EQ(RecordsHeld(state), about.KeepsMemory() ? 1 : 0) << GetParam().name;
    if (about.KeepsMemory()) {
        const std::uint32_t slot = RecordSlotNamed(about.record);
        ASSERT_LT(slot, RecordTable::kSlots) << about.record;
        EXPECT_NE(state.records.find(slot), nullptr)
            << GetParam().name << " keeps its memory elsewhere than in the record the catalogue names, "
            << about.record;
    }
    const long afterFirst = test::Allocations();
    for (std::size_t i = 1; i < bars.size(); ++i) {
        const auto n = static_cast<std::int32_t>(i + 1);
        Store(id, n, bars[i]);
        call()(id);
        Store(id, n, bars[i]);  // the forming bar sent again
        call()(id);
    }
    EXPECT_EQ(test::Allocations(), afterFirst) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(EveryStudy, RecordAllocation, ::testing::ValuesIn(test::ExportedStudies()),
                         [](const auto& info) { return std::string(info.param.name); });

// The position study makes the stop line's record through the stop line: if
// that fails, it answers 0.0 and writes nothing either.
TEST(RecordAllocationOfCalledStudies, PositionWithoutAStopLineRecordWritesNothing) {
    test::ResetLibrary();
    test::QuietTrace quiet;
    const std::int32_t id = E_CREATESTATE2(1);
    E_BARVALUES(id, 1, 1261207, 930, 10, 12, 8, 11, 100);
    StudyState* state = TheRegistries().states.at(id).get();
    for (double& v : state->slots.values) v = 7.5;
    test::FailNextAllocation();
    EXPECT_EQ(E_ZARNMP(id), 0.0);
    test::FailNextAllocation(false);
    EXPECT_EQ(E_GETRETURN(id, 1), 7.5);
    EXPECT_EQ(RecordsHeld(*state), 0);
    EXPECT_NE(E_ZARNMP(id), 0.0);
    EXPECT_EQ(RecordsHeld(*state), 1);
    test::ResetLibrary();
}

}  // namespace
}  // namespace zt
