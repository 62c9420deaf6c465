// The host calls from several threads: each worker owns its states, while
// another thread adds, selects and frees contexts and asks for the memory
// report. Run under ThreadSanitizer in CI.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "studies/study_entry.h"
#include "studies/bar/volume_bands.h"
#include "tests/test_support.h"

namespace zt {
namespace {

double CountingStudy(std::int32_t id) {
    return EvaluateStudy<RecordSlot::errorBands>(id, [](StudyState&, ErrorBandsMemory& record, double*) {
        return static_cast<double>(++record.count);
    });
}

TEST(Concurrency, WorkersAndContextChurnDoNotInterfere) {
    test::ResetLibrary();
    test::QuietTrace quiet;
    std::atomic<bool> stop{false};
    std::atomic<int> failures{0};

    std::thread churn([&] {
        // Workers' states get listed in the selected contexts 1 and 2, which
        // are never freed (freeing them would destroy states in use, which
        // the host must not do); the freed contexts are never selected.
        Dll_Add(1);
        Dll_Add(2);
        for (int round = 0; !stop.load(); ++round) {
            Dll_Context(1 + round % 2);
            const std::int32_t spare = 1000 + round % 7;
            Dll_Add(spare);
            if (round % 3 == 0) LogMemoryReport();
            Dll_Free(spare);
        }
    });

    std::vector<std::thread> workers;
    for (int w = 0; w < 4; ++w) {
        workers.emplace_back([&] {
            for (int round = 0; round < 60; ++round) {
                const std::int32_t id = E_CREATESTATE2(1);
                if (id == 0) {
                    ++failures;
                    continue;
                }
                for (int bar = 1; bar <= 20; ++bar) {
                    if (E_BARVALUES(id, bar, 1230107, bar, 10, 11, 9, 10 + bar, 100) != 1) break;
                    const double v = CountingStudy(id);
                    if (v != bar) ++failures;
                    E_CHECKSTATE(id);
                    E_GETRETURN(id, 0);
                }
                E_DESTROYSTATE(id);
            }
        });
    }
    for (auto& t : workers) t.join();
    stop = true;
    churn.join();
    EXPECT_EQ(failures.load(), 0);
    test::ResetLibrary();
}

// The registry lock shuts out other threads, also while they queue for it,
// and lets its holder enter again.
TEST(Concurrency, RegistryLockExcludesOthersAndLetsItsHolderEnterAgain) {
    long counter = 0;  // guarded by the lock alone
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&counter] {
            for (int i = 0; i < 20000; ++i) {
                RegistryGuard outer;
                RegistryGuard inner;
                counter += 1;
                if (i % 1000 == 0) std::this_thread::yield();  // let the others queue
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(counter, 80000);
}

}  // namespace
}  // namespace zt
