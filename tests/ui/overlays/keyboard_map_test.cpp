#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QToolButton>

#include "platform/sim/sim_platform.h"
#include "rx/virtual_time_scheduler.h"
#include "ui/overlays/keyboard_map_scripts.h"
#include "ui/overlays/keyboard_map_window_controller.h"

namespace vandrel {
namespace {

constexpr std::uint64_t kCaps = EventFlags::maskAlphaShift;
constexpr std::uint16_t kA = 0, kB = 11, kBackslash = 42, kShiftKey = 56;
const std::string kModifiersUp = "map.btnUp('shift');map.btnUp('ctrl');map.btnUp('opt');map.btnUp('cmd');";

KeyEvent down(std::uint16_t code, std::uint64_t flags = kCaps)
{
    return KeyEvent{KeyEventType::keyDown, code, flags};
}
KeyEvent up(std::uint16_t code, std::uint64_t flags = kCaps)
{
    return KeyEvent{KeyEventType::keyUp, code, flags};
}
Keystroke stroke(std::uint16_t code, std::uint64_t flags = kCaps)
{
    return KeyKit::cgeventToKeystroke(down(code, flags));
}

struct KeyboardMap : ::testing::Test {
    std::shared_ptr<rx::VirtualTimeScheduler> clock = rx::VirtualTimeScheduler::make();
    std::shared_ptr<SimPlatform> sim = SimPlatform::make(clock);  // the US layout names the keys
    PlatformInstallation installed{sim};
    rx::PublishSubject<KeyEvent> keydown, capsDown, keyup, capsUp;
    std::shared_ptr<KeyboardMapWindowController> map;

