#include "core/whole_file_writer.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vandrel {

int FileWriteCalls::createTemporary(std::string& pattern)
{
    return ::mkostemp(pattern.data(), O_CLOEXEC);
}

ssize_t FileWriteCalls::write(int fd, const char* data, std::size_t size)
{
    return ::write(fd, data, size);
}

int FileWriteCalls::fsync(int fd)
{
    return ::fsync(fd);
}

int FileWriteCalls::fstat(int fd, struct stat* info)
{
    return ::fstat(fd, info);
}

int FileWriteCalls::close(int fd)
{
    return ::close(fd);
}

int FileWriteCalls::rename(const char* from, const char* to)
{
    return ::rename(from, to);
}

namespace {

std::string failure(const char* step, const std::filesystem::path& file, int error)
{
    return std::string(step) + " " + file.string() + ": " + std::strerror(error);
}

// Syncs the folder so the rename itself survives a power loss. The new content is in place already, so a
// folder that cannot be synced is no failure of the write.
void syncFolder(const std::filesystem::path& folder, FileWriteCalls& calls)
{
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    calls.fsync(fd);
    ::close(fd);
}

}  // namespace

WholeFileWriter::WholeFileWriter(std::shared_ptr<FileWriteCalls> calls)
    : calls_(calls ? std::move(calls) : std::make_shared<FileWriteCalls>())
{
}

std::optional<std::string> WholeFileWriter::write(const std::filesystem::path& file, std::string_view content,
                                                  mode_t mode) const
{
    FileWriteCalls& calls = *calls_;
    std::string temporary = file.string() + "." + std::string(temporaryMarker) + "XXXXXX";
    int fd = calls.createTemporary(temporary);
    if (fd < 0) return failure("cannot create a temporary file for", file, errno);

    std::optional<std::string> error;
    const auto fail = [&](const char* step) {
        if (!error) error = failure(step, file, errno);
    };
    if (::fchmod(fd, mode) != 0) fail("cannot set the mode of");

    std::string_view rest = content;
    while (!error && !rest.empty()) {
        const ssize_t n = calls.write(fd, rest.data(), rest.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            fail("cannot write");
        } else if (n == 0) {
            errno = ENOSPC;  // no progress and no reason: the disk took nothing
            fail("cannot write");
        } else {
            rest.remove_prefix(static_cast<std::size_t>(n));
        }
    }
    if (!error && calls.fsync(fd) != 0) fail("cannot sync");
    if (!error) {
        struct stat written {};
        if (calls.fstat(fd, &written) != 0) {
            fail("cannot check the size of");
        } else if (static_cast<std::size_t>(written.st_size) != content.size()) {
            error = "the written size of " + file.string() + " is " + std::to_string(written.st_size) +
                    " bytes instead of " + std::to_string(content.size());
        }
    }
    // close() reports what the disk refused late (NFS, quota); its failure counts like any other.
    if (calls.close(fd) != 0) fail("cannot close");
    if (!error && calls.rename(temporary.c_str(), file.c_str()) != 0) fail("cannot replace");
    if (error) {
        ::unlink(temporary.c_str());
        return error;
    }
    syncFolder(file.parent_path(), calls);
    return std::nullopt;
}

}  // namespace vandrel
