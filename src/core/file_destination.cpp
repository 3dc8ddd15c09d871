#include "core/file_destination.h"

#include <fcntl.h>
#include <spdlog/details/log_msg.h>
#include <spdlog/sinks/base_sink.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <string_view>

#include "core/log_line_format.h"
#include "core/private_files.h"

namespace vandrel {

// Appends formatted lines to a file, with the sink's lock also guarding the file's replacement. The file is
// opened close-on-exec: no program started from here (a launched application, the evaluator) inherits it.
class LogFileSink final : public spdlog::sinks::base_sink<std::mutex> {
public:
    explicit LogFileSink(std::filesystem::path path) : path_(std::move(path)) { set_pattern("%v"); }
    ~LogFileSink() override { closeFile(); }

    std::string open()
    {
        std::lock_guard lock(mutex_);
        return openLocked();
    }

    std::string openError()
    {
        std::lock_guard lock(mutex_);
        return openError_;
    }

    std::string withFileClosed(const std::function<void()>& work)
    {
        std::lock_guard lock(mutex_);
        closeFile();
        try {
            work();
        } catch (...) {
            // The file must come back whatever the work did.
        }
        return openLocked();
    }

protected:
    void sink_it_(const spdlog::details::log_msg& message) override
    {
        if (fd_ < 0) return;
        spdlog::memory_buf_t buffer;
        formatter_->format(message, buffer);
        // Each line goes out whole in one append; a full disk loses lines, it must not stop the caller.
        std::string_view rest(buffer.data(), buffer.size());
        while (!rest.empty()) {
            const ssize_t n = ::write(fd_, rest.data(), rest.size());
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return;
            rest.remove_prefix(static_cast<std::size_t>(n));
        }
    }

    // Every line is written straight to the file: nothing is held back here.
    void flush_() override {}

private:
    void closeFile()
    {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

    std::string openLocked()
    {
        closeFile();
        if (const auto folderError = createPrivateFolder(path_.parent_path())) {
            openError_ = *folderError;
            return openError_;
        }
        fd_ = ::open(path_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, kPrivateFileMode);
        openError_ = fd_ < 0 ? path_.string() + ": " + std::strerror(errno) : std::string();
        return openError_;
    }

    std::filesystem::path path_;
    int fd_ = -1;
    std::string openError_;
};

FileDestination::FileDestination(std::filesystem::path file)
    : path_(std::move(file)), sink_(std::make_shared<LogFileSink>(path_))
{
    sink_->open();
    startAsync();
}

FileDestination::~FileDestination()
{
    stopAsync();
}

void FileDestination::write(const LogRecord& record)
{
    const std::string line = LogLineFormat::render(record, LogLineFormat::fileLabels);
    const spdlog::details::log_msg message(spdlog::string_view_t("vandrel"), spdlog::level::info,
                                           spdlog::string_view_t(line.data(), line.size()));
    try {
        sink_->log(message);
    } catch (...) {
    }
}

std::string FileDestination::openError() const
{
    return sink_->openError();
}

std::string FileDestination::withFileClosed(const std::function<void()>& work)
{
    return sink_->withFileClosed(work);
}

std::string FileDestination::reopen()
{
    return sink_->open();
}

}  // namespace vandrel
