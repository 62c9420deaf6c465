#include "replay/driver/study_table.h"

#include <algorithm>
#include <vector>

namespace zt::replay {
namespace {

constexpr std::array<std::string_view, kSlotCount> SplitSlotNames(std::string_view list) {
    std::array<std::string_view, kSlotCount> names{};
    std::size_t n = 0;
    while (!list.empty() && n < names.size()) {
        const std::size_t comma = list.find(',');
        names[n++] = list.substr(0, comma);
        list = comma == std::string_view::npos ? std::string_view{} : list.substr(comma + 1);
    }
    return names;
}

constexpr ChartRole RoleNamed(std::string_view word) {
    if (word == "stop") return ChartRole::Stop;
    if (word == "blend") return ChartRole::Blend;
    if (word == "band") return ChartRole::Band;
    if (word == "swing") return ChartRole::Swing;
    if (word == "osc") return ChartRole::Oscillator;
    if (word == "signal") return ChartRole::Signal;
    if (word == "code") return ChartRole::Code;
    if (word == "-") return ChartRole::None;
    throw "unknown chart role";  // not a constant expression: a build error
}

constexpr std::array<ChartRole, kSlotCount> SplitRoles(std::string_view list) {
    std::array<ChartRole, kSlotCount> roles{};
    roles.fill(ChartRole::None);
    const auto words = SplitSlotNames(list);
    for (std::size_t i = 0; i < words.size() && !words[i].empty(); ++i) roles[i] = RoleNamed(words[i]);
    return roles;
}

constexpr int CountNames(std::string_view list) {
    return list.empty() ? 0 : static_cast<int>(std::count(list.begin(), list.end(), ',')) + 1;
}

constexpr Scale ZT_PRICE = Scale::Price;
constexpr Scale ZT_PANEL = Scale::Panel;

#define ZT_STUDY_INFO(name, scale, slots, names, warmup, roles, text) \
    CatalogueEntry{#name, scale, slots, SplitSlotNames(names), text, warmup, SplitRoles(roles)},
constexpr CatalogueEntry kCatalogue[] = {
#include "include/zarntrade_studies.inc"
};
#undef ZT_STUDY_INFO

// Every catalogue line names as many slots, and gives as many chart roles, as
// it says the study fills.
#define ZT_STUDY_INFO(name, scale, slots, names, warmup, roles, text)                      \
    static_assert(CountNames(names) == (slots), #name ": slot names and slot count differ"); \
    static_assert(CountNames(roles) == (slots), #name ": chart roles and slot count differ"); \
    static_assert((warmup) >= 0, #name ": negative warm-up");
#include "include/zarntrade_studies.inc"
#undef ZT_STUDY_INFO

constexpr const CatalogueEntry* CatalogueFind(std::string_view name) {
    for (const auto& e : kCatalogue)
        if (e.name == name) return &e;
    return nullptr;
}

// The study exports. The error bands take their lengths as two more
// arguments; every other entry takes the state id alone.
struct Export {
    std::string_view name;
    bool viaDll;
    StudyEntry Exports::*entry;
    BandsEntry Exports::*bands;
};

constexpr Export MakeExport(std::string_view name, bool viaDll, StudyEntry Exports::*entry) {
    return {name, viaDll, entry, nullptr};
}
constexpr Export MakeExport(std::string_view name, bool viaDll, BandsEntry Exports::*bands) {
    return {name, viaDll, nullptr, bands};
}

#define ZT_CONTROL(name)
#define ZT_STUDY(name) MakeExport(#name, true, &Exports::name),
#define ZT_STUDY_ONLY(name) MakeExport(#name, false, &Exports::name),
#define ZT_EXPORT(kind, result, name, params) kind(name)
constexpr Export kExports[] = {
#include "include/zarntrade_exports.inc"
    Export{}};  // keeps the array non-empty while no study is exported
#undef ZT_EXPORT
#undef ZT_STUDY_ONLY
#undef ZT_STUDY
#undef ZT_CONTROL

// A study export the catalogue does not describe is a build error, not a
// study the tool silently cannot name.
#define ZT_CONTROL(name)
#define ZT_STUDY(name) \
    static_assert(CatalogueFind(#name) != nullptr, #name " is exported but missing from the study catalogue");
#define ZT_STUDY_ONLY(name) ZT_STUDY(name)
#define ZT_EXPORT(kind, result, name, params) kind(name)
#include "include/zarntrade_exports.inc"
#undef ZT_EXPORT
#undef ZT_STUDY_ONLY
#undef ZT_STUDY
#undef ZT_CONTROL

std::vector<StudyInfo> BuildTable() {
    std::vector<StudyInfo> table;
    for (const auto& about : kCatalogue)
        for (const auto& e : kExports)
            if (e.name == about.name) table.push_back({&about, e.viaDll, e.entry, e.bands});
    return table;
}

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               auto up = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
               return up(x) == up(y);
           });
}

}  // namespace

std::span<const CatalogueEntry> Catalogue() { return kCatalogue; }

std::span<const StudyInfo> Studies() {
    static const std::vector<StudyInfo> table = BuildTable();
    return table;
}

const CatalogueEntry* FindCatalogueEntry(std::string_view name) {
    for (const auto& e : kCatalogue)
        if (SameName(name, e.name) || SameName(name, e.name.substr(2)) || SameName(name, e.name.substr(6)))
            return &e;
    return nullptr;
}

const StudyInfo* FindStudy(std::string_view name) {
    const CatalogueEntry* about = FindCatalogueEntry(name);
    for (const auto& s : Studies())
        if (s.about == about) return &s;
    return nullptr;
}

std::vector<const StudyInfo*> AllStudies() {
    std::vector<const StudyInfo*> all;
    for (const StudyInfo& s : Studies()) all.push_back(&s);
    return all;
}

}  // namespace zt::replay
