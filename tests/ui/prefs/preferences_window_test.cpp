#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QShortcut>
#include <thread>

#include "core/defaults_keys.h"
#include "prefs_fixture.h"
#include "ui/prefs/develop_preference_view_controller.h"
#include "ui/prefs/general_preference_view_controller.h"
#include "ui/prefs/preference_panes.h"
#include "ui/prefs/preferences_view_controller.h"
#include "ui/prefs/preferences_window_controller.h"

using namespace vandrel;

namespace {

std::vector<std::string> identifiers(const PreferencePanes::PaneList& panes)
{
    std::vector<std::string> out;
    for (const auto& pane : panes) out.push_back(pane->preferencePaneIdentifier().rawValue);
    return out;
}

// A pane of its own class whose view size the test chooses.
class SizedPane final : public PreferencePane {
public:
    SizedPane(PreferencePaneIdentifier identifier, QSize size, const char* className = "SizedPane")
        : PreferencePane(std::move(identifier)), size_(size), className_(className)
    {
    }
    const char* paneClassName() const override { return className_; }
    void viewWillDisappear() override { ++disappearances; }
    void viewDidAppear() override { ++appearances; }
    int appearances = 0;
    int disappearances = 0;

protected:
    void viewDidLoad() override { view()->resize(size_); }

private:
    QSize size_;
    const char* className_;
};

class WindowTest : public test::PrefsTest {
protected:
    WindowTest()
    {
        panes = std::make_shared<PreferencePanes>(services());
        PreferencePanes::install(panes);
    }
    ~WindowTest() override
    {
        PreferencesWindowController::setShared(nullptr);
        PreferencePanes::install(nullptr);
    }

    std::shared_ptr<PreferencePanes> panes;
};

}  // namespace

TEST_F(WindowTest, PaneListHoldsTheStandardPanesAndTheDevelopmentOnesOnlyInDevelopmentMode)
{
    EXPECT_EQ(identifiers(panes->basicPreferencePanes()), std::vector<std::string>{"general"});
    EXPECT_EQ(identifiers(panes->preferencePanes()), std::vector<std::string>{"general"});
    const auto standard = panes->updatePreferencePanes();
    EXPECT_EQ(identifiers(standard), (std::vector<std::string>{"general", "advanced", "experimental"}));
    EXPECT_EQ(standard.front(), panes->basicPreferencePanes().front());

    settings->set(DefaultsKeys::app_isDevelopMode, true);
    const auto development = panes->updatePreferencePanes();
    EXPECT_EQ(identifiers(development),
              (std::vector<std::string>{"general", "advanced", "experimental", "hotstring", "developer", "develop"}));
    // The same pane objects, whichever list they are in.
    EXPECT_EQ(development[1], standard[1]);

    settings->set(DefaultsKeys::app_isDevelopMode, false);
    EXPECT_EQ(identifiers(panes->updatePreferencePanes()), identifiers(standard));

    PreferencesServices withHotkey = services();
    withHotkey.makeHotkeyPane = [] {
        return std::make_shared<SizedPane>(PreferencePaneIdentifier::hotkey, QSize(800, 500));
    };
    PreferencePanes hosted(withHotkey);
    EXPECT_EQ(identifiers(hosted.updatePreferencePanes()),
              (std::vector<std::string>{"general", "hotkey", "advanced", "experimental"}));
}

