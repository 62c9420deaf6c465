// The study catalogue (include/zarntrade_studies.inc) as one constant table:
// every study with its slots, chart roles, warm-up, reach, signature, family
// file, memory record and sticky slots. The DLL entry, the replay tool, the
// tests, the fuzz targets and the Python module read the studies from here;
// none writes a list of studies of its own.
//
// Including this header checks the catalogue against the export list
// (include/zarntrade_exports.inc): a study in one and not the other, or one
// whose reach differs, stops the build with the study's name.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace zt::catalogue {

inline constexpr int kSlotCount = 10;

enum class Scale : unsigned char { Price, Panel };

// How a chart draws a slot: lines over the candles by family, an
// oscillator in the study's own panel, a +1/-1 signal as up and down marks, a
// state code as a coloured band, or not at all.
enum class ChartRole : unsigned char { Stop, Blend, Band, Swing, Oscillator, Signal, Code, None };

// What the entry takes: the state id alone, or the state id, a period and a
// smoothing (the error bands).
enum class Signature : unsigned char { StateId, StateIdPeriodSmoothing };

struct Study {
    std::string_view name;
    Scale scale;
    int slots;  // slots the study fills, from slot 0
    std::array<std::string_view, kSlotCount> slotNames;
    // Bars from the first one before the drawn slots stop reading the
    // zero-filled history (the catalogue tells how each was found): the
    // first bar a chart draws.
    int warmup;
    std::array<ChartRole, kSlotCount> roles;  // one per slot, None past the last
    bool viaDll;                              // the DLL entry reaches it by name
    Signature signature;
    std::string_view family;  // below zarntrade/studies/
    std::string_view record;  // its slot in studies/study_records.h; empty: keeps no memory
    // Bit k set: slot k stays non-finite once a bar with a NaN close (or
    // volume) is committed.
    std::uint16_t stickyAfterClose;
    std::uint16_t stickyAfterVolume;
    std::string_view description;

    constexpr bool KeepsMemory() const { return !record.empty(); }
    constexpr bool TakesLengths() const { return signature == Signature::StateIdPeriodSmoothing; }
    constexpr bool Sticky(int slot, bool afterVolume) const {
        return slot >= 0 && slot < kSlotCount && (((afterVolume ? stickyAfterVolume : stickyAfterClose) >> slot) & 1u);
    }
};

namespace detail {

constexpr std::array<std::string_view, kSlotCount> Split(std::string_view list) {
    std::array<std::string_view, kSlotCount> words{};
    std::size_t n = 0;
    while (!list.empty() && n < words.size()) {
        const std::size_t comma = list.find(',');
        words[n++] = list.substr(0, comma);
        list = comma == std::string_view::npos ? std::string_view{} : list.substr(comma + 1);
    }
    return words;
}

constexpr int CountWords(std::string_view list) {
    if (list.empty()) return 0;
    int n = 1;
    for (char c : list) n += c == ',';
    return n;
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

constexpr std::array<ChartRole, kSlotCount> Roles(std::string_view list) {
    std::array<ChartRole, kSlotCount> roles{};
    roles.fill(ChartRole::None);
    const auto words = Split(list);
    for (std::size_t i = 0; i < words.size() && !words[i].empty(); ++i) roles[i] = RoleNamed(words[i]);
    return roles;
}

// "0,2" -> bits 0 and 2.
constexpr std::uint16_t SlotMask(std::string_view list) {
    std::uint16_t mask = 0;
    for (std::string_view word : Split(list)) {
        if (word.empty()) continue;
        if (word.size() != 1 || word[0] < '0' || word[0] > '9') throw "a sticky slot is a number from 0 to 9";
        mask = static_cast<std::uint16_t>(mask | (1u << (word[0] - '0')));
    }
    return mask;
}

constexpr std::string_view Record(std::string_view token) { return token == "none" ? std::string_view{} : token; }

inline constexpr Scale ZT_PRICE = Scale::Price;
inline constexpr Scale ZT_PANEL = Scale::Panel;
inline constexpr bool ZT_DLL = true;
inline constexpr bool ZT_DIRECT = false;
inline constexpr Signature ZT_ID = Signature::StateId;
inline constexpr Signature ZT_ID_PERIOD_SMOOTHING = Signature::StateIdPeriodSmoothing;

}  // namespace detail

#define ZT_STUDY_INFO(name, scale, slots, names, warmup, roles, reach, signature, family, record, close, volume, \
                      text)                                                                                   \
    Study{#name,                                                                                              \
          detail::scale,                                                                                      \
          slots,                                                                                              \
          detail::Split(names),                                                                               \
          warmup,                                                                                             \
          detail::Roles(roles),                                                                               \
          detail::reach,                                                                                      \
          detail::signature,                                                                                  \
          family,                                                                                             \
          detail::Record(#record),                                                                            \
          detail::SlotMask(close),                                                                            \
          detail::SlotMask(volume),                                                                           \
          text},
inline constexpr Study kStudies[] = {
#include "include/zarntrade_studies.inc"
};
#undef ZT_STUDY_INFO

inline constexpr std::size_t kStudyCount = std::size(kStudies);

// Export names compare without regard to ASCII case, as the DLL entry and
// the replay tool's --studies take them.
constexpr bool SameName(std::string_view a, std::string_view b) noexcept {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto up = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
        if (up(a[i]) != up(b[i])) return false;
    }
    return true;
}

