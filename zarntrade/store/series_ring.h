// Fixed-capacity history rings: the bar history, the recent-state ring and
// every ring inside a study's memory record.
//
// Every ring reads alike: a push makes the new element the newest (k = 0)
// and, once the ring is full, drops the oldest; a look-back of capacity or
// more wraps around and reads element (k mod capacity) back again. Slots
// never written read 0, so windows over a young history average in zeros by
// design. Three layouts give that:
// - SeriesRing (the bar dates and times, the recent-state ring): element k
//   back is values[(head + k) mod capacity]; a push moves head one step back
//   (wrapping) and writes there, so a bar store is a constant-time write.
// - HistoryRing (the bar prices and volumes, which every study reads):
//   element k back is values[start + k] for every k below the capacity, so
//   a read needs no place arithmetic and no window wraps in memory. A push
//   moves start one slot down into Slack spare slots; once they are used up
//   it first moves the newest capacity - 1 elements back up (one move of
//   the whole history every Slack pushes).
// - RecordRing (the rings of memory records, at most a few dozen elements):
//   kept newest first, element k back is values[k]; a push moves the
//   elements one place older. The move costs less than the place arithmetic
//   it saves on every read, and windows read consecutive slots.
//
// Rings hold their storage inline: a memory record made of rings is a plain
// value, and restoring the committed record is one flat copy that never
// allocates.
#pragma once

#include <cstdint>
#include <cstring>

