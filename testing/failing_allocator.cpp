#include "testing/failing_allocator.h"

#include <cstdlib>
#include <new>

namespace {

// Allocations counted while armed; the `failAt`-th and, with `failRest`,
// every later one fail.
thread_local bool armed = false;
thread_local int counted = 0;
thread_local int failAt = 0;
thread_local bool failRest = false;

void* Allocate(std::size_t n) noexcept {
    if (armed) {
        ++counted;
        if (counted == failAt || (failRest && failAt > 0 && counted > failAt)) return nullptr;
    }
    return std::malloc(n == 0 ? 1 : n);
}

}  // namespace

int zt::test::FailingAllocation(int n, bool rest, const std::function<void()>& f) {
    counted = 0;
    failAt = n;
    failRest = rest;
    armed = true;
    f();
    armed = false;
    return counted;
}

void* operator new(std::size_t n) {
    if (void* p = Allocate(n)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n) {
    if (void* p = Allocate(n)) return p;
    throw std::bad_alloc();
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return Allocate(n); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return Allocate(n); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
