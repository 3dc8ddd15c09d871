#include "core/file_destination.h"

#include <spdlog/details/file_helper.h>
#include <spdlog/details/log_msg.h>
#include <spdlog/sinks/base_sink.h>

#include <mutex>

#include "core/log_line_format.h"

namespace vandrel {

// Appends formatted lines to a file, with the sink's lock also guarding the file's replacement.
class LogFileSink final : public spdlog::sinks::base_sink<std::mutex> {
public:
    explicit LogFileSink(std::filesystem::path path) : path_(std::move(path)) { set_pattern("%v"); }

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
        if (isOpen_) {
            try {
                file_.flush();
            } catch (...) {
            }
            file_.close();
            isOpen_ = false;
        }
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
        if (!isOpen_) return;
        spdlog::memory_buf_t buffer;
        formatter_->format(message, buffer);
        try {
            file_.write(buffer);
            file_.flush();
        } catch (...) {
            // A full disk loses lines; it must not stop the caller.
        }
    }

    void flush_() override
    {
        if (!isOpen_) return;
        try {
            file_.flush();
        } catch (...) {
        }
    }

private:
    std::string openLocked()
    {
        if (isOpen_) file_.close();
        try {
            file_.open(path_.string(), false);
            isOpen_ = true;
            openError_.clear();
        } catch (const std::exception& e) {
            isOpen_ = false;
            openError_ = e.what();
        }
        return openError_;
    }

    std::filesystem::path path_;
    spdlog::details::file_helper file_;
    bool isOpen_ = false;
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
