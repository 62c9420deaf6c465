// Restoring a snapshot when memory runs out: this program replaces the global
// operator new so that a chosen allocation fails. Whichever allocation of the
// restore fails (the state, a record, the registry's entry, the chart's list),
// the restore answers 0 with "no memory" in its reason, no state is created
// and nothing is left allocated (AddressSanitizer's leak check in the asan
// build); the next restore, with memory, succeeds and goes on exactly.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "include/zarntrade.h"
#include "include/zarntrade_snapshot.h"
#include "testing/failing_allocator.h"
#include "tests/snapshot_script.h"
#include "tests/study_table.h"
#include "tests/test_support.h"

namespace zt::test {
namespace {

TEST(SnapshotOutOfMemory, AFailedAllocationRestoresNothing) {
    ResetLibrary();
    const QuietTrace quiet;
    std::vector<StudyCall> all;
    for (const StudyInfo& s : ExportedStudies()) all.push_back(StudyByName(s.name));
    const std::vector<Step> steps = Script(SyntheticBars(120, 4), all);
    const std::int32_t source = E_CREATESTATE2(1);
    std::vector<double> ignored;
    zt::test::Run(source, steps, 0, steps.size(), ignored);
    std::vector<unsigned char> bytes(static_cast<std::size_t>(zt_state_save(source, nullptr, 0)));
    zt_state_save(source, bytes.data(), static_cast<std::int32_t>(bytes.size()));
    Dll_Add(3);
    Dll_Context(3);

    const auto restore = [&](char* error) {
        return zt_state_restore(bytes.data(), static_cast<std::int32_t>(bytes.size()), error, 200);
    };
    char error[200];
    std::int32_t id = 0;
    const int allocations = FailingAllocation(0, false, [&] { id = restore(error); });
    ASSERT_NE(id, 0) << error;
    ASSERT_GT(allocations, 30) << "the state, its records, the registry's entry";
    E_DESTROYSTATE(id);
    for (bool rest : {false, true})
        for (int n = 1; n <= allocations; ++n) {
            const std::size_t states = TheRegistries().states.size();
            if (FailingAllocation(n, rest, [&] { id = restore(error); }) < n) {
                // Fewer allocations this time (the chart's list has room by now).
                EXPECT_NE(id, 0) << error;
                E_DESTROYSTATE(id);
                continue;
            }
            EXPECT_EQ(id, 0) << "allocation " << n;
            EXPECT_NE(std::string(error).find("no memory"), std::string::npos) << n << ": " << error;
            EXPECT_EQ(TheRegistries().states.size(), states) << n;
        }
    id = restore(error);
    ASSERT_NE(id, 0) << error;
    std::vector<unsigned char> again(bytes.size());
    EXPECT_EQ(zt_state_save(id, again.data(), static_cast<std::int32_t>(again.size())),
              static_cast<std::int32_t>(bytes.size()));
    EXPECT_EQ(again, bytes);
    Dll_Free(3);
}

}  // namespace
}  // namespace zt::test
