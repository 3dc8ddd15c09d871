// The window-binding service on the simulated desktop, on virtual time: binding, bringing back, minimizing and
// refocusing, launching again, the stored records and their restore, the window list and its cache.
#include "windowbinding/vd_window_binding.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "core/defaults_keys.h"
#include "core/dispatch_queues.h"
#include "core/localize.h"
#include "core/log_capture.h"
#include "core/popup_msg.h"
#include "platform/sim/sim_platform.h"
#include "rx/virtual_time_scheduler.h"
#include "windowbinding/vd_window_binding_data.h"

namespace vandrel {
namespace {

using Strings = std::vector<std::string>;

struct WindowBindingTest : ::testing::Test {
    QTemporaryDir dir;
    std::shared_ptr<rx::VirtualTimeScheduler> clock = rx::VirtualTimeScheduler::make();
    std::shared_ptr<SimPlatform> sim = SimPlatform::make(clock);
    PlatformInstallation installed{sim};
    std::shared_ptr<SettingsStore> settings = std::make_shared<SettingsStore>(dir.path().toStdString());
    std::shared_ptr<WindowBindingService> keys = std::make_shared<WindowBindingService>();
    test::ScopedLogCapture logged;
    Strings messages;
    std::optional<RunningApplication> preActive;
    std::shared_ptr<VDWindowBinding> service;

    WindowBindingTest()
    {
        VDWindowBindingData::registerSchema();
        Realm::forgetOpenedFiles();
        Realm::setCustomConfig(dir.path().toStdString());
        keys->refillKeys({{1, VDKey(18, {57})}, {2, VDKey(19, {57})}}, {{1, VDKey(18, {57, 58})}});
        service = makeService();
    }
    ~WindowBindingTest() override
    {
        DispatchQueues::realm()->sync([] {});
        Realm::forgetOpenedFiles();
    }

    std::shared_ptr<VDWindowBinding> makeService()
    {
        VDWindowBinding::Dependencies d;
        d.scheduler = clock;
        d.keys = keys;
        d.settings = settings;
        d.preActiveApplication = [this] { return preActive; };
        d.popup = [this](const std::string& m, double) { messages.push_back(m); };
        return VDWindowBinding::make(std::move(d));
    }

