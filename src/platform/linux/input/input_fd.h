// An owned file descriptor, closed when dropped.
#pragma once

#include <unistd.h>

#include <utility>

namespace vandrel {

class InputFd {
public:
    InputFd() = default;
    explicit InputFd(int fd) : fd_(fd) {}
    ~InputFd() { reset(); }
    InputFd(InputFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    InputFd& operator=(InputFd&& other) noexcept
    {
        if (this != &other) {
            reset();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    InputFd(const InputFd&) = delete;
    InputFd& operator=(const InputFd&) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    explicit operator bool() const { return valid(); }
    void reset()
    {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_ = -1;
};

}  // namespace vandrel
