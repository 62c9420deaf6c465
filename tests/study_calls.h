// Native calls of every exported study entry by name, for tests and
// benchmarks: the table of tests/study_table.h with function pointers.
#pragma once

#include <string_view>
#include <type_traits>

#include "include/zarntrade.h"
#include "tests/study_table.h"

namespace zt::test {

using StudyCall = double (*)(std::int32_t stateId);

template <auto Entry>
double CallStudy(std::int32_t stateId) {
    if constexpr (std::is_invocable_v<decltype(Entry), std::int32_t>)
        return Entry(stateId);
    else
        return Entry(stateId, kTestBandPeriod, kTestBandSmoothing);
}

inline StudyCall StudyByName(std::string_view name) {
#define ZT_CONTROL(name)
#define ZT_STUDY(name) \
    if (name_ == #name) return &CallStudy<&name>;
#define ZT_STUDY_ONLY(name) ZT_STUDY(name)
#define ZT_EXPORT(kind, result, name, params) kind(name)
    const std::string_view name_ = name;
#include "include/zarntrade_exports.inc"
#undef ZT_EXPORT
#undef ZT_STUDY_ONLY
#undef ZT_STUDY
#undef ZT_CONTROL
    return nullptr;
}

}  // namespace zt::test
