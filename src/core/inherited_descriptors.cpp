#include "core/inherited_descriptors.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace vandrel {

void InheritedDescriptors::markCloseOnExec() noexcept
{
    if (::close_range(STDERR_FILENO + 1, ~0U, CLOSE_RANGE_CLOEXEC) != 0 && (errno == ENOSYS || errno == EINVAL))
        markCloseOnExecOneByOne();
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
