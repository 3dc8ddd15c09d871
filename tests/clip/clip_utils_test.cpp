// Plain text out of items, cutting text by characters, and the clip folder.
#include "clip/clip_utils.h"

#include <gtest/gtest.h>

#include <fstream>

#include "clip/clip_rig.h"
#include "platform/sim/sim_platform.h"

namespace vandrel {
namespace {

namespace fs = std::filesystem;

TEST(ClipUtilsTest, PlainTextComesFromTheFirstItemThatHasIt)
{
    PasteboardItem image;
    image.setData(PasteboardTypes::png, {1, 2});
    EXPECT_EQ(ClipUtils::getString({image}), std::nullopt);
    EXPECT_EQ(ClipUtils::getString({}), std::nullopt);

    PasteboardItem text;
    text.setString(PasteboardTypes::string, "second");
    EXPECT_EQ(ClipUtils::getString({image, text}), "second");

    PasteboardItem broken;
    broken.setString(PasteboardTypes::string, std::string("ok \xC3 \xFF end"));
    EXPECT_EQ(ClipUtils::getString({broken}), "ok \xEF\xBF\xBD \xEF\xBF\xBD end");
}

TEST(ClipUtilsTest, CharacterPrefixesNeverSplitASequence)
{
    EXPECT_EQ(ClipUtils::prefixOfCharacters("abc", 10), "abc");
    EXPECT_EQ(ClipUtils::prefixOfCharacters("abc", 0), "");
    EXPECT_EQ(ClipUtils::prefixOfCharacters("\xC3\xA9\xC3\xA9", 1), "\xC3\xA9");
    // A character outside the basic plane counts once.
    EXPECT_EQ(ClipUtils::prefixOfCharacters("\xF0\x9F\x98\x80x", 1), "\xF0\x9F\x98\x80");
    EXPECT_EQ(ClipUtils::prefixOfCharacters("a\xE2\x82", 2), "a\xEF\xBF\xBD");
}

TEST(ClipUtilsTest, TheClipFolderIsMadePrivateWithItsParents)
{
    const fs::path root = fs::temp_directory_path() / ("vandrel-clip-utils-" + std::to_string(::getpid()));
    const fs::path folder = root / "a" / "b" / "clip";
    EXPECT_TRUE(ClipUtils::prepareSaveToPath(folder));
    EXPECT_EQ(test::modeOf(folder), 0700u);

    fs::permissions(folder, fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read);
    std::ofstream(folder / "kept.data") << "x";
    EXPECT_TRUE(ClipUtils::prepareSaveToPath(folder));
    EXPECT_EQ(test::modeOf(folder), 0700u);
    EXPECT_TRUE(fs::exists(folder / "kept.data"));

    std::ofstream(root / "file") << "x";
    EXPECT_FALSE(ClipUtils::prepareSaveToPath(root / "file"));

    ClipUtils::deleteData(folder / "kept.data");
    ClipUtils::deleteData(folder / "missing.data");
    EXPECT_FALSE(fs::exists(folder / "kept.data"));
    fs::remove_all(root);
}

TEST(ClipUtilsTest, CopyPostsCommandCThroughThePlatformsPoster)
{
    auto sim = SimPlatform::make();
    PlatformInstallation installed(sim);
    ClipUtils::copy();
    std::vector<std::pair<KeyEventType, std::uint16_t>> keys;
    for (const auto& posted : sim->keyboard().postedEvents())
        keys.emplace_back(posted.event.type, posted.event.keyCode);
    EXPECT_EQ(keys, (std::vector<std::pair<KeyEventType, std::uint16_t>>{{KeyEventType::keyDown, 55},
                                                                         {KeyEventType::keyDown, 8},
                                                                         {KeyEventType::keyUp, 8},
                                                                         {KeyEventType::keyUp, 55}}));
}

}  // namespace
}  // namespace vandrel
