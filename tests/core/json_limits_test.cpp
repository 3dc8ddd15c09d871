#include "core/json_limits.h"

#include <gtest/gtest.h>

namespace vandrel {
namespace {

using nlohmann::json;

TEST(JsonLimits, NestingCountsContainersButNotBracketsInsideStrings)
{
    EXPECT_EQ(jsonTextNesting("1"), 0);
    EXPECT_EQ(jsonTextNesting("[]"), 1);
    EXPECT_EQ(jsonTextNesting(R"({"a": [1, {"b": []}], "c": {}})"), 4);
    EXPECT_EQ(jsonTextNesting(R"(["[[[[", "\"[[[", "\\", [2]])"), 2) << "escaped quotes do not end a string";
    // Counting stops past the limit asked for; a huge text is not scanned to its end.
    EXPECT_EQ(jsonTextNesting(std::string(100000, '['), 64), 65);
}

TEST(JsonLimits, BoundedParsingRefusesOnlyWhatIsTooDeep)
{
    const auto nested = [](int depth) {
        return std::string(static_cast<std::size_t>(depth), '[') + std::string(static_cast<std::size_t>(depth), ']');
    };
    EXPECT_FALSE(parseBoundedJson<json>(nested(kMaxJsonNesting)).is_discarded());
    EXPECT_TRUE(parseBoundedJson<json>(nested(kMaxJsonNesting + 1)).is_discarded());
    EXPECT_TRUE(parseBoundedJson<nlohmann::ordered_json>("{broken").is_discarded());
    EXPECT_FALSE(
        parseBoundedJson<json>(R"({"text": "[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[["})")
            .is_discarded());

    EXPECT_TRUE(jsonWithinNesting(json::parse(nested(kMaxJsonNesting))));
    EXPECT_FALSE(jsonWithinNesting(json::parse(nested(100000))));
    EXPECT_TRUE(jsonWithinNesting(json(3)));
}

TEST(JsonLimits, ExcerptsAreShortAndCutBetweenCharacters)
{
    EXPECT_EQ(excerpt("short"), "short");
    const std::string text = std::string(119, 'a') + "\xC3\xA9" + std::string(1000, 'b');
    const std::string cut = excerpt(text);
    EXPECT_EQ(cut, std::string(119, 'a') + "... (1121 bytes)") << "the two-byte character is not split";
    EXPECT_EQ(jsonExcerpt(json::parse(std::string(100, '[') + std::string(100, ']'))),
              "<value nested more than 64 deep>");
    EXPECT_EQ(jsonExcerpt(json{{"k", 1}}), R"({"k":1})");
}

}  // namespace
}  // namespace vandrel