TEST_F(WindowTest, SinglePaneWindowHasNoToolbarAndShowsTheGeneralPaneMinimizable)
{
    PreferencesWindowController controller(panes->basicPreferencePanes());
    controller.show();
    QWidget* window = controller.window();
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(controller.toolbar()->isVisible());
    EXPECT_EQ(controller.selectedPane(), panes->basicPreferencePanes().front().get());
    EXPECT_EQ(window->windowIconText(), "Vandrel \u2014 Preferences");
    EXPECT_EQ(window->windowTitle(), "Vandrel \u2014 Preferences \u2014 General");
    EXPECT_TRUE(window->windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_EQ(window->size(), QSize(800, 340));
    // The General pane lays itself out for a window without toolbar.
    test::layOut(window);
    auto* general = dynamic_cast<GeneralPreferenceViewController*>(controller.selectedPane());
    EXPECT_EQ(general->container()->y(), 40);
}

TEST_F(WindowTest, ShowingTwiceReusesTheOneControllerAndWindow)
{
    showPreferences();
    PreferencesWindowController* first = &PreferencesWindowController::shared();
    QWidget* window = first->window();
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(first->toolbar()->isVisible());
    EXPECT_EQ(first->panes().size(), 3u);
    window->close();
    EXPECT_FALSE(window->isVisible());

    showPreferences();
    EXPECT_EQ(&PreferencesWindowController::shared(), first);
    EXPECT_EQ(first->window(), window);
    EXPECT_TRUE(window->isVisible());
}

TEST_F(WindowTest, RebuildWhileOpenClosesTheWindowKeepsTheGeneralPaneAndShowsTheNewWindowOnlyWhenAsked)
{
    showPreferences();
    PreferencePane* general = panes->basicPreferencePanes().front().get();
    QPointer<QWidget> generalView = general->view();
    runMainTurn();
    QPointer<QWidget> oldWindow = PreferencesWindowController::shared().window();
    ASSERT_EQ(generalView->window(), oldWindow.data());

    settings->set(DefaultsKeys::app_isDevelopMode, true);
    PreferencesWindowController::rebuildShared();
    EXPECT_TRUE(oldWindow.isNull());
    ASSERT_FALSE(generalView.isNull());
    EXPECT_EQ(generalView->parentWidget(), nullptr);
    auto& rebuilt = PreferencesWindowController::shared();
    EXPECT_FALSE(rebuilt.window()->isVisible());
    EXPECT_EQ(rebuilt.panes().size(), 6u);

    showPreferences();
    EXPECT_TRUE(rebuilt.window()->isVisible());
    EXPECT_EQ(rebuilt.selectedPane(), general);
    EXPECT_EQ(generalView->window(), rebuilt.window());
    EXPECT_TRUE(generalView->isVisible());
}

TEST_F(WindowTest, RebuildBeforeTheFirstOpeningLeavesOneHiddenWindow)
{
    EXPECT_FALSE(PreferencesWindowController::hasShared());
    PreferencesWindowController::rebuildShared();
    ASSERT_TRUE(PreferencesWindowController::hasShared());
    EXPECT_FALSE(PreferencesWindowController::shared().window()->isVisible());
    EXPECT_EQ(PreferencesWindowController::shared().selectedPane(), nullptr);
}

TEST_F(WindowTest, SwitchingPanesSizesTheWindowToThePaneKeepingItsTopEdgeAndRemembersSizesByClass)
{
    auto tall = std::make_shared<SizedPane>(PreferencePaneIdentifier{"tall"}, QSize(800, 340), "Tall");
    auto short_ = std::make_shared<SizedPane>(PreferencePaneIdentifier{"short"}, QSize(600, 300), "Short");
    PreferencesWindowController controller({tall, short_});
    controller.show();
    QWidget* window = controller.window();
    window->move(100, 150);
    const int toolbar = window->height() - 340;
    EXPECT_GT(toolbar, 0);
    EXPECT_EQ(window->width(), 800);

    controller.toolbar()->actions()[1]->trigger();
    EXPECT_EQ(controller.selectedPane(), short_.get());
    EXPECT_EQ(window->size(), QSize(600, 300 + toolbar));
    EXPECT_EQ(window->pos(), QPoint(100, 150));
    EXPECT_EQ(tall->disappearances, 1);
    EXPECT_EQ(short_->appearances, 1);
    EXPECT_FALSE(tall->view()->isVisible());
    EXPECT_TRUE(controller.toolbar()->actions()[1]->isChecked());
    EXPECT_FALSE(controller.toolbar()->actions()[0]->isChecked());

    // A pane shown again takes the size its view had when it was left.
    short_->view()->resize(640, 320);
    controller.show(PreferencePaneIdentifier{"tall"});
    EXPECT_EQ(controller.tabViewController()->tabViewSizes().at("Short"), QSize(640, 320));
    controller.show(PreferencePaneIdentifier{"short"});
    EXPECT_EQ(window->size(), QSize(640, 320 + toolbar));
    EXPECT_EQ(window->pos(), QPoint(100, 150));

    // No such pane: the one shown stays.
    controller.show(PreferencePaneIdentifier{"nowhere"});
    EXPECT_EQ(controller.selectedPane(), short_.get());

    controller.close();
    EXPECT_EQ(short_->disappearances, 2);
}

TEST_F(WindowTest, LeavingTheDevelopPaneOrClosingTheWindowEndsItsRecording)
{
    settings->set(DefaultsKeys::app_isDevelopMode, true);
    auto& controller = PreferencesWindowController::shared();
    controller.show(PreferencePaneIdentifier::develop);
    auto* develop = dynamic_cast<DevelopPreferenceViewController*>(controller.selectedPane());
    ASSERT_NE(develop, nullptr);
    ASSERT_TRUE(test::activate(controller.window()));
    develop->oldRecorder()->setFocus();
    develop->oldRecorder()->pushKeyboardShortcut();
    develop->oldRecorder()->setIsRecording(true);
    controller.show(PreferencePaneIdentifier::general);
    EXPECT_FALSE(develop->oldRecorder()->isRecording());
    EXPECT_EQ(controller.window()->size().height() - controller.toolbar()->height(), 340);
}

TEST_F(WindowTest, ShowingFromAnotherThreadHappensOnTheMainThreadOnItsNextTurn)
{
    std::thread worker([] { showPreferences(); });
    worker.join();
    EXPECT_FALSE(PreferencesWindowController::hasShared());
    QCoreApplication::sendPostedEvents();
    ASSERT_TRUE(PreferencesWindowController::hasShared());
    EXPECT_TRUE(PreferencesWindowController::shared().window()->isVisible());
}

TEST_F(WindowTest, AControllerThatGoesWhileShownTellsItsPaneThatItLeaves)
{
    auto pane = std::make_shared<SizedPane>(PreferencePaneIdentifier{"one"}, QSize(300, 200));
    auto controller = std::make_unique<PreferencesWindowController>(std::vector<std::shared_ptr<PreferencePane>>{pane});
    controller->show();
    EXPECT_EQ(pane->appearances, 1);
    QPointer<QWidget> view = pane->view();
    controller.reset();
    EXPECT_EQ(pane->disappearances, 1);
    ASSERT_FALSE(view.isNull());
    EXPECT_EQ(view->parentWidget(), nullptr);
}

TEST_F(WindowTest, PaneKeysGoRoundThePanesAndEscapeOrCtrlWClosesTheWindow)
{
    auto a = std::make_shared<SizedPane>(PreferencePaneIdentifier{"a"}, QSize(600, 300), "A");
    auto b = std::make_shared<SizedPane>(PreferencePaneIdentifier{"b"}, QSize(600, 300), "B");
    auto c = std::make_shared<SizedPane>(PreferencePaneIdentifier{"c"}, QSize(600, 300), "C");
    PreferencesWindowController controller({a, b, c});
    const auto press = [&](const QKeySequence& key) {
        for (QShortcut* shortcut : controller.window()->findChildren<QShortcut*>())
            if (shortcut->key() == key) {
                emit shortcut->activated();
                return;
            }
        ADD_FAILURE() << "no shortcut " << key.toString().toStdString();
    };
    struct Step {
        QKeySequence key;
        PreferencePane* shown;
    };
    controller.show();
    for (const Step& step :
         {Step{QKeySequence(Qt::CTRL | Qt::Key_Tab), b.get()}, Step{QKeySequence(Qt::CTRL | Qt::Key_PageDown), c.get()},
          Step{QKeySequence(Qt::CTRL | Qt::Key_Tab), a.get()}, Step{QKeySequence(Qt::CTRL | Qt::Key_PageUp), c.get()},
          Step{QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab), b.get()}}) {
        press(step.key);
        EXPECT_EQ(controller.selectedPane(), step.shown) << step.key.toString().toStdString();
    }

    for (const auto& [key, modifiers] :
         {std::pair{Qt::Key_Escape, Qt::KeyboardModifiers()}, std::pair{Qt::Key_W, Qt::KeyboardModifiers(Qt::CTRL)}}) {
        controller.show();
        ASSERT_TRUE(controller.window()->isVisible());
        QKeyEvent keyPress(QEvent::KeyPress, key, modifiers);
        QApplication::sendEvent(controller.window(), &keyPress);
        EXPECT_FALSE(controller.window()->isVisible()) << key;
    }
}
