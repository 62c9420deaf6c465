// The global allocation functions of the program this is linked into, made
// countable and failable: a test can count the allocations a call makes and
// make the next allocation fail (operator new throws, its nothrow form
// answers null).
#pragma once

namespace zt::test {

// Allocations made so far by the whole program.
long Allocations();

// The next allocation, whichever thread makes it, fails.
void FailNextAllocation(bool fail = true);

}  // namespace zt::test
