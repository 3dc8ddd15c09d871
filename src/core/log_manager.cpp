#include "core/log_manager.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <string_view>
#include <system_error>
#include <vector>

#include "core/app_info.h"
#include "core/console_destination.h"
#include "core/defaults.h"
#include "core/defaults_keys.h"
#include "core/popup_msg.h"
#include "core/private_files.h"
#include "core/string_helpers.h"

namespace vandrel {

namespace fs = std::filesystem;

namespace {

struct LoggerSetup {
    std::mutex mutex;
    std::shared_ptr<ConsoleDestination> console;
    std::shared_ptr<FileDestination> file;
    std::map<std::string, std::shared_ptr<LogManager>> managers;
    bool logFolderProblemReported = false;
};

LoggerSetup& setup()
{
    static LoggerSetup instance;
    return instance;
}

// Serialises every rewrite of and append to a managed file, so the two managers never cross on
// older-debug.log. Nothing may log while holding it.
std::mutex& fileOperations()
{
    static std::mutex mutex;
    return mutex;
}

std::string errnoText(const fs::path& path, int error)
{
    return path.string() + ": " + std::strerror(error);
}

// Replaces the file's content through a temporary file in the same folder and a rename, so a reader or a
// crash sees the old content or the new, never a mix. The error, empty on success. Does not log.
std::string replaceFileContent(const fs::path& path, std::string_view content)
{
    std::string pattern = path.string() + ".trim-XXXXXX";
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) return errnoText(pattern, errno);
    struct stat original {};
    if (::stat(path.c_str(), &original) == 0) ::fchmod(fd, original.st_mode & 07777);
    std::string_view rest = content;
    while (!rest.empty()) {
        const ssize_t n = ::write(fd, rest.data(), rest.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int error = errno;
            ::close(fd);
            ::unlink(pattern.c_str());
            return errnoText(path, error);
        }
        rest.remove_prefix(static_cast<std::size_t>(n));
    }
    if (::close(fd) != 0 || ::rename(pattern.c_str(), path.c_str()) != 0) {
        const int error = errno;
        ::unlink(pattern.c_str());
        return errnoText(path, error);
    }
    return {};
}

// The trim itself, on bytes. Does not log; a failed rewrite is reported in failure.
std::optional<std::string> cutTopHalf(const fs::path& path, std::string& failure)
{
    const auto read = readWholeFile(path);
    if (!read) return std::nullopt;
    const std::string& content = *read;

    const auto ranges = lineRanges(content);
    const std::size_t n = ranges.size();
    if (n == 0) return std::nullopt;
    const std::size_t h = n == 1 ? 1 : n / 2;

    std::string cut;
    for (std::size_t i = 0; i < h; ++i) {
        if (i > 0) cut += '\n';
        cut.append(content, ranges[i].begin, ranges[i].end - ranges[i].begin);
    }
    // The kept lines stay byte for byte, their final line break included: the next appended line must
    // start on a line of its own.
    const std::string_view kept = h < n ? std::string_view(content).substr(ranges[h].begin) : std::string_view();
    failure = replaceFileContent(path, kept);
    if (!failure.empty()) return std::nullopt;
    return cut.empty() ? cut : "\n" + cut;
}

LogLevel levelFromName(std::string_view name)
{
    if (name == "verbose") return LogLevel::verbose;
    if (name == "debug") return LogLevel::debug;
    if (name == "info") return LogLevel::info;
    if (name == "warning") return LogLevel::warning;
    if (name == "error") return LogLevel::error;
    return LogManager::defaultFileLogLevel;
}

std::string cycleText(double seconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", seconds);
    return text;
}

}  // namespace

fs::path LogManager::logsDirUrl()
{
    return AppInfo::supportFolderUrl() / "logs";
}
fs::path LogManager::debugLogFileUrl()
{
    return logsDirUrl() / "debug.log";
}
fs::path LogManager::olderDebugLogFileUrl()
{
    return logsDirUrl() / "older-debug.log";
}

std::shared_ptr<FileDestination> LogManager::loggingFileDestination()
{
    auto& s = setup();
    std::lock_guard lock(s.mutex);
    return s.file;
}

