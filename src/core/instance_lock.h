// The running program's mark: an exclusive lock on one file, held from start-up until the process ends; the
// kernel lets it go when the process dies, so a crash leaves no stale mark. The login-item helper and
// --unremap-capslock ask it whether the program runs.
//
//   InstanceLock lock(paths.lock);
//   if (!lock.tryAcquire()) lock.failure().empty() ? another instance runs : the file cannot be used
//   InstanceLock::isHeldElsewhere(paths.lock)   // the helper's question
//
// The lock is an open file description lock (fcntl F_OFD_SETLK): it belongs to the open, not to the process,
// so two opens in one process exclude each other as two processes do, and it can be asked about (F_OFD_GETLK)
// without being taken. A question therefore never makes a start that tries the lock at that moment give way.
// A start also holds the flock earlier versions marked themselves with, so that neither runs beside the other,
// and a question sees that one too: it reads the kernel's table of locks (/proc/locks) rather than trying it.
//
// The file lies in a folder only the user can reach (InstanceChannel::Paths). It is never followed through a
// symbolic link: one found in its place is removed and the file made anew. Anything else that is not a plain
// file there (a folder, a pipe) makes the lock unusable, with a reason. A question changes nothing there: a
// link, a missing file or anything but a plain file holds no lock.
#pragma once

#include <filesystem>
#include <string>

namespace vandrel {

class InstanceLock {
public:
    explicit InstanceLock(std::filesystem::path path);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // True when this object holds the lock now (also when it held it already). False when another holds it,
    // or when the file cannot be used (failure() says why).
    bool tryAcquire();
    bool isHeld() const { return fd_ >= 0; }
    void release();
    const std::filesystem::path& path() const { return path_; }
    // Why the latest tryAcquire() could not use the file; empty when it could.
    const std::string& failure() const { return failure_; }

    // True when some open of the file other than the caller's own holds the lock, or an earlier version's flock.
    // Never takes either.
    static bool isHeldElsewhere(const std::filesystem::path& path);

private:
    std::filesystem::path path_;
    int fd_ = -1;
    std::string failure_;
};

}  // namespace vandrel
