// The registry when memory runs out: this program replaces the global
// operator new so that a chosen allocation made by the library fails. A
// creation that fails changes nothing (no state registered whose id the host
// never learns, nothing evicted, the limit's count unchanged); freeing a
// chart needs no memory at all. The fuzz target fuzz/exports_fuzz.cpp makes
// every allocation fail in turn; these are the cases it once found.
#include <gtest/gtest.h>

#include <vector>

#include "testing/failing_allocator.h"
#include "tests/test_support.h"

namespace zt {
namespace {

struct Snapshot {
    std::vector<std::int32_t> states;
    std::vector<std::int32_t> contextList;
    std::int32_t live = 0;
    std::vector<std::int32_t> recent;
    bool operator==(const Snapshot&) const = default;
};

Snapshot Take(std::int32_t context) {
    RegistryGuard guard;
    Registries& r = TheRegistries();
    Snapshot s;
    for (const auto& [id, state] : r.states) s.states.push_back(id);
    if (auto it = r.contexts.find(context); it != r.contexts.end()) s.contextList = it->second->stateIds;
    s.live = r.liveStateCount;
    for (std::uint32_t k = 0; k < kMaxLiveStates; ++k) s.recent.push_back(r.recentStates.at(k));
    return s;
}

class OutOfMemory : public ::testing::Test {
protected:
    void SetUp() override { test::ResetLibrary(); }
    void TearDown() override { test::ResetLibrary(); }
    test::QuietTrace quiet_;
};

TEST_F(OutOfMemory, AFailedCreationChangesNothing) {
    Dll_Add(1);
    Dll_Context(1);
    // Lists of every length up to 40, so that the context's list has to grow
    // in some of the attempts. Each round fails the first, second, ...
    // allocation until the creation needs no more than came through.
    int listGrowths = 0;
    for (int made = 0; made < 40; ++made) {
        for (int n = 1;; ++n) {
            const Snapshot before = Take(1);
            std::int32_t id = -1;
            test::FailingAllocation(n, false, [&] { id = E_CREATESTATE2(1); });
            if (id != 0) {
                EXPECT_EQ(Take(1).contextList.back(), id);
                break;
            }
            listGrowths += n == 3;  // the state, its registry entry, then the list
            EXPECT_TRUE(Take(1) == before) << "allocation " << n << " with " << made << " states";
        }
    }
    EXPECT_GT(listGrowths, 0);
}

TEST_F(OutOfMemory, AFailedCreationAtTheLimitEvictsNothing) {
    for (int i = 0; i < kMaxLiveStates; ++i) ASSERT_NE(E_CREATESTATE2(1), 0);
    int failures = 0;
    for (int n = 1;; ++n) {
        const Snapshot before = Take(0);
        std::int32_t id = -1;
        test::FailingAllocation(n, true, [&] { id = E_CREATESTATE2(1); });
        if (id != 0) break;  // every allocation it needed came through
        ++failures;
        EXPECT_TRUE(Take(0) == before) << "allocation " << n;
    }
    EXPECT_GE(failures, 2);  // the state and its registry entry
    // Only the creation that succeeded made room, by evicting the oldest.
    EXPECT_EQ(E_CHECKSTATE(1), 0);
    EXPECT_EQ(E_CHECKSTATE(2), 1);
}

TEST_F(OutOfMemory, FreeingAChartNeedsNoMemory) {
    Dll_Add(1);
    Dll_Context(1);
    std::vector<std::int32_t> ids;
    for (int i = 0; i < 5; ++i) ids.push_back(E_CREATESTATE2(1));
    const int used = test::FailingAllocation(1, true, [] { Dll_Free(1); });
    EXPECT_EQ(used, 0);
    for (std::int32_t id : ids) EXPECT_EQ(E_CHECKSTATE(id), 0);
    {
        RegistryGuard guard;
        EXPECT_TRUE(TheRegistries().contexts.empty());
        EXPECT_EQ(TheRegistries().current.record, nullptr);
    }
    // The selection no longer refers to the freed chart: a new state is
    // listed nowhere.
    const std::int32_t id = E_CREATESTATE2(1);
    ASSERT_NE(id, 0);
    EXPECT_EQ(E_CHECKSTATE(id), 1);
}

}  // namespace
}  // namespace zt
