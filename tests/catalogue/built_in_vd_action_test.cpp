#include "catalogue/built_in_vd_action.h"

#include <gtest/gtest.h>

#include <sstream>

#include "catalogue/catalogue_fixture.h"
#include "model/vd_key_setting.h"

namespace vandrel {
namespace {

using B = BuiltInVDAction;
using Params = VDAction::ParamSequence;
using Accessor = const VDActionPtr& (*)();
using P = VDAtomicActionParam;

struct BuiltInVDActionTest : test::CatalogueTest {
    std::string run(Accessor action, const Params& params)
    {
        sim->keyboard().clearEvents();
        action()->doWithParamSequence(params);
        return posted();
    }
};

VDKeySettingPtr decodeSetting(const std::string& idName)
{
    return VDKeySetting::fromJson(nlohmann::ordered_json::parse(R"({"key":{"id":"30039"},"action":{"idName":")" +
                                                                idName + R"("},"paramSequence":[]})"))
        .value();
}

// The names stored bindings are kept under: a renamed one would lose the user's bindings. Every entry but
// hotstring, which stays unread (and unregistered) in this binary while its setting is off.
const std::string storedNames =
    "noAction showPreferences showCheatSheet sendInputEsc toggleCapslock sendInput moveUpN moveDownN "
    "moveLeftN moveRightN moveLeftNWords moveRightNWords moveToLineBeginning moveToLineEnd "
    "moveToPageBeginning moveToPageEnd selectUpN selectDownN selectLeftN selectRightN selectCurrentWord "
    "selectCurrentLine selectLeftNWords selectRightNWords selectToLineBeginning selectToLineEnd "
    "selectToPageBeginning selectToPageEnd delete forwardDelete deleteWord forwardDeleteWord "
    "deleteToLineBeginning deleteToLineEnd deleteToPageBeginning deleteToPageEnd insertLineBelow "
    "deleteLine deleteAll bindWindow activateWindow extraPasteboard1Cut extraPasteboard1Copy "
    "extraPasteboard1Paste extraPasteboard1PastePlainText extraPasteboard2Cut extraPasteboard2Copy "
    "extraPasteboard2Paste extraPasteboard2PastePlainText";

TEST_F(BuiltInVDActionTest, EveryEntryIsFoundByItsStoredName)
{
    BuiltInVDAction::registerAll();
    BuiltInVDAction::registerAll();
    std::istringstream names(storedNames);
    std::size_t count = 0;
    for (std::string idName; names >> idName; ++count) {
        SCOPED_TRACE(idName);
        const auto action = VDAction::registered(idName);
        ASSERT_NE(action, nullptr);
        EXPECT_EQ(action->idName(), idName);
        EXPECT_EQ(decodeSetting(idName)->action(), action);
    }
    EXPECT_EQ(count, 49u);
    EXPECT_EQ(logged->count(LogLevel::error), 0u);  // no idName registered twice
    EXPECT_EQ(B::extraPasteboard2PastePlainText()->staticDescription(), "Extra Clipboard 2 - Paste (Plain Text)");
    EXPECT_EQ(B::moveUpN(), VDAction::registered("moveUpN"));  // the accessor's object, built once
    EXPECT_EQ(B::moveUpN()->defaultParamSequence(), Params{P::times(1)});
    EXPECT_EQ(B::bindWindow()->defaultParamSequence(), Params{P::windowBindingId(-1)});

    // The Caps Lock tap's action is stored under its own name, never under its accessor's.
    EXPECT_EQ(VDAction::registered("tapCapsSendInputEsc"), nullptr);
    // With the experimental setting off nothing reads hotstring: a stored binding of it does nothing.
    EXPECT_EQ(VDAction::registered("hotstring"), nullptr);
    const auto hotstringSetting = decodeSetting("hotstring");
    EXPECT_EQ(hotstringSetting->action()->idName(), "hotstring");
    EXPECT_EQ(hotstringSetting->action()->staticDescription(), "No Action");
    hotstringSetting->action()->doWithParamSequence({});
    BuiltInVDAction::noAction()->doWithParamSequence({P::times(3)});
    EXPECT_EQ(posted(), "");
}

