// Native calls of every study entry by name, for tests, benchmarks and fuzz
// targets linked with the library: the table of tests/study_table.h with
// function pointers.
#pragma once

#include <cstdint>
#include <string_view>
#include <type_traits>

#include "include/zarntrade.h"
#include "tests/study_table.h"

namespace zt::test {

// Any study called with the error bands' arguments; the others ignore the
// lengths.
using StudyCallWithLengths = double (*)(std::int32_t stateId, std::int32_t period, std::int32_t smoothing);
using StudyCall = double (*)(std::int32_t stateId);

template <auto Entry>
double CallStudyWithLengths(std::int32_t stateId, std::int32_t period, std::int32_t smoothing) {
    if constexpr (std::is_invocable_v<decltype(Entry), std::int32_t>) {
        (void)period;
        (void)smoothing;
        return Entry(stateId);
    } else {
        return Entry(stateId, period, smoothing);
    }
}

// The error bands with the tests' lengths.
template <auto Entry>
double CallStudy(std::int32_t stateId) {
    return CallStudyWithLengths<Entry>(stateId, kTestBandPeriod, kTestBandSmoothing);
}

struct StudyCalls {
    std::string_view name;
    StudyCall call;
    StudyCallWithLengths withLengths;
};

#define ZT_STUDY_INFO(name, scale, slots, names, warmup, roles, reach, signature, family, record, close, volume, \
                      text)                                                                                   \
    StudyCalls{#name, &CallStudy<&name>, &CallStudyWithLengths<&name>},
inline constexpr StudyCalls kStudyCalls[] = {
#include "include/zarntrade_studies.inc"
};
#undef ZT_STUDY_INFO

inline StudyCall StudyByName(std::string_view name) {
    for (const StudyCalls& s : kStudyCalls)
        if (s.name == name) return s.call;
    return nullptr;
}

inline StudyCallWithLengths StudyWithLengthsByName(std::string_view name) {
    for (const StudyCalls& s : kStudyCalls)
        if (s.name == name) return s.withLengths;
    return nullptr;
}

}  // namespace zt::test
