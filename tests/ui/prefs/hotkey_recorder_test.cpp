#include "ui/prefs/hotkey_recorder.h"

#include <gtest/gtest.h>

#include <QKeyEvent>
#include <algorithm>

#include "core/defaults_keys.h"
#include "core/log_capture.h"
#include "recorder_engine_fixture.h"
#include "ui/prefs/develop_preference_view_controller.h"

namespace vandrel::test {
namespace {

constexpr std::uint64_t kCaps = EventFlags::maskAlphaShift;
constexpr std::uint64_t kCommand = EventFlags::maskCommand;

class RecordingDelegate final : public ZRShortcutRecorderDelegate {
public:
    void shortcutRecorderSetFlags(ZRShortcutRecorder&, std::uint64_t flags, std::uint16_t keyCode) override
    {
        calls.push_back("set " + std::to_string(flags) + " " + std::to_string(keyCode));
    }
    void shortcutRecorderDidClearFlags(ZRShortcutRecorder&, std::uint64_t flags, std::uint16_t keyCode) override
    {
        calls.push_back("clear " + std::to_string(flags) + " " + std::to_string(keyCode));
    }
    std::vector<std::string> calls;
};

class OlderRecorder : public RecorderEngineTest {
protected:
    OlderRecorder()
    {
        recorder = new HotkeyRecorder(engine(), QRect(10, 10, 200, 22), &window);
        recorder->setDelegate(delegate);
        EXPECT_TRUE(activate(&window));
        recorder->setFocus();
    }

    // Space from the window: the recorder starts recording.
    void pressSpace()
    {
        QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, " ");
        QCoreApplication::sendEvent(recorder, &space);
    }
    void startRecording()
    {
        pressSpace();
        ASSERT_TRUE(recorder->isRecording());
    }
    std::string label() const { return recorder->labelToDraw().first.toStdString(); }
    VdrKeyEventBehavior behavior() const { return core->state->keyEventBehavior(); }

