// Eight workers feed and evaluate states of their own through all 34
// studies, while another thread creates, checks and destroys other states,
// switches contexts and writes memory reports. Every worker's results must
// equal the same work done on one thread, bit for bit. Run under
// ThreadSanitizer in CI (the tsan preset).
//
// The churn keeps to the host's rules: the workers' states are created in
// chart context 1, which the churn never frees, before the churn starts;
// the churn creates its own states only in contexts of its own and frees
// only those; and the live states stay far below the limit of 1000 (churn
// states without gc, which the limit counts for ever, are few), so no
// eviction can reach a worker's state.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <latch>
#include <string>
#include <thread>
#include <vector>

#include "tests/study_calls.h"
#include "testing/synthetic_bars.h"
#include "tests/test_support.h"

namespace zt {
namespace {

constexpr int kWorkers = 8;
constexpr std::size_t kBars = 230;  // past the 200 bars of history
constexpr std::int32_t kWorkerContext = 1;

// Every value a worker saw: after each intrabar update the study value, after
// each final bar the ten slots.
using Results = std::vector<double>;

std::vector<std::int32_t> CreateWorkerStates() {
    std::vector<std::int32_t> ids;
    for (std::size_t i = 0; i < test::ExportedStudies().size(); ++i) ids.push_back(E_CREATESTATE2(1));
    return ids;
}

Results Work(const std::vector<std::int32_t>& ids, std::uint64_t seed) {
    const auto& studies = test::ExportedStudies();
    std::vector<test::StudyCall> calls;
    for (const auto& s : studies) calls.push_back(test::StudyByName(s.name));
    const auto bars = test::SyntheticBars(kBars, seed);
    Results out;
    out.reserve(kBars * studies.size() * 11);
    for (std::size_t b = 0; b < bars.size(); ++b) {
        const test::Bar& bar = bars[b];
        const auto n = static_cast<std::int32_t>(b + 1);
        for (std::size_t i = 0; i < studies.size(); ++i) {
            // The bar while forming, then final.
            E_BARVALUES(ids[i], n, bar.date, bar.time, bar.open, bar.high, bar.open, bar.close, bar.volume * 0.5);
            out.push_back(calls[i](ids[i]));
            E_BARVALUES(ids[i], n, bar.date, bar.time, bar.open, bar.high, bar.low, bar.close, bar.volume);
            calls[i](ids[i]);
            for (int k = 0; k < kReturnSlotCount; ++k) out.push_back(E_GETRETURN(ids[i], k));
            if (b % 50 == 0) E_CHECKSTATE(ids[i]);
        }
    }
    return out;
}

std::uint64_t SeedOf(int worker) { return 101 + 7 * static_cast<std::uint64_t>(worker); }

// Where two result lists first differ, as a study and bar.
std::string FirstDifference(const Results& want, const Results& got) {
    if (want.size() != got.size()) return "a different number of results";
    const std::size_t perStudyBar = 1 + kReturnSlotCount;
    const std::size_t studies = test::ExportedStudies().size();
    for (std::size_t i = 0; i < want.size(); ++i) {
        if (std::memcmp(&want[i], &got[i], sizeof(double)) == 0) continue;
        const std::size_t bar = i / (perStudyBar * studies);
        const std::size_t study = i / perStudyBar % studies;
        return std::string(test::ExportedStudies()[study].name) + " on bar " + std::to_string(bar + 1) + ", result " +
               std::to_string(i % perStudyBar) + ": " + std::to_string(want[i]) + " on one thread, " +
               std::to_string(got[i]) + " under the churn";
    }
    return {};
}

TEST(ThreadStress, WorkersGiveTheSameResultsAsOnOneThreadWhileOtherThreadsChurn) {
    test::ResetLibrary();
    test::QuietTrace quiet;

    // The same work on one thread, first.
    std::vector<Results> alone;
    for (int w = 0; w < kWorkers; ++w) {
        const auto ids = CreateWorkerStates();
        alone.push_back(Work(ids, SeedOf(w)));
        for (std::int32_t id : ids) E_DESTROYSTATE(id);
    }

    Dll_Add(kWorkerContext);
    Dll_Context(kWorkerContext);
    std::latch statesMade(kWorkers);
    std::atomic<int> working{kWorkers};
    std::atomic<int> churnFailures{0};
    std::atomic<int> churnRounds{0};
    std::vector<std::vector<std::int32_t>> workerIds(kWorkers);
    std::vector<Results> together(kWorkers);

    std::vector<std::thread> workers;
    for (int w = 0; w < kWorkers; ++w) {
        workers.emplace_back([&, w] {
            workerIds[static_cast<std::size_t>(w)] = CreateWorkerStates();
            statesMade.count_down();
            statesMade.wait();
            together[static_cast<std::size_t>(w)] = Work(workerIds[static_cast<std::size_t>(w)], SeedOf(w));
            --working;
        });
    }

    std::thread churn([&] {
        statesMade.wait();
        int withoutGc = 0;
        for (int round = 0; working.load() > 0; ++round) {
            const std::int32_t context = 100 + round % 5;
            Dll_Add(context);
            Dll_Context(context);
            const std::int32_t a = E_CREATESTATE2(1);
            // States without gc count against the limit for ever: a few only.
            const std::int32_t b = E_CREATESTATE2(withoutGc < 50 && round % 4 == 0 ? (++withoutGc, 0) : 1);
            if (a == 0 || b == 0) ++churnFailures;
            E_BARVALUES(a, 1, 1260102, 930, 10, 11, 9, 10.5, 100);
            E_ZARNSWINGLINE(a);
            E_BARVALUES(b, 1, 1260102, 930, 10, 11, 9, 10.5, 100);
            E_ZARNCOLORTMPL(b);
            if (E_CHECKSTATE(a) != 1) ++churnFailures;
            // Looking up and marking a worker's state touches only the
            // registry, never the state.
            const auto& someWorker = workerIds[static_cast<std::size_t>(round % kWorkers)];
            if (E_CHECKSTATE(someWorker[static_cast<std::size_t>(round) % someWorker.size()]) != 1) ++churnFailures;
            E_DESTROYSTATE(a);
            if (round % 4 == 0) LogMemoryReport();
            Dll_Context(round % 3 == 0 ? kWorkerContext : 0);  // the selection moves on
            Dll_Free(context);  // destroys b, listed in `context`
            if (E_CHECKSTATE(a) != 0 || E_CHECKSTATE(b) != 0) ++churnFailures;
            ++churnRounds;
        }
    });

    for (auto& t : workers) t.join();
    churn.join();

    EXPECT_EQ(churnFailures.load(), 0);
    EXPECT_GT(churnRounds.load(), 0);
    for (int w = 0; w < kWorkers; ++w) {
        const std::string where = FirstDifference(alone[static_cast<std::size_t>(w)], together[static_cast<std::size_t>(w)]);
        EXPECT_TRUE(where.empty()) << "worker " << w << ": " << where;
    }
    // Freeing the workers' context destroys their states; the churn left
    // nothing behind.
    Dll_Free(kWorkerContext);
    {
        RegistryGuard guard;
        EXPECT_TRUE(TheRegistries().states.empty()) << TheRegistries().states.size() << " states left";
    }
    test::ResetLibrary();
}

}  // namespace
}  // namespace zt
