// The memory records a study state can hold: one line per record, naming its
// slot and its type. The study catalogue (include/zarntrade_studies.inc) says
// which study uses which record (two studies may share one: the position
// study advances the stop line's, the two universal studies share theirs);
// studies/catalogue_checks.cpp stops the build when a catalogue line names a
// record that is not here or a record here is named by no study. A new study
// that keeps memory adds its line here, names the slot in its catalogue line
// and in its entry (EvaluateStudy<RecordSlot::...>).
#pragma once

#include <cstdint>

#include "store/record_table.h"

#define ZT_STUDY_RECORDS(X)                              \
    X(fast2, Fast2Memory)                                \
    X(upsell, UpsellMemory)                              \
    X(fast104, SarVidyaBlendMemory)                      \
    X(dema104Fast104, SarVidyaBlendMemory)               \
    X(swingLine, SwingLineMemory)                        \
    X(stopLine, StopLineMemory)                          \
    X(trendBias, TrendBiasMemory)                        \
    X(channelBase, ChannelIndexMemory)                   \
    X(tr4, Tr4Memory)                                    \
    X(medium, TrueStrengthMemory)                        \
    X(split115, SplitLineMemory)                         \
    X(modSplit, ModSplitLineMemory)                      \
    X(volSpikes, BalanceVolumeSpikeMemory)               \
    X(shortTermBias, ShortTermBiasMemory)                \
    X(line104, SarVidyaBlendMemory)                      \
    X(fast1, Fast1Memory)                                \
    X(scorecard, ScorecardLineMemory)                    \
    X(combo, ComboMemory)                                \
    X(newUpDown, NewUpDownMemory)                        \
    X(triggerWaterLevel, TriggerWaterLevelMemory)        \
    X(ribbon, RibbonLineMemory)                          \
    X(fast3, Fast3Memory)                                \
    X(autoStop, AutoStopLineMemory)                      \
    X(universal, UniversalMemory)                        \
    X(dema104, DemaBlendMemory)                          \
    X(waterLevel, WaterLevelMemory)                      \
    X(shadow, ShadowLineMemory)                          \
    X(colourTemplate, ColourTemplateMemory)              \
    X(errorBands, ErrorBandsMemory)

namespace zt {

#define ZT_DECLARE_RECORD_TYPE(slot, type) struct type;
ZT_STUDY_RECORDS(ZT_DECLARE_RECORD_TYPE)
#undef ZT_DECLARE_RECORD_TYPE

enum class RecordSlot : std::uint32_t {
#define ZT_RECORD_SLOT(slot, type) slot,
    ZT_STUDY_RECORDS(ZT_RECORD_SLOT)
#undef ZT_RECORD_SLOT
        count
};
static_assert(static_cast<std::uint32_t>(RecordSlot::count) <= RecordTable::kSlots,
              "more study records than a state has slots for");

// The type of the record in a slot.
template <RecordSlot Slot>
struct RecordOf;
#define ZT_RECORD_TYPE(slot, type_)            \
    template <>                                \
    struct RecordOf<RecordSlot::slot> {        \
        using type = type_;                    \
    };
ZT_STUDY_RECORDS(ZT_RECORD_TYPE)
#undef ZT_RECORD_TYPE

template <RecordSlot Slot>
using RecordType = typename RecordOf<Slot>::type;

}  // namespace zt
