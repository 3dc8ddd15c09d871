// The logger's set-up and the log files.
//
// At launch the app calls LogManager::initLogger() (console and file destinations on the global `log`),
// then LogManager::startLoggingSystem(scheduler): two managers keep logs/debug.log under 512 KiB (its
// oldest half moves to logs/older-debug.log) and older-debug.log under 5 MiB (its oldest half is dropped),
// checking at once and then every hour on the given scheduler.
//
// A trim of debug.log holds the file destination's appends back while it rewrites the file (temporary file
// and rename), so no line is lost or torn. Trims work on bytes: a file that is not valid UTF-8 is trimmed too.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "core/file_destination.h"
#include "core/log.h"
#include "core/popup_msg.h"
#include "rx/disposable.h"
#include "rx/scheduler.h"

namespace vandrel {

class LogManager : public std::enable_shared_from_this<LogManager> {
public:
    using Action = std::function<void(LogManager&)>;

    // The logger (global) -------------------------------------------------------------------------------

    // AppInfo::supportFolderUrl() + "logs", and the two files in it.
    static std::filesystem::path logsDirUrl();
    static std::filesystem::path debugLogFileUrl();
    static std::filesystem::path olderDebugLogFileUrl();
    // The file destination; empty until initLogger() has run.
    static std::shared_ptr<FileDestination> loggingFileDestination();
    static constexpr LogLevel defaultFileLogLevel = LogLevel::debug;

    // The file's lowest level as stored in the settings (app_fileLogMinLevel): "verbose", "debug", "info",
    // "warning" or "error", compared exactly; anything else reads as defaultFileLogLevel. Setting it stores
    // the name only; the running file destination keeps its level.
    static LogLevel fileLogLevel();
    static void setFileLogLevel(LogLevel level);
    static const char* levelName(LogLevel level);

    // Adds the console (debug and above) and the file destination (fileLogLevel() and above) to `log`.
    // Reads the level through Defaults(): a store opened by that first use logs its problems to both.
    // Calling it again replaces the destinations it added before.
    static void initLogger();
    // Toggles the file between every level and the default level, stores the choice and says so through popup
    // (null: popupMsg).
    static void switchToLogAllLevel(const PopupPresenter& popup = {});
    // Creates the logs folder and the two managers, which check on the given scheduler.
    static void startLoggingSystem(rx::SchedulerPtr scheduler);
    // The managers made by startLoggingSystem(), by file path.
    static std::map<std::string, std::shared_ptr<LogManager>> pathToLogManager();

    // One managed file --------------------------------------------------------------------------------------

    // Makes sure the file exists, checks it at once, then every cycleTime seconds on the scheduler.
    // A sizeLimit of 0 means the file is never checked.
    static std::shared_ptr<LogManager> create(std::filesystem::path logUrl, std::uint64_t sizeLimit, double cycleTime,
                                              Action actionWhenOversize, rx::SchedulerPtr scheduler);
    ~LogManager();

    const std::filesystem::path& logUrlToSave() const { return logUrlToSave_; }
    std::uint64_t fileSizeLimit() const { return fileSizeLimit_; }
    std::uint64_t lastCheckingSize() const;
    double checkSizeLimitCycleTime() const { return checkSizeLimitCycleTime_; }

    // One check: reads the size and runs the action when it is over the limit. A failed check is logged;
    // the next one comes as scheduled.
    void loopToCheckFileSize();
    // Cuts the oldest half of the lines (at least one) and rewrites the file with the rest. The cut lines
    // joined by line feeds, with one line feed in front (ready to append to another log), or absent when
    // nothing was cut.
    std::optional<std::string> removeTopHalfContent();

private:
    LogManager(std::filesystem::path logUrl, std::uint64_t sizeLimit, double cycleTime, Action action);

    const std::filesystem::path logUrlToSave_;
    const std::uint64_t fileSizeLimit_;
    const double checkSizeLimitCycleTime_;
    const Action actionWhenFileOverSize_;
    mutable std::mutex mutex_;
    std::uint64_t lastCheckingSize_ = 0;
    rx::Disposable schedule_;
};

}  // namespace vandrel
