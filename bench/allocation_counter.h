// Counts every heap allocation of the program it is linked into (the global
// operator new is replaced), so that a benchmark can show that a study
// evaluation or a bar store in steady state allocates nothing.
#pragma once

namespace zt::bench {

// Allocations made so far by the whole program.
long AllocationCount();

}  // namespace zt::bench
