#include "core/app_info.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "core/defaults.h"
#include "core/defaults_keys.h"
#include "core/failing_write_calls.h"
#include "core/file_helpers.h"
#include "core/log_capture.h"
#include "core/program_folders.h"
#include "core/xdg_autostart_login_item.h"

namespace vandrel {
namespace {

namespace fs = std::filesystem;

class FailingLoginItem final : public LoginItemService {
public:
    std::optional<std::string> setStartAtLogin(bool) override { return "no session manager"; }
};

class AppInfoTest : public ::testing::Test {
protected:
    fs::path root() const { return fs::path(dir_.path().toStdString()); }
    void useSupportFolder(const fs::path& folder)
    {
        auto folders = ProgramFolders::standard();
        folders.support = folder;
        folders_.install(ProgramFolders::installed(), std::make_shared<const ProgramFolders>(folders));
    }

    QTemporaryDir dir_;
    Installations folders_;
};

TEST_F(AppInfoTest, VersionsComeFromTheBuildWithBundleFallbacks)
{
    EXPECT_EQ(AppInfo::vdVersion().toString(), VDVersion(AppInfo::version()).toString());
    EXPECT_EQ(AppInfo::releaseVersionNumber(""), "0.0.0");
    EXPECT_EQ(AppInfo::buildVersionNumber(""), "0");
    EXPECT_EQ(AppInfo::releaseVersionNumber("2.1"), "2.1");
}

TEST_F(AppInfoTest, DataFoldersAreCreatedOnUse)
{
    const char* saved = std::getenv("XDG_DATA_HOME");
    const std::string savedValue = saved ? saved : "";
    setenv("XDG_DATA_HOME", "/somewhere/data", 1);
    EXPECT_EQ(AppInfo::standardSupportFolder(), fs::path("/somewhere/data/Vandrel"));
    setenv("XDG_DATA_HOME", "relative/path", 1);  // not absolute: ignored
    setenv("HOME", "/home/someone", 1);
    EXPECT_EQ(AppInfo::standardSupportFolder(), fs::path("/home/someone/.local/share/Vandrel"));
    if (saved) {
        setenv("XDG_DATA_HOME", savedValue.c_str(), 1);
    } else {
        unsetenv("XDG_DATA_HOME");
    }

    const mode_t umask = ::umask(022);
    useSupportFolder(root() / "data");
    EXPECT_EQ(AppInfo::supportFolderUrl(), root() / "data");
    EXPECT_TRUE(fs::is_directory(root() / "data"));
    EXPECT_EQ(AppInfo::clipCacheFolderUrl(), root() / "data" / "cache" / "clip");
    ::umask(umask);
    EXPECT_TRUE(fs::is_directory(root() / "data" / "cache" / "clip"));
    for (const fs::path& folder : {root() / "data", root() / "data" / "cache", root() / "data" / "cache" / "clip"})
        EXPECT_EQ(test::modeOf(folder), 0700u) << folder;
}

TEST_F(AppInfoTest, AFolderThatCannotBeMadeIsLoggedAndStillGiven)
{
    std::ofstream(root() / "blocker") << "x";
    test::ScopedLogCapture logs;
    useSupportFolder(root() / "blocker" / "data");
    EXPECT_EQ(AppInfo::clipCacheFolderUrl(), root() / "blocker" / "data" / "cache" / "clip");
    EXPECT_EQ(logs->count(LogLevel::error), 2u);
}

TEST_F(AppInfoTest, AFailedLoginItemCallKeepsTheSetting)
{
    Defaults().set(DefaultsKeys::app_isStartAtLogin, true);
    test::ScopedLogCapture logs;
    AppInfo::switchStartAtLogin(false, std::make_shared<FailingLoginItem>());
    EXPECT_TRUE(logs->contains(LogLevel::warning, "Failed to add login item."));
    EXPECT_TRUE(Defaults().get(DefaultsKeys::app_isStartAtLogin));
}

TEST_F(AppInfoTest, TheAutostartEntryIsWrittenAndRemoved)
{
    const fs::path folder = root() / "autostart";
    auto item = std::make_shared<XdgAutostartLoginItem>(folder, "/opt/my apps/van%drel");
    test::ScopedLogCapture logs;

    AppInfo::switchStartAtLogin(true, item);
    EXPECT_TRUE(logs->contains(LogLevel::info, "Added login item."));
    EXPECT_TRUE(Defaults().get(DefaultsKeys::app_isStartAtLogin));
    std::ifstream in(folder / "vandrel.desktop");
    const std::string entry{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_EQ(entry.rfind("[Desktop Entry]\n", 0), 0u);
    EXPECT_NE(entry.find("Type=Application\n"), std::string::npos);
    EXPECT_NE(entry.find("Exec=\"/opt/my apps/van%%drel\"\n"), std::string::npos) << entry;
    // TryExec is the bare path; a backslash or a line break in it is escaped there as in Exec.
    EXPECT_NE(entry.find("TryExec=/opt/my apps/van%drel\n"), std::string::npos) << entry;
    const auto odd = XdgAutostartLoginItem(folder, "/opt/a\\b\nc").entryText();
    EXPECT_NE(odd.find("\nExec=\"/opt/a\\\\\\\\b\\nc\"\nTryExec=/opt/a\\\\b\\nc\n"), std::string::npos) << odd;

    AppInfo::switchStartAtLogin(false, item);
    EXPECT_TRUE(logs->contains(LogLevel::info, "Removed login item."));
    EXPECT_FALSE(fs::exists(folder / "vandrel.desktop"));
    EXPECT_FALSE(Defaults().get(DefaultsKeys::app_isStartAtLogin));
    // Removing what is not there is no failure.
    AppInfo::switchStartAtLogin(false, item);
    EXPECT_EQ(logs->count(LogLevel::warning), 0u);

    // At launch the entry is written again only while the setting is on: then it names this program's helper.
    AppInfo::renewLoginItem(item);
    EXPECT_FALSE(fs::exists(folder / "vandrel.desktop"));
    Defaults().set(DefaultsKeys::app_isStartAtLogin, true);
    AppInfo::renewLoginItem(item);
    EXPECT_TRUE(fs::exists(folder / "vandrel.desktop"));
}

TEST_F(AppInfoTest, AFailedEntryWriteKeepsTheEarlierEntryAndIsReported)
{
    const fs::path folder = root() / "autostart";
    auto calls = std::make_shared<test::FailingWriteCalls>();
    auto item = std::make_shared<XdgAutostartLoginItem>(folder, "/usr/bin/vandrel", WholeFileWriter(calls));
    ASSERT_FALSE(item->setStartAtLogin(true).has_value());
    std::ifstream in(item->entryPath());
    const std::string before{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};

    auto moved = std::make_shared<XdgAutostartLoginItem>(folder, "/opt/vandrel", WholeFileWriter(calls));
    calls->failAt(test::FailingWriteCalls::Step::partialWrite);
    Defaults().set(DefaultsKeys::app_isStartAtLogin, false);
    test::ScopedLogCapture logs;
    AppInfo::switchStartAtLogin(true, moved);
    EXPECT_TRUE(logs->contains(LogLevel::warning, "Failed to add login item."));
    EXPECT_FALSE(Defaults().get(DefaultsKeys::app_isStartAtLogin));
    std::ifstream again(item->entryPath());
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(again), std::istreambuf_iterator<char>()), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
}

TEST_F(AppInfoTest, TheAutostartEntryRunsTheHelperBesideTheProgramOrTheInstalledOne)
{
    const fs::path bin = root() / "bin";
    fs::create_directories(bin);
    std::ofstream(bin / "vandrel") << "";
    test::ScopedLogCapture logs;
    EXPECT_EQ(XdgAutostartLoginItem::loginExecutableFor(bin / "vandrel"), bin / "vandrel");
    EXPECT_EQ(logs->count(LogLevel::warning), 1u);

    std::ofstream(bin / "vandrel-helper") << "#!/bin/sh\n";
    EXPECT_EQ(XdgAutostartLoginItem::loginExecutableFor(bin / "vandrel"), bin / "vandrel") << "not executable";
    fs::permissions(bin / "vandrel-helper", fs::perms::owner_all);
    EXPECT_EQ(XdgAutostartLoginItem::loginExecutableFor(bin / "vandrel"), bin / "vandrel-helper");

    // Installed: the helper under libexec/vandrel/.
    const fs::path helpers = root() / "libexec" / "vandrel";
    fs::create_directories(helpers);
    fs::rename(bin / "vandrel-helper", helpers / "vandrel-helper");
    EXPECT_EQ(XdgAutostartLoginItem::loginExecutableFor(bin / "vandrel"), helpers / "vandrel-helper");
}

}  // namespace
}  // namespace vandrel
