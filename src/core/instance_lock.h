// The running program's mark: an exclusive lock (flock) on one file, held from start-up until the process
// ends; the kernel lets it go when the process dies, so a crash leaves no stale mark. The login-item helper
// probes it to tell whether the program runs.
//
//   InstanceLock lock(InstanceLock::standardPath());
//   if (!lock.tryAcquire()) ... another instance runs
//   InstanceLock::isHeldElsewhere(InstanceLock::standardPath())   // the helper's question
//
// The file is $XDG_RUNTIME_DIR/vandrel.lock (a private folder of the user's session), or
// /tmp/vandrel-<uid>.lock without one. A file that cannot be opened counts as not held (logged).
#pragma once

#include <filesystem>

namespace vandrel {

class InstanceLock {
public:
    static std::filesystem::path standardPath();

    explicit InstanceLock(std::filesystem::path path);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // True when this object holds the lock now (also when it held it already).
    bool tryAcquire();
    bool isHeld() const { return fd_ >= 0; }
    void release();
    const std::filesystem::path& path() const { return path_; }

    // True when some open of the file other than the caller's own holds the lock.
    static bool isHeldElsewhere(const std::filesystem::path& path);

private:
    std::filesystem::path path_;
    int fd_ = -1;
};

}  // namespace vandrel
