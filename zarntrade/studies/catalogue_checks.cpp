// What the catalogue says of each study, checked against the library as it
// is built: the signature against the export's declaration, the memory
// record against studies/study_records.h. A study added without one of its
// pieces stops the build here with its name. (studies/catalogue.h checks the
// catalogue against the export list; the build checks the family files.)
#include <string_view>
#include <type_traits>

#include "include/zarntrade.h"
#include "studies/catalogue.h"
#include "studies/study_records.h"

namespace zt::catalogue {
namespace {

using StateIdEntry = double(ZT_CALL*)(std::int32_t);
using LengthsEntry = double(ZT_CALL*)(std::int32_t, std::int32_t, std::int32_t);

template <Signature S>
struct EntryOf;
template <>
struct EntryOf<Signature::StateId> {
    using type = StateIdEntry;
};
template <>
struct EntryOf<Signature::StateIdPeriodSmoothing> {
    using type = LengthsEntry;
};

constexpr std::string_view kRecordSlots[] = {
#define ZT_RECORD_NAME(slot, type) #slot,
    ZT_STUDY_RECORDS(ZT_RECORD_NAME)
#undef ZT_RECORD_NAME
};

constexpr bool IsRecordSlot(std::string_view name) {
    for (std::string_view r : kRecordSlots)
        if (r == name) return true;
    return false;
}

constexpr bool UsedByAStudy(std::string_view record) {
    for (const Study& s : kStudies)
        if (s.record == record) return true;
    return false;
}

#define ZT_STUDY_INFO(name, scale, slots, names, warmup, roles, reach, signature, family, record, close, volume, \
                      text)                                                                                   \
    static_assert(std::is_same_v<decltype(&::name), EntryOf<detail::signature>::type>,                         \
                  #name ": its declaration in include/zarntrade_exports.inc does not take what the catalogue's " \
                  "signature (" #signature ") says");                                                         \
    static_assert(detail::Record(#record).empty() || IsRecordSlot(#record),                                    \
                  #name ": the catalogue names the record " #record                                           \
                  ", which is not a line of ZT_STUDY_RECORDS in studies/study_records.h");
#include "include/zarntrade_studies.inc"
#undef ZT_STUDY_INFO

// A record line that no catalogue line names is memory no study uses.
#define ZT_RECORD_USED(slot, type) \
    static_assert(UsedByAStudy(#slot), "the record " #slot " of studies/study_records.h is named by no catalogue line");
ZT_STUDY_RECORDS(ZT_RECORD_USED)
#undef ZT_RECORD_USED

}  // namespace
}  // namespace zt::catalogue
