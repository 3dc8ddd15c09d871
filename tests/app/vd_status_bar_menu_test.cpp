#include "app/vd_status_bar_menu.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QTemporaryDir>
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "app/recording_status_item.h"
#include "catalogue/build_in_vd_key_scheme.h"
#include "catalogue/built_in_vd_action.h"
#include "core/app_info.h"
#include "core/constants.h"
#include "core/defaults.h"
#include "core/defaults_keys.h"
#include "core/localize.h"
#include "core/log_capture.h"
#include "core/settings_store.h"
#include "platform/sim/sim_platform.h"
#include "rx/virtual_time_scheduler.h"
#include "ui/overlays/vd_cheat_sheet_views.h"

namespace vandrel {
namespace {

// One entry as the user sees it: its text (empty for a separator), its object name, whether it can be chosen.
struct Entry {
    std::string text;
    std::string name;
    bool enabled = true;
    bool operator==(const Entry&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Entry& e)
{
    return os << "{" << e.text << ", " << e.name << ", " << e.enabled << "}";
}

std::vector<Entry> entriesOf(QMenu& menu)
{
    std::vector<Entry> out;
    for (QAction* a : menu.actions())
        if (a->isVisible())
            out.push_back(
                {a->isSeparator() ? "" : a->text().toStdString(), a->objectName().toStdString(), a->isEnabled()});
    return out;
}

class StatusBarMenuTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        // The menu's web pages follow the user settings, which are process-wide: the test's own.
        settings = std::make_shared<SettingsStore>(dir.path().toStdString());
        installDefaults(settings);
    }

    std::shared_ptr<VDStatusBarMenu> makeMenu()
    {
        StatusBarMenuServices s;
        s.mainQueue = main;
        s.secureInput = [this] { return secure.asObservable(); };
        s.appUsingSecureInput = [this] { return holder; };
        s.frontmostApplication = [this] { return frontmost; };
        s.showPreferences = [this] { calls.push_back("preferences"); };
        s.checkForUpdates = [this] { calls.push_back("updates"); };
        s.showFeedback = [this] { calls.push_back("feedback"); };
        s.openUrl = [this](const std::string& url) {
            calls.push_back("open " + url);
            return true;
        };
        s.quit = [this] { calls.push_back("quit"); };
        s.keyboardAccess = [this] { return access.asObservable(); };
        s.showAccessGuide = [this] { calls.push_back("guide"); };
        auto menu = VDStatusBarMenu::make(std::make_unique<test::RecordingStatusItem>(item), std::move(s));
        menu->initMenuButton();
        main->runDue();
        return menu;
    }

    QAction* named(QMenu& menu, const char* name)
    {
        for (QAction* a : menu.actions())
            if (a->objectName() == name) return a;
        return nullptr;
    }

