#include "model/vd_atomic_action_param.h"

#include <gtest/gtest.h>

#include <unordered_set>

namespace vandrel {
namespace {

using Json = nlohmann::ordered_json;
using P = VDAtomicActionParam;

P decoded(const char* text)
{
    auto p = P::fromJson(Json::parse(text));
    EXPECT_TRUE(p) << text << ": " << (p ? "" : p.error());
    return p ? p.value() : P::none();
}

const WindowBindingKeys kSlot2{VDKey(19, {57, 55}), VDKey(19, {57})};

TEST(VDAtomicActionParamTest, EveryCaseWritesItsOneMemberObjectAndReadsBack)
{
    const std::pair<P, const char*> forms[] = {
        {P::times(3), R"({"times":3})"},
        {P::keyId("100024"), R"({"keyId":"100024"})"},
        {P::windowBindingId(2), R"({"windowBindingId":2})"},
        {P::windowBindingKeys(kSlot2), R"({"windowBindingKeys":{"bind":{"id":"110013"},"activate":{"id":"10013"}}})"},
        {P::interval(0.5), R"({"interval":0.5})"},
        {P::multiple({P::times(1), P::none()}), R"({"multiple":[{"times":1},{"none":null}]})"},
        {P::none(), R"({"none":null})"},
    };
    for (const auto& [param, json] : forms) {
        EXPECT_EQ(param.toJson().dump(), json);
        EXPECT_EQ(decoded(json), param) << json;
    }
    EXPECT_EQ(P::sequenceToJson({P::times(2), P::none()}).dump(), R"([{"times":2},{"none":null}])");
    auto seq = P::sequenceFromJson(Json::parse(R"([{"times":2},{}])"));
    ASSERT_TRUE(seq);
    EXPECT_EQ(seq.value(), (std::vector<P>{P::times(2), P::none()}));
}

TEST(VDAtomicActionParamTest, DecodingTakesTheFirstPresentMemberInCaseOrder)
{
    EXPECT_EQ(decoded(R"({})"), P::none());
    EXPECT_EQ(decoded(R"({"times":null})"), P::none());
    EXPECT_EQ(decoded(R"({"keyId":"39","times":2})"), P::times(2));
    EXPECT_EQ(decoded(R"({"interval":1,"multiple":"ignored"})"), P::interval(1.0));
    EXPECT_EQ(decoded(R"({"times":4.0})"), P::times(4));
    EXPECT_EQ(decoded(R"({"windowBindingKeys":{"activate":{"id":"10013"},"bind":{"id":"110013"}}})"),
              P::windowBindingKeys(kSlot2));
    EXPECT_EQ(decoded(R"({"keyId":"1F"})").keyIdValue(), "1F");  // carried as written
}

TEST(VDAtomicActionParamTest, MembersOfTheWrongTypeAreDecodingErrors)
{
    const char* refused[] = {
        R"({"keyId":5})",
        R"({"times":"3"})",
        R"({"times":2.5})",
        R"({"times":18446744073709551615})",
        R"({"windowBindingId":true})",
        R"({"interval":"0.5"})",
        R"({"multiple":{"times":1}})",
        R"({"multiple":[{"times":1},{"keyId":1}]})",
        R"({"windowBindingKeys":{"bind":{"id":"13"}}})",
        R"({"windowBindingKeys":{"bind":{"id":"-13"},"activate":{"id":"13"}}})",
        R"([{"times":1}])",
    };
    for (const char* text : refused) EXPECT_FALSE(P::fromJson(Json::parse(text))) << text;
    EXPECT_FALSE(P::sequenceFromJson(Json::parse(R"({"times":1})")));
    EXPECT_FALSE(P::sequenceFromJson(Json::parse(R"([{"times":1}, 3])")));
}

TEST(VDAtomicActionParamTest, DeeplyNestedMultiplesAreRefusedWithoutRecursingForever)
{
    std::string text = R"({"times":1})";
    for (int i = 0; i < 40; ++i) text = R"({"multiple":[)" + text + "]}";
    auto p = P::fromJson(Json::parse(text));
    ASSERT_FALSE(p);
    EXPECT_NE(p.error().find("nested"), std::string::npos);

    std::string shallow = R"({"times":1})";
    for (int i = 0; i < 10; ++i) shallow = R"({"multiple":[)" + shallow + "]}";
    EXPECT_TRUE(P::fromJson(Json::parse(shallow)));
}

TEST(VDAtomicActionParamTest, HashFollowsTheCaseTextsWhileEqualityComparesValues)
{
    EXPECT_EQ(P::interval(1).hashTexts(), std::vector<std::string>{"interval:1.0"});
    EXPECT_EQ(P::multiple({P::times(1), P::none()}).hashTexts(), (std::vector<std::string>{"times:1", "none"}));
    EXPECT_EQ(P::windowBindingKeys(kSlot2).hashTexts(),
              std::vector<std::string>{"windowBindingKeys:WindowBindingKeys(bind: 110013, activate: 10013)"});

    // A one-element multiple hashes like its element but is a different value.
    EXPECT_EQ(P::times(3).hashValue(), P::multiple({P::times(3)}).hashValue());
    EXPECT_NE(P::times(3), P::multiple({P::times(3)}));
    EXPECT_NE(P::times(3), P::windowBindingId(3));
    EXPECT_NE(P::times(3).hashValue(), P::windowBindingId(3).hashValue());
    EXPECT_EQ(P::multiple({}), P::multiple({}));
    EXPECT_NE(P::multiple({}), P::none());
    EXPECT_NE(P::windowBindingKeys(kSlot2).hashValue(),
              P::windowBindingKeys({kSlot2.activate, kSlot2.bind}).hashValue());
    // Text boundaries count: ("times:1", "none") and ("times:1none") differ.
    EXPECT_NE(P::multiple({P::times(1), P::none()}).hashValue(), P::keyId("x").hashValue());

    std::unordered_set<P> set{P::times(3), P::multiple({P::times(3)}), P::times(3)};
    EXPECT_EQ(set.size(), 2u);
}

TEST(VDAtomicActionParamTest, DoublesReadBackFromTheirShortestText)
{
    EXPECT_EQ(shortestDoubleText(0.5), "0.5");
    EXPECT_EQ(shortestDoubleText(1.0), "1.0");
    EXPECT_EQ(shortestDoubleText(0.1), "0.1");
    EXPECT_EQ(shortestDoubleText(1e-05), "1e-05");
    EXPECT_EQ(shortestDoubleText(1e16), "1e+16");
    EXPECT_EQ(P::interval(0.3).description(), "interval(0.3)");
}

TEST(WindowBindingKeysTest, CodesBindThenActivateAndRejectIncompletePairs)
{
    EXPECT_EQ(kSlot2.toJson().dump(), R"({"bind":{"id":"110013"},"activate":{"id":"10013"}})");
    auto upper = WindowBindingKeys::fromJson(Json::parse(R"({"bind":{"id":"11001A"},"activate":{"id":"1001A"}})"));
    ASSERT_TRUE(upper);
    EXPECT_EQ(upper.value().bind, VDKey(0x1A, {55, 57}));
    EXPECT_EQ(upper.value().toJson().dump(), R"({"bind":{"id":"11001a"},"activate":{"id":"1001a"}})");
    EXPECT_FALSE(WindowBindingKeys::fromJson(Json::parse(R"({"activate":{"id":"1"}})")));
    EXPECT_FALSE(WindowBindingKeys::fromJson(Json::parse(R"({"bind":{"id":"1"},"activate":"1"})")));
    EXPECT_FALSE(WindowBindingKeys::fromJson(Json::parse(R"("pair")")));
}

}  // namespace
}  // namespace vandrel
