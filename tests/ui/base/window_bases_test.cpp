#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QLabel>
#include <QLayout>
#include <QScreen>

#include "ui/base/stack_view.h"
#include "ui/base/vd_window_controller.h"
#include "ui/base/view_componentized.h"
#include "ui/base/view_helpers.h"
#include "ui/base/visual_effect_window.h"
#include "ui/base/window_container_view.h"

using namespace vandrel;

namespace {

void layOut(QWidget* window)
{
    if (window->layout()) window->layout()->activate();
}

// A componentized view that records how it was built.
class ProbeView : public QLabel, public ViewComponentized {
public:
    ProbeView() : QLabel("probe") {}
    void initConstraints() override { parentAtConstraints = parentWidget(); }
    QWidget* parentAtConstraints = nullptr;
};

}  // namespace

TEST(VDWindowController, StartsAt640By400WithPaddedContainerWhateverItIsAskedFor)
{
    VDWindowController controller(300, 200);
    QWidget* window = controller.window();
    EXPECT_EQ(window->size(), QSize(640, 400));
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
    EXPECT_FALSE(window->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));

    ASSERT_NE(controller.containerView(), nullptr);
    EXPECT_EQ(controller.containerView()->parentWidget(), window);
    layOut(window);
    EXPECT_EQ(controller.containerView()->geometry(), QRect(20, 24, 600, 356));

    // Hidden windows defer their resize events; a subclass resizes a window that will be shown.
    window->show();
    window->setFixedSize(800, 500);
    QCoreApplication::sendPostedEvents();
    layOut(window);
    EXPECT_EQ(controller.containerView()->geometry(), QRect(20, 24, 760, 456));
}

TEST(VDWindowController, ShowWindowCentresTheWindowEveryTime)
{
    VDWindowController controller;
    controller.showWindow();
    QWidget* window = controller.window();
    EXPECT_TRUE(window->isVisible());
    const QRect area = window->screen()->availableGeometry();
    const int expectedX = area.left() + (area.width() - window->frameGeometry().width()) / 2;
    EXPECT_EQ(window->frameGeometry().x(), expectedX);

    window->move(area.left(), area.top());
    controller.showWindow();
    EXPECT_EQ(window->frameGeometry().x(), expectedX);
    EXPECT_LE(window->frameGeometry().center().y(), area.center().y());
}

TEST(ViewComponentized, BuildsIntoAPlainViewOrAfterAStacksArrangedViews)
{
    QWidget parent;
    auto* plain = ViewComponentized::create<ProbeView>(&parent);
    EXPECT_EQ(plain->parentWidget(), &parent);
    EXPECT_EQ(plain->parentAtConstraints, &parent);

    StackView stack;
    QLabel first("first");
    stack.addArrangedSubview(&first);
    auto* appended = ViewComponentized::create<ProbeView>(&stack);
    EXPECT_EQ(appended->parentAtConstraints, &stack);
    const auto arranged = stack.arrangedSubviews();
    ASSERT_EQ(arranged.size(), 2u);
    EXPECT_EQ(arranged[0], &first);
    EXPECT_EQ(arranged[1], appended);
}

TEST(ViewHelpers, TextViewListMakesOneBulletedWrappingRowPerText)
{
    EXPECT_TRUE(createTextViewList({}).empty());

    const QString longText(400, 'w');
    auto rows = createTextViewList({"Hold Caps Lock", longText});
    ASSERT_EQ(rows.size(), 2u);
    for (const auto& row : rows) {
        const auto labels = row->findChildren<QLabel*>(Qt::FindDirectChildrenOnly);
        ASSERT_EQ(labels.size(), 2);
        EXPECT_TRUE(labels[1]->wordWrap());
    }
    EXPECT_EQ(rows[0]->findChildren<QLabel*>()[1]->text(), "Hold Caps Lock");

    rows[1]->resize(200, 400);
    rows[1]->layout()->activate();
    const auto labels = rows[1]->findChildren<QLabel*>();
    EXPECT_EQ(labels[0]->geometry().top(), labels[1]->geometry().top());
}

TEST(VisualEffectWindow, ContentViewFollowsTheWindowSize)
{
    VisualEffectWindow window(QRect(10, 10, 120, 40));
    EXPECT_EQ(window.contentView()->geometry(), QRect(0, 0, 120, 40));
    window.show();
    window.resize(200, 60);
    EXPECT_EQ(window.contentView()->geometry(), QRect(0, 0, 200, 60));
}
