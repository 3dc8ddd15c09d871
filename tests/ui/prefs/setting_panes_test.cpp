#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>

#include "core/defaults_keys.h"
#include "prefs_fixture.h"
#include "ui/prefs/advanced_preference_view_controller.h"
#include "ui/prefs/develop_preference_view_controller.h"
#include "ui/prefs/developer_preference_view_controller.h"
#include "ui/prefs/experimental_preference_view_controller.h"
#include "ui/prefs/hotstrings_preference_view_controller.h"

using namespace vandrel;

namespace {

using SettingPanesTest = test::PrefsTest;

// The hotkey editor's recorder as the Develop pane sees it.
class FakeHotkeyRecorder final : public DevelopHotkeyRecorder {
public:
    explicit FakeHotkeyRecorder(std::vector<std::string>& log) : log_(log) {}
    QWidget* view() override { return &control; }
    void clearRecordedHotkey() override { log_.push_back("clear"); }
    void startFocusingObserve() override { log_.push_back("observe"); }
    void stopKeyEventObserver(int reason) override { log_.push_back("stop " + std::to_string(reason)); }
    QWidget control;

private:
    std::vector<std::string>& log_;
};

}  // namespace

TEST_F(SettingPanesTest, AdvancedShowsTheStoredLaunchSwitchAndTurningItOffStoresFalseAtOnce)
{
    settings->set(DefaultsKeys::windowBinding_isLaunchAppWithoutConfirmation, true);
    writtenKeys.clear();
    AdvancedPreferenceViewController advanced(services());
    EXPECT_EQ(advanced.preferencePaneTitle(), "Advanced");
    advanced.view();
    runMainTurn();
    QCheckBox* box = advanced.launchWithoutConfirmationCheckbox();
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isChecked());
    EXPECT_TRUE(writtenKeys.empty());

    box->click();
    EXPECT_FALSE(settings->get(DefaultsKeys::windowBinding_isLaunchAppWithoutConfirmation));
    EXPECT_EQ(writtenKeys, std::vector<std::string>{"windowBinding_isLaunchAppWithoutConfirmation"});
    EXPECT_EQ(advanced.settingsContainer()->width(), 580);
}

TEST_F(SettingPanesTest, ExperimentalRestartsWhateverTheSwitchSaysAndFollowsTheHotstringSetting)
{
    int restarts = 0;
    PreferencesServices s = services();
    s.restartApp = [&] { ++restarts; };
    ExperimentalPreferenceViewController experimental(s);
    experimental.view();
    runMainTurn();
    ASSERT_NE(experimental.hotstringCheckbox(), nullptr);
    EXPECT_FALSE(experimental.hotstringCheckbox()->isChecked());
    EXPECT_EQ(experimental.settingsContainer()->width(), 494);
    // Three description rows, the first with the button after its text.
    EXPECT_EQ(experimental.settingsContainer()->findChildren<QLabel*>().size(), 3);

    settings->set(DefaultsKeys::experimental_hotstring, true);
    EXPECT_TRUE(experimental.hotstringCheckbox()->isChecked());
    experimental.restartButton()->click();
    experimental.hotstringCheckbox()->click();
    EXPECT_FALSE(settings->get(DefaultsKeys::experimental_hotstring));
    experimental.restartButton()->click();
    EXPECT_EQ(restarts, 2);

    // Without a restart wired the button only logs.
    ExperimentalPreferenceViewController bare(services());
    bare.view();
    runMainTurn();
    bare.restartButton()->click();
    EXPECT_EQ(restarts, 2);
}

TEST_F(SettingPanesTest, PaneRowsAreNeverBuiltForAPaneThatIsGone)
{
    auto advanced = std::make_unique<AdvancedPreferenceViewController>(services());
    advanced->view();
    advanced.reset();
    runMainTurn();
    EXPECT_EQ(mainQueue->pendingCount(), 0u);
}

TEST_F(SettingPanesTest, HotstringsAndDeveloperAreEmptyStandardPanesWithFixedTitlesAndIcons)
{
    HotstringsPreferenceViewController hotstrings(services());
    DeveloperPreferenceViewController developer(services());
    for (PreferencePane* pane : std::initializer_list<PreferencePane*>{&hotstrings, &developer}) {
        const QString title = pane->preferencePaneTitle();
        const QImage icon = pane->toolbarItemIcon();
        EXPECT_FALSE(icon.isNull());
        pane->view();
        runMainTurn();
        EXPECT_EQ(pane->view()->size(), QSize(800, 340));
        auto* base = dynamic_cast<PreferencesViewController*>(pane);
        ASSERT_NE(base->container(), nullptr);
        EXPECT_TRUE(base->container()->children().empty() || base->container()->findChildren<QWidget*>().empty());
        EXPECT_EQ(pane->preferencePaneTitle(), title);
        EXPECT_EQ(pane->toolbarItemIcon(), icon);
    }
    EXPECT_EQ(hotstrings.preferencePaneTitle(), "Hotstring");
    EXPECT_EQ(developer.preferencePaneIdentifier().rawValue, "developer");
}

TEST_F(SettingPanesTest, DevelopPlacesItsControlsOnceAndEndsRecordingWhenItLeaves)
{
    std::vector<std::string> calls;
    PreferencesServices s = services();
    s.makeDevelopHotkeyRecorder = [&] { return std::make_unique<FakeHotkeyRecorder>(calls); };
    DevelopPreferenceViewController develop(s);
    QWidget* view = develop.view();
    EXPECT_EQ(view->size(), QSize(800, 300));
    EXPECT_EQ(develop.oldRecorder()->geometry(), QRect(0, 50, 200, 20));
    EXPECT_EQ(develop.btn2()->pos(), QPoint(0, 100));
    EXPECT_EQ(develop.btn2()->text(), "hello button2~~~");
    ASSERT_NE(develop.hotkeyRecorder(), nullptr);
    EXPECT_EQ(develop.hotkeyRecorder()->view()->parentWidget(), view);
    EXPECT_EQ(develop.oldRecorder()->parentWidget(), view);
    EXPECT_EQ(calls, std::vector<std::string>{"clear"});
    const auto childCount = view->children().size();
    develop.view();
    EXPECT_EQ(view->children().size(), childCount);

    develop.viewDidAppear();
    develop.viewWillDisappear();
    EXPECT_EQ(calls, (std::vector<std::string>{"clear", "observe", "stop 2"}));
}

TEST_F(SettingPanesTest, DevelopButtonTakesTheFocusFromARecordingRecorder)
{
    DevelopPreferenceViewController develop(services());
    EXPECT_EQ(develop.hotkeyRecorder(), nullptr);
    QWidget* view = develop.view();
    ASSERT_TRUE(test::activate(view));
    develop.oldRecorder()->setFocus();
    develop.oldRecorder()->pushKeyboardShortcut();
    develop.oldRecorder()->setIsRecording(true);
    ASSERT_EQ(view->focusWidget(), develop.oldRecorder());

    develop.btn2()->click();
    EXPECT_EQ(view->focusWidget(), nullptr);
    EXPECT_FALSE(develop.oldRecorder()->isRecording());
    develop.btn2()->click();
    EXPECT_EQ(view->focusWidget(), nullptr);
}
