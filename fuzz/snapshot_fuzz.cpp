// The restore path of state snapshots over any bytes, with allocation
// failures chosen by the input.
//
// A restore either makes a new state or refuses with a reason, creating
// nothing (the registry's states and ids unchanged) and leaving the state
// already there untouched; it refuses for want of memory only when an
// allocation failed. A restored state saves back to exactly the bytes it was
// restored from (apart from the library version, which is informative): the
// restore accepts nothing that a save would not have written. Then every
// study is evaluated on it over a few new bars and a re-sent one, which must
// not crash or reach undefined behaviour whatever the snapshot held.
//
// Input: the allocation plan (4 bytes: mode, first failing allocation, run
// length), one byte of options (bit 0: write the snapshot's size and
// checksum for it, so that mutations reach the state and the records
// instead of stopping at the checksum), then the snapshot.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "include/zarntrade.h"
#include "include/zarntrade_snapshot.h"
#include "store/registry.h"
#include "store/snapshot_codec.h"
#include "tests/study_calls.h"
#include "tests/study_table.h"

namespace zt::fuzz {
namespace {

constexpr std::size_t kSizeAt = 36;
constexpr std::size_t kVersionAt = 12;
constexpr std::size_t kVersionSize = 8;

void Check(std::vector<unsigned char>& bytes) {
    // A state already there, which nothing below may touch.
    const std::int32_t other = E_CREATESTATE2(1);
    E_BARVALUES(other, 1, 1260102, 930, 10, 11, 9, 10.5, 100);
    test::StudyByName("E_ZARNUPSELL")(other);
    std::vector<unsigned char> otherBefore(static_cast<std::size_t>(zt_state_save(other, nullptr, 0)));
    zt_state_save(other, otherBefore.data(), static_cast<std::int32_t>(otherBefore.size()));

    const std::size_t statesBefore = TheRegistries().states.size();
    const std::int32_t lastIdBefore = TheRegistries().lastStateId;
    const std::uint32_t failuresBefore = AllocationFailure::Failures();
    char error[256] = "untouched";
    std::int32_t id;
    {
        AllocationFailure::Armed armed;
        id = zt_state_restore(bytes.data(), static_cast<std::int32_t>(bytes.size()), error, sizeof error);
    }
    const bool failed = AllocationFailure::Failures() != failuresBefore;
    if (id == 0) {
        ZT_FUZZ_CHECK(error[0] != '\0' && std::strcmp(error, "untouched") != 0, "a refusal names no reason");
        ZT_FUZZ_CHECK(TheRegistries().states.size() == statesBefore, error);
        ZT_FUZZ_CHECK(TheRegistries().lastStateId == lastIdBefore || failed, error);
        ZT_FUZZ_CHECK(std::strstr(error, "no memory") == nullptr || failed, error);
    } else {
        ZT_FUZZ_CHECK(error[0] == '\0', error);
        ZT_FUZZ_CHECK(TheRegistries().states.size() == statesBefore + 1, "one state more");
        std::vector<unsigned char> again(static_cast<std::size_t>(zt_state_save(id, nullptr, 0)));
        zt_state_save(id, again.data(), static_cast<std::int32_t>(again.size()));
        ZT_FUZZ_CHECK(again.size() == bytes.size(), "saved again, another size");
        // The version and the checksum that covers it aside, the same bytes.
        std::memcpy(again.data() + kVersionAt, bytes.data() + kVersionAt, kVersionSize);
        ZT_FUZZ_CHECK(std::memcmp(again.data(), bytes.data(), bytes.size() - 4) == 0, "saved again, other bytes");

        const std::int32_t last = FindState(id)->lastBarNumber;
        const double prices[][5] = {{10, 12, 9, 11, 500}, {11, 11.5, 10, 10.25, 0}, {10, 10, 10, 10, 7}};
        for (int bar = 0; bar < 4; ++bar) {
            const double* p = prices[bar % 3];
            const auto next = static_cast<std::uint32_t>(last) + static_cast<std::uint32_t>(bar == 3 ? 3 : 1 + bar);
            const auto number = static_cast<std::int32_t>(next);  // the last one re-sent
            E_BARVALUES(id, number, 1260103, 1000 + bar, p[0], p[1], p[2], p[3], p[4]);
            for (const test::StudyInfo& s : test::ExportedStudies()) {
                AllocationFailure::Armed armed;
                test::StudyByName(s.name)(id);
            }
        }
        E_DESTROYSTATE(id);
    }
    std::vector<unsigned char> otherAfter(otherBefore.size());
    zt_state_save(other, otherAfter.data(), static_cast<std::int32_t>(otherAfter.size()));
    ZT_FUZZ_CHECK(otherAfter == otherBefore, "the other state changed");
}

}  // namespace
}  // namespace zt::fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    zt::fuzz::TraceSink::Install();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zt::fuzz::ResetLibrary();
    zt::fuzz::ByteReader in(data, size);
    zt::fuzz::AllocationFailure::PlanFrom(in);
    const std::uint8_t options = in.Byte();
    const std::string_view rest = in.Bytes(in.Left());
    std::vector<unsigned char> bytes(rest.begin(), rest.end());
    if ((options & 1) != 0 && bytes.size() >= zt::fuzz::kSizeAt + 8) {
        const auto n = static_cast<std::uint32_t>(bytes.size());
        for (int i = 0; i < 4; ++i) bytes[zt::fuzz::kSizeAt + i] = static_cast<unsigned char>(n >> (8 * i));
        const std::uint32_t crc = zt::snapshot::Crc32c(bytes.data(), bytes.size() - 4);
        for (int i = 0; i < 4; ++i) bytes[bytes.size() - 4 + i] = static_cast<unsigned char>(crc >> (8 * i));
    }
    zt::fuzz::Check(bytes);
    return 0;
}
