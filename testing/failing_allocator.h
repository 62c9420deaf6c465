// A replaced global operator new whose chosen allocations fail, for the
// program it is linked into (its own translation unit, so that the compiler
// never sees the replacement inlined beside a caller).
#pragma once

#include <functional>

namespace zt::test {

// Runs `f` with the `n`-th allocation it makes (and with `rest` every later
// one) failing: `new (std::nothrow)` returns null, plain `new` throws
// std::bad_alloc. Returns how many allocations `f` asked for. n = 0 fails
// none.
int FailingAllocation(int n, bool rest, const std::function<void()>& f);

}  // namespace zt::test
