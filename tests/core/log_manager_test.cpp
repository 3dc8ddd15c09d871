#include "core/log_manager.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QTemporaryDir>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <thread>

#include "core/app_info.h"
#include "core/console_destination.h"
#include "core/defaults.h"
#include "core/defaults_keys.h"
#include "core/file_helpers.h"
#include "core/log_capture.h"
#include "core/popup_msg.h"
#include "core/program_folders.h"
#include "core/string_helpers.h"
#include "rx/virtual_time_scheduler.h"

namespace vandrel {
namespace {

namespace fs = std::filesystem;

// What the file holds once the logger has written every line logged so far (it writes on its own thread).
std::string read(const fs::path& path)
{
    log.flush();
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write(const fs::path& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

std::shared_ptr<ConsoleDestination> installedConsole()
{
    for (const auto& d : log.destinations()) {
        if (auto console = std::dynamic_pointer_cast<ConsoleDestination>(d)) return console;
    }
    return {};
}

class LogManagerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        log.removeAllDestinations();
        useSupportFolder(root() / "data");
        // The logger keeps its level in the user settings, which are process-wide: the test's own.
        installDefaults(std::make_shared<SettingsStore>(root() / "config"));
        fs::create_directories(root() / "files");
    }
    void TearDown() override { log.removeAllDestinations(); }

    fs::path root() const { return fs::path(dir_.path().toStdString()); }
    fs::path file(const std::string& name) const { return root() / "files" / name; }
    // Made at once: the tests count the logger's own errors, apart from the data folder's.
    void useSupportFolder(const fs::path& folder)
    {
        auto folders = ProgramFolders::standard();
        folders.support = folder;
        folders_.install(ProgramFolders::installed(), std::make_shared<const ProgramFolders>(folders));
        AppInfo::supportFolderUrl();
    }

    QTemporaryDir dir_;
    Installations folders_;
    std::vector<std::pair<std::string, double>> popups_;
    const PopupPresenter popup_ = [this](const std::string& message, double time) {
        popups_.emplace_back(message, time);
    };
    std::shared_ptr<rx::VirtualTimeScheduler> scheduler_ = rx::VirtualTimeScheduler::make();
};

TEST_F(LogManagerTest, SwitchBeforeTheLoggerIsSetOnlyStoresTheLevel)
{
    if (LogManager::loggingFileDestination()) GTEST_SKIP() << "the logger was set up by an earlier test";
    LogManager::switchToLogAllLevel(popup_);
    EXPECT_EQ(Defaults().get(DefaultsKeys::app_fileLogMinLevel), "verbose");
}

TEST_F(LogManagerTest, StoredFileLevelIsReadByExactName)
{
    const std::vector<std::pair<std::string, LogLevel>> cases = {
        {"", LogLevel::debug},      {"Verbose", LogLevel::debug}, {"verbose", LogLevel::verbose},
        {"error", LogLevel::error}, {" info", LogLevel::debug},
    };
    for (const auto& [stored, level] : cases) {
        Defaults().set(DefaultsKeys::app_fileLogMinLevel, stored);
        EXPECT_EQ(LogManager::fileLogLevel(), level) << stored;
    }
    LogManager::setFileLogLevel(LogLevel::warning);
    EXPECT_EQ(Defaults().get(DefaultsKeys::app_fileLogMinLevel), "warning");
}

TEST_F(LogManagerTest, TheFileGetsDebugAndAboveInTheLineFormat)
{
    LogManager::initLogger();
    ASSERT_TRUE(LogManager::loggingFileDestination());
    EXPECT_EQ(LogManager::loggingFileDestination()->path(), root() / "data" / "logs" / "debug.log");
    ASSERT_TRUE(installedConsole());
    EXPECT_EQ(installedConsole()->minLevel(), LogLevel::debug);

    log.verbose("a verbose line");
    log.debug("a debug line");
    log.info("hello world", 42);
    log.warning("a warning line");
    log.error("an error line");

    const std::string text = read(LogManager::debugLogFileUrl());
    EXPECT_NE(text.find(">>>> the logger is set <<<<"), std::string::npos);
    EXPECT_EQ(text.find("a verbose line"), std::string::npos);
    EXPECT_NE(text.find("|DEB| "), std::string::npos);
    EXPECT_NE(text.find("|\xEF\xB8\x8FWRN| "), std::string::npos);
    EXPECT_NE(text.find("|ERR| "), std::string::npos);
    EXPECT_EQ(text.find("\x1b["), std::string::npos) << "no colours in the file";
    const std::regex infoLine(
        R"(\d{2}\.\d{2}\.\d{2} \d{2}:\d{2}:\d{2}\.\d{3} \|INF\| \S+ \| log_manager_test\.TestBody:\d+\t\| hello world 42)");
    bool found = false;
    for (const auto& line : lines(text)) found = found || std::regex_match(line, infoLine);
    EXPECT_TRUE(found) << text;
}

TEST_F(LogManagerTest, SwitchAlternatesBetweenVerboseAndDebugFromAnyStoredLevel)
{
    LogManager::setFileLogLevel(LogLevel::error);
    LogManager::initLogger();
    const auto file = LogManager::loggingFileDestination();
    ASSERT_EQ(file->minLevel(), LogLevel::error);

    LogManager::switchToLogAllLevel(popup_);
    EXPECT_EQ(Defaults().get(DefaultsKeys::app_fileLogMinLevel), "verbose");
    EXPECT_EQ(file->minLevel(), LogLevel::verbose);
    log.verbose("now written");
    EXPECT_NE(read(LogManager::debugLogFileUrl()).find("now written"), std::string::npos);

    LogManager::switchToLogAllLevel(popup_);
    EXPECT_EQ(Defaults().get(DefaultsKeys::app_fileLogMinLevel), "debug");
    EXPECT_EQ(file->minLevel(), LogLevel::debug);
    EXPECT_EQ(installedConsole()->minLevel(), LogLevel::debug);

    ASSERT_EQ(popups_.size(), 2u);
    EXPECT_EQ(popups_[0], std::make_pair(std::string("Full Log: ON"), 3.0));
    EXPECT_EQ(popups_[1], std::make_pair(std::string("Full Log: OFF"), 3.0));
}

TEST_F(LogManagerTest, AnUnwritableLogFolderLeavesTheConsoleAndOneError)
{
    const fs::path blocker = root() / "blocker";
    write(blocker, "x");
    useSupportFolder(blocker / "data");
    test::ScopedLogCapture logs;
    LogManager::initLogger();
    LogManager::startLoggingSystem(scheduler_);
    log.info("still running");
    EXPECT_EQ(logs->count(LogLevel::error), 1u);
    EXPECT_TRUE(logs->contains(LogLevel::info, "still running"));
    EXPECT_TRUE(installedConsole());
    EXPECT_FALSE(LogManager::loggingFileDestination()->openError().empty());
}

TEST_F(LogManagerTest, AnOversizedDebugLogMovesItsOldestHalfToTheOlderLog)
{
    fs::create_directories(LogManager::logsDirUrl());
    std::vector<std::string> original;
    std::string text;
    for (int i = 1; i <= 10; ++i) {
        original.push_back("line " + std::to_string(i) + " " + std::string(53000, 'x'));
        text += original.back() + "\n";
    }
    write(LogManager::debugLogFileUrl(), text);

    LogManager::startLoggingSystem(scheduler_);

    std::string kept;
    for (int i = 5; i < 10; ++i) kept += original[i] + "\n";
    EXPECT_EQ(read(LogManager::debugLogFileUrl()), kept);
    std::string moved;
    for (int i = 0; i < 5; ++i) moved += "\n" + original[i];
    EXPECT_EQ(read(LogManager::olderDebugLogFileUrl()), moved);
    EXPECT_EQ(LogManager::pathToLogManager().size(), 2u);
}

TEST_F(LogManagerTest, TrimCutsTheOldestHalfOfTheLinesAtEveryKindOfBreak)
{
    const struct {
        std::string content;
        std::optional<std::string> cut;
        std::string kept;
    } cases[] = {
        {"1\n2\n3\n4\n5\n6\n7\n", "\n1\n2\n3", "4\n5\n6\n7\n"},
        {"a\r\nb\rc\xE2\x80\xA8"
         "d",
         "\na\nb",
         "c\xE2\x80\xA8"
         "d"},
        {"one\xC2\x85two", "\none", "two"},
        {std::string(100, 'z'), "\n" + std::string(100, 'z'), ""},
        {"\xff\xfe bad\n\xc3\x28 also bad\n", "\n\xff\xfe bad", "\xc3\x28 also bad\n"},
        {"", std::nullopt, ""},
        {"\n", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.content);
        const fs::path path = file("trim.log");
        write(path, c.content);
        const auto manager = LogManager::create(path, 0, 3600.0, {}, scheduler_);
        EXPECT_EQ(manager->removeTopHalfContent(), c.cut);
        EXPECT_EQ(read(path), c.content.empty() ? "" : c.kept);
    }
}

TEST_F(LogManagerTest, ChecksRunAtOnceThenEveryCycleAndTrimOnlyAboveTheLimit)
{
    const fs::path path = file("limit.log");
    write(path, std::string(100, 'a'));
    int actions = 0;
    const auto manager = LogManager::create(
        path, 100, 3600.0,
        [&](LogManager& m) {
            ++actions;
            m.removeTopHalfContent();
        },
        scheduler_);
    EXPECT_EQ(actions, 0) << "a file of exactly the limit stays";
    EXPECT_EQ(manager->lastCheckingSize(), 100u);

    std::ofstream(path, std::ios::app) << "b";
    scheduler_->advanceBy(rx::seconds(3599));
    EXPECT_EQ(actions, 0);
    scheduler_->advanceBy(rx::seconds(1));
    EXPECT_EQ(actions, 1);
    EXPECT_EQ(manager->lastCheckingSize(), 101u);
}

TEST_F(LogManagerTest, AFailedCheckDoesNotStopLaterChecks)
{
    const fs::path path = file("gone.log");
    write(path, "small");
    int actions = 0;
    const auto manager = LogManager::create(
        path, 10, 3600.0, [&](LogManager&) { ++actions; }, scheduler_);
    fs::remove(path);
    {
        test::ScopedLogCapture logs;
        scheduler_->advanceBy(rx::seconds(3600));
        EXPECT_EQ(logs->count(LogLevel::error), 1u);
    }
    write(path, std::string(20, 'x'));
    scheduler_->advanceBy(rx::seconds(3600));
    EXPECT_EQ(actions, 1);
}

TEST_F(LogManagerTest, ALimitOfZeroIsNeverCheckedAndAMissingFileIsCreated)
{
    const fs::path big = file("unchecked.log");
    write(big, std::string(1000, 'x'));
    int actions = 0;
    const auto unchecked = LogManager::create(
        big, 0, 3600.0, [&](LogManager&) { ++actions; }, scheduler_);
    EXPECT_EQ(scheduler_->pendingCount(), 0u);
    EXPECT_EQ(unchecked->lastCheckingSize(), 0u);

    const fs::path missing = file("new.log");
    const auto created = LogManager::create(
        missing, 10, 3600.0, [&](LogManager&) { ++actions; }, scheduler_);
    EXPECT_TRUE(fs::exists(missing));
    EXPECT_EQ(created->lastCheckingSize(), 0u);
    EXPECT_EQ(scheduler_->pendingCount(), 1u);
    EXPECT_EQ(actions, 0);
}

TEST_F(LogManagerTest, LinesLoggedDuringTrimsAreNeitherLostNorTorn)
{
    LogManager::initLogger();
    log.removeDestination(installedConsole());
    const auto manager = LogManager::create(LogManager::debugLogFileUrl(), 0, 3600.0, {}, scheduler_);

    constexpr int count = 3000;
    std::atomic<bool> done{false};
    std::thread writer([&] {
        // In batches the queue holds, so no line is dropped for a full queue.
        for (int i = 0; i < count; ++i) {
            log.info("line " + std::to_string(i));
            if (i % 200 == 199) log.flush();
        }
        done = true;
    });
    std::string cuts;
    while (!done) {
        if (auto cut = manager->removeTopHalfContent()) cuts += *cut;
    }
    writer.join();

    const std::string all = cuts + "\n" + read(LogManager::debugLogFileUrl());
    const std::regex wellFormed(R"(\d{2}\.\d{2}\.\d{2} \d{2}:\d{2}:\d{2}\.\d{3} \|\S+\| .*)");
    const std::regex numbered(R"(.*\| line (\d+) $)");
    std::multiset<int> seen;
    for (const auto& line : lines(all)) {
        if (line.empty()) continue;
        ASSERT_TRUE(std::regex_match(line, wellFormed)) << line;
        std::smatch m;
        if (std::regex_match(line, m, numbered)) seen.insert(std::stoi(m[1]));
    }
    ASSERT_EQ(seen.size(), static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) EXPECT_EQ(seen.count(i), 1u) << i;
}

TEST_F(LogManagerTest, TheLogFolderAndFilesAreTheOwnersOnlyWhateverTheUmask)
{
    using test::modeOf;
    const mode_t umask = ::umask(022);
    LogManager::initLogger();
    LogManager::startLoggingSystem(scheduler_);
    log.info("a line");
    EXPECT_EQ(modeOf(LogManager::logsDirUrl()), 0700u);
    EXPECT_EQ(modeOf(LogManager::debugLogFileUrl()), 0600u);
    EXPECT_EQ(modeOf(LogManager::olderDebugLogFileUrl()), 0600u);

    // A log file deleted under the running program comes back for the owner only as well.
    fs::remove(LogManager::debugLogFileUrl());
    LogManager::pathToLogManager().at(LogManager::debugLogFileUrl().string())->loopToCheckFileSize();
    log.info("after the deletion");
    EXPECT_NE(read(LogManager::debugLogFileUrl()).find("after the deletion"), std::string::npos);
    EXPECT_EQ(modeOf(LogManager::debugLogFileUrl()), 0600u);

    // The older log made by the first append of trimmed lines too.
    fs::remove(LogManager::olderDebugLogFileUrl());
    EXPECT_FALSE(appendTo("\nold line", LogManager::olderDebugLogFileUrl()));
    ::umask(umask);
    EXPECT_EQ(modeOf(LogManager::olderDebugLogFileUrl()), 0600u);
}

}  // namespace
}  // namespace vandrel
