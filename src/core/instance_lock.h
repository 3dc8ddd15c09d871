// The running program's mark: an exclusive lock (flock) on one file, held from start-up until the process
// ends; the kernel lets it go when the process dies, so a crash leaves no stale mark. The login-item helper
// probes it to tell whether the program runs.
//
//   InstanceLock lock(paths.lock);
//   if (!lock.tryAcquire()) lock.failure().empty() ? another instance runs : the file cannot be used
//   InstanceLock::isHeldElsewhere(paths.lock)   // the helper's question
//
// The file lies in a folder only the user can reach (InstanceChannel::Paths). It is never followed through a
// symbolic link: one found in its place is removed and the file made anew. Anything else that is not a plain
// file there (a folder, a pipe) makes the lock unusable, with a reason.
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

    // True when some open of the file other than the caller's own holds the lock.
    static bool isHeldElsewhere(const std::filesystem::path& path);

private:
    std::filesystem::path path_;
    int fd_ = -1;
    std::string failure_;
};

}  // namespace vandrel