    KeyboardMapWindowController& makeMap()
    {
        map = KeyboardMapWindowController::make(
            {keydown.asObservable(), capsDown.asObservable(), keyup.asObservable(), capsUp.asObservable(), clock});
        return *map;
    }
    KeyboardMapView& view() { return *map->view(); }
    int evaluated() { return map->viewController().page().evaluatedScripts(); }
    // Keys arrive on the input thread; their scripts run at the next turn of the (virtual) main queue.
    void send(const rx::PublishSubject<KeyEvent>& subject, const KeyEvent& event)
    {
        subject.onNext(event);
        clock->runDue();
    }
};

TEST(KeyboardMapScripts, KeyDownReleasesOrPressesEachModifierThenPressesTheKey)
{
    PlatformInstallation installed{SimPlatform::make()};
    EXPECT_EQ(KeyboardMapScripts::keyDown(stroke(kA)),
              "map.btnDown('capslock');" + kModifiersUp + "map.btnDown(\"A\");");
    EXPECT_EQ(KeyboardMapScripts::keyDown(stroke(kA, kCaps | EventFlags::maskShift)),
              "map.btnDown('capslock');map.btnDown('shift');map.btnUp('ctrl');map.btnUp('opt');map.btnUp('cmd');"
              "map.btnDown(\"A\");");
    EXPECT_EQ(KeyboardMapScripts::keyDown(stroke(kShiftKey, kCaps | EventFlags::maskShift)),
              "map.btnDown('capslock');map.btnDown('shift');map.btnUp('ctrl');map.btnUp('opt');map.btnUp('cmd');"
              "map.btnDown(\"\");");
    EXPECT_EQ(KeyboardMapScripts::keyDown(stroke(kBackslash)),
              "map.btnDown('capslock');" + kModifiersUp + "map.btnDown(\"\\\\\");");
    EXPECT_EQ(KeyboardMapScripts::capsUp({}), "map.btnUp('capslock');" + kModifiersUp);
}

TEST(KeyboardMapScripts, NamesAreOneStringLiteralWhateverTheyHold)
{
    EXPECT_EQ(KeyboardMapScripts::quoted("\\"), "\"\\\\\"");
    EXPECT_EQ(KeyboardMapScripts::quoted("a\"b"), "\"a\\\"b\"");
    EXPECT_EQ(KeyboardMapScripts::quoted("a\\'b\nc"), "\"a\\\\'b\\nc\"");

    KeyboardMapView view;
    KeyboardMapPage page(&view);
    view.turnonBtn({"w"});
    for (const std::string name : {"\\", "\"", "x\");map.turnoffAll();(\"", "a\nb", "\\\"", "\xff", "a\u2028b\u2029"})
        EXPECT_TRUE(page.evaluate("map.btnDown(" + KeyboardMapScripts::quoted(name) + ");")) << name;
    EXPECT_TRUE(view.isMarked("w"));  // nothing injected ran
    EXPECT_TRUE(view.isPressed("\\"));
}

TEST_F(KeyboardMap, ThePageStartsScaledWithTheBaseEditingKeysMarked)
{
    makeMap();
    EXPECT_DOUBLE_EQ(view().scale(), 0.7);
    for (const char* id : {"capslock", "w", "e", "r", "s", "d", "f", "t", "a", "g", "b"})
        EXPECT_TRUE(view().isMarked(id)) << id;
    EXPECT_FALSE(view().isMarked("q"));
    EXPECT_TRUE(view().pressed().empty());
}

TEST_F(KeyboardMap, ScriptsLightKeysByIdInAnyCase)
{
    KeyboardMapView view;
    KeyboardMapPage page(&view);
    EXPECT_TRUE(page.evaluate("map.btnDown('capslock');map.btnDown(\"A\");window.map.btnDown('Right Shift');"));
    EXPECT_TRUE(view.isPressed("a"));
    EXPECT_TRUE(view.isPressed("CapsLock"));
    EXPECT_TRUE(view.isPressed("right shift"));
    EXPECT_TRUE(page.evaluate("map.btnUp('a');map.btnDown('no such key');"));
    EXPECT_FALSE(view.isPressed("A"));
    EXPECT_TRUE(page.evaluate("$('#content').css({'transform': 'scale(1.5)'});"));
    EXPECT_DOUBLE_EQ(view.scale(), 1.5);
    EXPECT_FALSE(page.evaluate("map.nothing();"));
}

TEST_F(KeyboardMap, NothingIsSentWhileTheMapIsNotOnScreen)
{
    makeMap();
    const int atStart = evaluated();
    send(keydown, down(kA));
    send(capsUp, down(57));
    EXPECT_EQ(evaluated(), atStart);

    map->showWindow();
    ASSERT_TRUE(map->viewController().isFollowingKeys());
    send(keydown, down(kA));
    EXPECT_EQ(evaluated(), atStart + 1);
    EXPECT_TRUE(view().isPressed("a"));

    map->close();
    EXPECT_FALSE(map->viewController().isFollowingKeys());
    send(keyup, up(kA));
    EXPECT_EQ(evaluated(), atStart + 1);
}

TEST_F(KeyboardMap, AKeyUpReleasesItsOwnKeyNotTheLastPressed)
{
    makeMap().showWindow();
    send(keydown, down(kA));
    send(keydown, down(kB));
    send(keyup, up(kA));
    EXPECT_FALSE(view().isPressed("a"));
    EXPECT_TRUE(view().isPressed("b"));
    EXPECT_TRUE(view().isPressed("capslock"));
    send(capsUp, up(57, 0));
    EXPECT_TRUE(view().pressed().empty());
    EXPECT_EQ(map->viewController().lastKeystroke(), std::nullopt);
}

TEST_F(KeyboardMap, AFirstKeyUpWithoutItsPressReleasesOnlyCapsAndModifiers)
{
    makeMap().showWindow();
    view().btnDown("a");  // lit by something else
    send(keyup, up(kA, kCaps | EventFlags::maskCommand));
    EXPECT_TRUE(view().isPressed("a"));
    EXPECT_TRUE(view().isPressed("cmd"));
    EXPECT_EQ(map->viewController().lastKeystroke(), stroke(kA, kCaps | EventFlags::maskCommand));
}

TEST_F(KeyboardMap, CapsUpReleasesCapsModifiersAndEveryKeyStillDown)
{
    makeMap().showWindow();
    send(capsDown, down(80));
    send(keydown, down(kA, kCaps | EventFlags::maskShift));
    send(keydown, down(kB, kCaps | EventFlags::maskShift));
    EXPECT_TRUE(view().isPressed("shift"));
    send(capsUp, up(80, 0));
    EXPECT_TRUE(view().pressed().empty());
    EXPECT_TRUE(view().isMarked("capslock"));
}

TEST_F(KeyboardMap, TheTitleStripShowsNearTheTopOnly)
{
    auto& m = makeMap();
    m.showWindow();
    EXPECT_FALSE(m.isTitlebarShown());
    m.mouseMoved(99);
    EXPECT_TRUE(m.isTitlebarShown());
    m.mouseMoved(100);
    EXPECT_FALSE(m.isTitlebarShown());
    m.showTitlebar();
    m.hideTitlebar();
    EXPECT_FALSE(m.isTitlebarShown());
    EXPECT_TRUE(m.window()->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(m.window()->windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(m.window()->testAttribute(Qt::WA_TranslucentBackground));
}

TEST_F(KeyboardMap, EscapeClosesItAndTheCloseButtonStandsOnAnOpaqueStrip)
{
    auto& m = makeMap();
    m.showWindow();
    auto* close = m.window()->findChild<QToolButton*>("closeButton");
    ASSERT_NE(close, nullptr);
    // Without a compositor the translucent window is black: the strip paints its own background.
    EXPECT_TRUE(close->parentWidget()->autoFillBackground());
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(m.window(), &escape);
    EXPECT_FALSE(m.isVisible());
}

}  // namespace
}  // namespace vandrel