struct Body {
    Accessor action;
    Params params;
    const char* posted;
};

const std::string up = "up down, up up";

const Body bodies[] = {
    {&B::noAction, {}, ""},
    {&B::tapCapsSendInputEsc, {}, "esc down, esc up"},
    {&B::moveUpN, {P::times(3)}, "up down, up up, up down, up up, up down, up up"},
    {&B::moveLeftN, {}, "left down, left up"},
    {&B::moveRightN, {P::keyId("24")}, "right down, right up"},
    {&B::moveRightN, {P::times(0)}, ""},
    {&B::moveLeftNWords,
     {P::times(2)},
     "option down, left down [opt], left up [opt], left down [opt], left up [opt], option up"},
    {&B::moveRightNWords, {P::times(1)}, "option down, right down [opt], right up [opt], option up"},
    {&B::moveRightNWords, {P::times(0)}, "option down, option up"},
    {&B::moveToLineBeginning, {}, "cmd down, left down [cmd], left up [cmd], cmd up"},
    {&B::moveToLineEnd, {}, "cmd down, right down [cmd], right up [cmd], cmd up"},
    {&B::moveToPageBeginning, {}, "cmd down, up down [cmd], up up [cmd], cmd up"},
    {&B::moveToPageEnd, {P::times(4)}, "cmd down, down down [cmd], down up [cmd], cmd up"},
    {&B::selectUpN,
     {P::times(2)},
     "shift down, up down [shift], up up [shift], up down [shift], up up [shift], shift up"},
    {&B::selectRightN, {P::times(1)}, "shift down, right down [shift], right up [shift], shift up"},
    {&B::selectCurrentWord,
     {},
     "right down, right up, option down, left down [opt], left up [opt], option up, "
     "shift down, option down, right down [opt+shift], right up [opt+shift], shift up, option up"},
    {&B::selectCurrentLine,
     {},
     "cmd down, left down [cmd], left up [cmd], cmd up, "
     "cmd down, shift down, right down [shift+cmd], right up [shift+cmd], cmd up, shift up"},
    {&B::selectLeftNWords,
     {P::times(1)},
     "shift down, option down, left down [opt+shift], left up [opt+shift], shift up, option up"},
    {&B::selectToLineBeginning,
     {},
     "cmd down, shift down, left down [shift+cmd], left up [shift+cmd], cmd up, shift up"},
    {&B::selectToPageEnd, {}, "cmd down, shift down, down down [shift+cmd], down up [shift+cmd], cmd up, shift up"},
    {&B::delete_, {}, "backspace down, backspace up"},
    {&B::forwardDelete, {}, "delete down, delete up"},
    {&B::deleteWord, {}, "option down, backspace down [opt], backspace up [opt], option up"},
    {&B::forwardDeleteWord, {}, "option down, delete down [opt], delete up [opt], option up"},
    {&B::deleteToLineBeginning,
     {},
     "cmd down, shift down, left down [shift+cmd], left up [shift+cmd], cmd up, shift up, backspace down, backspace "
     "up"},
    {&B::deleteToLineEnd,
     {},
     "cmd down, shift down, right down [shift+cmd], right up [shift+cmd], cmd up, shift up, delete down, delete up"},
    {&B::deleteToPageEnd,
     {},
     "cmd down, shift down, down down [shift+cmd], down up [shift+cmd], cmd up, shift up, delete down, delete up"},
    {&B::insertLineBelow, {}, "cmd down, right down [cmd], right up [cmd], cmd up, return down, return up"},
    {&B::deleteLine,
     {},
     "cmd down, right down [cmd], right up [cmd], cmd up, "
     "cmd down, shift down, left down [shift+cmd], left up [shift+cmd], cmd up, shift up, backspace down, backspace "
     "up"},
    {&B::deleteAll, {}, "cmd down, a down [cmd], a up [cmd], cmd up, backspace down, backspace up"},
};

