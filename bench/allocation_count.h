// Heap allocations counted by a benchmark that links allocation_count.cpp, which replaces operator new.
#pragma once

#include <cstdint>

namespace vandrel::bench {

// Every allocation of every thread so far.
std::uint64_t allocationsSoFar();
// The calling thread's allocations so far.
std::uint64_t threadAllocationsSoFar();

}  // namespace vandrel::bench
