// State snapshots: a study state's whole memory as bytes, and a new state
// made from them that continues bit for bit where the saved one stood.
//
// The format is defined field by field, not a copy of memory, so a snapshot
// written by any build restores in any other (include/zarntrade_snapshot.h
// describes it). Restoring checks everything before it makes the state:
// a refused snapshot creates nothing and touches no other state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "store/state.h"

namespace zt {

inline constexpr std::uint32_t kSnapshotFormatVersion = 1;
inline constexpr unsigned char kSnapshotMagic[8] = {'Z', 'A', 'R', 'N', 'S', 'N', 'A', 'P'};

// Why a snapshot was refused: one line of text, never allocated.
struct SnapshotError {
    char text[192] = {};
    bool set() const { return text[0] != '\0'; }
    // Keeps the first reason given.
    void operator()(const char* format, ...) noexcept
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;
};

// Writes the snapshot of `state` into `out` when `capacity` holds it and
// returns its size either way (a call with no buffer measures it). Changes
// nothing in the state.
std::size_t SaveState(StudyState& state, unsigned char* out, std::size_t capacity) noexcept;

// A state made from a snapshot, not registered (id 0), or null with the
// reason in `error` (also when there is no memory for it).
std::unique_ptr<StudyState> ReadSnapshot(const unsigned char* data, std::size_t size, SnapshotError& error) noexcept;

// Restores a snapshot into a new registered state, as creating one does (in
// the selected chart context, under the live-state limit): its id, or 0 with
// the reason in `error`.
std::int32_t RestoreState(const unsigned char* data, std::size_t size, SnapshotError& error) noexcept;

// The fingerprints a snapshot of this build carries.
std::uint64_t CatalogueFingerprint() noexcept;
std::uint64_t LayoutFingerprint() noexcept;

}  // namespace zt
