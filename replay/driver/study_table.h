// The studies the tool can drive: every study entry in the library's export
// list, joined by name with the study catalogue (slot names, price scale or
// panel, a sentence on what it computes). Studies appear here as soon as
// their exports are in the list. The table needs no loaded library: a study
// names the Exports member through which it is called.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "replay/driver/library.h"

namespace zt::replay {

enum class Scale { Price, Panel };

using StudyEntry = double(ZT_CALL*)(std::int32_t stateId);
using BandsEntry = double(ZT_CALL*)(std::int32_t stateId, std::int32_t period, std::int32_t smoothing);

inline constexpr int kSlotCount = 10;

// How a chart draws a slot: lines over the candles by family, an
// oscillator in the study's own panel, a +1/-1 signal as up and down marks, a
// state code as a coloured band, or not at all.
enum class ChartRole : unsigned char { Stop, Blend, Band, Swing, Oscillator, Signal, Code, None };

// One entry of the catalogue, exported by this build of the library or not.
struct CatalogueEntry {
    std::string_view name;
    Scale scale;
    int slots;  // slots the study fills, from slot 0
    std::array<std::string_view, kSlotCount> slotNames;
    std::string_view description;
    // Bars from the first one before the drawn slots stop reading the
    // zero-filled history (see zarntrade/include/zarntrade_studies.inc for how each
    // was found): the first bar a chart draws.
    int warmup;
    std::array<ChartRole, kSlotCount> roles;  // one per slot, None past the last
};

struct StudyInfo {
    const CatalogueEntry* about;
    bool viaDll;          // the DLL entry reaches it by name
    StudyEntry Exports::*entry;  // every study but the error bands
    BandsEntry Exports::*bands;  // E_ZARNEBANDS: (state id, period, smoothing)
    std::string_view name() const { return about->name; }
};

// All 34 studies of the catalogue, in catalogue order.
std::span<const CatalogueEntry> Catalogue();

// The studies this build of the library exports, in catalogue order.
std::span<const StudyInfo> Studies();

// Every exported study, as the list a replay runs by default.
std::vector<const StudyInfo*> AllStudies();

// Case-insensitive; "E_" or "E_ZARN" may be left out ("zarnmp", "mp"). Null when
// the name is not in the catalogue, or the library does not export it.
const CatalogueEntry* FindCatalogueEntry(std::string_view name);
const StudyInfo* FindStudy(std::string_view name);

}  // namespace zt::replay
