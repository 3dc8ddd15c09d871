#include "core/any_codable.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace vandrel;
using nlohmann::json;

TEST(AnyCodable, ScalarsDecodeToTheirKindsAndNullToTheEmptyValue)
{
    auto null = AnyCodable::parse("null");
    ASSERT_TRUE(null.ok());
    EXPECT_TRUE(null->isEmpty());
    EXPECT_EQ(*null->encode(), json(nullptr));
    EXPECT_TRUE(AnyCodable(std::optional<int>()).isEmpty());

    EXPECT_NE(AnyCodable::parse("true")->get<bool>(), nullptr);
    EXPECT_EQ(*AnyCodable::parse("-7")->get<AnyInt>(), -7);
    EXPECT_EQ(*AnyCodable::parse("18446744073709551615")->get<AnyUInt>(), 18446744073709551615ull);
    EXPECT_DOUBLE_EQ(*AnyCodable::parse("2.5")->get<double>(), 2.5);
    EXPECT_EQ(*AnyCodable::parse(R"("é")")->get<std::string>(), "é");
}

TEST(AnyCodable, ListRoundTripsItsBareElements)
{
    auto decoded = AnyCodable::parse(R"([1, null, "a"])");
    ASSERT_TRUE(decoded.ok());
    const auto* list = decoded->get<AnyList>();
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->size(), 3u);
    EXPECT_EQ(std::any_cast<AnyInt>((*list)[0]), 1);
    EXPECT_TRUE(std::any_cast<AnyEmpty>(&(*list)[1]) != nullptr);
    EXPECT_EQ(std::any_cast<std::string>((*list)[2]), "a");
    EXPECT_EQ(*decoded->encode(), json::parse(R"([1, null, "a"])"));
    EXPECT_EQ(decoded->debugDescription(), R"(AnyCodable([1, nil, "a"]))");
}

TEST(AnyCodable, KindsAreNeverConvertedWhenComparing)
{
    EXPECT_NE(AnyCodable(1), AnyCodable(std::any(std::int64_t{1})));
    EXPECT_NE(AnyCodable(1), AnyCodable(1.0));
    EXPECT_NE(AnyCodable(true), AnyCodable(1));
    EXPECT_EQ(AnyCodable(nullptr), AnyCodable());
    EXPECT_EQ(AnyCodable(0.0), AnyCodable(-0.0));
    const AnyCodable nan(std::nan(""));
    EXPECT_NE(nan, nan);
    // Canonically equivalent texts: precomposed e-acute and e followed by a combining accent.
    EXPECT_EQ(AnyCodable("\xC3\xA9"), AnyCodable("e\xCC\x81"));
}

TEST(AnyCodable, DecodedCollectionsCompareStructurally)
{
    EXPECT_EQ(*AnyCodable::parse(R"([1, null, "a", {"k": [true]}])"),
              *AnyCodable::parse(R"([1, null, "a", {"k": [true]}])"));
    EXPECT_EQ(*AnyCodable::parse(R"({"a": 1, "b": [2]})"), *AnyCodable::parse(R"({"b": [2], "a": 1})"));
    EXPECT_NE(*AnyCodable::parse("[1, 2]"), *AnyCodable::parse("[2, 1]"));
    EXPECT_NE(*AnyCodable::parse(R"({"a": 1})"), *AnyCodable::parse(R"({"a": 1.0})"));
    EXPECT_NE(*AnyCodable::parse("[]"), *AnyCodable::parse("{}"));
    // A list whose one element is NaN is unequal to itself, like the NaN.
    const AnyCodable nanList(AnyList{std::nan("")});
    EXPECT_NE(nanList, nanList);
    // Lists of wrappers compare element by element, and equal their bare-valued twins.
    EXPECT_EQ(AnyCodable(std::vector<AnyCodable>{1, "x"}), AnyCodable(std::vector<AnyCodable>{1, "x"}));
    EXPECT_EQ(AnyCodable(std::vector<AnyCodable>{1, "x"}), AnyCodable::list({1, "x"}));
}

TEST(AnyCodable, DatesAndUrlsCompareByValueAndEncodeAsText)
{
    const AnyDate when = std::chrono::system_clock::time_point(std::chrono::milliseconds(1'500'000'000'123));
    EXPECT_EQ(AnyCodable(when), AnyCodable(when));
    EXPECT_EQ(AnyCodable(QUrl("https://example.org/a")), AnyCodable(QUrl("https://example.org/a")));
    EXPECT_EQ(*AnyCodable(when).encode(), json("2017-07-14T02:40:00.123Z"));
    auto url = AnyCodable(QUrl("https://example.org/a b")).encode();
    ASSERT_TRUE(url.ok());
    EXPECT_EQ(*url, json("https://example.org/a%20b"));
    EXPECT_NE(AnyCodable::decode(*url)->get<std::string>(), nullptr);
}

