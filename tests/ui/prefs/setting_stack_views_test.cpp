#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

#include "prefs_fixture.h"
#include "ui/base/ui_constants.h"
#include "ui/base/view_componentized.h"
#include "ui/base/window_container_view.h"
#include "ui/prefs/programmatic_table_cell_view.h"
#include "ui/prefs/setting_group_stack_view.h"
#include "ui/prefs/setting_item_stack_view.h"
#include "ui/prefs/setting_rows.h"
#include "ui/prefs/settings_container_stack_view.h"

using namespace vandrel;

namespace {

QRect geometryIn(const QWidget* view, const QWidget* ancestor)
{
    return QRect(view->mapTo(ancestor, QPoint(0, 0)), view->size());
}

struct Pane {
    explicit Pane(int width = 800)
    {
        top.resize(width, 340);
        container = ViewComponentized::create<WindowContainerView>(&top);
    }
    QWidget top;
    WindowContainerView* container;
};

}  // namespace

TEST(SettingStackViews, RowsWithAndWithoutTitleStartTheirContentAtOneLeftEdgeInTheOrderAdded)
{
    Pane pane;
    auto* settings = ViewComponentized::create<SettingsContainerStackView>(pane.container);
    auto* group = ViewComponentized::create<SettingGroupStackView>(settings);
    auto [title1, content1] = addTitledRow(group);
    title1->addArrangedSubview(makeTitleLabel("Check for updates:"));
    auto* automatic = new QCheckBox("automatically");
    auto* checkNow = new QPushButton("Check Now");
    content1->addArrangedSubview(automatic);
    content1->addArrangedSubview(checkNow);
    auto [title2, content2] = addTitledRow(group);
    auto* beta = new QCheckBox("Beta version");
    content2->addArrangedSubview(beta);
    test::layOut(&pane.top);

    const int expectedLeft = PreferencesUIConstants::titleViewWidth + PreferencesUIConstants::basicGap;
    EXPECT_EQ(geometryIn(automatic, settings).left(), expectedLeft);
    EXPECT_EQ(geometryIn(beta, settings).left(), expectedLeft);
    EXPECT_EQ(title2->width(), PreferencesUIConstants::titleViewWidth);
    // Side by side, in the order added, at their own widths.
    EXPECT_GT(geometryIn(checkNow, settings).left(), geometryIn(automatic, settings).right());
    EXPECT_EQ(checkNow->width(), checkNow->sizeHint().width());
    EXPECT_EQ(geometryIn(checkNow, settings).center().y(), geometryIn(automatic, settings).center().y());
}

TEST(SettingStackViews, ContainersKeepTheirWidthCentredAtTheTopAndGroupsAndRowsFillThem)
{
    for (const bool experimental : {false, true}) {
        Pane pane(900);
        StackView* column =
            experimental
                ? static_cast<StackView*>(ViewComponentized::create<ExperimentalsContainerStackView>(pane.container))
                : ViewComponentized::create<SettingsContainerStackView>(pane.container);
        auto* group = ViewComponentized::create<SettingGroupStackView>(column);
        auto* row = ViewComponentized::create<SettingItemStackView>(group);
        row->addOnlyContentStackView()->addArrangedSubview(new QLabel("a row"));
        test::layOut(&pane.top);

        const int width = experimental ? PreferencesUIConstants::experimentalsContainerWidth
                                       : PreferencesUIConstants::settingsContainerWidth;
        SCOPED_TRACE(width);
        EXPECT_EQ(column->width(), width);
        EXPECT_EQ(column->y(), 0);
        const int leftMargin = column->x();
        const int rightMargin = pane.container->width() - column->geometry().right() - 1;
        EXPECT_LE(std::abs(leftMargin - rightMargin), 1);
        EXPECT_GT(leftMargin, 100);
        EXPECT_EQ(group->width(), width);
        EXPECT_EQ(row->width(), width);
    }
}

TEST(SettingStackViews, MarkedRowShowsItsMarkerLevelWithTheFirstLineOfALongNote)
{
    Pane pane;
    auto* settings = ViewComponentized::create<SettingsContainerStackView>(pane.container);
    auto* group = ViewComponentized::create<SettingGroupStackView>(settings);
    auto [title, content] = addTitledRow(group, SettingItemStackView::ItemType::marked);
    auto* note = makeNoteLabel(QString("Vandrel can send anonymous usage statistics. ").repeated(6));
    content->addArrangedSubview(note);
    test::layOut(&pane.top);

    const auto markers = title->findChildren<QLabel*>();
    ASSERT_EQ(markers.size(), 1);
    EXPECT_EQ(markers[0]->text(), QString::fromUtf8(SettingItemStackView::markerText));
    EXPECT_TRUE(note->wordWrap());
    EXPECT_GT(note->height(), 2 * markers[0]->height());
    EXPECT_EQ(geometryIn(markers[0], settings).top(), geometryIn(note, settings).top());
    // The note takes the rest of the row, not just its own preferred width.
    EXPECT_EQ(geometryIn(note, settings).right(), settings->width() - 1);
}

TEST(SettingStackViews, TableCellHasOneReadOnlySmallTextFieldOfTheSharedFrame)
{
    ProgrammaticTableCellView cell(QRect(0, 0, 300, 20));
    cell.textField()->setText("Move Left");
    EXPECT_EQ(cell.textField()->geometry(), ProgrammaticTableCellView::textFieldFrame);
    EXPECT_EQ(cell.textField()->textInteractionFlags(), Qt::NoTextInteraction);
    EXPECT_LT(cell.textField()->font().pointSizeF(), QApplication::font().pointSizeF());
    EXPECT_EQ(cell.sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
}