    HotkeyRecorder* recorder;
    std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
};

TEST_F(OlderRecorder, CapsAIsRecordedWithTheCapsFlagAndBlocksCapsActionsMeanwhile)
{
    EXPECT_EQ(label(), "Click to record hotkey");
    startRecording();
    EXPECT_EQ(label(), "Type hotkey with Caps Lock down");
    EXPECT_EQ(behavior(), VdrKeyEventBehavior::block);
    run("capslock down, j down");
    EXPECT_EQ(scenario.posted(), "");
    EXPECT_FALSE(recorder->isRecording());
    EXPECT_EQ(recorder->keyCode(), 38);
    EXPECT_EQ(recorder->modifierFlags(), kCaps);
    EXPECT_EQ(label(), "Caps Lock+J");
    EXPECT_EQ(delegate->calls, (std::vector<std::string>{"set 65536 38"}));
    EXPECT_EQ(behavior(), VdrKeyEventBehavior::vandrel);
    run("j up, wait 0.5, capslock up");
}

TEST_F(OlderRecorder, HeldModifiersShowInGlyphOrderAndAKeyWithoutCapsKeepsRecording)
{
    startRecording();
    run("cmd down, capslock down");
    EXPECT_EQ(label(), "Super+Caps Lock+");
    run("capslock up, a down, a up");
    EXPECT_TRUE(recorder->isRecording());
    EXPECT_TRUE(delegate->calls.empty());
    run("capslock down, a down");
    EXPECT_EQ(recorder->modifierFlags(), kCaps | kCommand);
    EXPECT_EQ(label(), "Super+Caps Lock+A");
}

TEST_F(OlderRecorder, ACapsReleaseQueuedBehindTheKeyDownDoesNotOvertakeIt)
{
    startRecording();
    scenario.run("capslock down, a down, capslock up, a up");
    clock->runDue();
    EXPECT_EQ(delegate->calls, (std::vector<std::string>{"set 65536 0"}));
    EXPECT_EQ(label(), "Caps Lock+A");
}

TEST_F(OlderRecorder, DeleteClearsWhileRecordingAndIsNotTakenOtherwise)
{
    recorder->setKeyCodeAndModifierFlags(0, kCaps);
    startRecording();
    run("backspace down, backspace up");
    EXPECT_FALSE(recorder->isRecording());
    EXPECT_EQ(recorder->keyCode(), -1);
    EXPECT_EQ(label(), "Click to record hotkey");
    EXPECT_EQ(recorder->performKeyEquivalent(ShortcutKeyEvent{ShortcutKeyEvent::Type::keyDown, 51, 0}), false);
}

TEST_F(OlderRecorder, EscapeRestoresTheShortcutBeforeTheRecording)
{
    recorder->setKeyCodeAndModifierFlags(0, kCaps);
    startRecording();
    EXPECT_EQ(label(), "Caps Lock+A");  // the set-aside one, while nothing is held
    run("esc down, esc up");
    EXPECT_FALSE(recorder->isRecording());
    EXPECT_EQ(recorder->keyCode(), 0);
    EXPECT_EQ(behavior(), VdrKeyEventBehavior::vandrel);
}

TEST_F(OlderRecorder, StartingTwiceSubscribesOnce)
{
    ScopedLogCapture logged;
    recorder->setIsRecording(true);
    recorder->setIsRecording(true);
    run("capslock down, a down");
    const auto entries = logged->entries();
    EXPECT_EQ(std::count_if(entries.begin(), entries.end(),
                            [](const LogCapture::Entry& e) { return e.message == "recording vd hotkey"; }),
              1);
}

TEST_F(OlderRecorder, HidingOrDestroyingTheRecorderLetsCapsActionsRunAgain)
{
    startRecording();
    window.hide();
    EXPECT_FALSE(recorder->isRecording());
    EXPECT_EQ(behavior(), VdrKeyEventBehavior::vandrel);

    recorder->setIsRecording(true);
    ASSERT_EQ(behavior(), VdrKeyEventBehavior::block);
    delete recorder;
    EXPECT_EQ(behavior(), VdrKeyEventBehavior::vandrel);
    run("capslock down, j down, j up");
    EXPECT_EQ(scenario.posted(), "shift down, left down [shift], left up [shift], shift up");
}

TEST_F(RecorderEngineTest, DevelopViewShowsTheRecordedKeybitAndClearsItWithTheShortcut)
{
    const auto controller = DevelopViewController::make(engine());
    controller->view()->setParent(&window);
    controller->view()->show();
    ASSERT_TRUE(activate(&window));
    HotkeyRecorder* recorder = controller->hotkeyRecorder();
    recorder->setFocus();
    QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, " ");
    QCoreApplication::sendEvent(recorder, &space);
    run("capslock down, cmd down, a down");
    EXPECT_EQ(controller->labelField()->text().toStdString(), "110000");
    run("a up, cmd up, wait 0.5, capslock up");
    recorder->setFocus();
    QCoreApplication::sendEvent(recorder, &space);
    EXPECT_EQ(controller->labelField()->text().toStdString(), "");

    EXPECT_FALSE(controller->isCheckAlphaUpdate());
    controller->setIsCheckAlphaUpdate(true);
    EXPECT_TRUE(settings->get(DefaultsKeys::app_isCheckAlphaUpdate));
    controller->view()->setParent(nullptr);
}

TEST_F(RecorderEngineTest, DevelopPaneShowsTheOlderRecorder)
{
    PreferencesServices services;
    services.makeDevelopOldRecorder = [this] { return std::make_unique<HotkeyRecorder>(engine()); };
    DevelopPreferenceViewController pane(services);
    EXPECT_TRUE(qobject_cast<HotkeyRecorder*>(pane.oldRecorder()));
    EXPECT_EQ(pane.oldRecorder()->geometry(), QRect(0, 50, 200, 20));
}

}  // namespace
}  // namespace vandrel::test
