#include "storage/stored_data_upkeep.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QTemporaryDir>
#include <fstream>

#include "core/file_helpers.h"
#include "core/log_capture.h"

namespace vandrel {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::modeOf;

class StoredDataUpkeepTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // What an earlier build left under the usual umask.
        const mode_t umask = ::umask(022);
        for (const auto& folder : {config(), data() / "logs", data() / "cache" / "clip", autostart()})
            fs::create_directories(folder);
        for (const auto& file :
             {config() / "settings.json", config() / "settings.json.corrupt-20261209-000000", data() / "default.realm",
              data() / "default.realm-wal", data() / "logs" / "debug.log", data() / "cache" / "clip" / "1.rtf",
              autostart() / "vandrel.desktop", autostart() / "other.desktop"})
            std::ofstream(file) << "x";
        ::umask(umask);
        locations_ = {{config(), data()},
                      {config() / "settings.json", config() / "group-settings.json", data() / "logs" / "debug.log",
                       data() / "logs" / "older-debug.log", autostart() / "vandrel.desktop"}};
    }

    fs::path config() const { return fs::path(dir_.path().toStdString()) / "config" / "Vandrel"; }
    fs::path data() const { return fs::path(dir_.path().toStdString()) / "data" / "Vandrel"; }
    fs::path autostart() const { return fs::path(dir_.path().toStdString()) / "autostart"; }
    void leave(const fs::path& path, std::chrono::seconds age) const
    {
        std::ofstream(path) << "a whole copy";
        fs::last_write_time(path, now_ - age);
    }

    QTemporaryDir dir_;
    StoredDataLocations locations_;
    const fs::file_time_type now_ = fs::file_time_type::clock::now();
};

TEST_F(StoredDataUpkeepTest, OpenFoldersAndFilesAreTightenedWithOneLineAndOnlyOnce)
{
    test::ScopedLogCapture logs;
    const auto done = tidyStoredDataAtStart(locations_, now_);
    for (const auto& folder : {config(), data(), data() / "logs", data() / "cache", data() / "cache" / "clip"})
        EXPECT_EQ(modeOf(folder), 0700u) << folder;
    for (const auto& file : {config() / "settings.json", config() / "settings.json.corrupt-20261209-000000",
                             data() / "default.realm", data() / "default.realm-wal", data() / "logs" / "debug.log",
                             data() / "cache" / "clip" / "1.rtf", autostart() / "vandrel.desktop"})
        EXPECT_EQ(modeOf(file), 0600u) << file;
    EXPECT_EQ(modeOf(autostart()), 0755u) << "the desktop's folder is not ours";
    EXPECT_EQ(modeOf(autostart() / "other.desktop"), 0644u);
    EXPECT_EQ(done.tightened.size(), 12u);
    EXPECT_EQ(logs->count(LogLevel::info), 1u);
    EXPECT_EQ(logs->count(LogLevel::warning), 0u);

    logs->clear();
    EXPECT_TRUE(tidyStoredDataAtStart(locations_, now_).tightened.empty());
    EXPECT_TRUE(logs->entries().empty()) << "nothing to do, nothing said";
}

TEST_F(StoredDataUpkeepTest, StaleTemporaryFilesOfEachWrittenFileAreRemoved)
{
    leave(config() / "settings.json.tmp-Ab12Cd", 2min);
    leave(config() / "group-settings.json.QwErTy", 1h);  // an earlier build's save file
    leave(data() / "logs" / "debug.log.trim-a1b2c3", 2min);
    leave(autostart() / "vandrel.desktop.tmp-zZ9yY8", 2min);
    leave(config() / "settings.json.tmp-Fresh1", 10s);
    leave(autostart() / "other.desktop.tmp-Ab12Cd", 1h);
    leave(config() / "settings.json.backup", 1h);

    test::ScopedLogCapture logs;
    const auto done = tidyStoredDataAtStart(locations_, now_);
    EXPECT_EQ(done.removedTemporaryFiles.size(), 4u);
    for (const auto& gone : {config() / "settings.json.tmp-Ab12Cd", config() / "group-settings.json.QwErTy",
                             data() / "logs" / "debug.log.trim-a1b2c3", autostart() / "vandrel.desktop.tmp-zZ9yY8"})
        EXPECT_FALSE(fs::exists(gone)) << gone;
    for (const auto& kept : {config() / "settings.json.tmp-Fresh1", autostart() / "other.desktop.tmp-Ab12Cd",
                             config() / "settings.json.backup", config() / "settings.json"})
        EXPECT_TRUE(fs::exists(kept)) << kept;
    EXPECT_EQ(logs->count(LogLevel::info), 2u) << "one line for the removals, one for the tightening";
}

TEST_F(StoredDataUpkeepTest, MissingFoldersAreNoProblem)
{
    fs::remove_all(dir_.path().toStdString());
    test::ScopedLogCapture logs;
    const auto done = tidyStoredDataAtStart(locations_, now_);
    EXPECT_TRUE(done.tightened.empty());
    EXPECT_TRUE(done.removedTemporaryFiles.empty());
    EXPECT_TRUE(logs->entries().empty());
}

}  // namespace
}  // namespace vandrel