const char* LogManager::levelName(LogLevel level)
{
    switch (level) {
        case LogLevel::verbose:
            return "verbose";
        case LogLevel::debug:
            return "debug";
        case LogLevel::info:
            return "info";
        case LogLevel::warning:
            return "warning";
        case LogLevel::error:
            return "error";
    }
    return "debug";
}

LogLevel LogManager::fileLogLevel()
{
    return levelFromName(Defaults().get(DefaultsKeys::app_fileLogMinLevel));
}

void LogManager::setFileLogLevel(LogLevel level)
{
    Defaults().set(DefaultsKeys::app_fileLogMinLevel, std::string(levelName(level)));
}

void LogManager::initLogger()
{
    auto& s = setup();
    std::shared_ptr<ConsoleDestination> oldConsole;
    std::shared_ptr<FileDestination> oldFile;
    {
        std::lock_guard lock(s.mutex);
        oldConsole = std::move(s.console);
        oldFile = std::move(s.file);
    }
    if (oldConsole) log.removeDestination(oldConsole);
    if (oldFile) log.removeDestination(oldFile);

    // The console first and the file at its default level, so that problems met while finding the data
    // folder and reading the settings (which hold the file's level) are logged too.
    auto console = std::make_shared<ConsoleDestination>();
    console->setMinLevel(LogLevel::debug);
    log.addDestination(console);
    // The logs name applications, windows and keys: folder and file are made for the owner only before the
    // destination opens (and would otherwise create) them. A failure shows in the destination's open error.
    if (!createPrivateFolder(logsDirUrl())) createPrivateFile(debugLogFileUrl());
    auto file = std::make_shared<FileDestination>(debugLogFileUrl());
    file->setMinLevel(defaultFileLogLevel);
    const std::string openError = file->openError();
    {
        std::lock_guard lock(s.mutex);
        s.console = console;
        s.file = file;
        s.logFolderProblemReported = !openError.empty();
    }
    log.addDestination(file);
    if (!openError.empty()) {
        log.error("cannot write the log file; logging goes on to the console only ->", openError);
    }
    file->setMinLevel(fileLogLevel());
    log.info(">>>> the logger is set <<<<");
}

void LogManager::switchToLogAllLevel(const PopupPresenter& popup)
{
    const PopupPresenter say = popup ? popup : PopupPresenter(&popupMsg);
    const auto file = loggingFileDestination();
    if (fileLogLevel() != LogLevel::verbose) {
        setFileLogLevel(LogLevel::verbose);
        if (file) file->setMinLevel(LogLevel::verbose);
        say("Full Log: ON", 3.0);
        log.info("switched to full log mode");
    } else {
        if (file) file->setMinLevel(defaultFileLogLevel);
        setFileLogLevel(defaultFileLogLevel);
        say("Full Log: OFF", 3.0);
        log.info("switched to default log mode ->", static_cast<int>(defaultFileLogLevel));
    }
}

void LogManager::startLoggingSystem(rx::SchedulerPtr scheduler)
{
    auto& s = setup();
    const fs::path folder = logsDirUrl();
    if (const auto folderError = createPrivateFolder(folder)) {
        // Without the folder there is nothing to keep small; say so once.
        bool reported = false;
        {
            std::lock_guard lock(s.mutex);
            reported = s.logFolderProblemReported;
            s.logFolderProblemReported = true;
        }
        if (!reported) log.error("cannot create the logs folder; log files are off ->", *folderError);
        return;
    }

    auto older = create(
        olderDebugLogFileUrl(), 0x500000, 3600.0,
        [](LogManager& manager) {
            log.info("cleaned older-debug.log, file size before clean ->", byteCountText(manager.lastCheckingSize()));
            manager.removeTopHalfContent();
        },
        scheduler);
    const fs::path olderPath = older->logUrlToSave();
    auto debug = create(
        debugLogFileUrl(), 0x80000, 3600.0,
        [olderPath](LogManager& manager) {
            log.info("cleaned debug.log, file size before clean ->", byteCountText(manager.lastCheckingSize()));
            const auto cut = manager.removeTopHalfContent();
            if (!cut) return;
            std::error_code appendError;
            {
                std::lock_guard lock(fileOperations());
                appendError = appendTo(*cut, olderPath);
            }
            if (appendError) log.error(olderPath.string() + ": " + appendError.message());
        },
        scheduler);

    std::map<std::string, std::shared_ptr<LogManager>> replaced;
    {
        std::lock_guard lock(s.mutex);
        replaced = s.managers;  // dropped outside the lock
        s.managers[older->logUrlToSave().string()] = older;
        s.managers[debug->logUrlToSave().string()] = debug;
    }
}