TEST(AnyCodable, MapLiteralKeepsTheFirstValueOfARepeatedKey)
{
    const AnyCodable map = AnyCodable::map({{"k", 1}, {"k", 2}, {"j", "x"}});
    const auto* entries = map.get<AnyMap>();
    ASSERT_NE(entries, nullptr);
    EXPECT_EQ(entries->size(), 2u);
    EXPECT_EQ(std::any_cast<AnyInt>(entries->at("k")), 1);
    EXPECT_EQ(*map.encode(), json::parse(R"({"k": 1, "j": "x"})"));
}

TEST(AnyCodable, ValuesThatJsonCannotHoldFailToEncodeWithThePath)
{
    auto keyed = AnyEncodable::map({{1, "one"}}).encode();
    ASSERT_FALSE(keyed.ok());
    EXPECT_EQ(keyed.error().kind, CodingError::Kind::invalidValue);
    EXPECT_EQ(keyed.error().debugDescription, "AnyCodable value cannot be encoded");

    struct Opaque {};
    auto nested = AnyEncodable::list({1, AnyEncodable(Opaque{})}).encode({"root"});
    ASSERT_FALSE(nested.ok());
    EXPECT_EQ(nested.error().codingPath, (CodingPath{"root", "Index 1"}));
    EXPECT_TRUE(std::any_cast<Opaque>(&nested.error().value) != nullptr);

    auto infinite = AnyEncodable(INFINITY).encode();
    ASSERT_FALSE(infinite.ok());
    EXPECT_EQ(infinite.error().kind, CodingError::Kind::invalidValue);
}

TEST(AnyCodable, NestedWrappersEncodeAsTheirHeldValues)
{
    EXPECT_EQ(*AnyEncodable(AnyCodable(5)).encode(), json(5));
    EXPECT_EQ(*AnyCodable(std::vector<AnyCodable>{}).encode(), json::array());
    EXPECT_EQ(*AnyCodable(std::map<std::string, AnyCodable>{{"x", true}}).encode(), json::parse(R"({"x": true})"));
    const std::any narrow = std::uint8_t{200};
    EXPECT_EQ(*AnyEncodable(narrow).encode(), json(200));
}

TEST(AnyDecodable, FailuresNameTheCodableWordsAndTheEnclosingPosition)
{
    auto bad = AnyDecodable::decode(json::binary({1, 2}), {"payload"});
    ASSERT_FALSE(bad.ok());
    EXPECT_EQ(bad.error().kind, CodingError::Kind::dataCorrupted);
    EXPECT_EQ(bad.error().debugDescription, "AnyCodable value cannot be decoded");
    EXPECT_EQ(bad.error().codingPath, CodingPath{"payload"});

    json list = json::array({1, json::binary({3})});
    auto inList = AnyDecodable::decode(list, {"outer"});
    ASSERT_FALSE(inList.ok());
    EXPECT_EQ(inList.error().codingPath, CodingPath{"outer"});

    auto notJson = AnyDecodable::parse(std::string_view("{broken"));
    ASSERT_FALSE(notJson.ok());
    EXPECT_EQ(notJson.error().kind, CodingError::Kind::dataCorrupted);
    EXPECT_EQ(AnyDecodable::parse("3")->debugDescription(), "AnyDecodable(3)");
}

TEST(AnyCodable, ValuesNestedDeeperThanTheLimitAreCorruptedDataNotACrash)
{
    const auto nested = [](int depth, char open, const char* inner, char close) {
        std::string text;
        for (int i = 0; i < depth; ++i) text += open == '{' ? std::string(R"({"k":)") : std::string(1, open);
        text += inner;
        text += std::string(static_cast<std::size_t>(depth), close);
        return text;
    };
    // At the limit both lists and maps decode and encode back.
    for (const char open : {'[', '{'}) {
        const std::string text = nested(kMaxJsonNesting, open, "1", open == '[' ? ']' : '}');
        auto decoded = AnyCodable::parse(text);
        ASSERT_TRUE(decoded.ok()) << open;
        EXPECT_EQ(*decoded->encode(), json::parse(text));
    }
    for (const int depth : {kMaxJsonNesting + 1, 20000, 100000}) {
        for (const char open : {'[', '{'}) {
            SCOPED_TRACE(std::to_string(depth) + open);
            const std::string text = nested(depth, open, "1", open == '[' ? ']' : '}');
            auto parsed = AnyDecodable::parse(text);
            ASSERT_FALSE(parsed.ok());
            EXPECT_EQ(parsed.error().kind, CodingError::Kind::dataCorrupted);
            // A value already parsed elsewhere, without the text's limit, is refused by the decoder itself.
            auto decoded = AnyDecodable::decode(json::parse(text), {"root"});
            ASSERT_FALSE(decoded.ok());
            EXPECT_EQ(decoded.error().codingPath, CodingPath{"root"});
            EXPECT_EQ(decoded.error().kind, CodingError::Kind::dataCorrupted);
        }
    }
}
