#include "lock_count.h"

#include <pthread.h>

// The C library's own entry points under their other names, which the replacements below forward to.
extern "C" int libcMutexLock(pthread_mutex_t* mutex);
extern "C" int libcMutexTrylock(pthread_mutex_t* mutex);
__asm__(".symver libcMutexLock, __pthread_mutex_lock@GLIBC_2.2.5");
__asm__(".symver libcMutexTrylock, __pthread_mutex_trylock@GLIBC_2.2.5");

namespace {
thread_local std::uint64_t threadLocks = 0;
}  // namespace

extern "C" int pthread_mutex_lock(pthread_mutex_t* mutex)
{
    ++threadLocks;
    return libcMutexLock(mutex);
}

extern "C" int pthread_mutex_trylock(pthread_mutex_t* mutex)
{
    ++threadLocks;
    return libcMutexTrylock(mutex);
}

namespace vandrel::bench {

std::uint64_t threadLocksSoFar()
{
    return threadLocks;
}

}  // namespace vandrel::bench
