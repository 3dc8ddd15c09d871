#include "model/vd_key_scheme.h"

#include <gtest/gtest.h>

#include <unordered_set>

namespace vandrel {
namespace {

using Json = nlohmann::ordered_json;
using P = VDAtomicActionParam;
using Settings = VDKeyScheme::KeySettings;

VDActionPtr action(const std::string& idName, VDActionGroup group)
{
    if (auto known = VDAction::registered(idName)) return known;
    return VDAction::make(idName, idName, group)->appendToQueryDisc();
}

struct VDKeySchemeTest : ::testing::Test {
    VDActionPtr moveUp = action("scheme.moveUp", VDActionGroup::movement);
    VDActionPtr copy = action("scheme.copy", VDActionGroup::multiClipboard);
    VDActionPtr general = action("scheme.general", VDActionGroup::vandrelGeneral);
    VDKey k1{38, {57}};
    VDKey k2{40, {57}};
};

TEST_F(VDKeySchemeTest, ConflictsListEveryKeyBoundMoreThanOnceAndAllItsSettings)
{
    const auto a = VDKeySetting::make(k1, moveUp);
    const auto b = VDKeySetting::make(k2, copy);
    const auto c = VDKeySetting::make(k1, general, {P::times(2)});
    auto scheme = VDKeyScheme::make("S", "", VDKeySchemeType::custom, {a, b, c});
    EXPECT_EQ(scheme->conflictingHotkeys.value(), (std::vector<VDKey>{k1}));
    EXPECT_EQ(scheme->conflictingKeySettings.value(), (Settings{a, c}));
    EXPECT_EQ(scheme->allSettingsGroups(),
              (std::vector<VDActionGroup>{VDActionGroup::vandrelGeneral, VDActionGroup::movement,
                                          VDActionGroup::multiClipboard}));
    EXPECT_EQ(scheme->groupToSettingsDictionary().at(VDActionGroup::movement), (Settings{a}));

    // Three settings on one key, and two equal ones, all conflict; each key is listed once.
    const auto d = VDKeySetting::make(k2, copy);
    scheme->keySettings.accept({a, b, c, d, VDKeySetting::make(k1, moveUp)});
    EXPECT_EQ(scheme->conflictingHotkeys.value().size(), 2u);
    EXPECT_EQ(scheme->conflictingKeySettings.value().size(), 5u);

    scheme->keySettings.accept({});
    EXPECT_TRUE(scheme->conflictingHotkeys.value().empty());
    EXPECT_TRUE(scheme->conflictingKeySettings.value().empty());
    EXPECT_TRUE(scheme->allSettingsGroups().empty());

    const std::set<std::string> ids{"org.gnome.Terminal", "code"};
    EXPECT_TRUE(VDKeyScheme::make("C", "", VDKeySchemeType::custom, {}, ids)->forAppBundleIds().empty());
    EXPECT_EQ(VDKeyScheme::make("F", "", VDKeySchemeType::forApp, {}, ids)->forAppBundleIds(), ids);
}

TEST_F(VDKeySchemeTest, ReplaceSwapsTheFirstEqualSettingOnly)
{
    const auto a = VDKeySetting::make(k1, moveUp);
    const auto twin = VDKeySetting::make(k1, moveUp);
    const auto b = VDKeySetting::make(k2, copy);
    auto scheme = VDKeyScheme::make("S", "", VDKeySchemeType::custom, {a, b, twin});
    int lists = 0;
    scheme->keySettings.subscribe([&](const Settings&) { ++lists; }).disposed(scheme->disposeBag);

    const auto replacement = VDKeySetting::make(VDKey(14, {57}), copy);
    scheme->replace(*VDKeySetting::make(k1, moveUp), replacement);
    EXPECT_EQ(scheme->keySettings.value(), (Settings{replacement, b, twin}));
    EXPECT_TRUE(scheme->conflictingHotkeys.value().empty());
    scheme->replace(*VDKeySetting::make(k1, copy), VDKeySetting::make(k2, moveUp));  // not in the list
    EXPECT_EQ(scheme->keySettings.value(), (Settings{replacement, b, twin}));
    EXPECT_EQ(lists, 2);
}

TEST_F(VDKeySchemeTest, RenamesArriveAsPairsAndDoNotMoveTheSchemeInContainers)
{
    auto scheme = VDKeyScheme::make("One", "", VDKeySchemeType::custom, {});
    auto namesake = VDKeyScheme::make("One", "other", VDKeySchemeType::builtIn, {});
    std::unordered_set<VDKeySchemePtr> installed{scheme, namesake};
    EXPECT_TRUE(*scheme == *namesake);
    EXPECT_EQ(installed.size(), 2u);

    std::vector<VDKeyScheme::NamePair> early, late;
    rx::DisposeBag bag;
    scheme->previousAndCurrentName.subscribe([&](const auto& pair) { early.push_back(pair); }).disposed(bag);
    scheme->name.accept("Two");
    scheme->previousAndCurrentName.subscribe([&](const auto& pair) { late.push_back(pair); }).disposed(bag);
    EXPECT_TRUE(late.empty());
    scheme->name.accept("Three");
    EXPECT_EQ(early, (std::vector<VDKeyScheme::NamePair>{{"One", "Two"}, {"Two", "Three"}}));
    EXPECT_EQ(late, (std::vector<VDKeyScheme::NamePair>{{"Two", "Three"}}));
    EXPECT_FALSE(*scheme == *namesake);
    EXPECT_TRUE(installed.count(scheme));
}

TEST_F(VDKeySchemeTest, JsonRoundTripMatchesTheStoredForm)
{
    auto scheme = VDKeyScheme::make(
        "Mine", "My \"keys\"", VDKeySchemeType::forApp,
        {VDKeySetting::make(VDKey(36, {55}), moveUp, {P::times(3)}), VDKeySetting::make(k1, copy)}, {"z.app", "a.app"});
    const std::string text =
        R"({"version":"v20190601","name":"Mine","desc":"My \"keys\"","type":"For App","keySettings":[)"
        R"({"key":{"id":"100024"},"action":{"idName":"scheme.moveUp"},"paramSequence":[{"times":3}]},)"
        R"({"key":{"id":"10026"},"action":{"idName":"scheme.copy"},"paramSequence":[]}],)"
        R"("forAppBundleIds":["a.app","z.app"]})";
    EXPECT_EQ(scheme->toJsonText(), text);
    auto decoded = VDKeyScheme::fromJsonText(text);
    ASSERT_TRUE(decoded.ok()) << decoded.error();
    EXPECT_EQ(decoded.value()->type(), VDKeySchemeType::forApp);
    EXPECT_EQ(decoded.value()->keySettings.value()[0]->action(), moveUp);
    EXPECT_EQ(decoded.value()->toJsonText(), text);

    // As "Custom" the identifiers go; members in any order, spaced, with escaped "/".
    auto custom = VDKeyScheme::fromJsonText(R"( {
        "forAppBundleIds" : [ "a\/b" ], "keySettings" : [ ], "type" : "Custom",
        "childrenKeySchemesForApps" : [], "desc" : "", "name" : "C\/D", "version" : "v20190601" } )");
    ASSERT_TRUE(custom.ok()) << custom.error();
    EXPECT_EQ(
        custom.value()->toJsonText(),
        R"({"version":"v20190601","name":"C/D","desc":"","type":"Custom","keySettings":[],"forAppBundleIds":[]})");
}

TEST_F(VDKeySchemeTest, SchemesWithMissingOrUnknownMembersFailToDecode)
{
    const Json good = Json::parse(
        R"({"version":"v20190601","name":"N","desc":"","type":"Custom","keySettings":[],"forAppBundleIds":[]})");
    ASSERT_TRUE(VDKeyScheme::fromJson(good).ok());
    for (const char* member : {"version", "name", "desc", "type", "keySettings", "forAppBundleIds"}) {
        Json missing = good;
        missing.erase(member);
        EXPECT_FALSE(VDKeyScheme::fromJson(missing).ok()) << member;
    }
    const std::vector<std::pair<const char*, Json>> wrong{
        {"version", "v20200101"}, {"type", "custom"},      {"name", nullptr},
        {"forAppBundleIds", {1}}, {"keySettings", "none"}, {"keySettings", Json::array({Json::object()})}};
    for (const auto& [member, value] : wrong) {
        Json bad = good;
        bad[member] = value;
        EXPECT_FALSE(VDKeyScheme::fromJson(bad).ok()) << member << " " << value.dump();
    }
    EXPECT_FALSE(VDKeyScheme::fromJsonText("{\"version\":").ok());
    EXPECT_FALSE(VDKeyScheme::fromJsonText("[]").ok());
}

}  // namespace
}  // namespace vandrel
