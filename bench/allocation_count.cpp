#include "allocation_count.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<std::uint64_t> allocations{0};
thread_local std::uint64_t threadAllocations = 0;
}  // namespace

void* operator new(std::size_t size)
{
    allocations.fetch_add(1, std::memory_order_relaxed);
    ++threadAllocations;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}

namespace vandrel::bench {

std::uint64_t allocationsSoFar()
{
    return allocations.load(std::memory_order_relaxed);
}

std::uint64_t threadAllocationsSoFar()
{
    return threadAllocations;
}

}  // namespace vandrel::bench