std::map<std::string, std::shared_ptr<LogManager>> LogManager::pathToLogManager()
{
    auto& s = setup();
    std::lock_guard lock(s.mutex);
    return s.managers;
}

LogManager::LogManager(fs::path logUrl, std::uint64_t sizeLimit, double cycleTime, Action action)
    : logUrlToSave_(std::move(logUrl)),
      fileSizeLimit_(sizeLimit),
      checkSizeLimitCycleTime_(cycleTime),
      actionWhenFileOverSize_(std::move(action))
{
}

LogManager::~LogManager()
{
    schedule_.dispose();
}

std::shared_ptr<LogManager> LogManager::create(fs::path logUrl, std::uint64_t sizeLimit, double cycleTime,
                                               Action actionWhenOversize, rx::SchedulerPtr scheduler)
{
    std::shared_ptr<LogManager> manager(
        new LogManager(std::move(logUrl), sizeLimit, cycleTime, std::move(actionWhenOversize)));
    const fs::path& path = manager->logUrlToSave_;

    if (createPrivateFile(path)) log.error("log file dosen't exist, and create fail -> ", path.string());
    log.info("a logManager created. path, maxSize, cycleTime ->",
             std::vector<std::string>{path.string(), byteCountText(sizeLimit), cycleText(cycleTime)});

    if (sizeLimit == 0) return manager;
    manager->loopToCheckFileSize();
    if (scheduler && std::isfinite(cycleTime) && cycleTime > 0) {
        const std::weak_ptr<LogManager> weak = manager;
        manager->schedule_ = scheduler->schedulePeriodic(rx::seconds(cycleTime), [weak] {
            if (const auto self = weak.lock()) self->loopToCheckFileSize();
        });
    }
    return manager;
}

std::uint64_t LogManager::lastCheckingSize() const
{
    std::lock_guard lock(mutex_);
    return lastCheckingSize_;
}

void LogManager::loopToCheckFileSize()
{
    if (fileSizeLimit_ == 0) return;
    std::error_code ec;
    const std::uint64_t size = fs::file_size(logUrlToSave_, ec);
    if (ec) {
        log.error(logUrlToSave_.string() + ": " + ec.message());
        // The file destination goes on writing into a deleted file; have it make the file again.
        const auto destination = loggingFileDestination();
        if (destination && destination->path() == logUrlToSave_ && ec == std::errc::no_such_file_or_directory) {
            createPrivateFile(logUrlToSave_);
            destination->reopen();
        }
        return;
    }
    {
        std::lock_guard lock(mutex_);
        lastCheckingSize_ = size;
    }
    if (size > fileSizeLimit_ && actionWhenFileOverSize_) actionWhenFileOverSize_(*this);
    log.info("size of " + logUrlToSave_.filename().string() + " -> " + byteCountText(size));
}

std::optional<std::string> LogManager::removeTopHalfContent()
{
    std::optional<std::string> cut;
    std::string failure;
    const auto trim = [&] {
        std::lock_guard lock(fileOperations());
        cut = cutTopHalf(logUrlToSave_, failure);
    };
    const auto destination = loggingFileDestination();
    if (destination && destination->path() == logUrlToSave_) {
        // Appends wait while the file is rewritten, then go to the new file.
        const std::string reopenError = destination->withFileClosed(trim);
        if (!reopenError.empty()) log.error("cannot reopen the log file ->", reopenError);
    } else {
        trim();
    }
    if (!failure.empty()) log.error(failure);
    return cut;
}

}  // namespace vandrel
