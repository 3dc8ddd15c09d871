// Shortcuts posted on the keys that type their characters in the session's layout: layouts loaded by
// xkbcommon from the system's XKB data, no X server.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <optional>

#include "input_rig.h"
#include "platform/linux/input/linux_event_tap_service.h"
#include "platform/linux/input/posting_translator.h"
#include "platform/linux/x11/xkb_keyboard_layout.h"

namespace vandrel {
namespace {

using testing::InputRig;
using Strokes = std::vector<EvdevStroke>;

constexpr std::uint64_t kCmd = EventFlags::maskCommand;
constexpr std::uint64_t kCtrl = EventFlags::maskControl;
constexpr std::uint8_t C = EvdevStroke::ctrl;
constexpr std::uint8_t S = EvdevStroke::shift;
// Virtual key codes.
constexpr std::uint16_t kA = 0, kB = 11, kZ = 6, kC = 8, kV = 9, kLeftBracket = 33, kDelete = 51, kLeft = 123;

// The keymap of the given XKB layout (and variant), as the session would have it.
std::shared_ptr<XkbKeyboardLayout> layoutOf(const char* layout, const char* variant = "")
{
    const char* oldLayout = std::getenv("XKB_DEFAULT_LAYOUT");
    const std::optional<std::string> saved = oldLayout ? std::optional<std::string>(oldLayout) : std::nullopt;
    setenv("XKB_DEFAULT_LAYOUT", layout, 1);
    setenv("XKB_DEFAULT_VARIANT", variant, 1);
    auto result = std::make_shared<XkbKeyboardLayout>("");
    result->followsDisplay();  // returns once the keymap is made, as the session's is long before an action posts
    unsetenv("XKB_DEFAULT_VARIANT");
    if (saved)
        setenv("XKB_DEFAULT_LAYOUT", saved->c_str(), 1);
    else
        unsetenv("XKB_DEFAULT_LAYOUT");
    return result;
}

Strokes press(LayoutKeyLocator& layout, std::uint16_t keyCode, std::uint64_t flags, bool terminal = false)
{
    return PostingTranslator::translate({KeyEventType::keyDown, keyCode, flags}, terminal, &layout).value();
}

TEST(LayoutPosting, FrenchShortcutsGoOnTheKeysThatTypeTheirLetters)
{
    auto fr = layoutOf("fr");
    ASSERT_EQ(fr->characterForKeyCode(kA), "q") << "the French keymap did not load";
    EXPECT_EQ(press(*fr, kA, kCmd), (Strokes{{KEY_Q, true, C}}));  // select all: not Ctrl+Q, which quits
    EXPECT_EQ(press(*fr, kZ, kCmd), (Strokes{{KEY_W, true, C}}));
    EXPECT_EQ(press(*fr, kC, kCmd), (Strokes{{KEY_C, true, C}}));
    EXPECT_EQ(press(*fr, kA, kCmd, true), (Strokes{{KEY_Q, true, C | S}}));  // in a terminal too
    EXPECT_EQ(press(*fr, kA, kCtrl), (Strokes{{KEY_Q, true, C}}));           // Emacs-style line start
    // Key-ups release the same key.
    EXPECT_EQ(PostingTranslator::translate({KeyEventType::keyUp, kA, kCmd}, false, fr.get()),
              (Strokes{{KEY_Q, false, C}}));
    // Movement keys and recorded strokes do not move.
    EXPECT_EQ(press(*fr, kLeft, kCmd), (Strokes{{KEY_HOME, true, 0}}));
    EXPECT_EQ(PostingTranslator::translateRecorded({KeyEventType::keyDown, kA, kCmd}),
              (Strokes{{KEY_A, true, EvdevStroke::meta}}));
}

TEST(LayoutPosting, GermanUndoAndTheEmacsStrokes)
{
    auto de = layoutOf("de");
    ASSERT_EQ(de->characterForKeyCode(16), "z") << "the German keymap did not load";
    EXPECT_EQ(press(*de, kZ, kCmd), (Strokes{{KEY_Y, true, C}}));  // undo, not Ctrl+Y (redo)
    EXPECT_EQ(press(*de, kV, kCmd), (Strokes{{KEY_V, true, C}}));
    EXPECT_EQ(press(*de, kB, 0), (Strokes{{KEY_B, true, 0}}));
    // "[" is AltGr+8 there: Ctrl+[ becomes the Escape it stands for.
    EXPECT_EQ(press(*de, kLeftBracket, kCtrl), (Strokes{{KEY_ESC, true, 0}}));
}

TEST(LayoutPosting, OtherLayoutsGroupsAndCharactersNoKeyTypes)
{
    auto dvorak = layoutOf("us", "dvorak");
    EXPECT_EQ(press(*dvorak, kC, kCmd), (Strokes{{KEY_I, true, C}}));
    EXPECT_EQ(press(*dvorak, kZ, kCmd), (Strokes{{KEY_SLASH, true, C}}));
    EXPECT_EQ(press(*dvorak, kLeftBracket, kCtrl), (Strokes{{KEY_MINUS, true, C}}));
    auto us = layoutOf("us");
    EXPECT_EQ(press(*us, kLeftBracket, kCtrl), (Strokes{{KEY_LEFTBRACE, true, C}}));

    // A Cyrillic group types no Latin letter: the Latin group of the keymap has it.
    auto ruUs = layoutOf("ru,us", "");
    EXPECT_EQ(press(*ruUs, kC, kCmd), (Strokes{{KEY_C, true, C}}));
    // Without one, the key's usual place.
    auto ru = layoutOf("ru");
    EXPECT_EQ(ru->keyTyping(U'c'), std::nullopt);
    EXPECT_EQ(press(*ru, kC, kCmd), (Strokes{{KEY_C, true, C}}));
}

TEST(LayoutPosting, DeleteAllOnAFrenchKeyboardThroughTheOutputKeyboard)
{
    InputRig rig;
    auto backend = std::shared_ptr<InputBackend>(rig.backend.get(), [](InputBackend*) {});
    LinuxEventTapService taps(backend, nullptr, layoutOf("fr"));
    // Command+A, then Delete, with the Command key events around the first, as the action posts them.
    taps.postEvent({KeyEventType::flagsChanged, 55, kCmd});
    taps.postEvent({KeyEventType::keyDown, kA, kCmd});
    taps.postEvent({KeyEventType::keyUp, kA, kCmd});
    taps.postEvent({KeyEventType::flagsChanged, 55, 0});
    taps.postEvent({KeyEventType::keyDown, kDelete, 0});
    taps.postEvent({KeyEventType::keyUp, kDelete, 0});
    // A recorded Ctrl+A stays where it was recorded.
    taps.postRecordedEvent({KeyEventType::keyDown, kA, kCtrl});
    taps.postRecordedEvent({KeyEventType::keyUp, kA, kCtrl});
    rig.pump();
    const auto out = rig.output();
    std::vector<std::string> keys;  // the non-modifier keys, each with whether Ctrl was down
    bool ctrl = false;
    for (const auto& e : out) {
        if (e.rfind("KEY_LEFTCTRL", 0) == 0 || e.rfind("KEY_RIGHTCTRL", 0) == 0) {
            ctrl = e.ends_with("down");
            continue;
        }
        if (e.ends_with("down")) keys.push_back((ctrl ? "Ctrl+" : "") + e.substr(0, e.size() - 5));
    }
    EXPECT_EQ(keys, (std::vector<std::string>{"Ctrl+KEY_Q", "KEY_BACKSPACE", "Ctrl+KEY_A"}))
        << ::testing::PrintToString(out);
}

}  // namespace
}  // namespace vandrel
