// Writes a file whole: readers and a crash see the old content or the new, never a part, and a write that
// fails at any step leaves the old file in place.
//
// The content goes to "<file>.tmp-XXXXXX" in the same folder (created with the requested mode, whatever the
// umask), is synced to the disk, its size checked against the content, and only then renamed over the file.
// Any failure (creating, writing, syncing, closing, a short file, renaming) removes the temporary file and
// returns the step, the path and the system's reason; the caller logs it (once) and reports the failure.
// Temporary files a kill leaves behind are removed at the next start (removeStaleTemporaryFiles).
//
//   WholeFileWriter writer;
//   if (auto error = writer.write(path, text)) log.error("cannot write ->", *error);
//
// Tests give the writer their own FileWriteCalls to make one step fail as a full disk would.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace vandrel {

// The system calls the writer makes, one virtual per call so a test can make exactly one fail. Each
// behaves as the POSIX call of its name: -1 and errno on failure.
class FileWriteCalls {
public:
    virtual ~FileWriteCalls() = default;
    // mkstemp on the pattern (its trailing XXXXXX replaced by the name made).
    virtual int createTemporary(std::string& pattern);
    virtual ssize_t write(int fd, const char* data, std::size_t size);
    virtual int fsync(int fd);
    virtual int fstat(int fd, struct stat* info);
    virtual int close(int fd);
    virtual int rename(const char* from, const char* to);
};

class WholeFileWriter {
public:
    // What follows "<file name>." in the writer's temporary files.
    static constexpr std::string_view temporaryMarker = "tmp-";
    static constexpr mode_t defaultMode = 0600;

    explicit WholeFileWriter(std::shared_ptr<FileWriteCalls> calls = nullptr);

    // Replaces the file's content; the error (step, path, reason) or nothing on success. The folder must
    // exist. The file ends with exactly `mode`.
    std::optional<std::string> write(const std::filesystem::path& file, std::string_view content,
                                     mode_t mode = defaultMode) const;

private:
    std::shared_ptr<FileWriteCalls> calls_;
};

}  // namespace vandrel
