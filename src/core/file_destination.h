// The file destination: every line appended to one file (logs/debug.log), in the shared line format with
// the file's three-character labels and no colours. Lines logged through the logger are formatted and written
// on the destination's own thread (see log.h); each is flushed as it is written, so a reader of the file (the
// feedback form) sees it once the logger has written it (log.flush() waits for that).
//
// A file that cannot be opened drops the lines and keeps the reason (openError()); the program goes on.
// Whoever rewrites the file (the log-file trimming) does it inside withFileClosed(), which holds every
// append back until the file is reopened.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "core/log.h"

namespace vandrel {

class LogFileSink;

class FileDestination final : public LogDestination {
public:
    explicit FileDestination(std::filesystem::path file);
    ~FileDestination() override;

    void write(const LogRecord& record) override;

    const std::filesystem::path& path() const { return path_; }
    // Why the file is not open; empty while it is.
    std::string openError() const;

    // Closes the file, runs work, reopens it; appends from other threads wait meanwhile. Returns the reopen
    // error, empty on success. Work must not log: the caller's own log line would wait for itself.
    std::string withFileClosed(const std::function<void()>& work);
    // Opens the file again (for example after it was deleted); returns the error, empty on success.
    std::string reopen();

private:
    std::filesystem::path path_;
    std::shared_ptr<LogFileSink> sink_;
};

}  // namespace vandrel
