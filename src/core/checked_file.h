// Reading a file whose name the program did not choose itself: a path from stored data (a clip's payload, a
// setting) or from listing a folder (desktop entries, thumbnails), or a resource of the installation (icons,
// pages). Such a name may be a pipe with no writer, a device that never ends, a link to either, or a file
// far larger than anything the reader expects.
//
// The file is looked at (stat, or lstat when links are refused) and opened without blocking (O_NONBLOCK,
// O_CLOEXEC, O_NOCTTY; O_NOFOLLOW when links are refused), then checked again on the open descriptor
// (fstat): only a regular file of at most maxBytes is read, and never more than maxBytes of it (a file that
// grows while it is read fails too). Nothing else is opened for long or read: a failure says why, in words
// fit for a log line, and the caller logs it as the failure of that one item.
//
//   const auto read = CheckedFile::read(path, 1024 * 1024);
//   if (!read) log.warning("the desktop entry is not read ->", path.string() + ": " + read.reason);
//
// Thread-safe; touches nothing but the file.
#pragma once

#include <QByteArray>
#include <cstdint>
#include <filesystem>
#include <string>

namespace vandrel {

struct CheckedRead {
    enum class Failure { none, missing, link, notRegular, tooLarge, unreadable };

    QByteArray bytes;  // the whole file when read
    Failure failure = Failure::none;
    std::string reason;  // why it was not read ("a named pipe, not a regular file"); empty when read

    explicit operator bool() const { return failure == Failure::none; }
};

class CheckedFile {
public:
    CheckedFile() = delete;

    enum class Links { follow, refuse };

    static CheckedRead read(const std::filesystem::path& path, std::uint64_t maxBytes, Links links = Links::follow);
};

}  // namespace vandrel
