// The memory records a study state can hold: one line per record, naming its
// slot, its type and the study entries that use it. E_ZARNA900,
// E_ZARNTIGHTSTOP and E_ZARN02 keep no memory. A new study that keeps memory
// adds its line here and names its slot in its entry (EvaluateStudy).
#pragma once

#include <cstdint>

#include "store/record_table.h"

#define ZT_STUDY_RECORDS(X)                                                             \
    X(fast2, Fast2Memory)                        /* E_ZARNFAST2 */                      \
    X(upsell, UpsellMemory)                      /* E_ZARNUPSELL */                     \
    X(fast104, SarVidyaBlendMemory)              /* E_ZARNFAST104 */                    \
    X(dema104Fast104, SarVidyaBlendMemory)       /* E_ZARNDEMA104FAST104 */             \
    X(swingLine, SwingLineMemory)                /* E_ZARNSWINGLINE */                  \
    X(stopLine, StopLineMemory)                  /* E_ZARNSTOPLINE, also for E_ZARNMP */ \
    X(trendBias, TrendBiasMemory)                /* E_ZARNTRENDBIAS */                  \
    X(channelBase, ChannelIndexMemory)           /* E_ZARNCHANNELBASE */                \
    X(tr4, Tr4Memory)                            /* E_ZARNTR4 */                        \
    X(medium, TrueStrengthMemory)                /* E_ZARNMEDIUM */                     \
    X(split115, SplitLineMemory)                 /* E_ZARN115SPLIT */                   \
    X(modSplit, ModSplitLineMemory)              /* E_ZARNMODSPLIT */                   \
    X(volSpikes, BalanceVolumeSpikeMemory)       /* E_ZARNVOLSPIKES */                  \
    X(shortTermBias, ShortTermBiasMemory)        /* E_ZARNSHORTTERMTRADEBIAS */         \
    X(line104, SarVidyaBlendMemory)              /* E_ZARN104 */                        \
    X(fast1, Fast1Memory)                        /* E_ZARNFAST1 */                      \
    X(scorecard, ScorecardLineMemory)            /* E_ZARNSCORECARD */                  \
    X(combo, ComboMemory)                        /* E_ZARNCOMBO */                      \
    X(newUpDown, NewUpDownMemory)                /* E_ZARNNEWUPDOWN */                  \
    X(triggerWaterLevel, TriggerWaterLevelMemory) /* E_ZARNTRIGGERWATERLEVELUPDOWN */   \
    X(ribbon, RibbonLineMemory)                  /* E_ZARN1MINRIBBON */                 \
    X(fast3, Fast3Memory)                        /* E_ZARNFAST3 */                      \
    X(autoStop, AutoStopLineMemory)              /* E_ZARNAUTOSTOP */                   \
    X(universal, UniversalMemory)                /* E_ZARNUNIVERSAL and E_ZARNUNIVERSALBOND: one record */ \
    X(dema104, DemaBlendMemory)                  /* E_ZARNDEMA104 */                    \
    X(waterLevel, WaterLevelMemory)              /* E_ZARNWATERLEVEL */                 \
    X(shadow, ShadowLineMemory)                  /* E_ZARNSHADOW */                     \
    X(colourTemplate, ColourTemplateMemory)      /* E_ZARNCOLORTMPL, its own copies of every part */ \
    X(errorBands, ErrorBandsMemory)              /* E_ZARNEBANDS */

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
