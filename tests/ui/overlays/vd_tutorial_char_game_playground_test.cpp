#include "ui/overlays/vd_tutorial_char_game_playground.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMouseEvent>

#include "catalogue/built_in_vd_action.h"

namespace vandrel {
namespace {

using B = BuiltInVDAction;

// Line 0 "│ab│c" (0..4, line feed at 5), line 1 "d─ef" (6..9, line feed at 10), line 2 "gh" (11, 12).
const QString kMaze = QString::fromUtf8("│ab│c\nd─ef\ngh");

bool locked(TextRange from, int to, const VDActionPtr& action, bool caps = true)
{
    return filterMazeMove(kMaze, from, {to, 0}, true, caps, action).accepted;
}

TEST(MazeMoveFilter, UnlockedAcceptsEveryMoveAndTellsTheNeighbours)
{
    auto v = filterMazeMove(kMaze, {2, 0}, {0, 0}, false, false, nullptr);
    EXPECT_TRUE(v.accepted);
    EXPECT_EQ(v.left, "");
    EXPECT_EQ(v.right, QString::fromUtf8("│"));
    v = filterMazeMove(kMaze, {2, 0}, {int(kMaze.size()), 0}, false, false, nullptr);
    EXPECT_EQ(v.left, "h");
    EXPECT_EQ(v.right, "");
}

TEST(MazeMoveFilter, LockedNeedsCapsHeld)
{
    EXPECT_FALSE(locked({1, 0}, 2, B::moveRightN(), false));
    EXPECT_TRUE(locked({1, 0}, 2, B::moveRightN()));
}

TEST(MazeMoveFilter, AVerticalWallIsCrossedByNoSidewaysMove)
{
    EXPECT_FALSE(locked({3, 0}, 4, B::moveRightN()));  // right past the wall: the wall on the left
    EXPECT_FALSE(locked({4, 0}, 3, B::moveLeftN()));   // left up to the wall: the wall on the right
    EXPECT_TRUE(locked({2, 0}, 3, B::moveRightN()));   // right up to the wall from inside
    EXPECT_TRUE(locked({5, 0}, 4, B::moveLeftN()));    // left, arriving with the wall on the left
    EXPECT_TRUE(locked({9, 0}, 4, B::moveUpN()));
    EXPECT_TRUE(locked({0, 0}, 3, B::moveDownN()));
    EXPECT_FALSE(locked({2, 0}, 3, B::showCheatSheet()));
}

TEST(MazeMoveFilter, NoMoveEndsBesideAHorizontalWall)
{
    for (const auto& action : {B::moveUpN(), B::moveDownN(), B::moveLeftN(), B::moveRightN()}) {
        EXPECT_FALSE(locked({9, 0}, 8, action));
        EXPECT_FALSE(locked({6, 0}, 7, action));
    }
}

TEST(MazeMoveFilter, NoMoveWrapsToAnotherLine)
{
    EXPECT_FALSE(locked({6, 0}, 5, B::moveLeftN()));     // start of line 1 to the end of line 0
    EXPECT_FALSE(locked({10, 0}, 11, B::moveRightN()));  // end of line 1 to the start of line 2
    EXPECT_TRUE(locked({11, 0}, 12, B::moveRightN()));
}

struct Playground : ::testing::Test {
    bool caps = true;
    VDActionPtr last = B::moveRightN();
    VDTutorialCharGamePlayground view{{[this] { return caps; }, [this] { return last; }}};

    Playground()
    {
        view.setPlainText(kMaze);
        view.resize(300, 200);
        view.show();
    }
    void moveTo(int position)
    {
        QTextCursor c = view.textCursor();
        c.setPosition(position);
        view.setTextCursor(c);
    }
};

TEST_F(Playground, AcceptedMovesPublishTheCharactersBesideTheCaret)
{
    view.isMazeLocked = true;
    moveTo(2);
    EXPECT_EQ(view.charCursorLeft.value(), "a");
    EXPECT_EQ(view.charCursorRight.value(), "b");
    EXPECT_EQ(view.charsBesideCursor.value(), "ab");
    last = B::moveLeftN();
    moveTo(1);
    EXPECT_EQ(view.charsBesideCursor.value(), "│a");
}

TEST_F(Playground, RefusedMovesLeaveTheCaretAndTheRelays)
{
    view.isMazeLocked = true;
    moveTo(2);
    caps = false;
    moveTo(1);
    EXPECT_EQ(view.selectedRange(), (TextRange{2, 0}));
    EXPECT_EQ(view.charsBesideCursor.value(), "ab");
    caps = true;
    view.moveCursor(QTextCursor::Right);
    view.moveCursor(QTextCursor::Right);  // across the wall
    EXPECT_EQ(view.selectedRange(), (TextRange{3, 0}));
}

TEST_F(Playground, ClicksTypingAndPastingChangeNothing)
{
    moveTo(2);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton, Qt::LeftButton, {});
    QApplication::sendEvent(view.viewport(), &press);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton, {}, {});
    QApplication::sendEvent(view.viewport(), &release);
    EXPECT_EQ(view.selectedRange(), (TextRange{2, 0}));

    QKeyEvent type(QEvent::KeyPress, Qt::Key_X, {}, "x");
    QApplication::sendEvent(&view, &type);
    QKeyEvent erase(QEvent::KeyPress, Qt::Key_Backspace, {});
    QApplication::sendEvent(&view, &erase);
    QApplication::clipboard()->setText("pasted");
    view.paste();
    EXPECT_EQ(view.toPlainText(), kMaze);
}

}  // namespace
}  // namespace vandrel