    QTemporaryDir dir;
    // The simulated US keyboard types the keys the menu names.
    PlatformInstallation platform{SimPlatform::make()};
    std::shared_ptr<SettingsStore> settings;
    std::shared_ptr<rx::VirtualTimeScheduler> main = rx::VirtualTimeScheduler::make();
    rx::BehaviorRelay<bool> secure{false};
    rx::BehaviorRelay<bool> access{true};
    std::optional<SecureInputHolder> holder;
    std::optional<RunningApplication> frontmost;
    test::RecordingStatusItem::Record item;
    std::vector<std::string> calls;
    test::ScopedLogCapture logs;
};

const std::vector<Entry> kMenu = {
    {"Preferences...\tShift+Caps Lock+,", "menuItem_preferences"},
    {"Check for Updates...", "menuItem_checkForUpdates"},
    {"Feedback...", "menuItem_feedback"},
    {"", ""},
    {"Manual", "menuItem_manual"},
    {"Tutorial", "menuItem_tutorial"},
    {"", ""},
    {"Quit Vandrel", "menuItem_quit"},
};

TEST_F(StatusBarMenuTest, TheItemHasNoImageUntilTheMenuIsBuiltThenTheNormalIconAndTheEntriesInOrder)
{
    StatusBarMenuServices none;
    none.mainQueue = main;
    auto bare = VDStatusBarMenu::make(std::make_unique<test::RecordingStatusItem>(item), none);
    main->runDue();
    EXPECT_TRUE(item.images.empty());
    EXPECT_EQ(item.menu, nullptr);
    bare.reset();

    auto menu = makeMenu();
    ASSERT_NE(item.menu, nullptr);
    EXPECT_EQ(item.menu, menu->menu());
    EXPECT_EQ(item.images, std::vector<std::string>{"MenubarIcon"});
    EXPECT_EQ(entriesOf(*menu->menu()), kMenu);
    for (QAction* a : menu->menu()->actions()) EXPECT_TRUE(a->shortcut().isEmpty()) << a->text().toStdString();
    EXPECT_EQ(menu->menuItemPreferences, named(*menu->menu(), "menuItem_preferences"));
    EXPECT_EQ(menu->menuItemTutorial, named(*menu->menu(), "menuItem_tutorial"));

    // The hint reads as the cheat sheet writes the default layout's Preferences key.
    BuiltInVDAction::registerAll();
    const auto settingsOfLayout = BuildInVDKeyScheme::vandrel_v20190601()->keySettings.value();
    const auto preferences = std::ranges::find(settingsOfLayout, BuiltInVDAction::showPreferences(),
                                               [](const VDKeySettingPtr& s) { return s->action(); });
    ASSERT_NE(preferences, settingsOfLayout.end());
    StackView keyPart(Qt::Horizontal);
    appendKeysLabel(keyPart, (*preferences)->key());
    QString sheet;
    for (QWidget* label : keyPart.arrangedSubviews()) sheet = static_cast<QLabel*>(label)->text() + sheet;
    EXPECT_EQ(menu->menuItemPreferences->text(), "Preferences...\t" + sheet);
}

TEST_F(StatusBarMenuTest, WithoutKeyboardAccessTheMenuSaysSoAndBringsTheGuideBackUntilTheGrant)
{
    access.accept(false);
    auto menu = makeMenu();
    auto expected = kMenu;
    expected.insert(expected.begin(), {{"Waiting for keyboard access", "menuItem_waitingForAccess", false},
                                       {"Set Up Keyboard Access...", "menuItem_setUpAccess"},
                                       {"", ""}});
    EXPECT_EQ(entriesOf(*menu->menu()), expected);
    menu->menuItemSetUpAccess->trigger();
    EXPECT_EQ(calls, std::vector<std::string>{"guide"});

    access.accept(true);
    main->runDue();
    EXPECT_EQ(entriesOf(*menu->menu()), kMenu);
}

TEST_F(StatusBarMenuTest, EachEntryReachesItsServiceAndQuitQuits)
{
    auto menu = makeMenu();
    menu->menuItemPreferences->trigger();
    menu->menuItemFeedback->trigger();
    // The windows open on the main queue, never inside the menu's call.
    EXPECT_TRUE(calls.empty());
    main->runDue();
    menu->menuItemCheckForUpdates->trigger();
    named(*menu->menu(), "menuItem_quit")->trigger();
    EXPECT_EQ(calls, (std::vector<std::string>{"preferences", "feedback", "updates", "quit"}));
    EXPECT_TRUE(logs->contains(LogLevel::debug, "showPreferences"));
}

TEST_F(StatusBarMenuTest, ManualAndTutorialOpenTheirPagesWithTheVersion)
{
    auto menu = makeMenu();
    const std::string params = "?from=app&version=" + AppInfo::version();
    menu->menuItemManual->trigger();
    settings->set(DefaultsKeys::app_siteBase, std::string("https://docs.example.org"));
    menu->menuItemTutorial->trigger();
    menu->goManual();
    const std::string local = Constants::WebServer::WebSite::pageFor("", "en", "manual");
    EXPECT_EQ(calls,
              (std::vector<std::string>{"open " + local + params, "open https://docs.example.org/tutorial" + params,
                                        "open https://docs.example.org/manual" + params}));
    EXPECT_EQ(local.rfind("file:///", 0), 0u) << local;
}

TEST_F(StatusBarMenuTest, FrozenHotkeysTurnTheIconAndPutTheWarningOnTopUntilTheyEnd)
{
    auto menu = makeMenu();
    holder = SecureInputHolder{"Terminal", 42};
    secure.accept(true);
    // Handled on the main queue only.
    EXPECT_EQ(entriesOf(*menu->menu()), kMenu);
    main->runDue();
    EXPECT_EQ(item.images, (std::vector<std::string>{"MenubarIcon", "MenubarIcon-alert"}));
    const auto entries = entriesOf(*menu->menu());
    ASSERT_EQ(entries.size(), kMenu.size() + 5);
    EXPECT_EQ(entries[0].text, "\u261D\uFE0F " + localized("_hotkeys_freezing_by_secure_input"));
    EXPECT_EQ(entries[1], (Entry{"Terminal (pid: 42)", "", false}));
    EXPECT_EQ(entries[2].text, localized("_hotkeys_freezing_reason"));
    EXPECT_EQ(entries[3].text, localized("_hotkeys_freezing_warning"));
    EXPECT_FALSE(entries[0].enabled || entries[2].enabled || entries[3].enabled);
    EXPECT_EQ(entries[4], (Entry{"", "", true}));
    EXPECT_EQ(std::vector<Entry>(entries.begin() + 5, entries.end()), kMenu);
    EXPECT_TRUE(logs->contains(LogLevel::info, "In secure input by ->"));

    secure.accept(false);
    main->runDue();
    EXPECT_EQ(entriesOf(*menu->menu()), kMenu);
    EXPECT_EQ(item.images.back(), "MenubarIcon");
    EXPECT_TRUE(logs->contains(LogLevel::info, "Secure input end"));

    // A second time round the warning comes back once, with the holder of then.
    holder = SecureInputHolder{std::nullopt, 7};
    secure.accept(true);
    secure.accept(true);
    main->runDue();
    EXPECT_EQ(entriesOf(*menu->menu()).size(), kMenu.size() + 5);
    EXPECT_EQ(entriesOf(*menu->menu())[1].text, "<unknown name> (pid: 7)");
}

TEST_F(StatusBarMenuTest, TheWarningNamesTheApplicationInFrontWhenTheHolderIsUnknown)
{
    RunningApplication app;
    app.processIdentifier = 1234;
    app.localizedName = "Screen Locker";
    EXPECT_EQ(VDStatusBarMenu::secureInputHolderLabel(std::nullopt, app), "Screen Locker (pid: 1234)");
    app.localizedName.reset();
    EXPECT_EQ(VDStatusBarMenu::secureInputHolderLabel(std::nullopt, app), localized("_get_app_info_fail"));
    EXPECT_EQ(VDStatusBarMenu::secureInputHolderLabel(std::nullopt, std::nullopt), localized("_get_app_info_fail"));

    auto menu = makeMenu();
    frontmost = RunningApplication{};
    frontmost->processIdentifier = 99;
    frontmost->localizedName = "Editor";
    secure.accept(true);
    main->runDue();
    EXPECT_EQ(entriesOf(*menu->menu())[1].text, "Editor (pid: 99)");
}

TEST_F(StatusBarMenuTest, AMenuThatIsGoneIgnoresLaterStates)
{
    auto menu = makeMenu();
    secure.accept(true);
    menu.reset();
    main->runDue();
    EXPECT_EQ(item.images, std::vector<std::string>{"MenubarIcon"});
}

}  // namespace
}  // namespace vandrel
