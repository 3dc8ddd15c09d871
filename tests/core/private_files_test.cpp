#include "core/private_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "core/file_helpers.h"

namespace vandrel {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::modeOf;

class PrivateFilesTest : public ::testing::Test {
protected:
    void SetUp() override { previousUmask_ = ::umask(022); }
    void TearDown() override { ::umask(previousUmask_); }

    fs::path root() const { return fs::path(dir_.path().toStdString()); }
    void touch(const fs::path& path, mode_t mode = 0644) const
    {
        std::ofstream(path) << "x";
        ::chmod(path.c_str(), mode);
    }

    QTemporaryDir dir_;
    mode_t previousUmask_ = 022;
};

TEST_F(PrivateFilesTest, FoldersAndFilesAreMadeForTheOwnerOnlyWhateverTheUmask)
{
    const fs::path folder = root() / "share" / "Vandrel" / "cache" / "clip";
    ASSERT_FALSE(createPrivateFolder(folder).has_value());
    for (fs::path p = folder; p != root(); p = p.parent_path()) EXPECT_EQ(modeOf(p), 0700u) << p;
    ASSERT_FALSE(createPrivateFile(folder / "default.realm").has_value());
    EXPECT_EQ(modeOf(folder / "default.realm"), 0600u);

    // A umask that takes the owner's own rights away does not either.
    ::umask(0277);
    ASSERT_FALSE(createPrivateFolder(root() / "strict").has_value());
    ASSERT_FALSE(createPrivateFile(root() / "strict" / "settings.json").has_value());
    EXPECT_EQ(modeOf(root() / "strict"), 0700u);
    EXPECT_EQ(modeOf(root() / "strict" / "settings.json"), 0600u);
}

TEST_F(PrivateFilesTest, ExistingFoldersAndFilesAreLeftAsTheyAreWhenCreatedAgain)
{
    fs::create_directories(root() / "open");
    ::chmod((root() / "open").c_str(), 0755);
    touch(root() / "open" / "debug.log", 0644);
    std::ofstream(root() / "open" / "debug.log") << "kept";
    EXPECT_FALSE(createPrivateFolder(root() / "open").has_value());
    EXPECT_FALSE(createPrivateFile(root() / "open" / "debug.log").has_value());
    EXPECT_EQ(modeOf(root() / "open"), 0755u);
    EXPECT_EQ(fs::file_size(root() / "open" / "debug.log"), 4u);

    touch(root() / "file");
    EXPECT_TRUE(createPrivateFolder(root() / "file" / "below").has_value());
}

// Links, files and folders others can write are refused where the instance channel looks for its folder.
TEST_F(PrivateFilesTest, OnlyAFolderOfTheOwnerThatNoOneElseReachesIsPrivate)
{
    const uid_t me = ::geteuid();
    ::umask(0277);
    EXPECT_EQ(makeOwnPrivateFolder(root() / "own", me), std::nullopt);
    EXPECT_EQ(modeOf(root() / "own"), 0700u) << "whatever the umask";
    EXPECT_EQ(whyNotPrivateFolder(root() / "own", me + 1),
              "it belongs to another user (uid " + std::to_string(me) + ")");
    ::chmod((root() / "own").c_str(), 0755);
    EXPECT_EQ(makeOwnPrivateFolder(root() / "own", me), "other users can look into it (mode 0755)");
}

TEST_F(PrivateFilesTest, TighteningTakesGroupAndOtherAccessAwayBelowEachRootWithoutFollowingLinks)
{
    const fs::path data = root() / "Vandrel";
    fs::create_directories(data / "cache" / "clip");
    ::chmod(data.c_str(), 0755);
    ::chmod((data / "cache").c_str(), 0775);
    touch(data / "default.realm", 0644);
    touch(data / "cache" / "clip" / "1.png", 0666);
    touch(data / "private", 0600);
    touch(data / "script", 0755);
    touch(root() / "outside", 0644);
    fs::create_symlink(root() / "outside", data / "link");

    const auto result = tightenToOwner({data, root() / "missing"});
    EXPECT_TRUE(result.failures.empty());
    EXPECT_EQ(result.tightened.size(), 6u);  // the three folders, default.realm, 1.png, script
    EXPECT_EQ(modeOf(data), 0700u);
    EXPECT_EQ(modeOf(data / "cache"), 0700u);
    EXPECT_EQ(modeOf(data / "default.realm"), 0600u);
    EXPECT_EQ(modeOf(data / "cache" / "clip" / "1.png"), 0600u);
    EXPECT_EQ(modeOf(data / "script"), 0700u) << "the owner keeps what the owner had";
    EXPECT_EQ(modeOf(root() / "outside"), 0644u) << "a link is not followed";

    EXPECT_TRUE(tightenToOwner({data}).tightened.empty()) << "a second start finds nothing to do";
}

TEST_F(PrivateFilesTest, OnlyOurOwnTemporaryNamesCount)
{
    EXPECT_TRUE(isOwnTemporaryName("settings.json.tmp-a1B2c3", "settings.json"));
    EXPECT_TRUE(isOwnTemporaryName("debug.log.trim-Zz09aa", "debug.log"));
    EXPECT_TRUE(isOwnTemporaryName("settings.json.aBcdEf", "settings.json"));  // earlier builds' naming

    EXPECT_FALSE(isOwnTemporaryName("settings.json", "settings.json"));
    EXPECT_FALSE(isOwnTemporaryName("settings.json.backup", "settings.json")) << "a user's own copy";
    EXPECT_FALSE(isOwnTemporaryName("settings.json.corrupt-20261209-010203", "settings.json"));
    EXPECT_FALSE(isOwnTemporaryName("settings.json.tmp-a1B2c", "settings.json"));
    EXPECT_FALSE(isOwnTemporaryName("settings.json.tmp-a1B2c34", "settings.json"));
    EXPECT_FALSE(isOwnTemporaryName("settings.json.tmp-a1B.c3", "settings.json"));
    EXPECT_FALSE(isOwnTemporaryName("group-settings.json.tmp-a1B2c3", "settings.json"));
    EXPECT_FALSE(isOwnTemporaryName("settings.jsonXtmp-a1B2c3", "settings.json"));
}

TEST_F(PrivateFilesTest, StaleTemporaryFilesAreRemovedAndFreshOnesAndOthersKept)
{
    const auto now = fs::file_time_type::clock::now();
    const auto age = [&](const std::string& name, std::chrono::seconds old) {
        touch(root() / name);
        fs::last_write_time(root() / name, now - old);
    };
    age("settings.json.tmp-a1B2c3", 61s);
    age("settings.json.QwErTy", 3600s);
    age("settings.json.tmp-fresh1", 30s);  // another instance may be writing it right now
    age("settings.json.backup", 3600s);
    age("settings.json", 3600s);
    age("vandrel.desktop.tmp-zzzzzz", 61s);
    fs::create_directory(root() / "settings.json.tmp-dir123");
    fs::last_write_time(root() / "settings.json.tmp-dir123", now - 3600s);

    auto removed = removeStaleTemporaryFiles(root(), {"settings.json"}, now);
    std::sort(removed.begin(), removed.end());
    EXPECT_EQ(removed, (std::vector<fs::path>{root() / "settings.json.QwErTy", root() / "settings.json.tmp-a1B2c3"}));
    for (const char* kept : {"settings.json.tmp-fresh1", "settings.json.backup", "settings.json",
                             "vandrel.desktop.tmp-zzzzzz", "settings.json.tmp-dir123"})
        EXPECT_TRUE(fs::exists(root() / kept)) << kept;
    EXPECT_TRUE(removeStaleTemporaryFiles(root() / "missing", {"settings.json"}, now).empty());
}

}  // namespace
}  // namespace vandrel
