// Every study entry the library exports, with what the catalogue says of its
// slots: one table from which the contract tests, the Windows harness and
// the benchmarks run every study, so a new study gets them all by being
// exported.
#pragma once

#include <cstdint>
#include <ostream>
#include <string_view>
#include <vector>

namespace zt::test {

struct StudyInfo {
    const char* name;
    int slots;      // return slots the study fills (slot 0 included)
    bool viaDll;    // the DLL dispatcher reaches it by name
    bool bands;     // takes (state id, period, smoothing)
};

// Test names show the study, not its bytes.
inline void PrintTo(const StudyInfo& s, std::ostream* os) { *os << s.name; }

inline constexpr struct {
    std::string_view name;
    int slots;
} kCatalogue[] = {
#define ZT_STUDY_INFO(name, scale, slots, names, warmup, roles, what) {#name, slots},
#include "include/zarntrade_studies.inc"
#undef ZT_STUDY_INFO
};

constexpr int CatalogueSlots(std::string_view name) {
    for (const auto& c : kCatalogue)
        if (c.name == name) return c.slots;
    return -1;
}

// The period and smoothing the tests pass to the error bands: not the
// defaults, so the first call re-creates the rings.
inline constexpr std::int32_t kTestBandPeriod = 21;
inline constexpr std::int32_t kTestBandSmoothing = 5;

inline const std::vector<StudyInfo>& ExportedStudies() {
    static const std::vector<StudyInfo> studies = [] {
        std::vector<StudyInfo> v;
#define ZT_CONTROL(name)
#define ZT_STUDY(name) v.push_back({#name, CatalogueSlots(#name), true, false});
#define ZT_STUDY_ONLY(name) \
    v.push_back({#name, CatalogueSlots(#name), false, std::string_view(#name) == "E_ZARNEBANDS"});
#define ZT_EXPORT(kind, result, name, params) kind(name)
#include "include/zarntrade_exports.inc"
#undef ZT_EXPORT
#undef ZT_STUDY_ONLY
#undef ZT_STUDY
#undef ZT_CONTROL
        return v;
    }();
    return studies;
}

}  // namespace zt::test