TEST_F(BuiltInVDActionTest, StrokeActionsAreKeyOnlyAndThoseThatShowOrCallServicesAreNot)
{
    // The lock toggle types Caps Lock: it stays in order with the keys typed after Shift+Caps.
    for (const auto& action : {B::moveLeftN(), B::moveUpN(), B::moveLeftNWords(), B::tapCapsSendInputEsc(),
                               B::sendInput(), B::selectLeftN(), B::deleteLine(), B::toggleCapslock()})
        EXPECT_TRUE(action->postsKeysOnly()) << action->idName();
    for (const auto& action : {B::showPreferences(), B::showCheatSheet(), B::bindWindow()})
        EXPECT_FALSE(action->postsKeysOnly()) << action->idName();
}

TEST_F(BuiltInVDActionTest, KeyStrokeActionsPostTheEditingIdiomsUntranslated)
{
    for (const auto& row : bodies) {
        SCOPED_TRACE(row.action()->idName() + " " + logText(row.params));
        EXPECT_EQ(run(row.action, row.params), row.posted);
    }
    // Run with their defaults, the counted actions tap once.
    sim->keyboard().clearEvents();
    B::moveUpN()->post();
    EXPECT_EQ(posted(), up);
    EXPECT_EQ(recordedPosts(), 0);
}

struct Variant {
    const char* frontmost;
    Accessor action;
    Params params;
    const char* posted;
};

const Variant variants[] = {
    // Emacs-style strokes in a terminal-like application, repeated by a times parameter.
    {test::CatalogueTest::emulatorId,
     &B::moveLeftNWords,
     {P::times(2)},
     "ctrl down, lbracket down [ctrl], lbracket up [ctrl], ctrl up, b down, b up, "
     "ctrl down, lbracket down [ctrl], lbracket up [ctrl], ctrl up, b down, b up"},
    {test::CatalogueTest::emulatorId,
     &B::moveRightNWords,
     {P::times(1)},
     "ctrl down, lbracket down [ctrl], lbracket up [ctrl], ctrl up, f down, f up"},
    {test::CatalogueTest::emulatorId, &B::moveRightNWords, {P::times(0)}, ""},
    {test::CatalogueTest::emulatorId, &B::moveToLineBeginning, {}, "ctrl down, a down [ctrl], a up [ctrl], ctrl up"},
    {test::CatalogueTest::emulatorId, &B::moveToLineEnd, {}, "ctrl down, e down [ctrl], e up [ctrl], ctrl up"},
    {test::CatalogueTest::emulatorId, &B::forwardDeleteWord, {}, "option down, d down [opt], d up [opt], option up"},
    {test::CatalogueTest::emulatorId,
     &B::deleteToLineBeginning,
     {},
     "ctrl down, lbracket down [ctrl], lbracket up [ctrl], ctrl up, w down, w up"},
    {test::CatalogueTest::emulatorId, &B::deleteToLineEnd, {}, "ctrl down, k down [ctrl], k up [ctrl], ctrl up"},
    {test::CatalogueTest::emulatorId, &B::deleteLine, {}, "ctrl down, u down [ctrl], u up [ctrl], ctrl up"},
    // The rest behave as anywhere else.
    {test::CatalogueTest::emulatorId, &B::moveUpN, {P::times(2)}, "up down, up up, up down, up up"},
    {test::CatalogueTest::emulatorId,
     &B::deleteWord,
     {},
     "option down, backspace down [opt], backspace up [opt], option up"},
    // The system terminal erases with its own keys, the modifier only in the flags; it wins over Emacs.
    {test::CatalogueTest::systemTerminalId, &B::deleteToLineBeginning, {}, "u down [ctrl], u up [ctrl]"},
    {test::CatalogueTest::systemTerminalId,
     &B::deleteLine,
     {},
     "k down [ctrl], k up [ctrl], u down [ctrl], u up [ctrl]"},
    {test::CatalogueTest::systemTerminalId, &B::deleteToLineEnd, {}, "ctrl down, k down [ctrl], k up [ctrl], ctrl up"},
    // Where word moves go to word starts, the current word is selected with strokes that stay on the line.
    {test::CatalogueTest::wordStartEditorId,
     &B::selectCurrentWord,
     {},
     "option down, right down [opt], right up [opt], option up, left down, left up, left down, left up, "
     "option down, right down [opt], right up [opt], option up, "
     "shift down, option down, left down [opt+shift], left up [opt+shift], shift up, option up, "
     "shift down, right down [shift], right up [shift], shift up, shift down, right down [shift], right up [shift], "
     "shift up, shift down, option down, left down [opt+shift], left up [opt+shift], shift up, option up"},
};

