#include "ui/prefs/vd_hotkey_recorder.h"

#include <gtest/gtest.h>

#include "recorder_engine_fixture.h"
#include "ui/prefs/develop_preference_view_controller.h"

namespace vandrel::test {
namespace {

class HotkeyRecorderControl : public RecorderEngineTest {
protected:
    HotkeyRecorderControl()
    {
        recorder = new VDHotkeyRecorder(engine(), &window);
        recorder->move(10, 10);
        EXPECT_TRUE(activate(&window));
    }

    // The key-setting sheet's hotkey row: Caps Lock required.
    void hotkeyRow() { recorder->setModifiersMustIncluding({57}); }
    // Its keystroke-parameter row: Caps Lock forbidden.
    void keystrokeRow() { recorder->setModifiersMustNotIncluding({57}); }
    void startRecording()
    {
        recorder->startFocusingObserve();
        recorder->setFocus(Qt::MouseFocusReason);
        ASSERT_TRUE(recorder->isRecording());
    }
    std::optional<std::int64_t> recordedKeybit() const
    {
        const auto key = recorder->recordedHotkey.value();
        return key ? std::optional(key->keybit()) : std::nullopt;
    }
    std::string title() const { return recorder->text().toStdString(); }

    VDHotkeyRecorder* recorder;
};

constexpr std::int64_t capsCommandA = 0 + 0x10000 + 0x100000;

TEST_F(HotkeyRecorderControl, TitlesFollowFocusAndTheRecorderIsAtLeast190Wide)
{
    EXPECT_EQ(title(), "Click to record hotkey...");
    EXPECT_GE(recorder->minimumWidth(), 190);
    recorder->startFocusingObserve();
    EXPECT_EQ(title(), "Click to record hotkey...");
    recorder->setFocus();
    EXPECT_EQ(title(), "Press a hotkey...");
    EXPECT_TRUE(recorder->okBtn()->isVisible());
    EXPECT_FALSE(recorder->removeBtn()->isVisible());
    EXPECT_TRUE(blocking());
    EXPECT_TRUE(paused());
}

TEST_F(HotkeyRecorderControl, HotkeyRowTakesCapsCommandAAndSilencesUntilTheKeyUp)
{
    hotkeyRow();
    startRecording();
    run("capslock down, cmd down, a down");
    EXPECT_EQ(recordedKeybit(), capsCommandA);
    EXPECT_EQ(title(), "Super+Caps Lock+A");
    EXPECT_FALSE(recorder->isRecording());
    EXPECT_TRUE(recorder->isWaitingForKeyUp());
    // The combination runs nothing and reaches nobody, and neither does its release.
    EXPECT_EQ(scenario.posted(), "");
    EXPECT_EQ(scenario.passed(), "");
    EXPECT_TRUE(blocking());
    run("a up");
    EXPECT_EQ(scenario.passed(), "");
    EXPECT_FALSE(blocking());
    EXPECT_FALSE(paused());
    EXPECT_FALSE(recorder->hasFocus());
    EXPECT_EQ(title(), "Super+Caps Lock+A");
    run("cmd up, capslock up, b tap");
    EXPECT_EQ(scenario.passed(), "b down, b up");
}

TEST_F(HotkeyRecorderControl, HotkeyRowShowsAAloneButRecordsNothing)
{
    hotkeyRow();
    startRecording();
    run("a down");
    EXPECT_EQ(title(), "A");
    EXPECT_FALSE(recordedKeybit());
    EXPECT_TRUE(recorder->isRecording());
    run("a up");
    EXPECT_EQ(title(), "Press a hotkey...");
    EXPECT_EQ(scenario.passed(), "");
}

TEST_F(HotkeyRecorderControl, KeystrokeRowShowsTheCapsComboButRecordsCommandA)
{
    keystrokeRow();
    startRecording();
    run("capslock down, cmd down, a down");
    EXPECT_EQ(title(), "Super+Caps Lock+A");
    EXPECT_FALSE(recordedKeybit());
    run("a up, capslock up, a down");
    EXPECT_EQ(recordedKeybit(), 0 + 0x100000);
    EXPECT_EQ(title(), "Super+A");
}

TEST_F(HotkeyRecorderControl, ModifiersAloneShowTheirGlyphsInOrderAndRecordNothing)
{
    hotkeyRow();
    startRecording();
    run("cmd down, shift down, ctrl down, capslock down");
    EXPECT_EQ(title(), "Ctrl+Shift+Super+Caps Lock+");
    EXPECT_FALSE(recordedKeybit());
    EXPECT_TRUE(recorder->isRecording());
}

TEST_F(HotkeyRecorderControl, EventsAreTakenInTheOrderTheTapsSawThem)
{
    hotkeyRow();
    startRecording();
    // All of it is queued before the GUI thread runs: the Caps release must not overtake the key-down.
    scenario.run("capslock down, a down, capslock up, a up");
    clock->runDue();
    EXPECT_EQ(recordedKeybit(), 0 + 0x10000);
    EXPECT_FALSE(blocking());
}

TEST_F(HotkeyRecorderControl, FocusLossKeepsTheOldHotkeyAndGivesTheKeyboardBack)
{
    hotkeyRow();
    recorder->recordedHotkey.accept(VDKey(1, {57}));
    recorder->flashTitle({}, -1);
    EXPECT_EQ(title(), "Caps Lock+S");
    startRecording();
    EXPECT_TRUE(recorder->removeBtn()->isVisible());
    run("a down");
    other->setFocus();
    EXPECT_FALSE(recorder->isRecording());
    EXPECT_EQ(recordedKeybit(), 1 + 0x10000);
    EXPECT_EQ(title(), "Caps Lock+S");
    EXPECT_FALSE(blocking());
    EXPECT_FALSE(paused());
    EXPECT_TRUE(other->hasFocus());
    EXPECT_FALSE(recorder->okBtn()->isVisible());
    run("a up, capslock down, cmd down, a down");
    EXPECT_EQ(recordedKeybit(), 1 + 0x10000);
}

TEST_F(HotkeyRecorderControl, DeactivatingTheWindowEndsTheRecording)
{
    startRecording();
    QWidget elsewhere;
    ASSERT_TRUE(activate(&elsewhere));
    EXPECT_FALSE(recorder->isRecording());
    EXPECT_FALSE(blocking());
    // Coming back does not resume recording: the recorder gave up the focus.
    ASSERT_TRUE(activate(&window));
    EXPECT_FALSE(recorder->isRecording());
}

TEST_F(HotkeyRecorderControl, WithoutAKeyUpTheKeyboardComesBackAfterTwoSeconds)
{
    hotkeyRow();
    startRecording();
    run("capslock down, a down");
    ASSERT_TRUE(recorder->isWaitingForKeyUp());
    wait(1.9);
    EXPECT_TRUE(blocking());
    wait(0.2);
    EXPECT_FALSE(blocking());
    EXPECT_FALSE(paused());
    EXPECT_FALSE(recorder->isWaitingForKeyUp());
    EXPECT_FALSE(recorder->hasFocus());
    EXPECT_EQ(recordedKeybit(), 0 + 0x10000);
}

TEST_F(HotkeyRecorderControl, DestroyingOrHidingTheRecorderGivesTheKeyboardBack)
{
    hotkeyRow();
    startRecording();
    run("capslock down, a down");
    ASSERT_TRUE(blocking());
    delete recorder;
    EXPECT_FALSE(blocking());
    EXPECT_FALSE(paused());
    EXPECT_EQ(KeyEventSilence::activeCount(), 0);

    recorder = new VDHotkeyRecorder(engine(), &window);
    recorder->show();
    startRecording();
    run("a up, b down");
    ASSERT_TRUE(recorder->isWaitingForKeyUp());
    window.close();
    EXPECT_FALSE(recorder->isWaitingForKeyUp());
    EXPECT_FALSE(blocking());
    EXPECT_FALSE(paused());
}

TEST_F(HotkeyRecorderControl, WatchingAnUnfocusedRecorderLeavesTheHostAlone)
{
    other->setFocus();
    // Someone else's silence (another recorder recording) is not ended by it either.
    KeyEventSilence others(core->inputObserver());
    recorder->startFocusingObserve();
    EXPECT_TRUE(other->hasFocus());
    EXPECT_TRUE(blocking());
    EXPECT_TRUE(paused());
    EXPECT_EQ(title(), "Click to record hotkey...");
}

TEST_F(HotkeyRecorderControl, ARecorderWaitingForItsKeyUpDoesNotEndAnothersRecording)
{
    auto* second = new VDHotkeyRecorder(engine(), &window);
    second->move(10, 60);
    second->show();
    second->setModifiersMustIncluding({57});
    second->startFocusingObserve();
    hotkeyRow();
    startRecording();
    run("capslock down, a down");
    ASSERT_TRUE(recorder->isWaitingForKeyUp());
    second->setFocus();
    ASSERT_TRUE(second->isRecording());
    run("a up");
    EXPECT_FALSE(recorder->isWaitingForKeyUp());
    EXPECT_TRUE(blocking());
    EXPECT_TRUE(paused());
    run("capslock up, capslock down, b down");
    ASSERT_TRUE(second->recordedHotkey.value());
    EXPECT_EQ(second->recordedHotkey.value()->keybit(), 11 + 0x10000);
}

TEST_F(HotkeyRecorderControl, RemoveEmptiesOkKeepsAndBothEndTheRecording)
{
    recorder->recordedHotkey.accept(VDKey(1, {57}));
    startRecording();
    click(recorder->okBtn());
    EXPECT_FALSE(recorder->isRecording());
    EXPECT_FALSE(recorder->hasFocus());
    EXPECT_EQ(recordedKeybit(), 1 + 0x10000);
    EXPECT_FALSE(blocking());

    startRecording();
    click(recorder->removeBtn());
    EXPECT_FALSE(recordedKeybit());
    EXPECT_FALSE(recorder->hasFocus());
    EXPECT_EQ(title(), "Click to record hotkey...");
    EXPECT_FALSE(recorder->removeBtn()->isVisible());
    EXPECT_FALSE(blocking());
}

TEST_F(HotkeyRecorderControl, AClickFocusesAnEnabledRecorderOnly)
{
    recorder->startFocusingObserve();
    recorder->setEnabled(false);
    click(recorder);
    EXPECT_FALSE(recorder->hasFocus());
    EXPECT_FALSE(blocking());
    recorder->setEnabled(true);
    click(recorder);
    EXPECT_TRUE(recorder->isRecording());
}

TEST_F(HotkeyRecorderControl, WithoutAWindowNothingIsWatched)
{
    VDHotkeyRecorder loose(engine());
    loose.startFocusingObserve();
    EXPECT_FALSE(loose.isFocusObserved());
}

TEST_F(RecorderEngineTest, DevelopPaneRecordsWhileShownAndLeavingGivesTheKeyboardBack)
{
    PreferencesServices services;
    services.makeDevelopHotkeyRecorder = [this] { return VDHotkeyRecorder::makeForDevelopPane(engine()); };
    DevelopPreferenceViewController pane(services);
    QWidget* view = pane.view();
    view->setParent(&window);
    ASSERT_TRUE(activate(&window));
    auto* recorder = static_cast<VDHotkeyRecorder*>(pane.hotkeyRecorder()->view());
    EXPECT_EQ(recorder->text().toStdString(), "Click to record hotkey...");
    pane.viewDidAppear();
    recorder->setFocus();
    EXPECT_TRUE(recorder->isRecording());
    run("capslock down, j down, j up");
    EXPECT_EQ(scenario.posted(), "");
    ASSERT_TRUE(recorder->recordedHotkey.value());
    EXPECT_EQ(recorder->recordedHotkey.value()->keybit(), 38 + 0x10000);
    run("wait 0.5, capslock up");

    recorder->setFocus();
    ASSERT_TRUE(recorder->isRecording());
    pane.viewWillDisappear();
    EXPECT_FALSE(recorder->isRecording());
    EXPECT_FALSE(blocking());
    run("capslock down, j down, j up, capslock up");
    EXPECT_EQ(scenario.posted(), "shift down, left down [shift], left up [shift], shift up");
    view->setParent(nullptr);
}

}  // namespace
}  // namespace vandrel::test
