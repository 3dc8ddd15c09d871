#include "ui/prefs/zr_shortcut_recorder.h"

#include <gtest/gtest.h>

#include "platform/key_event.h"
#include "platform/sim/sim_platform.h"
#include "prefs_fixture.h"
#include "rx/scheduler.h"

using namespace vandrel;

namespace {

constexpr std::uint64_t kShift = EventFlags::maskShift;
constexpr std::uint64_t kControl = EventFlags::maskControl;
constexpr std::uint64_t kCommand = EventFlags::maskCommand;

struct Call {
    std::string what;
    std::uint64_t flags;
    std::uint16_t keyCode;
    bool operator==(const Call&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Call& call)
{
    return out << call.what << " " << std::hex << call.flags << " " << std::dec << call.keyCode;
}

class RecordingDelegate final : public ZRShortcutRecorderDelegate {
public:
    void shortcutRecorderSetFlags(ZRShortcutRecorder&, std::uint64_t flags, std::uint16_t keyCode) override
    {
        calls.push_back({"set", flags, keyCode});
    }
    void shortcutRecorderDidClearFlags(ZRShortcutRecorder&, std::uint64_t flags, std::uint16_t keyCode) override
    {
        calls.push_back({"clear", flags, keyCode});
    }
    std::vector<Call> calls;
};

class RecorderTest : public testing::Test {
protected:
    RecorderTest()
    {
        platform->keyboardLayout().useUsLayout();
        previousPlatform = installPlatform(platform);
        window.resize(300, 100);
        recorder = new ZRShortcutRecorder(QRect(10, 10, 200, 22), &window);
        recorder->setDelegate(delegate);
        test::activate(&window);
        recorder->setFocus();
    }
    ~RecorderTest() override { installPlatform(previousPlatform); }

    void press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QKeyEvent event(QEvent::KeyPress, key, modifiers);
        QCoreApplication::sendEvent(recorder, &event);
    }
    void release(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QKeyEvent event(QEvent::KeyRelease, key, modifiers);
        QCoreApplication::sendEvent(recorder, &event);
    }
    void click(QPointF at) { test::click(recorder, at); }
    // Space starts recording, as a click outside the buttons does.
    void startRecording() { press(Qt::Key_Space); }

    std::shared_ptr<SimPlatform> platform = std::make_shared<SimPlatform>(std::make_shared<rx::ImmediateScheduler>());
    std::shared_ptr<Platform> previousPlatform;
    std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
    QWidget window;
    ZRShortcutRecorder* recorder;
};

}  // namespace

TEST_F(RecorderTest, EscapeRightAfterStartingOnAnEmptyRecorderSendsNothingAndStaysEmpty)
{
    ASSERT_TRUE(recorder->hasFocus());
    startRecording();
    EXPECT_TRUE(recorder->isRecording());
    EXPECT_EQ(recorder->labelToDraw().first, "Type shortcut");
    press(Qt::Key_Escape);
    EXPECT_FALSE(recorder->isRecording());
    EXPECT_TRUE(delegate->calls.empty());
    EXPECT_EQ(recorder->keyCode(), -1);
    EXPECT_EQ(recorder->labelToDraw().first, "Click to record shortcut");
}

TEST_F(RecorderTest, StartingOnAShownShortcutSetsItAsideAndEscapeBringsItBackToTheDelegate)
{
    recorder->setKeyCodeAndModifierFlags(0, kCommand);
    EXPECT_EQ(recorder->mutableLabel(), "Super+A");
    EXPECT_TRUE(delegate->calls.empty());

    startRecording();
    EXPECT_EQ(delegate->calls, (std::vector<Call>{Call{"clear", kCommand, 0}}));
    EXPECT_EQ(recorder->mutableLabel(), "");
    press(Qt::Key_Escape);
    EXPECT_EQ(recorder->mutableLabel(), "Super+A");
    EXPECT_EQ(recorder->modifierFlags(), kCommand);
    EXPECT_EQ(delegate->calls.back(), (Call{"set", kCommand, 0}));
    EXPECT_EQ(recorder->previousKeyCode(), -1);
}

