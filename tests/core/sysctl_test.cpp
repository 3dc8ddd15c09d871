#include "core/sysctl.h"

#include <gtest/gtest.h>

#include <cerrno>

using namespace vandrel;

TEST(Sysctl, MemSizeIsEightBytesAndFourByteValueReadAsSixtyFourBitIsInvalidSize)
{
    auto bytes = Sysctl::data({6, 24});
    ASSERT_TRUE(bytes.ok());
    EXPECT_EQ(bytes->size(), 8u);
    EXPECT_GT(Sysctl::memSize(), 0u);

    auto wide = Sysctl::value<std::int64_t>("hw.availcpu");
    ASSERT_FALSE(wide.ok());
    EXPECT_EQ(wide.error().kind, Sysctl::Error::Kind::invalidSize);
    EXPECT_GE(Sysctl::activeCPUs(), 1);
}

TEST(Sysctl, DottedNamesResolveToTheirNamePathsAndUnknownNamesFailSilently)
{
    auto keys = Sysctl::keys("hw.memsize");
    ASSERT_TRUE(keys.ok());
    EXPECT_EQ(*keys, (Sysctl::Keys{6, 24}));

    testing::internal::CaptureStdout();
    auto missing = Sysctl::keys("hw.no.such.fact");
    const std::string printed = testing::internal::GetCapturedStdout();
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.error(), Sysctl::Error::posix(ENOENT));
    EXPECT_TRUE(printed.empty());
}

TEST(Sysctl, UnknownNamePathPrintsErrnoAndFails)
{
    testing::internal::CaptureStdout();
    auto missing = Sysctl::data({99, 99});
    const std::string printed = testing::internal::GetCapturedStdout();
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.error().kind, Sysctl::Error::Kind::posixError);
    EXPECT_EQ(printed, std::to_string(ENOENT) + "\n");
}

TEST(Sysctl, TextIsCutAtFirstNulAndMustBeUtf8)
{
    auto cut = Sysctl::textFrom({'L', 'i', 'n', 0, 'x', 'y'});
    ASSERT_TRUE(cut.ok());
    EXPECT_EQ(*cut, "Lin");

    auto bad = Sysctl::textFrom({'a', static_cast<std::int8_t>(0xC3), static_cast<std::int8_t>(0x28), 0});
    ASSERT_FALSE(bad.ok());
    EXPECT_EQ(bad.error().kind, Sysctl::Error::Kind::malformedUTF8);
}

TEST(Sysctl, NamedFactsComeFromTheRunningSystem)
{
    EXPECT_EQ(Sysctl::osType(), "Linux");
    EXPECT_FALSE(Sysctl::osRelease().empty());
    EXPECT_EQ(Sysctl::string("kern.osrelease").valueOr("?"), Sysctl::osRelease());

    // Linux has no numeric OS revision: a posixError, not a crash, and 0 from the named fact.
    testing::internal::CaptureStdout();
    auto rev = Sysctl::value<std::int32_t>({1, 3});
    EXPECT_EQ(Sysctl::osRev(), 0);
    testing::internal::GetCapturedStdout();
    ASSERT_FALSE(rev.ok());
    EXPECT_EQ(rev.error().kind, Sysctl::Error::Kind::posixError);
}
