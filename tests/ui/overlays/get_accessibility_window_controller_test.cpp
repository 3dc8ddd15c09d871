#include "ui/overlays/get_accessibility_window_controller.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFontDatabase>
#include <QGraphicsOpacityEffect>
#include <QKeyEvent>
#include <QMouseEvent>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "core/log_capture.h"
#include "rx/virtual_time_scheduler.h"
#include "ui/overlays/vd_window_maker.h"

using namespace vandrel;
using namespace std::chrono_literals;

namespace {

// The guide on virtual time with a simulated grant; records what it asks of the program.
class AccessGuideTest : public testing::Test {
protected:
    void SetUp() { guide = GetAccessibilityWindowController::make(services()); }

    GetAccessibilityServices services()
    {
        GetAccessibilityServices s;
        s.mainQueue = clock;
        s.hasPermission = [this] {
            ++checks;
            return trusted;
        };
        s.missingAccess = [this] {
            return trusted ? std::vector<std::string>{}
                           : std::vector<std::string>{"write access to /dev/uinput, which makes the virtual keyboard"};
        };
        s.grantCommands = [] { return std::string("sudo cp rule /etc/udev/rules.d/\nsudo udevadm trigger\n"); };
        s.copyText = [this](const std::string& text) { copied.push_back(text); };
        s.openHelp = [this] { ++helpOpened; };
        s.quit = [this] { ++quits; };
        s.screens = screens;
        return s;
    }

    void pressReturn()
    {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(guide->window(), &press);
    }

    double doneOpacity() const
    {
        return qobject_cast<QGraphicsOpacityEffect*>(guide->textDone()->graphicsEffect())->opacity();
    }

    std::vector<QWidget*> buttons() const { return guide->btnStack()->arrangedSubviews(); }

