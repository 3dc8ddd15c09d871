// The key path on the descriptor seams, as the user's hands see it: what counts as a Caps tap, the order of
// what reaches applications when an action runs on the main thread, and an input thread that never waits on
// the desktop.
#include <gtest/gtest.h>

#include <algorithm>

#include "catalogue/system_terminal.h"
#include "core/log_capture.h"
#include "key_path_rig.h"

namespace vandrel {
namespace {

using testing::kKeyboard;
using KeyPath = testing::KeyPathRig;
using Strings = std::vector<std::string>;

// The keys applications received, modifiers and the guard key left out: what was typed or posted.
Strings typedKeys(const std::vector<input_event>& events)
{
    Strings out;
    for (const auto& key : testing::describeKeys(events)) {
        const bool modifier = key.find("SHIFT") != std::string::npos || key.find("CTRL") != std::string::npos ||
                              key.find("ALT") != std::string::npos || key.find("META") != std::string::npos;
        if (!modifier && key.rfind("KEY_UNKNOWN", 0) != 0) out.push_back(key);
    }
    return out;
}

Strings tapsOf(std::initializer_list<const char*> keys)
{
    Strings out;
    for (const char* key : keys) {
        out.push_back(std::string(key) + " down");
        out.push_back(std::string(key) + " up");
    }
    return out;
}

TEST(KeyPathOrder, OnlyACapsHoldWithNoOtherKeyIsATap)
{
    struct Case {
        const char* name;
        std::vector<std::uint16_t> before;  // held before Caps, let go after it
        std::vector<std::uint16_t> inHold;  // tapped while Caps is held, 150 ms in all
        Strings typed;                      // what applications get, X typed right after included
    };
    const std::vector<Case> cases{
        {"Caps alone", {}, {}, tapsOf({"KEY_ESC", "KEY_X"})},
        {"Shift+Caps", {KEY_LEFTSHIFT}, {}, tapsOf({"KEY_CAPSLOCK", "KEY_X"})},
        {"Caps+Z, bound to nothing", {}, {KEY_Z}, tapsOf({"KEY_X"})},
        {"Shift+Caps+Z", {KEY_LEFTSHIFT}, {KEY_Z}, tapsOf({"KEY_X"})},
        {"Shift pressed inside the hold", {}, {KEY_LEFTSHIFT}, tapsOf({"KEY_X"})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        KeyPath path;
        auto& keyboard = *path.rig.source;
        for (auto key : c.before) keyboard.press(kKeyboard, key);
        keyboard.press(kKeyboard, KEY_CAPSLOCK);
        path.rig.pump();
        path.rig.clock->advanceBy(std::chrono::milliseconds(50));
        for (auto key : c.inHold) keyboard.tap(kKeyboard, key);
        path.rig.pump();
        path.rig.clock->advanceBy(std::chrono::milliseconds(100));
        keyboard.release(kKeyboard, KEY_CAPSLOCK);
        for (auto key : c.before) keyboard.release(kKeyboard, key);
        // Typed at once: the lock toggle is written on the input thread, before it.
        keyboard.tap(kKeyboard, KEY_X);
        EXPECT_EQ(typedKeys(path.drain()), c.typed);
    }
}

TEST(KeyPathOrder, KeysAfterAMainThreadActionWaitForItsStrokesHalfASecondAtMost)
{
    struct Case {
        const char* name;
        std::chrono::milliseconds mainBusy;
        Strings typed;
        bool logged;
        // A, held since before Caps, goes up right after Caps+C, while nothing waits behind the action; then
        // Caps goes up at once, before the main thread ran.
        bool heldA = false;
        // What the action saw when the main thread ran it: Caps still held, as the hands had it then.
        bool capsDownAtRun = true;
    };
    const std::vector<Case> cases{
        {"main thread busy 300 ms: order kept", std::chrono::milliseconds(300), tapsOf({"KEY_C", "KEY_LEFT", "KEY_X"}),
         false},
        {"main thread busy 600 ms: the keys go on", std::chrono::milliseconds(600),
         tapsOf({"KEY_LEFT", "KEY_X", "KEY_C"}), true, false, false},
        {"a key let go meanwhile: at once, Caps after the action", std::chrono::milliseconds(300),
         tapsOf({"KEY_A", "KEY_C", "KEY_X"}), false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::ScopedLogCapture logged;
        // The main thread: runs only when the test says so.
        auto main = rx::VirtualTimeScheduler::make();
        // Caps+C copies as a service of the main thread would: it posts Command+C there.
        std::shared_ptr<VandrelState> state;
        std::optional<bool> capsDownAtRun;
        KeyPath path({}, main, [&](EventKeeper& table) {
            table.addKey(VDKey(8, {57}),
                         VDAction::make("copyOnMain", "", VDActionGroup::general)
                             ->addKeyCombo(8, {55})
                             ->addStep([&](const VDAtomicActionParam&) { capsDownAtRun = state->isCapsDown(); }),
                         {});
        });
        state = path.state;
        auto& keyboard = *path.rig.source;
        if (c.heldA) {
            keyboard.press(kKeyboard, KEY_A);
            path.rig.pump();
        }
        // Caps+C, then Caps+S (a key-only action) and X, all in one read.
        keyboard.press(kKeyboard, KEY_CAPSLOCK);
        keyboard.tap(kKeyboard, KEY_C);
        if (c.heldA) keyboard.release(kKeyboard, KEY_A);
        if (!c.heldA) keyboard.tap(kKeyboard, KEY_S);
        keyboard.release(kKeyboard, KEY_CAPSLOCK);
        keyboard.tap(kKeyboard, KEY_X);
        path.rig.pump();
        path.rig.clock->advanceBy(c.mainBusy);
        auto out = path.drain();
        main->runDue();
        const auto rest = path.drain();
        out.insert(out.end(), rest.begin(), rest.end());
        EXPECT_EQ(typedKeys(out), c.typed);
        EXPECT_EQ(capsDownAtRun, c.capsDownAtRun);
        const auto entries = logged->entries();
        EXPECT_EQ(std::count_if(entries.begin(), entries.end(),
                                [](const auto& e) { return e.message.find("500 ms") != std::string::npos; }),
                  c.logged ? 1 : 0);
    }
}

TEST(KeyPathOrder, DeleteLineInATerminalNeverAsksTheDesktopWhichApplicationIsInFront)
{
    SystemTerminal::setApplicationIds({"org.gnome.Terminal"});
    KeyPath path;
    auto& workspace = static_cast<testing::KeyPathPlatform&>(*path.platform).sim().workspace();
    RunningApplication terminal;
    terminal.bundleIdentifier = "org.gnome.Terminal";
    workspace.activate(workspace.addApplication(terminal).processIdentifier);
    // A desktop that takes 2 s to say which application is in front, counted in virtual time.
    int queries = 0;
    workspace.setFrontmostQueryHook([&] {
        ++queries;
        path.rig.clock->advanceBy(std::chrono::seconds(2));
    });
    const auto start = path.rig.clock->now();
    path.rig.source->press(kKeyboard, KEY_CAPSLOCK);
    path.rig.source->tap(kKeyboard, KEY_BACKSPACE);
    path.rig.source->release(kKeyboard, KEY_CAPSLOCK);
    path.rig.pump();
    const auto out = path.rig.rawOutput();
    EXPECT_LT(path.rig.clock->now() - start, std::chrono::milliseconds(5));
    EXPECT_EQ(queries, 0);
    // The terminal's own line erasers (Ctrl+K, Ctrl+U), not the editor's selection and Backspace.
    EXPECT_EQ(typedKeys(out), tapsOf({"KEY_K", "KEY_U"}));
}

}  // namespace
}  // namespace vandrel
