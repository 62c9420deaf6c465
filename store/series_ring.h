// Fixed-capacity history rings: the bar history, the recent-state ring and
// every ring inside a study's memory record.
//
// Element k back (k = 0 the newest) is values[(head + k) mod capacity]; a
// push moves head one step back (wrapping) and writes there, so once the
// ring is full the oldest element is overwritten. A look-back of capacity or
// more wraps around and reads the same slots again. Slots never written read
// 0, so windows over a young history average in zeros by design.
//
// Rings hold their storage inline: a memory record made of rings is a plain
// value, and restoring the committed record is one flat copy that never
// allocates.
#pragma once

#include <cstdint>

namespace zt {

// Reads a ring from one element toward older ones, one element per call,
// wrapping as at() does: window loops read element k, k + 1, ... in order
// without working out each element's place.
template <class T>
class RingReader {
public:
    RingReader(const T* values, std::uint32_t capacity, std::uint32_t index)
        : values_(values), capacity_(capacity), index_(index) {}
    T next() {
        const T v = values_[index_];
        if (++index_ == capacity_) index_ = 0;
        return v;
    }

private:
    const T* values_;
    std::uint32_t capacity_;
    std::uint32_t index_;
};

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
    RingReader<T> reader(std::uint32_t k) const { return {values, Cap, index(k)}; }
    void push(T v) {
        head = head == 0 ? Cap - 1 : head - 1;
        values[head] = v;
    }
    void setNewest(T v) { values[head] = v; }
    // Writable access to the element k back (used only by the registry's
    // move-to-front step).
    T& slot(std::uint32_t k) { return values[index(k)]; }
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
    std::uint32_t index(std::uint32_t k) const {
        std::uint32_t i = head + (k < capacity ? k : k % capacity);
        if (i >= capacity) i -= capacity;
        return i;
    }
    T at(std::uint32_t k) const { return values[index(k)]; }
    T operator[](std::uint32_t k) const { return at(k); }
    RingReader<T> reader(std::uint32_t k) const { return {values, capacity, index(k)}; }
    void push(T v) {
        head = head == 0 ? capacity - 1 : head - 1;
        values[head] = v;
    }
    void setNewest(T v) { values[head] = v; }
};

template <std::uint32_t Cap>
using Ring = SeriesRing<double, Cap>;

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
using BarRing = SeriesRing<double, BarHistoryCapacity>;
using IntBarRing = SeriesRing<std::int32_t, BarHistoryCapacity>;
}  // namespace zt