TEST_F(RecorderTest, DeleteWhileIdleClearsAndTellsTheDelegateEvenWhenNothingWasShown)
{
    press(Qt::Key_Backspace);
    EXPECT_EQ(delegate->calls, (std::vector<Call>{Call{"clear", 0, 0xFFFF}}));
    recorder->setKeyCodeAndModifierFlags(121, kShift);
    press(Qt::Key_Backspace);
    EXPECT_EQ(delegate->calls.back(), (Call{"clear", kShift, 121}));
    EXPECT_EQ(recorder->mutableLabel(), "");
    EXPECT_FALSE(recorder->isRecording());
}

TEST_F(RecorderTest, ModifiersWhileRecordingShowTheirGlyphsWithoutCapsLock)
{
    startRecording();
    press(Qt::Key_Shift, Qt::ShiftModifier);
    press(Qt::Key_CapsLock, Qt::ShiftModifier);
    EXPECT_EQ(recorder->mutableLabel(), "Shift+");
    EXPECT_EQ(recorder->modifierFlags(), kShift);
    press(Qt::Key_Control, Qt::ShiftModifier | Qt::ControlModifier);
    EXPECT_EQ(recorder->mutableLabel(), "Ctrl+Shift+");
    release(Qt::Key_Shift, Qt::ControlModifier);
    EXPECT_EQ(recorder->mutableLabel(), "Ctrl+");
    EXPECT_TRUE(delegate->calls.empty());
}

TEST_F(RecorderTest, RecordedShortcutIsLabelledAndReportedFromTheKeysOwnModifiers)
{
    startRecording();
    // Shift was seen going down, but the key arrives with Control and Command (Shift's release was missed):
    // label and delegate both go by the key.
    press(Qt::Key_Shift, Qt::ShiftModifier);
    press(Qt::Key_Return, Qt::ControlModifier | Qt::MetaModifier);
    EXPECT_EQ(recorder->mutableLabel(), "Ctrl+Super+Return");
    EXPECT_EQ(recorder->keyCode(), 36);
    EXPECT_FALSE(recorder->isRecording());
    EXPECT_EQ(delegate->calls, (std::vector<Call>{Call{"set", kControl | kCommand, 36}}));
}

TEST_F(RecorderTest, LabelsComeFromTheKeyTableOrTheKeyboardLayout)
{
    EXPECT_EQ(recorder->stringFromKeyCode(121, 0), "Page Down");
    EXPECT_EQ(recorder->stringFromKeyCode(0, 0), "A");
    EXPECT_EQ(recorder->stringFromKeyCode(114, 0), "Insert");
    EXPECT_EQ(recorder->stringFromKeyCode(105, EventFlags::maskAlternate | kControl | kShift | kCommand),
              "Ctrl+Alt+Shift+Super+F13");
    EXPECT_EQ(recorder->stringFromKeyCode(49, 0), "Space");
    // A key the layout types nothing for has an empty label.
    EXPECT_EQ(recorder->stringFromKeyCode(0x7F, 0), "");
}

TEST_F(RecorderTest, KeyWithoutModifiersIsRefusedAndThePreviousShortcutComesBack)
{
    recorder->setKeyCodeAndModifierFlags(0, kCommand);
    startRecording();
    press(Qt::Key_B);
    EXPECT_FALSE(recorder->isRecording());
    EXPECT_EQ(recorder->mutableLabel(), "Super+A");
    EXPECT_EQ(delegate->calls.back(), (Call{"set", kCommand, 0}));

    recorder->setRequiresModifierFlags(false);
    startRecording();
    press(Qt::Key_B);
    EXPECT_EQ(recorder->mutableLabel(), "B");
    EXPECT_EQ(delegate->calls.back(), (Call{"set", 0, 11}));
}

