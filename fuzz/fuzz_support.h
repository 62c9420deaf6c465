// What every fuzz target of the project shares: a reader that turns the
// fuzzer's bytes into choices, the allocation failures an input may ask for,
// and the trace sink that keeps the library's diagnostic lines off standard
// error while it is fuzzed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace zt::fuzz {

// Reads the input front to back. Past the end every read gives zeros, so a
// short input is simply a short call sequence.
class ByteReader {
public:
    ByteReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool Empty() const { return at_ >= size_; }
    std::size_t Left() const { return at_ < size_ ? size_ - at_ : 0; }

    std::uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    template <class T>
    T Raw() {
        unsigned char bytes[sizeof(T)] = {};
        for (auto& b : bytes) b = Byte();
        T v;
        std::memcpy(&v, bytes, sizeof v);
        return v;
    }
    std::int32_t Int32() { return Raw<std::int32_t>(); }
    std::uint16_t Uint16() { return Raw<std::uint16_t>(); }
    // Up to `n` bytes as they stand (fewer at the end of the input).
    std::string_view Bytes(std::size_t n) {
        n = n < Left() ? n : Left();
        const std::string_view s(reinterpret_cast<const char*>(data_ + at_), n);
        at_ += n;
        return s;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

// Allocation failure as an input. The fuzz targets replace the global
// operator new: while the countdown is armed, every allocation is counted,
// and those the input chose fail (`new (std::nothrow)` returns null, plain
// `new` throws std::bad_alloc). Arming is per thread and only around the
// library's own calls, so the fuzzer's and the checks' allocations are never
// touched. Any allocation the library makes (a state, a context, a registry
// node, and later a study's record made on its first evaluation) goes
// through here, so new allocation sites are covered without a change here.
class AllocationFailure {
public:
    enum class Mode : std::uint8_t { None, One, Run, All };

    // Allocations are numbered from 1 while armed; `first` and, for Run,
    // `count` choose which fail (All: every one from `first` on).
    static void Plan(Mode mode, std::uint32_t first, std::uint32_t count);
    static void Arm();
    static void Disarm();
    // Failures made since the last Plan.
    static std::uint32_t Failures();
    // Allocations counted since the last Plan.
    static std::uint32_t Counted();

    // Takes a plan from the input: one byte for the mode (most inputs none),
    // two for the first failing allocation, one for the length of a run.
    static void PlanFrom(ByteReader& in);

    // Arms for the scope of one library call.
    class Armed {
    public:
        Armed() { Arm(); }
        ~Armed() { Disarm(); }
        Armed(const Armed&) = delete;
        Armed& operator=(const Armed&) = delete;
    };
    // Suspends the countdown inside a scope (the trace sink uses it).
    class Paused {
    public:
        Paused();
        ~Paused();
        Paused(const Paused&) = delete;
        Paused& operator=(const Paused&) = delete;

    private:
        bool was_;
    };
};

// The library's trace lines, formatted (so every format and its arguments
// are exercised) but not written. While capturing they are kept as one text,
// each line ended by "\n".
class TraceSink {
public:
    static void Install();
    static void Capture(bool on);
    static const std::string& Text();
    static void Clear();
    static bool Contains(std::string_view line);
};

// Forgets every state and context, as if the library had just been loaded,
// so that each input starts from the same library.
void ResetLibrary();

// Stops the fuzzer with a message when a check fails: libFuzzer reports the
// abort as a finding and keeps the input.
[[noreturn]] void Fail(const char* what, const std::string& detail = {});

#define ZT_FUZZ_CHECK(condition, detail) \
    do {                                  \
        if (!(condition)) ::zt::fuzz::Fail(#condition, (detail)); \
    } while (false)

// Equal bit for bit (NaN payloads and signed zeros included).
inline bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace zt::fuzz
