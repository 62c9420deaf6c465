#include "replay/driver/study_table.h"

#include <array>

namespace zt::replay {
namespace {

constexpr StudyInfo MakeStudy(const CatalogueEntry& about, StudyEntry Exports::*entry) {
    return {&about, about.viaDll, entry, nullptr};
}
constexpr StudyInfo MakeStudy(const CatalogueEntry& about, BandsEntry Exports::*bands) {
    return {&about, about.viaDll, nullptr, bands};
}

// Each study with the Exports member of its name; the member's type follows
// the study's signature, which the library's build checks.
#define ZT_STUDY_INFO(name, scale, slots, names, warmup, roles, reach, signature, family, record, close, volume, \
                      text)                                                                                   \
    MakeStudy(*catalogue::Find(#name), &Exports::name),
constexpr StudyInfo kTable[] = {
#include "include/zarntrade_studies.inc"
};
#undef ZT_STUDY_INFO

}  // namespace

std::span<const CatalogueEntry> Catalogue() { return catalogue::kStudies; }

std::span<const StudyInfo> Studies() { return kTable; }

const CatalogueEntry* FindCatalogueEntry(std::string_view name) { return catalogue::FindLoosely(name); }

const StudyInfo* FindStudy(std::string_view name) {
    const CatalogueEntry* about = FindCatalogueEntry(name);
    for (const StudyInfo& s : Studies())
        if (s.about == about) return &s;
    return nullptr;
}

std::vector<const StudyInfo*> AllStudies() {
    std::vector<const StudyInfo*> all;
    for (const StudyInfo& s : Studies()) all.push_back(&s);
    return all;
}

}  // namespace zt::replay
