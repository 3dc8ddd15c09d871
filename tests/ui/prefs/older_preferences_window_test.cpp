#include <gtest/gtest.h>

#include <QLabel>
#include <QVBoxLayout>

#include "core/defaults_keys.h"
#include "prefs_fixture.h"
#include "ui/prefs/general_view_controller.h"
#include "ui/prefs/key_settings_list_views.h"
#include "ui/prefs/preferences_window_controller_old.h"
#include "ui/prefs/programmatic_table_cell_view.h"
#include "ui/prefs/tab_view_controller.h"

using namespace vandrel;

namespace {

using OlderPreferencesTest = test::PrefsTest;

class Page final : public QLabel {
public:
    using QLabel::QLabel;
    QSize sizeHint() const override { return wanted; }
    QSize wanted{100, 20};
};

}  // namespace

TEST_F(OlderPreferencesTest, ClosingOnlyHidesTheWindowWhichComesBackWithItsState)
{
    int checks = 0;
    auto controller = PreferencesWindowControllerOld::make([&] { ++checks; });
    controller->showWindow();
    QWidget* window = controller->window();
    auto* tabs = window->findChild<TabViewController*>();
    ASSERT_NE(tabs, nullptr);
    EXPECT_EQ(window->windowTitle(), "Vandrel Preferences \u2014 General");
    auto* general = window->findChild<GeneralViewController*>();
    general->autoCheckCheckbox()->click();

    EXPECT_FALSE(window->close());
    EXPECT_FALSE(window->isVisible());
    controller->showWindow();
    EXPECT_EQ(controller->window(), window);
    EXPECT_TRUE(general->autoCheckCheckbox()->isChecked());
    general->checkForUpdates();
    EXPECT_EQ(checks, 1);
}

TEST_F(OlderPreferencesTest, GeneralPropertiesReadAndWriteTheSettingsAndStartAtLoginGoesThroughTheLoginItem)
{
    GeneralViewController general({}, loginItem);
    EXPECT_FALSE(general.startAtLogin());
    general.setStartAtLogin(true);
    EXPECT_EQ(loginItem->calls, std::vector<bool>{true});
    EXPECT_TRUE(general.startAtLogin());
    EXPECT_TRUE(general.startAtLoginCheckbox()->isChecked());

    loginItem->failure = "no autostart folder";
    general.startAtLoginCheckbox()->click();
    EXPECT_EQ(loginItem->calls, (std::vector<bool>{true, false}));
    EXPECT_TRUE(general.startAtLogin());
    EXPECT_TRUE(general.startAtLoginCheckbox()->isChecked());

    general.setIsCheckBetaUpdate(true);
    EXPECT_TRUE(settings->get(DefaultsKeys::app_isCheckBetaUpdate));
    EXPECT_FALSE(general.isAutoCheckUpdate());
    settings->set(DefaultsKeys::app_isAutoCheckUpdates, true);
    EXPECT_TRUE(general.isAutoCheckUpdate());
    EXPECT_TRUE(general.autoCheckCheckbox()->isChecked());
    EXPECT_EQ(general.currentVersion().toStdString(), AppInfo::version());
    general.checkForUpdates();  // no checker: logged only
}

TEST_F(OlderPreferencesTest, SelectingATabChangesOnlyTheWindowHeightKeepingTheTopEdge)
{
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* tabs = new TabViewController(&window);
    layout->addWidget(tabs);
    auto* small = new Page("small");
    auto* large = new Page("large");
    tabs->addTab(small, "General");
    tabs->addTab(large, "Advanced");
    window.resize(500, 300);
    test::layOut(&window);
    window.move(40, 60);
    const int area = tabs->currentWidget()->height();
    large->wanted = QSize(100, area + 120);

    tabs->setCurrentIndex(1);
    EXPECT_EQ(window.windowTitle(), "Vandrel Preferences \u2014 Advanced");
    EXPECT_EQ(window.size(), QSize(500, 300 + 120));
    EXPECT_EQ(window.pos(), QPoint(40, 60));
    EXPECT_EQ(tabs->tabViewSizes().at(large).height(), area + 120);
}

TEST(OlderKeySettingsViews, TextFieldShowsItsTextInTheSmallFontFromTheStartAndKeepsIt)
{
    VDTextField field;
    EXPECT_EQ(field.font(), smallSystemFont());
    field.setText("");
    field.resize(120, 20);
    field.show();
    field.repaint();
    field.setText("Move Left");
    field.repaint();
    EXPECT_EQ(field.font(), smallSystemFont());
    EXPECT_EQ(field.text(), "Move Left");
    KeySettingsOutlineView outline;
    KeySettingsTableView table;
    EXPECT_EQ(outline.model(), nullptr);
    EXPECT_EQ(table.model(), nullptr);
}
