// Every study entry the library exports, in the export list's order, with
// what the catalogue says of it (studies/catalogue.h): one table from which
// the contract tests, the Windows harness, the fuzz targets and the
// benchmarks run every study, so a new study gets them all by its catalogue
// line.
#pragma once

#include <cstdint>
#include <ostream>
#include <vector>

#include "studies/catalogue.h"

namespace zt::test {

struct StudyInfo {
    const char* name;
    int slots;    // return slots the study fills (slot 0 included)
    bool viaDll;  // the DLL dispatcher reaches it by name
    bool bands;   // takes (state id, period, smoothing)
    const catalogue::Study* about;
};

// Test names show the study, not its bytes.
inline void PrintTo(const StudyInfo& s, std::ostream* os) { *os << s.name; }

// The period and smoothing the tests pass to the error bands: not the
// defaults, so the first call re-creates the rings.
inline constexpr std::int32_t kTestBandPeriod = 21;
inline constexpr std::int32_t kTestBandSmoothing = 5;

inline const std::vector<StudyInfo>& ExportedStudies() {
    static const std::vector<StudyInfo> studies = [] {
        std::vector<StudyInfo> v;
        for (const catalogue::Exported& e : catalogue::kExportedStudies) {
            const catalogue::Study* about = catalogue::Find(e.name);
            v.push_back({about->name.data(), about->slots, about->viaDll, about->TakesLengths(), about});
        }
        return v;
    }();
    return studies;
}

}  // namespace zt::test
