#include "model/vd_key.h"

#include <gtest/gtest.h>

#include <thread>
#include <unordered_set>

#include "core/localize.h"
#include "core/log_capture.h"
#include "platform/sim/scenario.h"
#include "platform/sim/sim_platform.h"

namespace vandrel {
namespace {

using Json = nlohmann::ordered_json;

struct VDKeyTest : ::testing::Test {
    std::shared_ptr<SimPlatform> sim = SimPlatform::make();
    PlatformInstallation installed{sim};
    test::ScopedLogCapture captured;

    std::string posted() const { return Scenario::describe(sim->keyboard().postedEvents()); }
};

TEST_F(VDKeyTest, PacksKeyCodeAndModifiersIntoKeybitAndId)
{
    const VDKey cmdReturn(36, {55});
    EXPECT_EQ(cmdReturn.keybit(), 0x100024);
    EXPECT_EQ(cmdReturn.id(), "100024");
    const auto unpacked = KeyKit::makeKeycodeAndModifiersFrom(0x100024);
    EXPECT_EQ(unpacked.keycode, 36);
    EXPECT_EQ(unpacked.modifiers, ModifierSet{55});

    const VDKey all(0, {55, 56, 57, 58, 59});
    EXPECT_EQ(all.keybit(), 0x10000 + 0x20000 + 0x40000 + 0x80000 + 0x100000);
    EXPECT_EQ(all.id(), "1f0000");
    EXPECT_EQ(KeyKit::makekeybitFrom(5, {55, 60, 99}), 0x100005);  // codes outside the table add nothing

    EXPECT_EQ(VDKey::pressCapslock().id(), "139");
    EXPECT_EQ(VDKey::tapCapslock().modifiersString(), localized("_tap_a_key"));
    EXPECT_EQ(VDKey::pressCapslock().modifiersString(), localized("_press_a_key"));
}

TEST_F(VDKeyTest, KeybitOutsideTheLayoutStaysInTheKeyAndItsIdentity)
{
    const auto odd = VDKey::fromKeybit(0x1234);
    EXPECT_EQ(odd.keycode(), 0x234);
    EXPECT_EQ(odd.keybit(), 0x1234);
    EXPECT_FALSE(odd == VDKey(0x234, {}));

    auto a = VDKey(8, {57});
    auto b = VDKey::fromKeybit(0x10008);
    b.setTapLocation(EventTapLocation::hid);
    EXPECT_EQ(a, b);
    EXPECT_EQ(std::hash<VDKey>{}(a), std::hash<VDKey>{}(b));
    std::unordered_set<VDKey> set{a};
    EXPECT_TRUE(set.count(b));

    const VDKey fromEvent(KeyEvent{KeyEventType::keyDown, 38, 0x1F0000 | EventFlags::maskSecondaryFn});
    EXPECT_EQ(fromEvent.modifiers(), (ModifierSet{55, 56, 57, 58, 59}));
    EXPECT_EQ(fromEvent.keybit(), 0x1F0026);
}

TEST_F(VDKeyTest, JsonAcceptsEitherCaseAndWritesLowerCase)
{
    auto upper = VDKey::fromJson(Json{{"id", "1F0024"}, {"other", 1}});
    ASSERT_TRUE(upper) << upper.error();
    EXPECT_EQ(upper.value(), VDKey(36, {55, 56, 57, 58, 59}));
    EXPECT_EQ(upper.value().toJson().dump(), R"({"id":"1f0024"})");

    const std::pair<const char*, std::int64_t> lenient[] = {
        {"zz", 0},
        {"", 0},
        {" \t+0x1A", 0x1a},
        {"0X39", 0x39},
        {"39zz", 0x39},
        {"0x", 0},
        {"7fffffffffffffff", INT64_MAX},
    };
    for (const auto& [text, keybit] : lenient) {
        auto key = VDKey::fromJson(Json{{"id", text}});
        ASSERT_TRUE(key) << text;
        EXPECT_EQ(key.value().keybit(), keybit) << text;
    }

    const Json refused[] = {Json{{"id", "-39"}},
                            Json{{"id", " -1"}},
                            Json{{"id", "8000000000000000"}},
                            Json{{"id", "1ffffffffffffffff"}},
                            Json{{"id", 57}},
                            Json{{"id", nullptr}},
                            Json{{"key", "39"}},
                            Json::array({"39"}),
                            Json("39")};
    for (const auto& json : refused) EXPECT_FALSE(VDKey::fromJson(json)) << json.dump();
}

TEST_F(VDKeyTest, PostsExactlyTheFlagsOfItsOwnModifiers)
{
    const VDKey shiftCapsA(0, {56, 57});
    shiftCapsA.keyAct(true);
    shiftCapsA.keyAct(false);
    EXPECT_EQ(posted(), "a down [shift], a up [shift]");

    sim->keyboard().clearEvents();
    VDKey hidKey(38, {55});
    hidKey.setTapLocation(EventTapLocation::hid);
    hidKey.keyAct(true);
    EXPECT_EQ(posted(), "hid j down [cmd]");
}

TEST_F(VDKeyTest, HoldsModifiersInTheSetsOrderAndReleasesThemUnlessKept)
{
    const VDKey left(123, {56, 59});
    VDKey::doWhileModifiersPressing(
        left.modifiers(),
        [&] {
            left.keyAct(true);
            left.keyAct(false);
        },
        false);
    EXPECT_EQ(posted(), "shift down, ctrl down, left down [ctrl+shift], left up [ctrl+shift], shift up, ctrl up");

    sim->keyboard().clearEvents();
    VDKey::doWhileModifiersPressing({57, 99}, {}, false);
    EXPECT_EQ(posted(), "cmd down, cmd down, cmd up, cmd up");

    sim->keyboard().clearEvents();
    VDKey::doWhileModifiersPressing(
        {58}, [] { VDKey(0, {58}).keyAct(true); }, true);
    EXPECT_EQ(posted(), "option down, a down [opt]");
}

TEST_F(VDKeyTest, KeysThatCannotBePostedAreLoggedAndSkipped)
{
    VDKey(70000, {}).keyAct(true);
    sim->keyboard().setPostingFails(true);
    VDKey(0, {}).keyAct(true);
    {
        PlatformInstallation none(nullptr);
        VDKey(0, {}).keyAct(true);
    }
    EXPECT_EQ(posted(), "");
    const auto lines = captured->entries();
    ASSERT_EQ(lines.size(), 3u);
    for (const auto& line : lines) EXPECT_EQ(line.message.rfind("Create keyEvent fail!", 0), 0u) << line.message;
}

TEST_F(VDKeyTest, TextsShowLinuxNamesAndTheLayoutsCharacter)
{
    const VDKey key(36, {55, 56});
    EXPECT_EQ(key.keyNameWithModifiers(), "Shift+Super+Enter");
    EXPECT_EQ(key.keyCharWithModifiers(), "Shift+Super+Return");
    EXPECT_EQ(VDKey(-1, {}).keyName(), "");
    EXPECT_EQ(VDKey(-1, {}).id(), "-1");

    // Texts are computed once, by whichever thread asks first.
    const VDKey shared(40, {58});
    std::vector<std::thread> readers;
    for (int i = 0; i < 4; ++i) readers.emplace_back([&] { EXPECT_EQ(shared.keyCharWithModifiers(), "Alt+K"); });
    for (auto& t : readers) t.join();
    const VDKey copy = shared;
    EXPECT_EQ(copy.keyNameWithModifiers(), "Alt+K");
}

}  // namespace
}  // namespace vandrel
