#include <gtest/gtest.h>

#include <filesystem>

#include "core/app_info.h"
#include "core/defaults_keys.h"
#include "prefs_fixture.h"
#include "ui/prefs/general_preference_view_controller.h"

using namespace vandrel;

namespace {

class GeneralPaneTest : public test::PrefsTest {
protected:
    GeneralPreferenceViewController& open(std::size_t paneCount = 4)
    {
        PreferencesServices s = services();
        s.checkForUpdates = [this] { ++checks; };
        s.automaticallyChecksForUpdatesChanged = [this](bool on) { automatic.push_back(on); };
        s.popup = [this](const std::string& message, double) { messages.push_back(message); };
        pane = std::make_unique<GeneralPreferenceViewController>(s, [paneCount] { return paneCount; });
        pane->view();
        runMainTurn();
        return *pane;
    }

    std::unique_ptr<GeneralPreferenceViewController> pane;
    int checks = 0;
    std::vector<bool> automatic;
    std::vector<std::string> messages;
};

}  // namespace

TEST_F(GeneralPaneTest, OpeningBuildsTheRowsATurnLaterShowingWhatIsStoredAndWritesNothing)
{
    settings->set(DefaultsKeys::app_isCheckBetaUpdate, true);
    settings->set(DefaultsKeys::app_isAllowSendUsage, true);
    writtenKeys.clear();

    GeneralPreferenceViewController general(services(), [] { return std::size_t(4); });
    EXPECT_EQ(general.preferencePaneIdentifier(), PreferencePaneIdentifier::general);
    EXPECT_EQ(general.preferencePaneTitle(), "General");
    EXPECT_FALSE(general.toolbarItemIcon().isNull());
    general.view();
    EXPECT_EQ(general.view()->size(), QSize(800, 340));
    EXPECT_EQ(general.startAtLoginCheckbox(), nullptr);
    runMainTurn();

    ASSERT_NE(general.startAtLoginCheckbox(), nullptr);
    EXPECT_FALSE(general.startAtLoginCheckbox()->isChecked());
    EXPECT_FALSE(general.autoCheckUpdatesCheckbox()->isChecked());
    EXPECT_TRUE(general.betaVersionCheckbox()->isChecked());
    EXPECT_TRUE(general.sendUsageCheckbox()->isChecked());
    EXPECT_TRUE(writtenKeys.empty());
    EXPECT_TRUE(loginItem->calls.empty());
    EXPECT_FALSE(settings->object(DefaultsKeys::app_isStartAtLogin.key()).has_value());
}

TEST_F(GeneralPaneTest, EachCheckboxWritesItsOwnKeyAtOnceAndFollowsChangesMadeElsewhere)
{
    auto& general = open();
    general.autoCheckUpdatesCheckbox()->click();
    EXPECT_TRUE(settings->get(DefaultsKeys::app_isAutoCheckUpdates));
    EXPECT_EQ(automatic, std::vector<bool>{true});
    EXPECT_FALSE(settings->get(DefaultsKeys::app_isCheckBetaUpdate));

    // Beta versions are independent of automatic checking.
    general.autoCheckUpdatesCheckbox()->click();
    general.betaVersionCheckbox()->click();
    EXPECT_FALSE(settings->get(DefaultsKeys::app_isAutoCheckUpdates));
    EXPECT_TRUE(settings->get(DefaultsKeys::app_isCheckBetaUpdate));
    EXPECT_EQ(automatic, (std::vector<bool>{true, false}));

    general.sendUsageCheckbox()->click();
    EXPECT_TRUE(settings->get(DefaultsKeys::app_isAllowSendUsage));

    settings->set(DefaultsKeys::app_isAllowSendUsage, false);
    settings->set(DefaultsKeys::app_isStartAtLogin, true);
    EXPECT_FALSE(general.sendUsageCheckbox()->isChecked());
    EXPECT_TRUE(general.startAtLoginCheckbox()->isChecked());
    EXPECT_TRUE(loginItem->calls.empty());
}