TEST_F(BuiltInVDActionTest, TerminalLikeApplicationsGetEmacsStrokesAndTheSystemTerminalItsOwnKeys)
{
    for (const auto& row : variants) {
        SCOPED_TRACE(std::string(row.frontmost) + ": " + row.action()->idName() + " " + logText(row.params));
        bringToFront(row.frontmost);
        EXPECT_EQ(run(row.action, row.params), row.posted);
    }
    EXPECT_TRUE(logged->contains(LogLevel::info, "invoking emacs ->"));

    // No selection there, and no select-all.
    bringToFront(emulatorId);
    for (auto* action : {&B::selectUpN, &B::selectDownN, &B::selectLeftN, &B::selectRightN, &B::selectCurrentWord,
                         &B::selectCurrentLine, &B::selectLeftNWords, &B::selectRightNWords, &B::selectToLineBeginning,
                         &B::selectToLineEnd, &B::selectToPageBeginning, &B::selectToPageEnd, &B::deleteAll})
        EXPECT_EQ(run(action, {P::times(2)}), "") << action()->idName();

    // Back in an ordinary application the ordinary strokes return.
    bringToFront(editorId);
    EXPECT_EQ(run(&B::deleteLine, {}),
              "cmd down, right down [cmd], right up [cmd], cmd up, cmd down, shift down, left down [shift+cmd], "
              "left up [shift+cmd], cmd up, shift up, backspace down, backspace up");

    // The two conditions are independent: a system terminal the desktop does not list as terminal-like still
    // erases with its own keys, and moves by words as an editor does.
    sim->workspace().setTerminalLikeApplicationIds({emulatorId});
    installServices({});
    bringToFront(systemTerminalId);
    EXPECT_EQ(run(&B::deleteLine, {}), "k down [ctrl], k up [ctrl], u down [ctrl], u up [ctrl]");
    EXPECT_EQ(run(&B::moveLeftNWords, {P::times(1)}), "option down, left down [opt], left up [opt], option up");
}

TEST_F(BuiltInVDActionTest, ANegativeCountPostsNothing)
{
    EXPECT_EQ(run(&B::moveUpN, {P::times(-2)}), "");
    EXPECT_EQ(run(&B::moveLeftNWords, {P::times(-1)}), "");  // not even the Option key
    EXPECT_EQ(run(&B::selectRightNWords, {P::times(-5)}), "");
    EXPECT_EQ(logged->count(LogLevel::warning), 3u);
    bringToFront(emulatorId);
    EXPECT_EQ(run(&B::moveLeftNWords, {P::times(-1)}), "");
    EXPECT_EQ(run(&B::moveToLineEnd, {P::times(-3)}), "");
}

