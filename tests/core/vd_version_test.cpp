#include "core/vd_version.h"

#include <gtest/gtest.h>

#include <regex>

#include "core/log_capture.h"

namespace vandrel {
namespace {

using Slots = std::array<std::int64_t, 5>;

TEST(VDVersionTest, ParsesTheFullPatternAndPrintsFourNumbers)
{
    const struct {
        const char* text;
        Slots slots;
        const char* printed;
    } cases[] = {
        {"1.2.3b", {1, 2, 3, 0, 30}, "1.2.3.0b"},
        {"1.2", {1, 2, 0, 0, 70}, "1.2.0.0"},
        {"2rc", {2, 0, 0, 0, 50}, "2.0.0.0rc"},
        {"1.2.3.4a", {1, 2, 3, 4, 10}, "1.2.3.4a"},
    };
    test::ScopedLogCapture logs;
    for (const auto& c : cases) {
        const VDVersion version(c.text);
        EXPECT_EQ(version.vers, c.slots) << c.text;
        EXPECT_EQ(version.toString(), c.printed) << c.text;
    }
    EXPECT_EQ(logs->count(LogLevel::warning), 0u);
    EXPECT_EQ(VDVersion("1.2.3b").debugDescription(), "VDVersion(1.2.3.0b)");
}

TEST(VDVersionTest, FallsBackToDottedNumbersAndWarnsAtTheFirstOtherPiece)
{
    const struct {
        const char* text;
        Slots slots;
        std::size_t warnings;
    } cases[] = {
        {"1.2.3-beta", {1, 2, 0, 0, 0}, 1},
        {"1.2.3.4.5", {1, 2, 3, 4, 5}, 0},
        {"", {0, 0, 0, 0, 0}, 0},
        {"beta1", {0, 0, 0, 0, 0}, 1},
        {"1.2..3x", {1, 2, 0, 0, 0}, 1},
        // Beyond five pieces there is no slot: the rest is left out, nothing is overrun.
        {"1.2.3.4.5.6.7", {1, 2, 3, 4, 5}, 0},
        // A run of digits too long for 64 bits does not convert; it never throws.
        {"1.99999999999999999999999.3.4.5", {1, 0, 0, 0, 0}, 1},
        {"99999999999999999999999", {0, 0, 0, 0, 70}, 0},
        {"9223372036854775807.1", {9223372036854775807LL, 1, 0, 0, 70}, 0},
    };
    for (const auto& c : cases) {
        test::ScopedLogCapture logs;
        const VDVersion version(c.text);
        EXPECT_EQ(version.vers, c.slots) << c.text;
        EXPECT_EQ(logs->count(LogLevel::warning), c.warnings) << c.text;
        if (c.warnings) {
            EXPECT_TRUE(
                logs->contains(LogLevel::warning, "Params to init VDVersion is not made up of numbers and dots."));
        }
    }
    EXPECT_EQ(VDVersion("").toString(), "0.0.0.0");
}

TEST(VDVersionTest, EncodesAsSlotsAndDecodesTextOrItsOwnForm)
{
    const VDVersion version("1.2.3b");
    EXPECT_EQ(version.toJson().dump(), R"({"vers":[1,2,3,0,30]})");

    const auto fromText = VDVersion::fromJsonText(R"("1.2.3b")");
    ASSERT_TRUE(fromText);
    EXPECT_EQ(fromText->vers, version.vers);

    const auto roundTrip = VDVersion::fromJson(version.toJson());
    ASSERT_TRUE(roundTrip);
    EXPECT_EQ(*roundTrip, version);

    EXPECT_FALSE(VDVersion::fromJsonText("12"));
    EXPECT_FALSE(VDVersion::fromJsonText(R"({"vers":[1,2]})"));
    EXPECT_FALSE(VDVersion::fromJsonText(R"({"vers":[1,2,3,"x",5]})"));
    // Numbers that are no 64-bit integer: beyond its range, fractions, too large unsigned.
    for (const char* json : {R"({"vers":[2,-9999999999999999999992,3,0,30]})", R"({"vers":[2,1e300,3,0,30]})",
                             R"({"vers":[1.5,2,3,0,30]})", R"({"vers":[18446744073709551615,2,3,0,30]})"})
        EXPECT_FALSE(VDVersion::fromJsonText(json)) << json;
    EXPECT_FALSE(VDVersion::fromJsonText("not json"));
}

TEST(VDVersionTest, ReadsEveryShortTextAsTheVersionPatternDoes)
{
    // The pattern the parser follows, as a regular expression; fine for short texts only.
    const std::regex pattern(R"(^(\d+)\.?(\d+)?\.?(\d+)?\.?(\d+)?(a|b|rc)?$)");
    const std::string alphabet = "09.abrcx";
    std::vector<std::string> texts{""};
    for (std::size_t length = 1; length <= 5; ++length) {
        std::vector<std::string> longer;
        for (const auto& text : texts)
            if (text.size() == length - 1)
                for (const char c : alphabet) longer.push_back(text + c);
        texts.insert(texts.end(), longer.begin(), longer.end());
    }
    test::ScopedLogCapture logs;
    for (const auto& text : texts) {
        std::smatch match;
        if (!std::regex_match(text, match, pattern)) continue;
        Slots expected{};
        for (std::size_t group = 1; group <= 4; ++group)
            if (match[group].matched) expected[group - 1] = std::stoll(match[group].str());
        const std::string stage = match[5].matched ? match[5].str() : "";
        expected[4] = stage == "a" ? 10 : stage == "b" ? 30 : stage == "rc" ? 50 : 70;
        EXPECT_EQ(VDVersion(text).vers, expected) << text;
    }
    EXPECT_EQ(VDVersion("1..2").vers, (Slots{1, 0, 2, 0, 70}));
}

TEST(VDVersionTest, HugeTextsAreReadInOnePassAndOverlongOnesAreNoVersion)
{
    const std::string digits(VDVersion::maxTextLength, '7');
    EXPECT_EQ(VDVersion(digits).vers, (Slots{0, 0, 0, 0, 70})) << "one run too long for 64 bits";
    for (const std::string& text : {std::string(30000, '9'), std::string(30000, '.'), "1." + std::string(30000, '2'),
                                    std::string(VDVersion::maxTextLength + 1, '1')}) {
        test::ScopedLogCapture logs;
        EXPECT_EQ(VDVersion(text).vers, (Slots{0, 0, 0, 0, 0}));
        ASSERT_EQ(logs->count(LogLevel::warning), 1u);
        EXPECT_LT(logs->entries().front().context.size(), 200u) << "the warning quotes a cut";
    }
    EXPECT_EQ(nlohmann::json(std::string(30000, '9')).get<VDVersion>().vers, (Slots{0, 0, 0, 0, 0}));
}

}  // namespace
}  // namespace vandrel