TEST_F(GeneralPaneTest, StartAtLoginGoesThroughTheLoginItemAndShowsTheStoredValueAndWhyWhenItFails)
{
    auto& general = open();
    QCheckBox* box = general.startAtLoginCheckbox();
    loginItem->failure = "/home/u/.config/autostart: Permission denied";
    box->click();
    EXPECT_FALSE(box->isChecked());
    EXPECT_EQ(messages, std::vector<std::string>{
                            "Failed to turn on start at login: /home/u/.config/autostart: Permission denied."});

    loginItem->failure.reset();
    box->click();
    EXPECT_EQ(loginItem->calls, (std::vector<bool>{true, true}));
    EXPECT_TRUE(settings->get(DefaultsKeys::app_isStartAtLogin));
    EXPECT_TRUE(box->isChecked());

    loginItem->failure = "the autostart folder cannot be written";
    box->click();
    EXPECT_EQ(loginItem->calls, (std::vector<bool>{true, true, false}));
    EXPECT_TRUE(settings->get(DefaultsKeys::app_isStartAtLogin));
    EXPECT_TRUE(box->isChecked());

    // A later change of the setting still shows.
    loginItem->failure.reset();
    box->click();
    EXPECT_FALSE(settings->get(DefaultsKeys::app_isStartAtLogin));
    EXPECT_FALSE(box->isChecked());
}

TEST_F(GeneralPaneTest, CheckNowChecksWhateverTheSwitchesSayAndWithoutACheckerOnlyLogs)
{
    auto& general = open();
    general.checkNowButton()->click();
    EXPECT_EQ(checks, 1);
    EXPECT_FALSE(settings->get(DefaultsKeys::app_isAutoCheckUpdates));

    GeneralPreferenceViewController bare(services(), {});
    bare.view();
    runMainTurn();
    bare.checkNowButton()->click();
    bare.autoCheckUpdatesCheckbox()->click();
    EXPECT_TRUE(settings->get(DefaultsKeys::app_isAutoCheckUpdates));
    EXPECT_EQ(checks, 1);
}

TEST_F(GeneralPaneTest, WithoutToolbarTheSettingsStartFortyBelowTheTopAndTheVersionSitsBottomLeft)
{
    for (const std::size_t count : {std::size_t(1), std::size_t(4)}) {
        auto& general = open(count);
        test::layOut(general.view());
        SCOPED_TRACE(count);
        EXPECT_EQ(general.container()->y(), count == 1 ? 40 : 24);
        EXPECT_EQ(general.container()->x(), 20);
        QLabel* version = general.versionLabel();
        ASSERT_NE(version, nullptr);
        EXPECT_EQ(version->x(), 0);
        EXPECT_EQ(version->geometry().bottom(), general.container()->height() - 1);
        EXPECT_EQ(version->text().toStdString(),
                  "Version: " + AppInfo::version() + "(" + AppInfo::buildVersion() + ")");
        EXPECT_EQ(general.settingsContainer()->x(), (general.container()->width() - 580) / 2);
    }
}

TEST_F(GeneralPaneTest, ControlsWithoutTheirAddressAreDisabledAndANoteSaysWhatIsOffAndHowToTurnItOn)
{
    struct Case {
        bool updateSource;
        bool usageAddress;
    };
    for (const Case c : {Case{true, true}, Case{false, true}, Case{true, false}}) {
        PreferencesServices s = services();
        s.hasUpdateSource = [c] { return c.updateSource; };
        s.hasUsageAddress = [c] { return c.usageAddress; };
        GeneralPreferenceViewController general(s, [] { return std::size_t(4); });
        general.view();
        runMainTurn();
        for (QWidget* control : std::initializer_list<QWidget*>{
                 general.autoCheckUpdatesCheckbox(), general.checkNowButton(), general.betaVersionCheckbox()})
            EXPECT_EQ(control->isEnabled(), c.updateSource);
        EXPECT_EQ(general.sendUsageCheckbox()->isEnabled(), c.usageAddress);
        EXPECT_EQ(general.updatesUnavailableNote() != nullptr, !c.updateSource);
        EXPECT_EQ(general.usageUnavailableNote() != nullptr, !c.usageAddress);
        const QLabel* note = general.updatesUnavailableNote();
        // Spoken to the user: no settings key, and the way on is the manual the tray menu opens.
        EXPECT_TRUE(!note || (note->text().startsWith("Update checks are off") && note->text().contains("manual") &&
                              !note->text().contains("app_downloadBase")))
            << note->text().toStdString();
    }
}
