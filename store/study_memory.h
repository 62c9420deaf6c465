// The fixed aggregate of per-study memory records. Every state holds two of
// them, committed and working: a study restores its own member from the
// committed block before each evaluation and computes on the working block;
// appending a bar exchanges the two, which commits the last evaluation made
// on the previous bar. A study finds its record by its place here, never by
// a key; the order of the members is part of the library's contract.
// E_ZARNA900, E_ZARNTIGHTSTOP and E_ZARN02 keep no memory.
#pragma once

#include <type_traits>

#include "composite/colour_template.h"
#include "composite/scorecard.h"
#include "composite/signal_studies.h"
#include "composite/split_lines.h"
#include "composite/swing_line.h"
#include "composite/volume_flow.h"
#include "composite/water_level.h"
#include "series/trend_blends.h"
#include "studies/blend_lines.h"
#include "studies/stop_lines.h"
#include "studies/trend_bias.h"
#include "studies/volume_bands.h"

namespace zt {

struct StudyMemory {
    Fast2Memory fast2;                   // 1 E_ZARNFAST2
    UpsellMemory upsell;                 // 2 E_ZARNUPSELL
    SarVidyaBlendMemory fast104;         // 3 E_ZARNFAST104
    SarVidyaBlendMemory dema104Fast104;  // 4 E_ZARNDEMA104FAST104
    SwingLineMemory swingLine;           // 5 E_ZARNSWINGLINE
    StopLineMemory stopLine;             // 6 E_ZARNSTOPLINE, also driven by E_ZARNMP
    TrendBiasMemory trendBias;           // 7 E_ZARNTRENDBIAS
    ChannelIndexMemory channelBase;      // 8 E_ZARNCHANNELBASE
    Tr4Memory tr4;                       // 9 E_ZARNTR4
    TrueStrengthMemory medium;           // 10 E_ZARNMEDIUM
    SplitLineMemory split115;            // 11 E_ZARN115SPLIT
    ModSplitLineMemory modSplit;         // 12 E_ZARNMODSPLIT
    BalanceVolumeSpikeMemory volSpikes;  // 13 E_ZARNVOLSPIKES
    ShortTermBiasMemory shortTermBias;   // 14 E_ZARNSHORTTERMTRADEBIAS
    SarVidyaBlendMemory line104;         // 15 E_ZARN104
    Fast1Memory fast1;                   // 16 E_ZARNFAST1
    ScorecardLineMemory scorecard;       // 17 E_ZARNSCORECARD
    ComboMemory combo;                   // 18 E_ZARNCOMBO
    NewUpDownMemory newUpDown;           // 19 E_ZARNNEWUPDOWN
    TriggerWaterLevelMemory triggerWaterLevel;  // 20 E_ZARNTRIGGERWATERLEVELUPDOWN
    RibbonLineMemory ribbon;             // 21 E_ZARN1MINRIBBON
    Fast3Memory fast3;                   // 22 E_ZARNFAST3
    AutoStopLineMemory autoStop;         // 23 E_ZARNAUTOSTOP
    UniversalMemory universal;           // 24 E_ZARNUNIVERSAL and E_ZARNUNIVERSALBOND, one member for both
    DemaBlendMemory dema104;             // 25 E_ZARNDEMA104
    WaterLevelMemory waterLevel;         // 26 E_ZARNWATERLEVEL
    ShadowLineMemory shadow;             // 27 E_ZARNSHADOW
    ColourTemplateMemory colourTemplate;  // 28 E_ZARNCOLORTMPL
    ErrorBandsMemory errorBands;         // 29 E_ZARNEBANDS
};

// Restoring a member is one flat copy that never allocates.
static_assert(std::is_trivially_copyable_v<StudyMemory>);

}  // namespace zt
