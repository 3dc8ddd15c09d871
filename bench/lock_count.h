// Mutex acquisitions counted by a benchmark that links lock_count.cpp, which stands in front of the C
// library's pthread_mutex_lock and pthread_mutex_trylock (std::mutex and every library's mutexes use them).
#pragma once

#include <cstdint>

namespace vandrel::bench {

// The calling thread's mutex acquisitions (and attempts) so far.
std::uint64_t threadLocksSoFar();

}  // namespace vandrel::bench
