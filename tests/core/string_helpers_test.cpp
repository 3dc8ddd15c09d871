#include "core/string_helpers.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <fstream>
#include <iterator>

namespace vandrel {
namespace {

namespace fs = std::filesystem;

std::string read(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(StringHelpersTest, AppendAddsToTheEndOrWritesANewFile)
{
    QTemporaryDir dir;
    const fs::path file = fs::path(dir.path().toStdString()) / "older.log";
    EXPECT_FALSE(appendTo("\nfirst", file));
    EXPECT_FALSE(appendTo("\nsecond", file));
    EXPECT_EQ(read(file), "\nfirst\nsecond");

    const auto error = appendTo("x", fs::path(dir.path().toStdString()) / "missing" / "folder" / "f.log");
    EXPECT_TRUE(error);
    EXPECT_EQ(error, std::errc::no_such_file_or_directory);
}

TEST(StringHelpersTest, CharacterRangesCountCharactersAndEndBeforeTheUpperOffset)
{
    EXPECT_EQ(characterRange("abcdef", 2, 4), "cd");
    EXPECT_EQ(characterRange("abc", 0, 10), "abc");
    EXPECT_EQ(characterRange("äöüß", 1, 3), "öü");
    EXPECT_EQ(characterRange("a⌘b", 0, 2), "a⌘");
    // Out-of-range starts give the empty text instead of failing.
    EXPECT_EQ(characterRange("abc", 5, 9), "");
    EXPECT_EQ(characterRange("abc", 2, 1), "");
    EXPECT_EQ(characterRange("abc", -2, 2), "ab");
    const std::string big(200000, 'x');
    EXPECT_EQ(characterRange(big, 0, 100000).size(), 100000u);
}

TEST(StringHelpersTest, LinesSplitAtEveryLineBreak)
{
    EXPECT_EQ(lines("a\nb\r\nc\rd\xC2\x85"
                    "e\xE2\x80\xA8"
                    "f\xE2\x80\xA9g"),
              (std::vector<std::string>{"a", "b", "c", "d", "e", "f", "g"}));
    EXPECT_EQ(lines("a\n\nb"), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_EQ(lines("\n"), (std::vector<std::string>{""}));
    EXPECT_TRUE(lines("").empty());
    EXPECT_EQ(lines("\xff\n\xc3"), (std::vector<std::string>{"\xff", "\xc3"}));
    // A lone lead byte at the end is no break.
    EXPECT_EQ(lines("x\xE2\x80"), (std::vector<std::string>{"x\xE2\x80"}));
}

TEST(StringHelpersTest, ByteCountsUseDecimalUnits)
{
    EXPECT_EQ(byteCountText(0), "Zero KB");
    EXPECT_EQ(byteCountText(1), "1 byte");
    EXPECT_EQ(byteCountText(999), "999 bytes");
    EXPECT_EQ(byteCountText(1000), "1 KB");
    EXPECT_EQ(byteCountText(0x500000), "5.2 MB");
    EXPECT_EQ(byteCountText(1234567890), "1.23 GB");
}

}  // namespace
}  // namespace vandrel
