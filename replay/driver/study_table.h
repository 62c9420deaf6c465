// The studies the tool can drive: the study catalogue (studies/catalogue.h:
// slot names, price scale or panel, warm-up, a sentence on what it computes),
// each with the Exports member through which it is called. The table needs
// no loaded library.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "replay/driver/library.h"
#include "studies/catalogue.h"

namespace zt::replay {

using catalogue::ChartRole;
using catalogue::kSlotCount;
using catalogue::Scale;

using StudyEntry = double(ZT_CALL*)(std::int32_t stateId);
using BandsEntry = double(ZT_CALL*)(std::int32_t stateId, std::int32_t period, std::int32_t smoothing);

// One study of the catalogue (studies/catalogue.h).
using CatalogueEntry = catalogue::Study;

struct StudyInfo {
    const CatalogueEntry* about;
    bool viaDll;                 // the DLL entry reaches it by name
    StudyEntry Exports::*entry;  // every study but the error bands
    BandsEntry Exports::*bands;  // E_ZARNEBANDS: (state id, period, smoothing)
    std::string_view name() const { return about->name; }
};

// Every study of the catalogue, in catalogue order.
std::span<const CatalogueEntry> Catalogue();

// The same studies with their entries, in catalogue order.
std::span<const StudyInfo> Studies();

// Every exported study, as the list a replay runs by default.
std::vector<const StudyInfo*> AllStudies();

// Case-insensitive; "E_" or "E_ZARN" may be left out ("zarnmp", "mp"). Null when
// the name is not in the catalogue.
const CatalogueEntry* FindCatalogueEntry(std::string_view name);
const StudyInfo* FindStudy(std::string_view name);

}  // namespace zt::replay
