// Runs inside the test VM (see run-vm), as root: the files the program writes whole, on a real file system
// that fills up. The disk is a tiny tmpfs mounted for the test.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "core/defaults_keys.h"
#include "core/file_helpers.h"
#include "core/log_capture.h"
#include "core/settings_store.h"
#include "core/xdg_autostart_login_item.h"

namespace vandrel {
namespace {

namespace fs = std::filesystem;
using test::readFile;

std::vector<std::string> names(const fs::path& folder)
{
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(folder)) found.push_back(entry.path().filename().string());
    std::sort(found.begin(), found.end());
    return found;
}

class FullDisk : public ::testing::Test {
protected:
    void SetUp() override
    {
        char mountTemplate[] = "/tmp/vandrel-full-disk.XXXXXX";
        ASSERT_NE(::mkdtemp(mountTemplate), nullptr) << std::strerror(errno);
        disk_ = mountTemplate;
        ASSERT_EQ(::mount("tmpfs", disk_.c_str(), "tmpfs", 0, "size=96k,mode=0700"), 0) << std::strerror(errno);
        mounted_ = true;
    }
    void TearDown() override
    {
        if (mounted_) ::umount(disk_.c_str());
    }

    // Writes a filler file until the disk takes no more.
    void fill()
    {
        const int fd = ::open((disk_ / "filler").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        ASSERT_GE(fd, 0);
        const std::string block(4096, 'f');
        for (;;) {
            const ssize_t n = ::write(fd, block.data(), block.size());
            if (n <= 0) break;
        }
        ::close(fd);
        // Nothing at all fits now.
        const int probe = ::open((disk_ / "probe").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        if (probe >= 0) {
            EXPECT_LT(::write(probe, "x", 1), 1);
            ::close(probe);
            ::unlink((disk_ / "probe").c_str());
        }
    }
    void makeRoom() { fs::remove(disk_ / "filler"); }

    fs::path disk_;
    bool mounted_ = false;
};

TEST_F(FullDisk, SettingsAndTheirCustomSchemeSurviveAWriteThatDoesNotFit)
{
    const fs::path folder = disk_ / "Vandrel";
    SettingsStore store(folder);
    store.set(DefaultsKeys::hotkey_customKeySchemeNames, std::vector<std::string>{"Mine"});
    store.set(DefaultsKeys::hotkey_allCustomKeySchemes,
              std::map<std::string, std::string>{{"Mine", std::string(9000, 's')}});
    ASSERT_TRUE(store.synchronize());
    const std::string before = readFile(folder / "settings.json");
    ASSERT_GT(before.size(), 9000u);

    fill();
    test::ScopedLogCapture logs;
    store.set(DefaultsKeys::feedback_username, std::string(2000, 'u'));
    store.set(DefaultsKeys::clip_thumbnailWidth, std::int64_t{90});
    EXPECT_FALSE(store.synchronize()) << "the failure is reported, not taken for success";
    EXPECT_EQ(readFile(folder / "settings.json"), before) << "the old file stays whole";
    EXPECT_EQ(names(folder), std::vector<std::string>{"settings.json"}) << "no temporary file is left";
    EXPECT_EQ(logs->count(LogLevel::error), 1u);

    makeRoom();
    EXPECT_TRUE(store.synchronize());
    const auto saved = nlohmann::json::parse(readFile(folder / "settings.json"));
    EXPECT_EQ(saved["clip_thumbnailWidth"], 90);
    EXPECT_EQ(saved["hotkey_allCustomKeySchemes"]["Mine"], std::string(9000, 's'));
    EXPECT_EQ(SettingsStore(folder).get(DefaultsKeys::feedback_username), std::string(2000, 'u'));
}

TEST_F(FullDisk, TheLoginItemKeepsItsEntryWhenTheNewOneDoesNotFit)
{
    const fs::path folder = disk_ / "autostart";
    ASSERT_FALSE(XdgAutostartLoginItem(folder, "/usr/bin/vandrel").setStartAtLogin(true).has_value());
    const std::string before = readFile(folder / XdgAutostartLoginItem::entryFileName);

    fill();
    const auto error = XdgAutostartLoginItem(folder, "/opt/" + std::string(8000, 'p')).setStartAtLogin(true);
    ASSERT_TRUE(error.has_value());
    EXPECT_NE(error->find("No space left"), std::string::npos) << *error;
    EXPECT_EQ(readFile(folder / XdgAutostartLoginItem::entryFileName), before);
    EXPECT_EQ(names(folder), std::vector<std::string>{XdgAutostartLoginItem::entryFileName});
}

}  // namespace
}  // namespace vandrel
