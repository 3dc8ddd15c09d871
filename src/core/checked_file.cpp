#include "core/checked_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vandrel {

namespace {

std::string sizeText(std::uint64_t bytes)
{
    if (bytes >= 1024 * 1024 && bytes % (1024 * 1024) == 0) return std::to_string(bytes / (1024 * 1024)) + " MB";
    if (bytes >= 1024 && bytes % 1024 == 0) return std::to_string(bytes / 1024) + " KB";
    return std::to_string(bytes) + " bytes";
}

CheckedRead failed(CheckedRead::Failure failure, std::string reason)
{
    CheckedRead read;
    read.failure = failure;
    read.reason = std::move(reason);
    return read;
}

CheckedRead failedWith(int error)
{
    return failed(error == ENOENT ? CheckedRead::Failure::missing : CheckedRead::Failure::unreadable,
                  std::strerror(error));
}

// What a file is not, when it is no regular file.
std::string kindText(mode_t mode)
{
    if (S_ISDIR(mode)) return "a folder, not a regular file";
    if (S_ISFIFO(mode)) return "a named pipe, not a regular file";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device, not a regular file";
    if (S_ISSOCK(mode)) return "a socket, not a regular file";
    if (S_ISLNK(mode)) return "a symbolic link, which is not followed";
    return "not a regular file";
}

// A regular file of at most maxBytes, or why not.
CheckedRead checkedKind(const struct stat& info, std::uint64_t maxBytes)
{
    if (S_ISLNK(info.st_mode)) return failed(CheckedRead::Failure::link, kindText(info.st_mode));
    if (!S_ISREG(info.st_mode)) return failed(CheckedRead::Failure::notRegular, kindText(info.st_mode));
    if (static_cast<std::uint64_t>(info.st_size) > maxBytes)
        return failed(CheckedRead::Failure::tooLarge, "larger than " + sizeText(maxBytes));
    return {};
}

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor()
    {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

private:
    const int fd_;
};

}  // namespace

CheckedRead CheckedFile::read(const std::filesystem::path& path, std::uint64_t maxBytes, Links links)
{
    // A look before opening: opening a device can act on it (a tape rewinds, a modem line wakes).
    struct stat info {};
    const int looked = links == Links::refuse ? ::lstat(path.c_str(), &info) : ::stat(path.c_str(), &info);
    if (looked != 0) return failedWith(errno);
    if (auto refused = checkedKind(info, maxBytes); !refused) return refused;

    int flags = O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
    if (links == Links::refuse) flags |= O_NOFOLLOW;
    const Descriptor fd(::open(path.c_str(), flags));
    if (fd.get() < 0) {
        const int error = errno;
        if (error == ELOOP && links == Links::refuse) return failed(CheckedRead::Failure::link, kindText(S_IFLNK));
        return failedWith(error);
    }
    // What was opened may have been swapped in after the look.
    if (::fstat(fd.get(), &info) != 0) return failedWith(errno);
    if (auto refused = checkedKind(info, maxBytes); !refused) return refused;

    CheckedRead read;
    read.bytes.reserve(static_cast<qsizetype>(info.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return failedWith(errno);
        if (n == 0) break;
        if (static_cast<std::uint64_t>(read.bytes.size()) + static_cast<std::uint64_t>(n) > maxBytes)
            return failed(CheckedRead::Failure::tooLarge, "larger than " + sizeText(maxBytes));
        read.bytes.append(buffer, n);
    }
    return read;
}

}  // namespace vandrel
