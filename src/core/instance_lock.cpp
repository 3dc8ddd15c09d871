#include "core/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vandrel {

namespace {

// The lock file opened for flock, or -1 with the reason. O_NONBLOCK: a pipe put in its place must not hold
// the start up.
int openLockFile(const std::filesystem::path& path, std::string& failure)
{
    constexpr int flags = O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    int fd = ::open(path.c_str(), flags, 0600);
    if (fd < 0 && errno == ELOOP) {
        // A link where the lock belongs: the link goes, what it points to stays untouched.
        ::unlink(path.c_str());
        fd = ::open(path.c_str(), flags, 0600);
    }
    if (fd < 0) {
        failure = path.string() + ": " + std::strerror(errno);
        return -1;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        failure = path.string() + ": not a plain file";
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

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
    failure_.clear();
    if (path_.empty()) {
        failure_ = "no private folder for the instance lock";
        return false;
    }
    const int fd = openLockFile(path_, failure_);
    if (fd < 0) return false;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK) failure_ = path_.string() + ": " + std::strerror(errno);
        ::close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

bool InstanceLock::isHeldElsewhere(const std::filesystem::path& path)
{
    std::string failure;
    const int fd = path.empty() ? -1 : openLockFile(path, failure);
    if (fd < 0) return false;
    const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    return !free;
}

}  // namespace vandrel
