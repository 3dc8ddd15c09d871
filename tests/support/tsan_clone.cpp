// Linked into every executable of a ThreadSanitizer build (see the top CMakeLists.txt).
//
// QProcess starts its child with clone(CLONE_VM | CLONE_VFORK): the child runs in our memory until it execs.
// This toolchain's sanitizer intercepts clone and, in the child, does its after-fork bookkeeping of a
// multi-threaded process: it switches off the checks and the lock tracking of the calling thread. With
// CLONE_VM that thread state is the parent's, so from the first child the GUI thread started (a hotstring's
// evaluator) the sanitizer no longer sees that thread's locks: every hand-over through it (a main-queue job,
// the paste service's lock) then shows up as a race between the threads on either side of it, and real races
// on the GUI thread go unreported.
//
// A child that shares our memory is not a fork, so such a clone goes straight to the C library; every other
// clone still goes through the sanitizer, which treats it as the fork it is.
#include <dlfcn.h>
#include <sched.h>
#include <sys/types.h>

#include <cerrno>
#include <cstdarg>

namespace {

using CloneFunction = int (*)(int (*)(void*), void*, int, void*, ...);

CloneFunction libcClone()
{
    static const CloneFunction function = [] {
        void* libc = ::dlopen("libc.so.6", RTLD_NOW | RTLD_NOLOAD);
        return libc ? reinterpret_cast<CloneFunction>(::dlsym(libc, "clone")) : nullptr;
    }();
    return function;
}

// The sanitizer's own clone, next after this executable.
CloneFunction sanitizerClone()
{
    static const CloneFunction function = reinterpret_cast<CloneFunction>(::dlsym(RTLD_NEXT, "clone"));
    return function;
}

}  // namespace

extern "C" int clone(int (*fn)(void*), void* stack, int flags, void* arg, ...)
{
    // The optional arguments are passed on whether or not the flags use them, as the C library's own callers do.
    va_list rest;
    va_start(rest, arg);
    pid_t* parentTid = va_arg(rest, pid_t*);
    void* tls = va_arg(rest, void*);
    pid_t* childTid = va_arg(rest, pid_t*);
    va_end(rest);
    const CloneFunction next = (flags & CLONE_VM) ? libcClone() : sanitizerClone();
    if (!next) {
        errno = ENOSYS;
        return -1;
    }
    return next(fn, stack, flags, arg, parentTid, tls, childTid);
}
