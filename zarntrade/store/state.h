// One study instance's state: its bar history, its return slots and the
// memory records of the studies evaluated on it.
#pragma once

#include <cstdint>

#include "store/record_table.h"
#include "store/series_ring.h"

namespace zt {

inline constexpr int kReturnSlotCount = 10;

// The seven bar rings move together: element k back of each belongs to the
// same bar.
struct BarHistory {
    IntBarRing date;
    IntBarRing time;
    BarRing open;
    BarRing high;
    BarRing low;
    BarRing close;
    BarRing volume;
};

struct ReturnSlots {
    double values[kReturnSlotCount] = {};
};

struct StudyState {
    std::int32_t id = 0;
    std::uint8_t gc = 0;
    BarHistory bars;
    std::int32_t lastBarNumber = 0;
    ReturnSlots slots;
    RecordTable records;
};

// Stores one bar: a new bar number appends it (and commits the study
// memory), the same bar number again replaces the newest bar. Never
// allocates.
void PushBar(StudyState& state, std::int32_t barNumber, std::int32_t date, std::int32_t time,
             double open, double high, double low, double close, double volume) noexcept;

}  // namespace zt