    std::shared_ptr<rx::VirtualTimeScheduler> clock = rx::VirtualTimeScheduler::make();
    std::shared_ptr<FixedScreenInfo> screens = std::make_shared<FixedScreenInfo>(QRect(100, 50, 1920, 1080));
    bool trusted = false;
    int checks = 0;
    int helpOpened = 0;
    int quits = 0;
    std::vector<std::string> copied;
    std::shared_ptr<GetAccessibilityWindowController> guide;
    test::ScopedLogCapture logs;
};

TEST_F(AccessGuideTest, ShowsWhatIsMissingAndTheCommandsThatGrantIt)
{
    guide->showWindow();
    const std::string text = guide->text();
    EXPECT_NE(text.find("write access to /dev/uinput"), std::string::npos) << text;
    EXPECT_NE(text.find("\n    sudo udevadm trigger"), std::string::npos) << text;
    EXPECT_NE(text.find("uaccess"), std::string::npos) << text;
    EXPECT_NE(text.find("usermod -aG input"), std::string::npos) << text;
    EXPECT_TRUE(logs->contains(LogLevel::warning, "Input access guide:\n" + text));
    EXPECT_EQ(buttons(), (std::vector<QWidget*>{guide->quitBtn(), guide->openSystemPreferencesBtn()}));
    EXPECT_FALSE(guide->doneBtn()->isVisible());
    EXPECT_EQ(doneOpacity(), 0.0);
    EXPECT_EQ(guide->window()->objectName(), "accessibilityGetterWindowContentView");
    EXPECT_EQ(guide->window()->windowTitle(), "Vandrel \u2014 Keyboard Access Needed");
}

TEST_F(AccessGuideTest, GoesFromGuidingThroughWaitingAndGrantedToClosedWithReturnPressingEachDefaultButton)
{
    int doneRuns = 0;
    guide->doneAction = [&] {
        EXPECT_FALSE(guide->window()->isVisible()) << "the window closes first";
        ++doneRuns;
    };
    guide->showWindow();
    const QPoint centred = guide->window()->pos();
    // Its state changes never make a new native window (the window manager would map it afresh and focus it).
    const WId native = guide->window()->winId();
    EXPECT_EQ(guide->state(), GetAccessibilityWindowController::State::guiding);

    pressReturn();
    EXPECT_EQ(guide->state(), GetAccessibilityWindowController::State::waiting);
    EXPECT_EQ(copied, std::vector<std::string>{"sudo cp rule /etc/udev/rules.d/\nsudo udevadm trigger\n"});
    EXPECT_EQ(helpOpened, 1);
    EXPECT_EQ(guide->window()->pos(), QPoint(132, 82)) << "32 from the visible area's top-left corner";
    EXPECT_TRUE(guide->window()->isVisible());

    // Return while waiting presses the same button again: the commands again, no second wait.
    pressReturn();
    EXPECT_EQ(copied.size(), 2u);
    EXPECT_EQ(guide->originRect()->topLeft(), centred);
    clock->advanceBy(3s);
    EXPECT_EQ(checks, 10) << "one poll, every 300 ms";

    trusted = true;
    clock->advanceBy(299ms);
    EXPECT_EQ(guide->state(), GetAccessibilityWindowController::State::waiting);
    clock->advanceBy(1ms);
    EXPECT_EQ(guide->state(), GetAccessibilityWindowController::State::granted);
    EXPECT_EQ(guide->window()->pos(), centred) << "back where it was, not in the corner";
    EXPECT_EQ(guide->window()->winId(), native);
    EXPECT_TRUE(guide->window()->isVisible());
    EXPECT_EQ(buttons(), std::vector<QWidget*>{guide->doneBtn()});
    EXPECT_EQ(doneOpacity(), 1.0);
    EXPECT_EQ(doneRuns, 0) << "Done is the user's";
    clock->advanceBy(3s);
    EXPECT_EQ(checks, 11) << "the poll ended with the grant";

    pressReturn();
    EXPECT_EQ(guide->state(), GetAccessibilityWindowController::State::closed);
    EXPECT_EQ(doneRuns, 1);
    EXPECT_EQ(quits, 0);
}

TEST_F(AccessGuideTest, AGrantBeforeTheButtonChangesNothingUntilItIsPressed)
{
    guide->showWindow();
    trusted = true;
    clock->advanceBy(2s);
    EXPECT_EQ(guide->state(), GetAccessibilityWindowController::State::guiding);
    EXPECT_EQ(checks, 0) << "the guide polls only while it waits";

    guide->openSystemPreferencesBtn()->click();
    clock->advanceBy(300ms);
    EXPECT_EQ(guide->state(), GetAccessibilityWindowController::State::granted);
    guide->doneBtn()->click();
    EXPECT_EQ(guide->state(), GetAccessibilityWindowController::State::closed) << "Done without an action closes";
}

TEST_F(AccessGuideTest, ShowsCommandsInMonospaceSaysCopiedAndReadsItsTextAgainAtTheProgramsGrant)
{
    guide->showWindow();
    EXPECT_EQ(guide->commandsBlock()->text().toStdString(), "sudo cp rule /etc/udev/rules.d/\nsudo udevadm trigger");
    EXPECT_TRUE(QFontInfo(guide->commandsBlock()->font()).fixedPitch());
    EXPECT_GE(guide->commandsBlock()->height(), guide->commandsBlock()->sizeHint().height()) << "no command line cut";
    EXPECT_NE(guide->text().find("This user is missing:"), std::string::npos);

    guide->openSystemPreferencesBtn()->click();
    EXPECT_EQ(guide->openSystemPreferencesBtn()->text(), "Copied");

    // Opened again it reads as new.
    guide->window()->close();
    guide->showWindow();
    EXPECT_EQ(guide->openSystemPreferencesBtn()->text(), "Copy the Commands");

    // The program saw the grant before the guide's own poll: its title and text say access is there, and the
    // steps with their commands go.
    trusted = true;
    guide->accessGranted();
    EXPECT_EQ(guide->state(), GetAccessibilityWindowController::State::granted);
    EXPECT_EQ(guide->text().find("missing"), std::string::npos) << guide->text();
    EXPECT_EQ(guide->window()->windowTitle(), "Vandrel \u2014 Keyboard Access Granted");
    EXPECT_NE(guide->text().find("has the keyboard access it needs"), std::string::npos) << guide->text();
    EXPECT_FALSE(guide->commandsBlock()->isVisible());
    EXPECT_EQ(doneOpacity(), 1.0);
}

TEST_F(AccessGuideTest, EscapeCtrlWOrTheWindowManagerCloseItAndItComesBackUntilTheGrantThenTheyAreDone)
{
    int doneRuns = 0;
    guide->doneAction = [&] { ++doneRuns; };
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QKeyEvent ctrlW(QEvent::KeyPress, Qt::Key_W, Qt::ControlModifier);
    for (QKeyEvent* key : {&escape, &ctrlW}) {
        guide->showWindow();
        QApplication::sendEvent(guide->window(), key);
        EXPECT_FALSE(guide->window()->isVisible());
        EXPECT_EQ(guide->state(), GetAccessibilityWindowController::State::guiding) << "it can be shown again";
    }
    guide->showWindow();
    EXPECT_TRUE(guide->window()->isVisible()) << "closed as the first thing, it comes back";
    guide->openSystemPreferencesBtn()->click();
    guide->window()->close();
    guide->showWindow();
    EXPECT_TRUE(guide->window()->isVisible()) << "and so while it waits";
    EXPECT_EQ(doneRuns, 0);

    // Once granted, closing it is Done, however it closes.
    guide->accessGranted();
    guide->window()->close();
    EXPECT_EQ(guide->state(), GetAccessibilityWindowController::State::closed);
    EXPECT_EQ(doneRuns, 1);
}

TEST_F(AccessGuideTest, QuitEndsTheProgramAndAWindowOnNoScreenMovesAsOnTheDefaultOne)
{
    screens->setVisibleFrame(std::nullopt);
    guide->showWindow();
    guide->openSystemPreferencesBtn()->click();
    EXPECT_EQ(guide->window()->pos(), QPoint(32, 32));
    guide->quitBtn()->click();
    EXPECT_EQ(quits, 1);
}

TEST_F(AccessGuideTest, EachSubscriptionPollsOnItsOwnAndCompletesOnTheMainQueueAtTheFirstGrantedCheck)
{
    std::vector<std::string> events;
    auto observe = [&](const char* name) {
        return guide->checkingAccessibilityObservable().subscribe(
            [&, name](bool value) { events.push_back(std::string(name) + (value ? " true" : " false")); }, {},
            [&, name] { events.push_back(std::string(name) + " completed"); });
    };
    auto first = observe("first");
    clock->advanceBy(150ms);
    auto second = observe("second");
    clock->advanceBy(150ms);
    EXPECT_EQ(events, std::vector<std::string>{"first false"});
    trusted = true;
    clock->advanceBy(150ms);
    EXPECT_EQ(events, (std::vector<std::string>{"first false", "second completed"}));
    clock->advanceBy(150ms);
    EXPECT_EQ(events, (std::vector<std::string>{"first false", "second completed", "first completed"}));
}

TEST(BlankWindow, IsAnOrdinaryFramedWindowThatMovesWhenItsBackgroundIsDragged)
{
    auto window = VDWindowMaker::makeBlankWindow(628, 370);
    // An ordinary window, framed by the window manager and never kept above the others: the guide, the
    // first-launch dialog and every window made here.
    EXPECT_FALSE(window->windowFlags() & (Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint));
    window->move(200, 200);
    window->show();
    ASSERT_TRUE(window->isVisible());

    QMouseEvent press(QEvent::MouseButtonPress, QPointF(10, 10), QPointF(210, 210), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(window.get(), &press);
    QMouseEvent move(QEvent::MouseMove, QPointF(60, 40), QPointF(260, 240), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(window.get(), &move);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(60, 40), QPointF(260, 240), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(window.get(), &release);
    EXPECT_EQ(window->pos(), QPoint(250, 230));
}

TEST(LogoWindow, LaysOutTheLogoTheTextColumnAndTheButtonsInTheCorner)
{
    PureWithLogoWindowController withLogo(628, 370, 64, true);
    ASSERT_NE(withLogo.logoView(), nullptr);
    EXPECT_EQ(withLogo.contentStack()->arrangedSubviews(),
              (std::vector<QWidget*>{withLogo.logoView(), withLogo.textStack()}));
    auto* left = new QPushButton("Left");
    auto* right = new QPushButton("Right wider than the other");
    withLogo.addButtons({left, right});
    withLogo.showWindow();
    EXPECT_EQ(withLogo.textStack()->width(), 500);
    EXPECT_GE(withLogo.window()->height(), 370);
    EXPECT_LT(left->mapTo(withLogo.window(), QPoint()).x(), right->mapTo(withLogo.window(), QPoint()).x());
    const QPoint rightEnd = right->mapTo(withLogo.containerView(), QPoint(right->width(), right->height()));
    EXPECT_EQ(rightEnd, QPoint(withLogo.containerView()->width(), withLogo.containerView()->height()));

    PureWithLogoWindowController plain(628, 370, 64, false);
    EXPECT_EQ(plain.logoView(), nullptr);
    EXPECT_EQ(plain.contentStack()->arrangedSubviews(), std::vector<QWidget*>{plain.textStack()});
}

}  // namespace
