// The fixed aggregate of per-study memory records. Every state holds two of
// them, committed and working: a study restores its own member from the
// committed block before each evaluation and computes on the working block;
// appending a bar exchanges the two, which commits the last evaluation made
// on the previous bar. A study finds its record by its place here, never by
// a key; the order of the members is part of the library's contract.
#pragma once

#include "studies/volume_bands_memory.h"

namespace zt {

struct StudyMemory {
    ErrorBandsMemory errorBands;  // E_ZARNEBANDS
};

}  // namespace zt
