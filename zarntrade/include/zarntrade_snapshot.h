/*
 * zarntrade state snapshots: save a study state's whole memory to bytes and
 * restore it, in this process or another, into a new state that continues
 * bit for bit as the saved one would have.
 *
 * These calls belong to the Linux shared library (libzarntrade.so) and the
 * static core; the platform DLL does not export them (the charting platform
 * never calls them). They use the C calling convention and, like the rest of
 * the library, never let an error cross the boundary.
 *
 * A snapshot holds the state's bar history (the newest 200 bars), its last
 * bar number, its gc flag, its ten return slots and, for every study
 * evaluated on it, the study's memory record in both copies (the one the
 * next appended bar starts from and the one the newest bar's evaluation
 * left). After a restore the next call may append a new bar or re-send the
 * newest bar, with or without evaluating the studies, and every slot equals,
 * bit for bit, what the uninterrupted state gives. A study first evaluated
 * after the restore starts fresh, as it would have on the saved state.
 *
 * The format (all numbers little-endian, whatever the machine):
 *   "ZARNSNAP"                 8 bytes
 *   format version             u32 (1)
 *   library version            u16 major, minor, patch, tweak (informative)
 *   catalogue fingerprint      u64: the study entries and the record list
 *   layout fingerprint         u64: every record's members, kinds and ring sizes
 *   size                       u32: the whole snapshot, this checksum included
 *   gc flag                    u8 (0 or 1)
 *   last bar number            i32
 *   return slots               10 x f64
 *   bar history, newest first  200 x i32 dates, 200 x i32 times, then
 *                              200 x f64 each of open, high, low, close, volume
 *   record count               u32
 *   each record, in the order  u8 name length, the name (the record's name,
 *   of the library's list      e.g. "upsell"), u32 byte count, its members in
 *                              declared order for the committed copy, then
 *                              for the working copy (rings newest first; a
 *                              ring sized at run time led by its u32 size)
 *   checksum                   u32 CRC-32C (Castagnoli) of every byte before it
 * A restore refuses, creating nothing and touching no other state: another
 * magic, another format version, another catalogue or record layout, a
 * truncated or extended buffer, a checksum mismatch, a count, size or flag out
 * of range, a record that no study uses, that appears twice or out of order.
 */
#ifndef ZARNTRADE_SNAPSHOT_H
#define ZARNTRADE_SNAPSHOT_H

#include <stdint.h>

#if defined(_WIN32)
#define ZT_SNAPSHOT_API /* not exported by the DLL: linked from the static core */
#elif defined(ZT_BUILDING_LIBRARY)
#define ZT_SNAPSHOT_API __attribute__((visibility("default")))
#else
#define ZT_SNAPSHOT_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Saves the state `stateId`. Returns the snapshot's size in bytes and writes
 * it to `buffer` only when `capacity` holds it all (nothing is written
 * otherwise); call with a null buffer and 0 to learn the size. Returns 0 for
 * an unknown id (with the trace line "FindState failed for id N"). The state
 * is not changed. Snapshots of a state with every study are about 80 KB. */
ZT_SNAPSHOT_API int32_t zt_state_save(int32_t stateId, unsigned char* buffer, int32_t capacity);

/* Restores the `size` bytes of a snapshot into a new state, as E_CREATESTATE2
 * creates one: a new id, in the selected chart context, under the limit of
 * 1000 live states (creating it may evict the least recently used one).
 * Returns the new id, or 0 when the snapshot is refused or there is no
 * memory for the state; then `error` (when not null) receives the reason as
 * a NUL-terminated line cut to `errorCapacity` bytes, e.g. "checksum
 * mismatch: the snapshot is damaged". On success `error` receives "". */
ZT_SNAPSHOT_API int32_t zt_state_restore(const unsigned char* data, int32_t size, char* error,
                                         int32_t errorCapacity);

#ifdef __cplusplus
}
#endif

#endif /* ZARNTRADE_SNAPSHOT_H */
