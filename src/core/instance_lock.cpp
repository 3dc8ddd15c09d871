#include "core/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/log.h"

namespace vandrel {

namespace {

int openLockFile(const std::filesystem::path& path)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) log.error("The instance lock file cannot be opened ->", path.string() + ": " + std::strerror(errno));
    return fd;
}

}  // namespace

std::filesystem::path InstanceLock::standardPath()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime && std::filesystem::path(runtime).is_absolute())
        return std::filesystem::path(runtime) / "vandrel.lock";
    return std::filesystem::path("/tmp") / ("vandrel-" + std::to_string(::getuid()) + ".lock");
}

InstanceLock::InstanceLock(std::filesystem::path path) : path_(std::move(path)) {}

InstanceLock::~InstanceLock()
{
    release();
}

void InstanceLock::release()
{
    if (fd_ >= 0) ::close(fd_);  // closing lets the lock go
    fd_ = -1;
}

bool InstanceLock::tryAcquire()
{
    if (fd_ >= 0) return true;
    const int fd = openLockFile(path_);
    if (fd < 0) return false;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

bool InstanceLock::isHeldElsewhere(const std::filesystem::path& path)
{
    const int fd = openLockFile(path);
    if (fd < 0) return false;
    const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    return !free;
}

}  // namespace vandrel
