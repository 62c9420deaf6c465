// Counts every heap allocation of the program it is linked into (the global
// operator new is replaced), so that a benchmark can show that a study
// evaluation or a bar store in steady state allocates nothing, and how many
// bytes a study state holds.
#pragma once

namespace zt::test {

// Allocations made so far by the whole program.
long AllocationCount();

// Bytes held by live allocations of the whole program (as the allocator
// hands them out, rounding included).
long LiveHeapBytes();

}  // namespace zt::test
