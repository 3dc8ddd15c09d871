#include "ui/overlays/vd_cheat_sheet_window_controller.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QMouseEvent>
#include <QStyle>
#include <thread>

#include "ui/overlays/cheat_sheet_fixture.h"

namespace vandrel::test {
namespace {

struct CheatSheetWindow : CheatSheetTest {
    void unpinned() { settings->set(DefaultsKeys::cheatSheet_isWindowPined, false); }
};

TEST_F(CheatSheetWindow, PinnedByDefaultStaysOpenAtTheReleaseAndClosesOnEscape)
{
    auto& s = makeSheet();
    s.show();
    ASSERT_TRUE(s.isVisible());
    wait(1);
    releaseCaps();
    EXPECT_TRUE(s.isVisible());
    press(Qt::Key_Escape);
    EXPECT_FALSE(s.isVisible());
    EXPECT_TRUE(toasts.empty());

    QDir().mkpath(VANDREL_SCREENSHOT_DIR);
    s.show();
    EXPECT_TRUE(s.window()->grab().save(QString(VANDREL_SCREENSHOT_DIR) + "/cheat_sheet_offscreen.png"));
}

TEST_F(CheatSheetWindow, EveryShortcutShowsWhole)
{
    auto& s = makeSheet();
    s.show();
    int shortcuts = 0;
    for (auto* label : s.containerStackView()->findChildren<QLabel*>()) {
        if (!label->text().contains("Caps")) continue;
        ++shortcuts;
        EXPECT_GE(label->width(), label->fontMetrics().horizontalAdvance(label->text())) << label->text().toStdString();
    }
    EXPECT_GT(shortcuts, 20);
}

TEST_F(CheatSheetWindow, DraggingItsBackgroundMovesIt)
{
    auto& s = makeSheet();
    s.show();
    QWidget* w = s.window();
    const QPoint start = w->pos();
    const auto send = [w](QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons buttons) {
        QMouseEvent event(type, QPointF(at - w->pos()), QPointF(at), button, buttons, Qt::NoModifier);
        QApplication::sendEvent(w, &event);
    };
    send(QEvent::MouseButtonPress, start + QPoint(5, 5), Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseMove, start + QPoint(45, 25), Qt::NoButton, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, start + QPoint(45, 25), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(w->pos(), start + QPoint(40, 20));
}

TEST_F(CheatSheetWindow, CtrlWAndSuperWCloseButNotWithFurtherModifiers)
{
    auto& s = makeSheet();
    s.show();
    wait(1);
    press(Qt::Key_W, Qt::ControlModifier | Qt::ShiftModifier);
    press(Qt::Key_W, Qt::ControlModifier | Qt::AltModifier);
    press(Qt::Key_W);
    press(Qt::Key_Q, Qt::ControlModifier);
    EXPECT_TRUE(s.isVisible());
    press(Qt::Key_W, Qt::ControlModifier);
    EXPECT_FALSE(s.isVisible());
    s.show();
    wait(1);
    press(Qt::Key_W, Qt::MetaModifier);
    EXPECT_FALSE(s.isVisible());
}

TEST_F(CheatSheetWindow, UnpinnedQuickReleaseClosesWithTheHintASlowOneWithout)
{
    unpinned();
    auto& s = makeSheet();
    s.show();
    wait(0.2);
    releaseCaps();
    EXPECT_FALSE(s.isVisible());
    EXPECT_EQ(hints(), 1);

    toasts.clear();
    s.show();
    wait(0.5);
    releaseCaps();
    EXPECT_FALSE(s.isVisible());
    EXPECT_TRUE(toasts.empty());
}

TEST_F(CheatSheetWindow, CloseOnReleaseOffKeepsTheSheetAndUnpinningOnlyHints)
{
    unpinned();
    settings->set(DefaultsKeys::cheatSheet_isCloseOnCapsUp, false);
    auto& s = makeSheet();
    s.show();
    EXPECT_FALSE(s.isWaitingForCapsRelease());
    wait(1);
    releaseCaps();
    EXPECT_TRUE(s.isVisible());

    s.lockButton()->click();  // pin: no toast without release closing
    EXPECT_TRUE(s.isPinned());
    EXPECT_TRUE(toasts.empty());
    s.lockButton()->click();  // unpin with Caps up
    EXPECT_EQ(toasts, std::vector<std::string>{CheatSheetMessages::holdToKeepTheDisplay()});
    wait(1);
    EXPECT_TRUE(s.isVisible());
}

TEST_F(CheatSheetWindow, UnpinningWithCapsUpHintsAndClosesAfterTwoTenths)
{
    auto& s = makeSheet();
    s.show();
    wait(1);
    s.lockButton()->click();
    EXPECT_FALSE(s.isPinned());
    EXPECT_FALSE(s.isFloating());
    EXPECT_EQ(hints(), 1);
    wait(0.19);
    EXPECT_TRUE(s.isVisible());
    wait(0.02);
    EXPECT_FALSE(s.isVisible());
    EXPECT_EQ(hints(), 1);
}

TEST_F(CheatSheetWindow, PinningAgainCancelsTheCloseDueFromUnpinning)
{
    auto& s = makeSheet();
    s.show();
    wait(1);
    s.lockButton()->click();
    s.lockButton()->click();
    EXPECT_TRUE(s.isPinned());
    wait(1);
    EXPECT_TRUE(s.isVisible());
}

TEST_F(CheatSheetWindow, UnpinningWhileCapsIsHeldClosesAtTheNextRelease)
{
    auto& s = makeSheet();
    s.show();
    wait(1);
    capsDown = true;
    s.lockButton()->click();
    EXPECT_TRUE(toasts.empty());
    wait(5);
    EXPECT_TRUE(s.isVisible());
    releaseCaps();
    EXPECT_FALSE(s.isVisible());
    EXPECT_TRUE(toasts.empty());
}

TEST_F(CheatSheetWindow, PinningWithReleaseClosingOnSaysCapsCanBeReleased)
{
    unpinned();
    auto& s = makeSheet();
    s.show();
    EXPECT_FALSE(s.isFloating());
    const WId native = s.window()->winId();
    s.lockButton()->click();
    EXPECT_EQ(toasts, std::vector<std::string>{CheatSheetMessages::canReleaseCapslock()});
    EXPECT_TRUE(s.isFloating());
    EXPECT_TRUE(s.isVisible());
    EXPECT_EQ(s.window()->winId(), native) << "pinned through the window manager, not as a new window";
    EXPECT_EQ(s.lockButton()->toolTip(), "Unpin the Window");
    releaseCaps();
    EXPECT_TRUE(s.isVisible());
}

TEST_F(CheatSheetWindow, ThePinnedLookFollowsTheSettingFromTheStart)
{
    auto& s = makeSheet();
    EXPECT_TRUE(s.lockButton()->isChecked());
    EXPECT_TRUE(s.isFloating());
    EXPECT_EQ(s.lockButton()->toolTip(), "Unpin the Window");
    settings->set(DefaultsKeys::cheatSheet_isWindowPined, false);
    EXPECT_FALSE(s.lockButton()->isChecked());
    EXPECT_FALSE(s.isFloating());
    EXPECT_EQ(s.lockButton()->toolTip(), "Pin the Window");
}

TEST_F(CheatSheetWindow, ShowingAVisibleSheetAddsNoSecondReleaseWait)
{
    unpinned();
    auto& s = makeSheet();
    s.show();
    const auto shownAt = s.theTimeWindowShowed();
    wait(0.1);
    s.show();
    EXPECT_EQ(s.theTimeWindowShowed(), shownAt);
    releaseCaps();
    EXPECT_FALSE(s.isVisible());
    EXPECT_EQ(hints(), 1);
}

TEST_F(CheatSheetWindow, ClosingEndsTheReleaseWaitSoALaterReleaseHintsNothing)
{
    unpinned();
    auto& s = makeSheet();
    for (int i = 0; i < 3; ++i) {
        s.show();
        wait(1);
        press(Qt::Key_Escape);
        EXPECT_FALSE(s.isWaitingForCapsRelease());
    }
    s.show();
    releaseCaps();
    EXPECT_EQ(hints(), 1);
    EXPECT_FALSE(s.isVisible());
}

TEST_F(CheatSheetWindow, SizeIsTheContentUpToNinetyFivePercentOfTheScreen)
{
    screen->setVisibleFrame(QRect(0, 0, 1000, 500));
    auto& s = makeSheet();
    s.show();
    const QSize content = s.containerStackView()->size();
    ASSERT_GT(content.height(), 475);
    EXPECT_EQ(s.window()->height(), 475);
    EXPECT_LE(s.window()->width(), 950 + s.scrollView()->style()->pixelMetric(QStyle::PM_ScrollBarExtent));
    EXPECT_EQ(s.window()->pos(), QPoint((1000 - s.window()->width()) / 2, (500 - 475) / 2));
    s.close();

    screen->setVisibleFrame(QRect(0, 0, 4000, 3000));
    s.show();
    EXPECT_EQ(s.window()->size(), s.containerStackView()->size());
}

TEST_F(CheatSheetWindow, AScreenChangeRearrangesTheBuiltGroupViewsAtTheNextShow)
{
    auto& s = makeSheet();
    const int groups = static_cast<int>(activeKeyScheme.value()->allSettingsGroups().size());
    EXPECT_GT(listStackSubviewCount(*s.containerStackView()), 2);
    const auto before = s.allGroupStackViews();

    screen->setVisibleFrame(QRect(0, 0, 1200, 800));
    s.show();
    EXPECT_EQ(s.currentListCount.value(), 2);
    EXPECT_EQ(listStackSubviewCount(*s.containerStackView()), 2);
    EXPECT_EQ(s.containerStackView()->arrangedSubviews().size(), 3u);
    EXPECT_EQ(s.allGroupStackViews(), before);
    int placed = 0;
    for (const auto& [group, view] : before)
        placed += qobject_cast<VDCheatSheetListStack*>(view->parentWidget()) ? 1 : 0;
    EXPECT_EQ(placed, groups);
}

TEST_F(CheatSheetWindow, ASchemeChangeRedrawsAndAVisibleSheetResizesKeepingItsTop)
{
    auto& s = makeSheet();
    s.show();
    const QRect old = s.window()->geometry();

    auto small = VDKeyScheme::make("small", "", VDKeySchemeType::custom,
                                   {VDKeySetting::make(VDKey(38, {57}), BuiltInVDAction::showCheatSheet())});
    activeKeyScheme.accept(small);
    EXPECT_EQ(s.allGroupStackViews().size(), 1u);
    EXPECT_EQ(s.window()->geometry(), old);
    wait(0.1);
    const QRect now = s.window()->geometry();
    EXPECT_LT(now.width(), old.width());
    EXPECT_EQ(now.top(), old.top());
    EXPECT_NEAR(now.center().x(), old.center().x(), 1);
}

TEST_F(CheatSheetWindow, ASchemeActivatedOnAnotherThreadIsDrawnOnTheMainThread)
{
    auto& s = makeSheet();
    const auto drawn = s.allGroupStackViews().size();
    auto small = VDKeyScheme::make("small", "", VDKeySchemeType::custom,
                                   {VDKeySetting::make(VDKey(38, {57}), BuiltInVDAction::showCheatSheet())});
    std::thread keyEventQueue([&] { activeKeyScheme.accept(small); });
    keyEventQueue.join();
    EXPECT_EQ(s.allGroupStackViews().size(), drawn);
    clock->runDue();
    EXPECT_EQ(s.allGroupStackViews().size(), 1u);
}

}  // namespace
}  // namespace vandrel::test
