#include "core/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

namespace vandrel {

namespace {

constexpr int kOpenFlags = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;

// A write lock over the whole file, for F_OFD_SETLK and F_OFD_GETLK (l_pid must be 0).
struct flock wholeFile()
{
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    return lock;
}

// The file's descriptor when it is a plain file; -1 with the reason otherwise.
int plainFileOrClose(int fd, const std::filesystem::path& path, std::string& failure)
{
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) return fd;
    failure = path.string() + ": not a plain file";
    ::close(fd);
    return -1;
}

// The lock file opened for the lock, made when missing, or -1 with the reason. O_NONBLOCK: a pipe put in its
// place must not hold the start up.
int openLockFile(const std::filesystem::path& path, std::string& failure)
{
    constexpr int flags = O_RDWR | O_CREAT | kOpenFlags;
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
    return plainFileOrClose(fd, path, failure);
}

// Versions before this one marked themselves with flock on the same file, and one of them may still run after
// an upgrade. Where flock is the kernel's own, it does not meet the open's lock, so a start holds both and
// gives way to an earlier version that holds the flock. Network file systems carry flock over as a record lock,
// which would meet the start's own lock; the files there are new ones no earlier version used.
bool earlierVersionHolds(int fd)
{
    constexpr long kNetworkFileSystems[] = {0x6969 /* NFS */, 0x517B /* SMB */, static_cast<long>(0xFF534D42),
                                            static_cast<long>(0xFE534D42) /* CIFS, SMB2 */};
    struct statfs info {};
    if (::fstatfs(fd, &info) != 0) return false;
    for (const long type : kNetworkFileSystems)
        if (static_cast<long>(info.f_type) == type) return false;
    return ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
}

// The device the kernel's table of locks names the file's by: its file system's own, which is not always the one
// stat() gives (btrfs gives each subvolume a number of its own).
dev_t lockTableDevice(int fd, dev_t statDevice)
{
    struct statx info {};
    if (::statx(fd, "", AT_EMPTY_PATH, STATX_MNT_ID, &info) != 0 || !(info.stx_mask & STATX_MNT_ID)) return statDevice;
    std::ifstream mounts("/proc/self/mountinfo");
    for (std::string line; std::getline(mounts, line);) {
        std::istringstream words(line);
        unsigned long long id = 0, parent = 0;
        unsigned major = 0, minor = 0;
        char colon = 0;
        if (words >> id >> parent >> major >> colon >> minor && id == info.stx_mnt_id && colon == ':')
            return makedev(major, minor);
    }
    return statDevice;
}

// Whether a flock is held on the file, as the kernel's table of locks says: asking never takes it, so a start
// trying it at that moment never gives way to the question. Where /proc is not mounted the flock goes unseen.
bool flockHeldOn(int fd)
{
    struct stat info {};
    if (::fstat(fd, &info) != 0) return false;
    std::optional<dev_t> tableDevice;
    // "1: FLOCK  ADVISORY  WRITE 1234 fe:00:10953972 0 EOF"; a process waiting for it is listed with "->".
    std::ifstream locks("/proc/locks");
    for (std::string line; std::getline(locks, line);) {
        std::istringstream words(line);
        std::string number, kind, mode, access, pid, file;
        if (!(words >> number >> kind >> mode >> access >> pid >> file) || kind != "FLOCK") continue;
        unsigned major = 0, minor = 0;
        unsigned long long inode = 0;
        if (std::sscanf(file.c_str(), "%x:%x:%llu", &major, &minor, &inode) != 3 || inode != info.st_ino) continue;
        const dev_t device = makedev(major, minor);
        if (device == info.st_dev) return true;
        if (!tableDevice) tableDevice = lockTableDevice(fd, info.st_dev);
        if (device == *tableDevice) return true;
    }
    return false;
}

}  // namespace

InstanceLock::InstanceLock(std::filesystem::path path) : path_(std::move(path)) {}

InstanceLock::~InstanceLock()
{
    release();
}

void InstanceLock::release()
{
    if (fd_ >= 0) ::close(fd_);  // closing the only descriptor of the open lets the lock go
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
    struct flock lock = wholeFile();
    if (::fcntl(fd, F_OFD_SETLK, &lock) != 0) {
        if (errno != EAGAIN && errno != EACCES) failure_ = path_.string() + ": " + std::strerror(errno);
        ::close(fd);
        return false;
    }
    if (earlierVersionHolds(fd)) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

bool InstanceLock::isHeldElsewhere(const std::filesystem::path& path)
{
    if (path.empty()) return false;
    // Read only and never made: a question leaves the folder as it found it. A link or a missing file holds
    // no lock of an instance.
    std::string failure;
    int fd = ::open(path.c_str(), O_RDONLY | kOpenFlags);
    if (fd < 0 || (fd = plainFileOrClose(fd, path, failure)) < 0) return false;
    struct flock lock = wholeFile();
    const bool held = (::fcntl(fd, F_OFD_GETLK, &lock) == 0 && lock.l_type != F_UNLCK) || flockHeldOn(fd);
    ::close(fd);
    return held;
}

}  // namespace vandrel
