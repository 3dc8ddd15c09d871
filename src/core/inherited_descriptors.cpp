#include "core/inherited_descriptors.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>

namespace vandrel {

void InheritedDescriptors::markCloseOnExec() noexcept
{
    // Any failure falls back: besides an old kernel (ENOSYS) or one without the flag (EINVAL), a sandbox's
    // system-call filter may refuse the call with EPERM, and the child would then inherit everything.
    if (::close_range(STDERR_FILENO + 1, ~0U, CLOSE_RANGE_CLOEXEC) != 0) markCloseOnExecOneByOne();
}

void InheritedDescriptors::markCloseOnExecOneByOne() noexcept
{
    rlimit limit{};
    const rlim_t last = ::getrlimit(RLIMIT_NOFILE, &limit) == 0 ? std::min<rlim_t>(limit.rlim_cur, kScanLimit)
                                                                : static_cast<rlim_t>(kScanLimit);
    for (int fd = STDERR_FILENO + 1; static_cast<rlim_t>(fd) < last; ++fd) {
        const int flags = ::fcntl(fd, F_GETFD);
        if (flags >= 0 && !(flags & FD_CLOEXEC)) ::fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
    }
}

}  // namespace vandrel
