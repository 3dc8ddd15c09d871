#include "model/vd_key_setting.h"

#include <gtest/gtest.h>

#include "platform/sim/sim_platform.h"

namespace vandrel {
namespace {

using Json = nlohmann::ordered_json;
using P = VDAtomicActionParam;

VDActionPtr moveUp()
{
    static const VDActionPtr action =
        VDAction::make("test.moveUp", "Up", VDActionGroup::movement)->addMultiKeyCombo(126, {}, 1)->appendToQueryDisc();
    return action;
}

DecodeResult<VDKeySettingPtr> decode(std::string_view text)
{
    return VDKeySetting::fromJson(Json::parse(text));
}

TEST(VDKeySetting, JsonRoundTripKeepsTheTextAndResolvesTheRegisteredAction)
{
    const std::string text =
        R"({"key":{"id":"100024"},"action":{"idName":"test.moveUp"},"paramSequence":[{"times":3},{"none":null}]})";
    EXPECT_EQ(VDKeySetting::make(VDKey(36, {55}), moveUp(), {P::times(3), P::none()})->toJson().dump(), text);
    auto decoded = decode(text);
    ASSERT_TRUE(decoded.ok()) << decoded.error();
    EXPECT_EQ(decoded.value()->action(), moveUp());  // the registered object itself
    EXPECT_EQ(decoded.value()->toJson().dump(), text);

    // Any member order, white space, escaped "/", upper-case ids, unknown members.
    auto slashed = VDAction::make("test/slash", "", VDActionGroup::general)->appendToQueryDisc();
    auto relaxed = decode(R"( { "paramSequence" : [ {} ], "extra" : true,
                                "action" : { "idName" : "test\/slash" }, "key" : { "id" : "10002A" } } )");
    ASSERT_TRUE(relaxed.ok()) << relaxed.error();
    EXPECT_EQ(relaxed.value()->key().id(), "10002a");
    EXPECT_EQ(relaxed.value()->action(), slashed);
}

TEST(VDKeySetting, UnregisteredActionDecodesToADoNothingStandInThatIsSavedBackUnchanged)
{
    auto sim = SimPlatform::make();
    PlatformInstallation installed(sim);
    const std::string text = R"({"key":{"id":"10022"},"action":{"idName":"test.fromANewerVersion"},)"
                             R"("paramSequence":[{"windowBindingId":2}]})";
    auto decoded = decode(text);
    ASSERT_TRUE(decoded.ok()) << decoded.error();
    const auto& setting = *decoded.value();
    EXPECT_EQ(setting.key().keybit(), 0x10022);
    EXPECT_EQ(setting.paramSequence(), (std::vector<P>{P::windowBindingId(2)}));
    EXPECT_EQ(setting.action()->staticDescription(), VDAction::noActionTitle());
    EXPECT_EQ(VDAction::registered("test.fromANewerVersion"), nullptr);
    setting.action()->doWithParamSequence(setting.paramSequence());
    EXPECT_TRUE(sim->keyboard().postedEvents().empty());
    EXPECT_EQ(setting.toJson().dump(), text);
}

TEST(VDKeySetting, EqualityGoesByKeybitActionIdAndParameterHashes)
{
    const VDKey k(38, {57});
    const auto a = VDKeySetting::make(k, moveUp(), {P::times(1), P::keyId("39")});
    const auto b =
        VDKeySetting::make(VDKey::fromKeybit(0x10026), VDAction::make("test.moveUp", "", VDActionGroup::hidden),
                           {P::times(1), P::keyId("39")});
    EXPECT_EQ(*a, *b);
    EXPECT_EQ(a->hashValue(), b->hashValue());
    const auto swapped = VDKeySetting::make(k, moveUp(), {P::keyId("39"), P::times(1)});
    EXPECT_FALSE(*a == *swapped);
    EXPECT_NE(a->hashValue(), swapped->hashValue());
    EXPECT_EQ(*VDKeySetting::make(k, moveUp(), {P::times(3)}),
              *VDKeySetting::make(k, moveUp(), {P::multiple({P::times(3)})}));
    EXPECT_FALSE(*VDKeySetting::make(k, moveUp(), {P::times(1), P::times(2)}) ==
                 *VDKeySetting::make(k, moveUp(), {P::multiple({P::times(1), P::times(2)})}));
    EXPECT_EQ(VDKeySetting::make(k, nullptr)->action()->idName(), "noAction");  // never a null action
}

TEST(VDKeySetting, BrokenSettingsFailToDecode)
{
    const char* broken[] = {
        R"({"key":{"id":"24"},"action":{"idName":"a"}})",
        R"({"action":{"idName":"a"},"paramSequence":[]})",
        R"({"key":{"id":"24"},"paramSequence":[]})",
        R"({"key":{"id":24},"action":{"idName":"a"},"paramSequence":[]})",
        R"({"key":{"id":"zz"},"action":{"idName":"a"},"paramSequence":[]})",
        R"({"key":{"id":""},"action":{"idName":"a"},"paramSequence":[]})",
        R"({"key":{"id":"ffffffffffffffffff"},"action":{"idName":"a"},"paramSequence":[]})",
        R"({"key":{"id":"-24"},"action":{"idName":"a"},"paramSequence":[]})",
        R"({"key":{"id":"24"},"action":{"idName":"a"},"paramSequence":[{"color":3}]})",
        R"({"key":{"id":"24"},"action":{"idName":"a"},"paramSequence":[{"multiple":[{"color":3}]}]})",
        R"({"key":{"id":"24"},"action":{"idName":"a"},"paramSequence":[{"keyId":5}]})",
        R"({"key":{"id":"24"},"action":{"idName":"a"},"paramSequence":{}})",
        R"([])",
    };
    for (const char* text : broken) EXPECT_FALSE(decode(text).ok()) << text;

    // Prefixes and trailing text of an id read as before; an empty or null parameter is none.
    auto lenient = decode(R"({"key":{"id":" +0x24zz"},"action":{"idName":"a"},)"
                          R"("paramSequence":[{},{"times":null},{"times":2,"color":1}]})");
    ASSERT_TRUE(lenient.ok()) << lenient.error();
    EXPECT_EQ(lenient.value()->key().keybit(), 0x24);
    EXPECT_EQ(lenient.value()->paramSequence(), (std::vector<P>{P::none(), P::none(), P::times(2)}));
}

TEST(VDKeySetting, AnUnknownParameterOfAnySizeIsRefusedWithAShortMessage)
{
    const std::string prefix = R"({"key":{"id":"24"},"action":{"idName":"a"},"paramSequence":[{"color":)";
    const std::string deep = std::string(100000, '[') + "1" + std::string(100000, ']');
    for (const std::string& value : {deep, "\"" + std::string(1 << 20, 'c') + "\""}) {
        // Parsed without the text limit, as a caller holding a value already may have.
        auto setting = decode(prefix + value + "}]}");
        ASSERT_FALSE(setting.ok());
        EXPECT_NE(setting.error().find("unknown parameter kind"), std::string::npos);
        EXPECT_LT(setting.error().size(), 300u);
    }
    auto longId = decode(R"({"key":{"id":")" + std::string(1 << 20, 'z') +
                         R"("},"action":{"idName":"a"},)"
                         R"("paramSequence":[]})");
    ASSERT_FALSE(longId.ok());
    EXPECT_LT(longId.error().size(), 300u);
}

}  // namespace
}  // namespace vandrel