TEST_F(BuiltInVDActionTest, SendInputPostsTheRecordedKeyAsRecorded)
{
    EXPECT_EQ(run(&B::sendInput, {P::keyId("24")}), "return down, return up");
    EXPECT_EQ(recordedPosts(), 2);
    // The recorded modifiers travel in the flags, with no modifier key events around the key; Caps Lock adds
    // none.
    EXPECT_EQ(run(&B::sendInput, {P::keyId("10007b")}), "left down [cmd], left up [cmd]");
    EXPECT_EQ(run(&B::sendInput, {P::keyId("1E007B")}), "left down [ctrl+opt+shift+cmd], left up [ctrl+opt+shift+cmd]");
    EXPECT_EQ(run(&B::sendInput, {P::keyId("1007b")}), "left down, left up");
    EXPECT_EQ(recordedPosts(), 8);
    EXPECT_EQ(run(&B::sendInput, {}), "");
    EXPECT_EQ(run(&B::sendInput, {P::times(3)}), "");
    EXPECT_EQ(run(&B::sendInput, {P::none(), P::keyId("24")}), "");
    EXPECT_EQ(logged->count(LogLevel::warning), 0u);

    // A key id that does not parse is logged and posts nothing (read leniently it would be the A key).
    for (const char* bad : {"", "zz", "24x", "-24", "0x24", " 24", "+24", "1000000000000000000"}) {
        SCOPED_TRACE(bad);
        logged->clear();
        EXPECT_EQ(run(&B::sendInput, {P::keyId(bad)}), "");
        EXPECT_EQ(logged->count(LogLevel::warning), 1u);
    }
    EXPECT_EQ(recordedPosts(), 8);
}

TEST_F(BuiltInVDActionTest, DynamicTitlesFollowTheParameters)
{
    struct Title {
        Accessor action;
        Params params;
        std::optional<std::string> title;
    };
    const Title titles[] = {
        {&B::moveUpN, {P::times(3)}, "Move Up 3 Times"},
        {&B::moveUpN, {P::times(1)}, "Move Up"},
        {&B::moveUpN, {}, "Move Up"},
        {&B::moveUpN, {P::times(0)}, "Move Up 0 Times"},
        {&B::moveUpN, {P::keyId("24"), P::times(3)}, "Move Up"},
        {&B::moveLeftNWords, {P::times(3)}, "Move Left 3 Words"},
        {&B::selectRightN, {P::times(5)}, "Select Right 5 Times"},
        // No count template: the static title, never an empty one.
        {&B::moveToLineBeginning, {P::times(3)}, "Move to the Beginning of the Line"},
        {&B::forwardDeleteWord, {P::times(4)}, "Forward Delete Word"},
        {&B::sendInput, {P::keyId("24")}, "Send Input: Return"},
        {&B::sendInput, {P::keyId("100024")}, "Send Input: Super+Return"},
        {&B::sendInput, {}, std::nullopt},
        {&B::sendInput, {P::times(2)}, std::nullopt},
        {&B::sendInput, {P::keyId("zz")}, std::nullopt},
    };
    for (const auto& row : titles) {
        SCOPED_TRACE(row.action()->idName() + " " + logText(row.params));
        EXPECT_EQ(row.action()->dynamicDescription()(row.params), row.title);
    }
}

TEST_F(BuiltInVDActionTest, ToggleCapslockFlipsTheLockStateWhereItRuns)
{
    auto& keyboard = sim->keyboard();
    ASSERT_EQ(keyboard.capsLockLockState(), false);
    BuiltInVDAction::toggleCapslock()->post();
    EXPECT_EQ(keyboard.capsLockLockState(), true);
    BuiltInVDAction::toggleCapslock()->doWithParamSequence({});
    EXPECT_EQ(keyboard.capsLockLockState(), false);
    EXPECT_TRUE(logged->contains(LogLevel::debug, "toggle capslock"));
    EXPECT_EQ(posted(), "");

    keyboard.setCapsLockStateFails(true);  // logged, never fatal
    BuiltInVDAction::toggleCapslock()->post();
    EXPECT_EQ(logged->count(LogLevel::warning), 1u);
}

}  // namespace
}  // namespace vandrel