TEST_F(RecorderTest, TabEndsRecordingUnlessTabIsCapturedAndKeysPassWhenUnfocused)
{
    recorder->setKeyCodeAndModifierFlags(0, kCommand);
    startRecording();
    press(Qt::Key_Tab);
    EXPECT_FALSE(recorder->isRecording());
    EXPECT_EQ(recorder->mutableLabel(), "Super+A");
    EXPECT_EQ(window.focusWidget(), recorder);

    recorder->setCaptureTabKey(true);
    startRecording();
    press(Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(recorder->mutableLabel(), "Ctrl+Tab");

    const auto calls = delegate->calls.size();
    recorder->clearFocus();
    EXPECT_FALSE(recorder->performKeyEquivalent({ShortcutKeyEvent::Type::keyDown, 51, 0}));
    EXPECT_EQ(delegate->calls.size(), calls);
}

TEST_F(RecorderTest, ClickStartsRecordingAndTheButtonsSnapBackOrClear)
{
    recorder->clearFocus();
    recorder->setKeyCodeAndModifierFlags(0, kCommand);
    click(QPointF(20, 11));
    EXPECT_TRUE(recorder->hasFocus());
    EXPECT_TRUE(recorder->isRecording());
    ASSERT_TRUE(recorder->clearButtonVisible());
    // Clear at the right edge, snap-back 16 further left.
    EXPECT_EQ(recorder->clearButtonRect(), QRectF(200 - 16, 5, 12, 12));
    EXPECT_EQ(recorder->snapBackButtonRect(), QRectF(200 - 32, 5, 12, 12));

    click(recorder->snapBackButtonRect().center());
    EXPECT_FALSE(recorder->isRecording());
    EXPECT_EQ(recorder->mutableLabel(), "Super+A");

    click(QPointF(20, 11));
    click(recorder->clearButtonRect().center());
    EXPECT_FALSE(recorder->isRecording());
    EXPECT_EQ(recorder->mutableLabel(), "");
    EXPECT_EQ(delegate->calls.back(), (Call{"clear", 0, 0xFFFF}));

    // Nothing to clear: the snap-back button moves to the edge.
    click(QPointF(20, 11));
    EXPECT_FALSE(recorder->clearButtonVisible());
    EXPECT_EQ(recorder->snapBackButtonRect(), QRectF(200 - 16, 5, 12, 12));
}

TEST_F(RecorderTest, LosingTheFocusEndsRecordingAndAGoneDelegateIsNotTold)
{
    QWidget other(&window);
    other.setFocusPolicy(Qt::StrongFocus);
    other.show();
    recorder->setKeyCodeAndModifierFlags(0, kCommand);
    startRecording();
    other.setFocus();
    EXPECT_FALSE(recorder->isRecording());

    delegate.reset();
    recorder->setFocus();
    startRecording();
    press(Qt::Key_A, Qt::MetaModifier);
    EXPECT_EQ(recorder->mutableLabel(), "Super+A");
}

namespace {

// A recorder of the hotkey editor replaces the label builder and the state moves; every step uses them.
class CapsRecorder final : public ZRShortcutRecorder {
public:
    using ZRShortcutRecorder::ZRShortcutRecorder;
    QString stringFromKeyCode(std::uint16_t keyCode, std::uint64_t flags) const override
    {
        return "Caps Lock+" + ZRShortcutRecorder::stringFromKeyCode(keyCode, flags);
    }
    void pushKeyboardShortcut() override
    {
        ++pushes;
        ZRShortcutRecorder::pushKeyboardShortcut();
    }
    int pushes = 0;
};

}  // namespace

TEST_F(RecorderTest, OverridesOfASubclassTakeEffectEverywhere)
{
    auto* caps = new CapsRecorder(QRect(10, 40, 200, 22), &window);
    caps->setKeyCodeAndModifierFlags(0, kCommand);
    EXPECT_EQ(caps->mutableLabel(), "Caps Lock+Super+A");
    caps->show();
    caps->setFocus();
    QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier);
    QCoreApplication::sendEvent(caps, &space);
    EXPECT_EQ(caps->pushes, 1);
    QKeyEvent key(QEvent::KeyPress, Qt::Key_Left, Qt::ControlModifier);
    QCoreApplication::sendEvent(caps, &key);
    EXPECT_EQ(caps->mutableLabel(), "Caps Lock+Ctrl+Left");
}
