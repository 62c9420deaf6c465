#include "fuzz/fuzz_support.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "platform/platform.h"
#include "log/log.h"
#include "store/registry.h"

namespace zt::fuzz {
namespace {

struct Countdown {
    AllocationFailure::Mode mode = AllocationFailure::Mode::None;
    std::uint32_t first = 0;
    std::uint32_t count = 0;
    std::uint32_t counted = 0;
    std::uint32_t failures = 0;
};

thread_local Countdown countdown;
thread_local bool armed = false;

// Counts one allocation if armed; true when the plan says it fails.
bool NextAllocationFails() {
    if (!armed) return false;
    Countdown& c = countdown;
    const std::uint32_t n = ++c.counted;
    bool fail = false;
    switch (c.mode) {
        case AllocationFailure::Mode::None: break;
        case AllocationFailure::Mode::One: fail = n == c.first; break;
        case AllocationFailure::Mode::Run: fail = n >= c.first && n - c.first < c.count; break;
        case AllocationFailure::Mode::All: fail = n >= c.first; break;
    }
    if (fail) ++c.failures;
    return fail;
}

void* Allocate(std::size_t n) noexcept {
    if (NextAllocationFails()) return nullptr;
    return std::malloc(n == 0 ? 1 : n);
}

void* AllocateAligned(std::size_t n, std::align_val_t alignment) noexcept {
    if (NextAllocationFails()) return nullptr;
    const auto a = static_cast<std::size_t>(alignment);
    void* p = nullptr;
    return posix_memalign(&p, a < sizeof(void*) ? sizeof(void*) : a, n == 0 ? 1 : n) == 0 ? p : nullptr;
}

std::string& Captured() {
    static std::string text;
    return text;
}
bool capturing = false;

std::int32_t Sink(unsigned, const char* format, std::va_list args) {
    AllocationFailure::Paused paused;
    char text[512];
    const int n = std::vsnprintf(text, sizeof text, format, args);
    if (capturing && n >= 0) {
        Captured().append(text, static_cast<std::size_t>(n) < sizeof text ? static_cast<std::size_t>(n) : sizeof text - 1);
        Captured().push_back('\n');
    }
    return 1;
}

}  // namespace

void AllocationFailure::Plan(Mode mode, std::uint32_t first, std::uint32_t count) {
    countdown = Countdown{mode, first, count, 0, 0};
}
void AllocationFailure::Arm() { armed = true; }
void AllocationFailure::Disarm() { armed = false; }
std::uint32_t AllocationFailure::Failures() { return countdown.failures; }
std::uint32_t AllocationFailure::Counted() { return countdown.counted; }

void AllocationFailure::PlanFrom(ByteReader& in) {
    const std::uint8_t mode = in.Byte();
    const std::uint32_t low = in.Byte();
    const std::uint32_t first = 1u + low + 256u * (in.Byte() % 16u);  // up to 4096: past 1000 states
    const std::uint32_t count = 1u + in.Byte() % 16u;
    // Most inputs run without failures, so that the model checks every
    // outcome exactly; the rest pick one of the three kinds.
    switch (mode % 8) {
        case 5: Plan(Mode::One, first, 1); break;
        case 6: Plan(Mode::Run, first, count); break;
        case 7: Plan(Mode::All, first, 0); break;
        default: Plan(Mode::None, 0, 0); break;
    }
}

AllocationFailure::Paused::Paused() : was_(armed) { armed = false; }
AllocationFailure::Paused::~Paused() { armed = was_; }

void TraceSink::Install() { TraceHook = &Sink; }
void TraceSink::Capture(bool on) { capturing = on; }
const std::string& TraceSink::Text() { return Captured(); }
void TraceSink::Clear() { Captured().clear(); }
bool TraceSink::Contains(std::string_view line) {
    const std::string_view text = Captured();
    for (std::size_t at = text.find(line); at != std::string_view::npos; at = text.find(line, at + 1)) {
        const bool starts = at == 0 || text[at - 1] == '\n';
        const bool ends = at + line.size() < text.size() && text[at + line.size()] == '\n';
        if (starts && ends) return true;
    }
    return false;
}

void ResetLibrary() {
    RegistryGuard guard;
    ResetRegistries();
}

void Fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "fuzz check failed: %s%s%s\n", what, detail.empty() ? "" : ": ", detail.c_str());
    std::abort();
}

}  // namespace zt::fuzz

// The replaced global allocation functions. Memory comes from malloc, which
// AddressSanitizer watches, so overflows and use after free are still found.
void* operator new(std::size_t n) {
    if (void* p = zt::fuzz::Allocate(n)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n) {
    if (void* p = zt::fuzz::Allocate(n)) return p;
    throw std::bad_alloc();
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return zt::fuzz::Allocate(n); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return zt::fuzz::Allocate(n); }
void* operator new(std::size_t n, std::align_val_t a) {
    if (void* p = zt::fuzz::AllocateAligned(n, a)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n, std::align_val_t a) {
    if (void* p = zt::fuzz::AllocateAligned(n, a)) return p;
    throw std::bad_alloc();
}
void* operator new(std::size_t n, std::align_val_t a, const std::nothrow_t&) noexcept {
    return zt::fuzz::AllocateAligned(n, a);
}
void* operator new[](std::size_t n, std::align_val_t a, const std::nothrow_t&) noexcept {
    return zt::fuzz::AllocateAligned(n, a);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept { std::free(p); }