// The study of that exact export name, or null.
constexpr const Study* Find(std::string_view name) {
    for (const Study& s : kStudies)
        if (s.name == name) return &s;
    return nullptr;
}

// Case-insensitive; "E_" or "E_ZARN" may be left out ("zarnmp", "mp").
constexpr const Study* FindLoosely(std::string_view name) {
    for (const Study& s : kStudies)
        if (SameName(name, s.name) || SameName(name, s.name.substr(2)) || SameName(name, s.name.substr(6)))
            return &s;
    return nullptr;
}

// The studies of the export list, in its order: the order in which the DLL
// entry tries the names, and the order of every study row the tests write.
struct Exported {
    std::string_view name;
    bool viaDll;  // ZT_STUDY; ZT_STUDY_ONLY: called directly
};

#define ZT_CONTROL(name)
#define ZT_STUDY(name) Exported{#name, true},
#define ZT_STUDY_ONLY(name) Exported{#name, false},
#define ZT_EXPORT(kind, result, name, params) kind(name)
inline constexpr Exported kExportedStudies[] = {
#include "include/zarntrade_exports.inc"
};
#undef ZT_EXPORT
#undef ZT_STUDY_ONLY
#undef ZT_STUDY
#undef ZT_CONTROL

namespace detail {

// Indices, not pointers: the sanitizer builds cannot compare pointers into
// these tables in a constant expression.
constexpr int ExportedIndex(std::string_view name) {
    for (std::size_t i = 0; i < std::size(kExportedStudies); ++i)
        if (kExportedStudies[i].name == name) return static_cast<int>(i);
    return -1;
}

constexpr bool InCatalogue(std::string_view name) {
    for (const Study& s : kStudies)
        if (s.name == name) return true;
    return false;
}

// Each catalogue line is consistent in itself and exported as it says.
#define ZT_STUDY_INFO(name, scale, slots, names, warmup, roles, reach, signature, family, record, close, volume,     \
                      text)                                                                                       \
    static_assert(CountWords(names) == (slots), #name ": slot names and slot count differ in the catalogue");      \
    static_assert(CountWords(roles) == (slots), #name ": chart roles and slot count differ in the catalogue");     \
    static_assert((slots) >= 1 && (slots) <= kSlotCount, #name ": a study fills 1 to 10 slots");                   \
    static_assert((warmup) >= 0, #name ": negative warm-up in the catalogue");                                   \
    static_assert((SlotMask(close) | SlotMask(volume)) >> (slots) == 0, #name ": a sticky slot past its slots");  \
    static_assert(std::string_view(family).ends_with(".cpp"), #name ": the family file is a .cpp file");          \
    static_assert(ExportedIndex(#name) >= 0,                                                                      \
                  #name " is in the study catalogue but not in include/zarntrade_exports.inc");                   \
    static_assert(ExportedIndex(#name) < 0 || kExportedStudies[ExportedIndex(#name)].viaDll == reach,             \
                  #name ": the catalogue's reach (ZT_DLL / ZT_DIRECT) and its kind in include/zarntrade_exports.inc " \
                  "(ZT_STUDY / ZT_STUDY_ONLY) differ");
#include "include/zarntrade_studies.inc"
#undef ZT_STUDY_INFO

// Every study export is in the catalogue.
#define ZT_CONTROL(name)
#define ZT_STUDY(name)                \
    static_assert(InCatalogue(#name),     \
                  #name " is exported (include/zarntrade_exports.inc) but missing from the study catalogue");
#define ZT_STUDY_ONLY(name) ZT_STUDY(name)
#define ZT_EXPORT(kind, result, name, params) kind(name)
#include "include/zarntrade_exports.inc"
#undef ZT_EXPORT
#undef ZT_STUDY_ONLY
#undef ZT_STUDY
#undef ZT_CONTROL

}  // namespace detail
}  // namespace zt::catalogue
