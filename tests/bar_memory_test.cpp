// Bar history (append or replace), the commit rule of the study memory, and
// the return slots.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "studies/bar/stop_lines.h"
#include "studies/study_entry.h"
#include "studies/bar/volume_bands.h"
#include "tests/test_support.h"

namespace zt {
namespace {

class Bars : public test::FreshState {
protected:
    std::int32_t Bar(std::int32_t number, double close) {
        return E_BARVALUES(id_, number, 1230107, number, close - 1, close + 1, close - 2, close, 100);
    }
};

TEST_F(Bars, BarNumberZeroFirstReplacesTheZeroBar) {
    const unsigned committed = state_->records.committed();
    EXPECT_EQ(Bar(0, 50), 1);
    EXPECT_EQ(state_->bars.date.head, 0u);  // stored in place: nothing appended
    EXPECT_EQ(state_->bars.close.at(0), 50);
    EXPECT_EQ(state_->bars.close.at(1), 0);
    EXPECT_EQ(state_->records.committed(), committed);
}

TEST_F(Bars, BarNumberOneFirstAppendsAfterTheZeroBar) {
    const unsigned committed = state_->records.committed();
    Bar(1, 50);
    EXPECT_EQ(state_->bars.date.head, 199u);
    EXPECT_EQ(state_->bars.volume.at(0), 100);
    EXPECT_EQ(state_->bars.volume.at(1), 0);
    EXPECT_EQ(state_->bars.close.at(0), 50);
    EXPECT_EQ(state_->bars.high.at(0), 51);
    EXPECT_EQ(state_->bars.date.at(0), 1230107);
    EXPECT_EQ(state_->bars.close.at(1), 0);
    EXPECT_EQ(state_->lastBarNumber, 1);
    EXPECT_NE(state_->records.committed(), committed);
}

TEST_F(Bars, RepeatedNumbersReplaceAndAnyOtherNumberAppends) {
    Bar(5, 10);
    Bar(5, 11);
    Bar(5, 12);
    EXPECT_EQ(state_->bars.date.head, 199u);
    EXPECT_EQ(state_->bars.close.at(0), 12);
    EXPECT_EQ(state_->bars.close.at(1), 0);
    Bar(6, 13);
    Bar(5, 14);  // numbers need not grow
    EXPECT_EQ(state_->bars.date.head, 197u);
    EXPECT_EQ(state_->bars.close.at(0), 14);
    EXPECT_EQ(state_->bars.close.at(1), 13);
    EXPECT_EQ(state_->bars.close.at(2), 12);
}

TEST_F(Bars, HistoryKeepsTheNewest200Bars) {
    for (int n = 1; n <= 201; ++n) Bar(n, n);
    EXPECT_EQ(state_->bars.close.at(0), 201);
    EXPECT_EQ(state_->bars.close.at(199), 2);  // bar 1 was overwritten
    EXPECT_EQ(state_->bars.close.at(200), 201);  // a look-back of 200 wraps to the newest
    EXPECT_EQ(state_->bars.time.at(199), 2);
}

// The price history keeps every window in one run of slots and moves itself
// up now and then: it must read as a plain ring does, wrapping look-backs
// and windows included, through many moves.
TEST(HistoryRing, ReadsAsAPlainRingThroughEveryMove) {
    BarRing history;
    SeriesRing<double, BarHistoryCapacity> plain;
    for (int n = 1; n <= 1000; ++n) {
        const double v = n % 7 == 0 ? -n * 0.5 : n;
        history.push(v);
        plain.push(v);
        if (n % 3 == 0) {
            history.setNewest(v + 0.25);
            plain.setNewest(v + 0.25);
        }
        if (n % 37 != 0 && n > 3) continue;
        for (std::uint32_t k = 0; k < 3 * BarHistoryCapacity; ++k) ASSERT_EQ(history.at(k), plain.at(k)) << n << " " << k;
        for (const auto& [k, len] : {std::pair{0u, 14u}, {5u, 140u}, {150u, 100u}, {199u, 3u}, {230u, 200u}}) {
            std::vector<double> a, b;
            history.forEachBack(k, len, [&a](double x) { a.push_back(x); });
            plain.forEachBack(k, len, [&b](double x) { b.push_back(x); });
            ASSERT_EQ(a, b) << n << " " << k << " " << len;
        }
    }
}

TEST_F(Bars, UnknownIdsStoreNothing) {
    test::TraceCapture trace;
    EXPECT_EQ(E_BARVALUES(0, 1, 0, 0, 1, 1, 1, 1, 1), 0);
    EXPECT_EQ(trace.lines(), std::vector<std::string>{"FindState failed for id 0"});
}

TEST_F(Bars, ReturnSlotsAreBoundedAndZeroOnANewState) {
    for (int slot = 0; slot < 10; ++slot) EXPECT_EQ(E_GETRETURN(id_, slot), 0.0);
    state_->slots.values[9] = 4.5;
    state_->slots.values[0] = 1.5;
    EXPECT_EQ(E_GETRETURN(id_, 9), 4.5);
    EXPECT_EQ(E_GETRETURN(id_, 0), 1.5);
    EXPECT_EQ(E_GETRETURN(id_, 10), 0.0);
    EXPECT_EQ(E_GETRETURN(id_, -1), 0.0);
    test::TraceCapture trace;
    EXPECT_EQ(E_GETRETURN(id_ + 1, 0), 0.0);
    EXPECT_EQ(trace.lines(), std::vector<std::string>{"FindState failed for id 2"});
}

// A study whose memory counts its evaluations: the count carried into a bar
// is the one left by the last evaluation before that bar was appended.
double CountingStudy(std::int32_t id, double extra = 0.0) {
    return EvaluateStudy<RecordSlot::errorBands>(id, [extra](StudyState&, ErrorBandsMemory& record, double* slots) {
        record.count += 1;
        slots[1] = extra;
        return static_cast<double>(record.count);
    });
}

TEST_F(Bars, RepeatedEvaluationsOfTheFormingBarAdvanceMemoryOnce) {
    Bar(1, 10);
    EXPECT_EQ(CountingStudy(id_), 1);
    Bar(2, 10);
    EXPECT_EQ(CountingStudy(id_), 2);
    Bar(3, 10);
    EXPECT_EQ(CountingStudy(id_), 3);
    Bar(3, 11);
    EXPECT_EQ(CountingStudy(id_), 3);
    Bar(3, 12);
    EXPECT_EQ(CountingStudy(id_), 3);
    Bar(4, 10);
    EXPECT_EQ(CountingStudy(id_), 4);
}

TEST_F(Bars, ASkippedBarCommitsTheBlockSetAsideBeforeIt) {
    Bar(1, 10);
    EXPECT_EQ(CountingStudy(id_), 1);
    Bar(2, 10);
    EXPECT_EQ(CountingStudy(id_), 2);
    Bar(3, 10);  // not evaluated
    Bar(4, 10);
    EXPECT_EQ(CountingStudy(id_), 2);  // starts from the record as it stood after bar 1
}

TEST_F(Bars, ASkippedBarRightAfterTheFirstEvaluationStartsTheRecordAgain) {
    Bar(1, 10);
    EXPECT_EQ(CountingStudy(id_), 1);
    Bar(2, 10);  // not evaluated: the copy set aside is the fresh one
    Bar(3, 10);
    EXPECT_EQ(CountingStudy(id_), 1);
    Bar(4, 10);
    EXPECT_EQ(CountingStudy(id_), 2);
}

// A record made late (after an odd or an even number of appends, on a bar
// sent again) starts on that evaluation and commits from there like any
// other.
TEST_F(Bars, ARecordFirstMadeOnAResentBarStartsThere) {
    for (int appended = 1; appended <= 2; ++appended) {
        test::ResetLibrary();
        id_ = E_CREATESTATE2(1);
        for (int n = 1; n <= appended; ++n) Bar(n, 10);
        Bar(appended, 11);
        EXPECT_EQ(CountingStudy(id_), 1);
        Bar(appended, 12);
        EXPECT_EQ(CountingStudy(id_), 1);
        Bar(appended + 1, 10);
        EXPECT_EQ(CountingStudy(id_), 2);
    }
}

int RecordsHeld(const StudyState& state) {
    int held = 0;
    for (std::uint32_t slot = 0; slot < RecordTable::kSlots; ++slot) held += state.records.find(slot) != nullptr;
    return held;
}

TEST_F(Bars, AStateHoldsRecordsOnlyForTheStudiesEvaluatedOnIt) {
    Bar(1, 10);
    EXPECT_EQ(RecordsHeld(*state_), 0);
    E_ZARNA900(id_);  // keeps no memory
    E_ZARNTIGHTSTOP(id_);
    EXPECT_EQ(RecordsHeld(*state_), 0);
    E_ZARNUNIVERSAL(id_);
    E_ZARNUNIVERSALBOND(id_);  // the pair shares one record
    EXPECT_EQ(RecordsHeld(*state_), 1);
    E_ZARNMP(id_);  // through the stop line's record
    EXPECT_NE(WorkingRecord<RecordSlot::stopLine>(*state_), nullptr);
    E_ZARNSTOPLINE(id_);
    E_ZARNCOLORTMPL(id_);
    EXPECT_EQ(RecordsHeld(*state_), 3);
    Bar(2, 10);
    EXPECT_EQ(RecordsHeld(*state_), 3);
}

TEST_F(Bars, EvaluationWritesAllTenSlotsAndUnknownIdsTouchNone) {
    Bar(1, 10);
    for (double& v : state_->slots.values) v = 7.0;
    EXPECT_EQ(CountingStudy(id_, 2.5), 1);
    EXPECT_EQ(E_GETRETURN(id_, 0), 1.0);
    EXPECT_EQ(E_GETRETURN(id_, 1), 2.5);
    for (int slot = 2; slot < 10; ++slot) EXPECT_EQ(E_GETRETURN(id_, slot), 0.0);
    test::QuietTrace quiet;
    EXPECT_EQ(CountingStudy(id_ + 5, 9.0), 0.0);
    EXPECT_EQ(E_GETRETURN(id_, 1), 2.5);
}

}  // namespace
}  // namespace zt