    RunningApplication app(const std::string& id, ActivationPolicy policy = ActivationPolicy::regular)
    {
        RunningApplication a;
        a.bundleIdentifier = id;
        a.localizedName = id + " App";
        a.bundleUrl = "file:///usr/share/applications/" + id + ".desktop";
        a.activationPolicy = policy;
        return a;
    }
    std::int32_t launch(const std::string& id) { return sim->workspace().addApplication(app(id)).processIdentifier; }
    std::uint32_t focusedNumber() const
    {
        auto w = Window::newWindowWithFocused();
        return w ? w->winid : 0;
    }
    std::optional<VDWindowBindingData> stored(std::int64_t id)
    {
        DispatchQueues::realm()->sync([] {});
        auto realm = Realm::open();
        return realm ? VDWindowBindingData::object(**realm, id) : std::nullopt;
    }
};

TEST_F(WindowBindingTest, WindowListIsCachedForASecondAndLeavesOutHelpersAndTheDesktop)
{
    auto& windows = sim->windowSystem();
    const auto editor = launch("editor");
    const auto helper = sim->workspace().addApplication(app("ibus-ui-gtk3")).processIdentifier;
    const auto daemon = sim->workspace().addApplication(app("daemon", ActivationPolicy::prohibited)).processIdentifier;
    const auto browser = sim->workspace().addApplication(app("org.gnome.Nautilus")).processIdentifier;
    windows.addWindow(editor, "a");
    windows.addWindow(helper, "input method");
    windows.addWindow(daemon, "hidden");
    windows.addWindow(browser, "Desktop", "AXScrollArea");
    windows.addWindow(browser, "Home");

    auto& list = service->windowList();
    Strings titles;
    for (const auto& w : list.getAllWindows()) titles.push_back(w->getTitle());
    EXPECT_EQ(titles, (Strings{"a", "Home"}));

    windows.addWindow(editor, "b");
    clock->advanceBy(rx::seconds(0.5));
    EXPECT_EQ(list.getAllWindows().size(), 2u);  // still the cached list
    clock->advanceBy(rx::seconds(0.6));
    EXPECT_EQ(list.getAllWindows().size(), 3u);
    EXPECT_EQ(list.findByTitle("b")->app->bundleId, "editor");
    EXPECT_EQ(list.findByTitle("b", "other"), nullptr);
}

TEST_F(WindowBindingTest, BindThenBringBackThenMinimizeAndRefocusThePreviousWindow)
{
    auto& windows = sim->windowSystem();
    const auto editorPid = launch("editor");
    const auto termPid = launch("term");
    const auto a = windows.addWindow(editorPid, "A");
    const auto b = windows.addWindow(termPid, "B");
    windows.focusWindow(a);
    ASSERT_TRUE(service->bind(1));
    ASSERT_TRUE(stored(1));
    EXPECT_EQ(stored(1)->winTitle, "A");

    windows.focusWindow(b);
    preActive = app("editor");
    service->activate(1);
    EXPECT_EQ(focusedNumber(), a);
    EXPECT_EQ(service->preFocusedWindow()->winid, b);

    // Pressed again while it has focus: minimized, and the window that had focus comes back.
    preActive = sim->workspace().runningApplication(termPid);
    service->activate(1);
    EXPECT_EQ(windows.isWindowMinimized(a), true);
    EXPECT_EQ(focusedNumber(), b);
    EXPECT_EQ(service->preFocusedWindow(), nullptr);

    // A full-screen bound window is never minimized.
    windows.focusWindow(a);
    windows.setFullscreen(a, true);
    service->activate(1);
    EXPECT_EQ(windows.isWindowMinimized(a), false);
    EXPECT_EQ(messages.back(), localized("_fullscreen_focusing_window_cannot_be_monimized"));

    // Empty slots: the bind key when known, else the plain message.
    service->activate(1 + 1);
    service->activate(9);
    EXPECT_EQ(messages[messages.size() - 2], localized("_no_binding_window"));
    EXPECT_EQ(messages.back(), localized("_no_binding_window"));
}

TEST_F(WindowBindingTest, AQuitApplicationLaunchesOnASecondPressWithinFourSeconds)
{
    auto& windows = sim->windowSystem();
    const auto pid = launch("editor");
    windows.focusWindow(windows.addWindow(pid, "notes"));
    ASSERT_TRUE(service->bind(1));
    sim->workspace().removeApplication(pid);
    sim->workspace().addInstalledApplication(app("editor"));

    service->activate(1);
    EXPECT_EQ(messages.back(),
              localized("_press_again_to_launch", VDKey(18, {57}).keyCharWithModifiers(), "editor App"));
    clock->advanceBy(rx::seconds(4.1));
    service->activate(1);  // too late: asks again
    EXPECT_TRUE(sim->workspace().launchRequests().empty());

    // A first press of another slot in between does not cancel this one's pending launch.
    clock->advanceBy(rx::seconds(1));
    service->activate(1);
    clock->advanceBy(rx::seconds(3.9));
    EXPECT_EQ(sim->workspace().launchRequests(), Strings{"editor"});
    const auto launched = sim->workspace().runningApplicationsWithBundleId("editor").front().processIdentifier;
    const auto fresh = windows.addWindow(launched, "notes");
    clock->advanceBy(rx::seconds(0.2));
    ASSERT_TRUE(service->windowOf(1));
    EXPECT_EQ(service->windowOf(1)->winid, fresh);
    EXPECT_EQ(stored(1)->winId, static_cast<std::int32_t>(fresh));
}

TEST_F(WindowBindingTest, PressAgainClearOnlyClearsItsOwnPendingKey)
{
    auto& windows = sim->windowSystem();
    for (int slot : {1, 2}) {
        const auto pid = launch("app" + std::to_string(slot));
        windows.focusWindow(windows.addWindow(pid, "w"));
        ASSERT_TRUE(service->bind(slot));
        sim->workspace().removeApplication(pid);
        sim->workspace().addInstalledApplication(app("app" + std::to_string(slot)));
    }
    service->activate(1);  // pending: slot 1, cleared at 4 s
    clock->advanceBy(rx::seconds(3));
    service->activate(2);                // pending: slot 2, cleared at 7 s
    clock->advanceBy(rx::seconds(1.5));  // slot 1's clear has fired
    service->activate(2);
    EXPECT_EQ(sim->workspace().launchRequests(), Strings{"app2"});
}

TEST_F(WindowBindingTest, LaunchingWithoutConfirmationAndAFailedRaiseThatRebinds)
{
    settings->set(DefaultsKeys::windowBinding_isLaunchAppWithoutConfirmation, true);
    auto& windows = sim->windowSystem();
    const auto pid = launch("editor");
    const auto w = windows.addWindow(pid, "doc");
    windows.focusWindow(w);
    ASSERT_TRUE(service->bind(1));

    // Still running, but the window refuses to come up: the application is opened and its main window bound.
    const auto other = windows.addWindow(pid, "other");
    windows.focusWindow(other);
    windows.setRaiseResult(w, AccessibilityError::invalidUIElement);
    service->activate(1);
    EXPECT_EQ(service->windowOf(1)->winid, other);

    sim->workspace().removeApplication(pid);
    sim->workspace().addInstalledApplication(app("editor"));
    service->activate(1);
    clock->runDue();
    EXPECT_EQ(messages.back(), localized("_alert_window_launching", "editor App"));
    EXPECT_EQ(sim->workspace().launchRequests().size(), 2u);
}

TEST_F(WindowBindingTest, OpenChecksEveryTenthOfASecondUntilTheLimit)
{
    sim->workspace().addInstalledApplication(app("slow"));
    VDApplicationOpener opener(clock);
    std::vector<std::uint32_t> delivered;
    ASSERT_TRUE(opener.open("slow", 5.0, true, [&](const auto& w) { delivered.push_back(w->winid); }));
    const auto pid = sim->workspace().runningApplicationsWithBundleId("slow").front().processIdentifier;
    clock->advanceBy(rx::seconds(5.05));
    const auto late = sim->windowSystem().addWindow(pid, "late");
    clock->advanceBy(rx::seconds(0.1));
    EXPECT_EQ(delivered, std::vector<std::uint32_t>{late});

    // Without a limit: exactly one check. A name that is no identity is found by its display name.
    delivered.clear();
    sim->workspace().addInstalledApplication(app("named"));
    ASSERT_TRUE(opener.open("named App", std::nullopt, true, [&](const auto& w) { delivered.push_back(w->winid); }));
    clock->advanceBy(rx::seconds(1));
    EXPECT_TRUE(delivered.empty());
    const auto named = sim->workspace().runningApplicationsWithBundleId("named").front().processIdentifier;
    const auto window = sim->windowSystem().addWindow(named, "n");
    ASSERT_TRUE(opener.open("named App", 1.0, true, [&](const auto& w) { delivered.push_back(w->winid); }));
    EXPECT_EQ(delivered, std::vector<std::uint32_t>{window});

    EXPECT_FALSE(opener.open("not installed", 5.0, true, [&](const auto&) { delivered.push_back(0); }));
    // A stored path is never run, even where an application answers to it.
    sim->workspace().addInstalledApplication(app("/home/u/evil.sh"));
    EXPECT_FALSE(opener.open("/home/u/evil.sh", 5.0, true, [&](const auto&) { delivered.push_back(0); }));
    EXPECT_EQ(sim->workspace().runningApplicationsWithBundleId("/home/u/evil.sh").size(), 0u);
}

TEST_F(WindowBindingTest, RestoreFindsTheWindowAgainAndNeverLosesTheStoredTitle)
{
    auto& windows = sim->windowSystem();
    const auto pid = launch("editor");
    const auto w = windows.addWindow(pid, "report.txt");
    windows.focusWindow(w);
    ASSERT_TRUE(service->bind(1));
    ASSERT_TRUE(stored(1));

    // Same number, new title: found by number and stored with the new title.
    windows.setTitle(w, "report.txt (edited)");
    auto restarted = makeService();
    restarted->restoreAllBindings();
    EXPECT_EQ(restarted->windowOf(1)->winid, w);
    EXPECT_EQ(stored(1)->winTitle, "report.txt (edited)");

    // Another number, same title: found by title.
    windows.closeWindow(w);
    const auto again = windows.addWindow(pid, "report.txt (edited)");
    clock->advanceBy(rx::seconds(1.1));
    restarted = makeService();
    restarted->restoreAllBindings();
    EXPECT_EQ(restarted->windowOf(1)->winid, again);
    EXPECT_EQ(stored(1)->winId, static_cast<std::int32_t>(again));

    // The application is gone: a placeholder, and the stored title and number survive.
    sim->workspace().removeApplication(pid);
    clock->advanceBy(rx::seconds(1.1));
    restarted = makeService();
    restarted->restoreAllBindings();
    ASSERT_TRUE(restarted->windowOf(1));
    EXPECT_EQ(restarted->windowOf(1)->window, nullptr);
    EXPECT_EQ(stored(1)->winTitle, "report.txt (edited)");
    EXPECT_EQ(stored(1)->winId, static_cast<std::int32_t>(again));

    // A malformed row is skipped with one error; the others restore.
    {
        auto realm = Realm::open();
        ASSERT_TRUE(realm);
        (*realm)->database().exec(
            "INSERT INTO \"VDWindowBindingData\" VALUES (5, 'x', 'not a number', 'a', 'b', 1, 'c')");
    }
    logged->clear();
    restarted = makeService();
    restarted->restoreAllBindings();
    EXPECT_EQ(logged->count(LogLevel::error), 1u);
    EXPECT_TRUE(restarted->windowOf(1));
    EXPECT_FALSE(restarted->windowOf(5));
}

TEST_F(WindowBindingTest, ThreePressesWithinTheThrottleRunTheFirstAndTheLast)
{
    Strings ran;
    for (const char* name : {"first", "second", "third"}) {
        service->eventQueue.onNext([&ran, name] { ran.push_back(name); });
        clock->advanceBy(rx::seconds(0.03));
    }
    clock->advanceBy(rx::seconds(0.2));
    EXPECT_EQ(ran, (Strings{"first", "third"}));
}

}  // namespace
}  // namespace vandrel