// A memory record lists its members, in order, for the state snapshot:
// ZT_FIELDS(a, b, c) declares Fields(v), which hands v the names as written
// ("a, b, c") and the members themselves. It adds no data: the record's
// layout and its plain-value copy stay as they are.
#define ZT_FIELDS(...)                  \
    template <class Visitor>            \
    void Fields(Visitor& visitor) {     \
        visitor(#__VA_ARGS__, __VA_ARGS__); \
    }

namespace zt {

// Calls f on the n elements of a ring's storage from slot `start` on,
// wrapping to slot 0 after the last: element k back, k + 1 back, ... of a
// ring whose element k back is in slot `start`, in that order. A window that
// lies in one run of slots (most do) is read straight, without working out
// each element's place.
template <class T, class F>
inline void WalkSlots(const T* values, std::uint32_t capacity, std::uint32_t start, std::uint32_t n, F&& f) {
    if (n <= capacity - start) {
        const T* p = values + start;
        for (std::uint32_t j = 0; j < n; ++j) f(p[j]);
        return;
    }
    std::uint32_t i = start;
    for (std::uint32_t j = 0; j < n; ++j) {
        f(values[i]);
        if (++i == capacity) i = 0;
    }
}

// A ring whose capacity is fixed by the code.
template <class T, std::uint32_t Cap>
struct SeriesRing {
    static_assert(Cap > 0, "a ring needs room for one element");
    static constexpr std::uint32_t capacity = Cap;

    std::uint32_t head = 0;
    T values[Cap] = {};

    // Where element k back lives: (head + k) mod Cap, with head < Cap.
    std::uint32_t index(std::uint32_t k) const {
        std::uint32_t i = head + (k < Cap ? k : k % Cap);
        if (i >= Cap) i -= Cap;
        return i;
    }
    T at(std::uint32_t k) const { return values[index(k)]; }
    T operator[](std::uint32_t k) const { return at(k); }
    // f(element k back), f(element k + 1 back), ...: n calls.
    template <class F>
    void forEachBack(std::uint32_t k, std::uint32_t n, F&& f) const {
        WalkSlots(values, Cap, index(k), n, f);
    }
    void push(T v) {
        head = head == 0 ? Cap - 1 : head - 1;
        values[head] = v;
    }
    void setNewest(T v) { values[head] = v; }
    // Writable access to the element k back (used only by the registry's
    // move-to-front step).
    T& slot(std::uint32_t k) { return values[index(k)]; }
};

// A ring whose look-backs below the capacity read one run of slots:
// element k back is values[start + k].
template <class T, std::uint32_t Cap, std::uint32_t Slack>
struct HistoryRing {
    static_assert(Cap > 1 && Slack > 0, "a history needs room to move");
    static constexpr std::uint32_t capacity = Cap;

    std::uint32_t start = Slack;  // 0 to Slack
    T values[Cap + Slack] = {};

    std::uint32_t index(std::uint32_t k) const { return start + (k < Cap ? k : k % Cap); }
    T at(std::uint32_t k) const { return values[index(k)]; }
    T operator[](std::uint32_t k) const { return at(k); }
    // The newest Cap elements, newest first: a ring of Cap slots whose
    // element k back is in slot k.
    template <class F>
    void forEachBack(std::uint32_t k, std::uint32_t n, F&& f) const {
        WalkSlots(values + start, Cap, k < Cap ? k : k % Cap, n, f);
    }
    void push(T v) {
        if (start == 0) {
            // The oldest element drops out; the others move up behind the
            // slot the new one takes.
            std::memmove(values + Slack + 1, values, (Cap - 1) * sizeof(T));
            start = Slack + 1;
        }
        values[--start] = v;
    }
    void setNewest(T v) { values[start] = v; }
};

// A ring whose capacity is chosen at run time (at most MaxCap): the error
// bands size their rings by the host's smoothing length.
template <class T, std::uint32_t MaxCap>
struct BoundedRing {
    static_assert(MaxCap > 0, "a ring needs room for one element");

    std::uint32_t capacity = MaxCap;
    std::uint32_t head = 0;
    T values[MaxCap] = {};

    // Re-creates the ring: `cap` elements (1 to MaxCap), all zero, head 0.
    void reset(std::uint32_t cap) {
        capacity = cap < 1 ? 1 : (cap > MaxCap ? MaxCap : cap);
        head = 0;
        for (auto& v : values) v = T{};
    }
    // Makes this ring read as `from` does: its capacity, head and the slots
    // below the capacity (no read reaches the others, and a reset clears
    // them).
    void readAs(const BoundedRing& from) {
        capacity = from.capacity;
        head = from.head;
        std::memcpy(values, from.values, capacity * sizeof(T));
    }
    std::uint32_t index(std::uint32_t k) const {
        std::uint32_t i = head + (k < capacity ? k : k % capacity);
        if (i >= capacity) i -= capacity;
        return i;
    }
    T at(std::uint32_t k) const { return values[index(k)]; }
    T operator[](std::uint32_t k) const { return at(k); }
    template <class F>
    void forEachBack(std::uint32_t k, std::uint32_t n, F&& f) const {
        WalkSlots(values, capacity, index(k), n, f);
    }
    void push(T v) {
        head = head == 0 ? capacity - 1 : head - 1;
        values[head] = v;
    }
    void setNewest(T v) { values[head] = v; }
};

// A memory record's ring, newest first.
template <class T, std::uint32_t Cap>
struct RecordRing {
    static_assert(Cap > 0, "a ring needs room for one element");
    static constexpr std::uint32_t capacity = Cap;

    T values[Cap] = {};

    std::uint32_t index(std::uint32_t k) const { return k < Cap ? k : k % Cap; }
    T at(std::uint32_t k) const { return values[index(k)]; }
    T operator[](std::uint32_t k) const { return at(k); }
    template <class F>
    void forEachBack(std::uint32_t k, std::uint32_t n, F&& f) const {
        WalkSlots(values, Cap, index(k), n, f);
    }
    void push(T v) {
        if constexpr (Cap > 1) {
            // Through a copy rather than memmove: the compiler then moves the
            // few dozen bytes with a handful of loads and stores in line.
            T older[Cap - 1];
            std::memcpy(older, values, sizeof older);
            std::memcpy(values + 1, older, sizeof older);
        }
        values[0] = v;
    }
    void setNewest(T v) { values[0] = v; }
};

template <std::uint32_t Cap>
using Ring = RecordRing<double, Cap>;

// Every memory record begins its life with `started` clear. The first
// evaluation that finds it clear starts the record afresh: rings zero-filled
// at their capacities, every state zero, the flags of embedded records clear
// (so the whole tree restarts together), and its own flag set. Callers then
// set their seeds when this returns true.
template <class Record>
inline bool StartRecord(Record& r) {
    if (r.started) return false;
    r = Record{};
    r.started = 1;
    return true;
}

}  // namespace zt

namespace zt {
// Every state keeps the newest 200 bars of its chart.
inline constexpr std::uint32_t BarHistoryCapacity = 200;
// Spare slots of a price or volume history: 768 bytes a ring, and a move of
// its 1,592 bytes every 97 bars. (With 32 spare slots the five moves cost a
// new bar some 2 ns through glibc's memmove and 4 ns through the C
// runtime's under wine; with 96, a third of that.)
inline constexpr std::uint32_t BarHistorySlack = 96;
using BarRing = HistoryRing<double, BarHistoryCapacity, BarHistorySlack>;
using IntBarRing = SeriesRing<std::int32_t, BarHistoryCapacity>;
}  // namespace zt
