// The window-binding service on a real X desktop: Xvfb and fluxbox started here, applications that are real
// processes with windows of their own (x11_window_app.cpp), the Linux platform, and applications folders of the
// test. The service's timers (the throttle, the 4 s "press again", the launch checks) run on virtual time; every
// X request is real, and each wait on the desktop polls its condition with a bound.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <map>

#include "core/defaults_keys.h"
#include "core/dispatch_queues.h"
#include "core/localize.h"
#include "core/popup_msg.h"
#include "platform/linux/linux_platform.h"
#include "platform/sim/sim_platform.h"
#include "rx/subjects.h"
#include "rx/virtual_time_scheduler.h"
#include "windowbinding/vd_window_binding.h"
#include "windowbinding/vd_window_binding_data.h"

// Last: Xlib defines macros (None, Bool, Status ...) that other headers use as names.
#include "support/x11_test_server.h"

namespace vandrel {
namespace {

using namespace std::chrono_literals;
// The X window id; vandrel::Window is the service's window wrapper.
using XWindow = ::Window;

using test::X11TestClient;
using test::X11TestServer;

constexpr const char* kNotesTitle = "Notes of A";

class NoSession final : public LogindSession {
public:
    bool isLocked() const override { return false; }
    rx::Observable<PowerEvent> powerEvents() override { return power.asObservable(); }
    rx::PublishSubject<PowerEvent> power;
};

// One stand-in application process with its windows; ended when it goes. `program` is the stand-in's path or
// another name for it: a program of another name is another application.
class WindowApp {
public:
    WindowApp(const std::string& program, const std::string& display, const std::string& instance,
              const std::string& className, const std::string& title)
        : pid_(test::spawnProgram({program, instance, className, title}, test::environmentWith({"DISPLAY=" + display})))
    {
    }
    ~WindowApp() { stop(); }
    WindowApp(const WindowApp&) = delete;
    WindowApp& operator=(const WindowApp&) = delete;
    pid_t pid() const { return pid_; }
    void stop() { test::stopProgram(pid_); }

private:
    pid_t pid_;
};

class X11WindowBindingTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { server_ = std::make_unique<X11TestServer>(); }
    static void TearDownTestSuite() { server_.reset(); }

    void SetUp() override
    {
        if (!server_->ok()) GTEST_SKIP() << "no X test server: " << server_->failure();
        // The launcher finds the entry here, and the launched program the display.
        const auto share = dir_.filePath("share").toStdString();
        std::filesystem::create_directories(share + "/applications");
        std::ofstream(share + "/applications/vandrel-notes.desktop")
            << "[Desktop Entry]\nType=Application\nName=Vandrel Notes\nStartupWMClass=VandrelNotes\nExec="
            << VANDREL_X11_WINDOW_APP << " vandrel-notes VandrelNotes \"" << kNotesTitle << "\"\n";
        // Its program fails at once: it never shows a window.
        std::ofstream(share + "/applications/vandrel-broken.desktop")
            << "[Desktop Entry]\nType=Application\nName=Vandrel Broken\nStartupWMClass=VandrelBroken\nExec=false\n";
        setenv("XDG_DATA_DIRS", share.c_str(), 1);
        for (const char* name : {"vandrel-term", "vandrel-other", "vandrel-broken"}) {
            const auto link = dir_.filePath(name).toStdString();
            std::filesystem::create_symlink(VANDREL_X11_WINDOW_APP, link);
            programs_[name] = link;
        }
        programs_["vandrel-notes"] = VANDREL_X11_WINDOW_APP;
        setenv("XDG_DATA_HOME", dir_.filePath("home").toStdString().c_str(), 1);
        setenv("DISPLAY", server_->display().c_str(), 1);

        VDWindowBindingData::registerSchema();
        Realm::forgetOpenedFiles();
        Realm::setCustomConfig(dir_.path().toStdString());
        keys_->refillKeys({{1, VDKey(18, {57})}}, {{1, VDKey(18, {57, 58})}});

        LinuxPlatform::Options options;
        options.scheduler = clock_;
        options.inputDirectory = dir_.filePath("no-input").toStdString();  // the desktop side only
        options.uinputPath = dir_.filePath("no-uinput").toStdString();
        options.displayName = server_->display();
        options.session = std::make_shared<NoSession>();
        platform_ = LinuxPlatform::make(options);
        installed_.emplace(platform_);
        client_ = std::make_unique<X11TestClient>(server_->display());
        service_ = makeService();
    }

    void TearDown() override
    {
        if (!server_->ok()) return;
        service_.reset();
        for (const pid_t pid : launched_) ::kill(pid, SIGTERM);
        DispatchQueues::realm()->sync([] {});
        Realm::forgetOpenedFiles();
        client_.reset();
        installed_.reset();
        platform_.reset();
    }

    std::shared_ptr<VDWindowBinding> makeService()
    {
        VDWindowBinding::Dependencies d;
        d.scheduler = clock_;
        d.keys = keys_;
        d.settings = settings_;
        d.preActiveApplication = [this] { return preActive_; };
        d.popup = [this](const std::string& m, double) { messages_.push_back(m); };
        return VDWindowBinding::make(std::move(d));
    }

    std::unique_ptr<WindowApp> startApp(const std::string& name, const std::string& className, const std::string& title)
    {
        return std::make_unique<WindowApp>(programs_.at(name), server_->display(), name, className, title);
    }

    // Starts the application to bind (bound_, window a_) and a terminal (term_, window b_), binds a_ to slot 1,
    // and leaves the focus on b_.
    void bindOneAndFocusAnother(const std::string& name, const std::string& className, const std::string& title)
    {
        bound_ = startApp(name, className, title);
        term_ = startApp("vandrel-term", "VandrelTerm", "Term of B");
        a_ = windowOf(bound_->pid());
        b_ = windowOf(term_->pid());
        ASSERT_TRUE(a_ && b_);
        ASSERT_TRUE(client_->activate(a_));
        ASSERT_TRUE(service_->bind(1));
        ASSERT_TRUE(client_->activate(b_));
    }

    // Ends the bound application and waits until the program's own view of the desktop, which follows it over a
    // connection of its own, has it gone too (the test's connection may hear of it first).
    void stopBound()
    {
        const pid_t pid = bound_->pid();
        bound_->stop();
        ASSERT_TRUE(client_->wait(
            [&] { return !client_->isClient(a_) && !platform_->workspace().runningApplication(pid).has_value(); }));
    }

    // The first managed window of the process, once the manager has taken it on.
    XWindow windowOf(pid_t pid)
    {
        XWindow found = 0;
        client_->wait([&] {
            for (const XWindow w : client_->clientList())
                if (client_->cardinal(w, "_NET_WM_PID") == pid && client_->isManaged(w)) found = w;
            return found != 0;
        });
        return found;
    }

    // The managed windows of class VandrelNotes, now.
    std::vector<XWindow> notesWindows()
    {
        std::vector<XWindow> out;
        for (const XWindow w : client_->clientList()) {
            XClassHint hint{};
            if (!XGetClassHint(client_->display(), w, &hint)) continue;
            if (hint.res_class && std::string(hint.res_class) == "VandrelNotes" && client_->isManaged(w))
                out.push_back(w);
            XFree(hint.res_name);
            XFree(hint.res_class);
        }
        return out;
    }

    // Waits for a window of class VandrelNotes to turn up; 0 when none does.
    XWindow newNotesWindow()
    {
        XWindow found = 0;
        client_->wait(
            [&] {
                const auto windows = notesWindows();
                found = windows.empty() ? 0 : windows.front();
                return found != 0;
            },
            15s);
        return found;
    }

    bool isIconic(XWindow w)
    {
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        const Atom wmState = client_->atom("WM_STATE");
        XGetWindowProperty(client_->display(), w, wmState, 0, 2, False, wmState, &type, &format, &count, &after, &data);
        const bool iconic = data && count > 0 && reinterpret_cast<long*>(data)[0] == IconicState;
        if (data) XFree(data);
        return iconic;
    }

    std::optional<VDWindowBindingData> stored(std::int64_t id)
    {
        DispatchQueues::realm()->sync([] {});
        auto realm = Realm::open();
        return realm ? VDWindowBindingData::object(**realm, id) : std::nullopt;
    }

    std::uint32_t boundNumber(const std::shared_ptr<VDWindowBinding>& service)
    {
        const auto w = service->windowOf(1);
        return w && w->window ? w->window->windowNumber().value_or(0) : 0;
    }

    static inline std::unique_ptr<X11TestServer> server_;
    QTemporaryDir dir_;
    std::shared_ptr<rx::VirtualTimeScheduler> clock_ = rx::VirtualTimeScheduler::make();
    std::shared_ptr<LinuxPlatform> platform_;
    std::optional<PlatformInstallation> installed_;
    std::unique_ptr<X11TestClient> client_;
    std::shared_ptr<WindowBindingService> keys_ = std::make_shared<WindowBindingService>();
    std::shared_ptr<SettingsStore> settings_ = std::make_shared<SettingsStore>(dir_.filePath("config").toStdString());
    std::optional<RunningApplication> preActive_;
    std::vector<std::string> messages_;
    std::vector<pid_t> launched_;
    std::unique_ptr<WindowApp> bound_, term_;
    XWindow a_ = 0, b_ = 0;
    std::map<std::string, std::string> programs_;
    std::shared_ptr<VDWindowBinding> service_;
};

TEST_F(X11WindowBindingTest, BringsTheBoundWindowBackThenMinimizesItAndRefocusesThePreviousOne)
{
    ASSERT_NO_FATAL_FAILURE(bindOneAndFocusAnother("vandrel-notes", "VandrelNotes", kNotesTitle));
    EXPECT_EQ(boundNumber(service_), a_);
    const auto record = stored(1);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->winTitle, kNotesTitle);
    EXPECT_EQ(static_cast<XWindow>(static_cast<std::uint32_t>(record->winId)), a_);
    EXPECT_EQ(record->appBundleId, "vandrel-notes");  // its desktop entry, by its window class
    EXPECT_EQ(record->appName, "Vandrel Notes");
    EXPECT_EQ(record->appPid, bound_->pid());

    service_->pushActivate(VDAtomicActionParam::windowBindingId(1));  // as the key's action does
    clock_->runDue();                                                 // the hop to the window-binding queue
    EXPECT_TRUE(client_->wait([&] { return client_->activeWindow() == a_; }));

    // Pressed again while it has focus: minimized, and the window that had focus before comes back.
    preActive_ = platform_->workspace().runningApplication(term_->pid());
    clock_->advanceBy(rx::seconds(0.2));
    service_->pushActivate(VDAtomicActionParam::windowBindingId(1));
    clock_->runDue();
    EXPECT_TRUE(client_->wait([&] { return isIconic(a_) && client_->activeWindow() == b_; }));

    // And a third press brings it back from the task bar.
    clock_->advanceBy(rx::seconds(0.2));
    service_->pushActivate(VDAtomicActionParam::windowBindingId(1));
    clock_->runDue();
    EXPECT_TRUE(client_->wait([&] { return !isIconic(a_) && client_->activeWindow() == a_; }));
    EXPECT_TRUE(messages_.empty());
}

TEST_F(X11WindowBindingTest, AnExitedApplicationIsLaunchedFromItsEntryOnTheSecondPressAndItsNewWindowBound)
{
    ASSERT_NO_FATAL_FAILURE(bindOneAndFocusAnother("vandrel-notes", "VandrelNotes", kNotesTitle));
    ASSERT_NO_FATAL_FAILURE(stopBound());

    service_->activate(1);
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_.back(),
              localized("_press_again_to_launch", VDKey(18, {57}).keyCharWithModifiers(), "Vandrel Notes"));
    EXPECT_TRUE(notesWindows().empty()) << "launched on the first press";

    clock_->advanceBy(rx::seconds(3.9));
    service_->activate(1);
    clock_->runDue();
    EXPECT_EQ(messages_.back(), localized("_alert_window_launching", "Vandrel Notes"));
    const XWindow relaunched = newNotesWindow();
    ASSERT_NE(relaunched, 0u) << "no window of the entry's program";
    launched_.push_back(static_cast<pid_t>(client_->cardinal(relaunched, "_NET_WM_PID")));

    // The launch is checked every 0.1 s of the queue's time: one check finds the new window and binds it.
    clock_->advanceBy(rx::seconds(0.1));
    EXPECT_EQ(boundNumber(service_), relaunched);
    ASSERT_TRUE(stored(1));
    EXPECT_EQ(static_cast<XWindow>(static_cast<std::uint32_t>(stored(1)->winId)), relaunched);
    EXPECT_EQ(stored(1)->winTitle, kNotesTitle);

    // Bound anew: the next press brings the new window forward.
    ASSERT_TRUE(client_->activate(b_));
    service_->activate(1);
    EXPECT_TRUE(client_->wait([&] { return client_->activeWindow() == relaunched; }));
}

TEST_F(X11WindowBindingTest, ALaunchThatBringsNoWindowIsReportedOnceTheWaitRunsOut)
{
    settings_->set(DefaultsKeys::windowBinding_isLaunchAppWithoutConfirmation, true);
    ASSERT_NO_FATAL_FAILURE(bindOneAndFocusAnother("vandrel-broken", "VandrelBroken", "Broken"));
    ASSERT_NO_FATAL_FAILURE(stopBound());

    // The setting launches on the first press; the entry's program starts and fails.
    service_->activate(1);
    clock_->runDue();
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_.back(), localized("_alert_window_launching", "Vandrel Broken"));
    clock_->advanceBy(rx::seconds(VDWindowBinding::kLaunchWaitSeconds - 0.5));
    EXPECT_EQ(messages_.size(), 1u);
    clock_->advanceBy(rx::seconds(1));
    ASSERT_EQ(messages_.size(), 2u);
    EXPECT_EQ(messages_.back(), localized("_alert_window_launch_fail", "Vandrel Broken"));
}

TEST_F(X11WindowBindingTest, ARestartFindsTheStoredWindowByNumberThenByTitleWhenTheNumberChanged)
{
    ASSERT_NO_FATAL_FAILURE(bindOneAndFocusAnother("vandrel-notes", "VandrelNotes", kNotesTitle));
    ASSERT_TRUE(stored(1));

    auto restarted = makeService();
    restarted->restoreAllBindings();
    EXPECT_EQ(boundNumber(restarted), a_);

    // The application started again: its window has another number and the same title.
    ASSERT_NO_FATAL_FAILURE(stopBound());
    // Taken first (the server freed it once the window went), the connection slot of the one that ended gives the
    // new window another number.
    const auto filler = startApp("vandrel-other", "VandrelOther", "Filler");
    ASSERT_NE(windowOf(filler->pid()), 0u);
    bound_ = startApp("vandrel-notes", "VandrelNotes", kNotesTitle);
    const XWindow again = windowOf(bound_->pid());
    ASSERT_NE(again, 0u);
    ASSERT_NE(again, a_);
    restarted = makeService();
    restarted->restoreAllBindings();
    EXPECT_EQ(boundNumber(restarted), again);
    EXPECT_EQ(static_cast<XWindow>(static_cast<std::uint32_t>(stored(1)->winId)), again);
    EXPECT_EQ(stored(1)->appPid, bound_->pid());

    ASSERT_TRUE(client_->activate(b_));
    restarted->activate(1);
    EXPECT_TRUE(client_->wait([&] { return client_->activeWindow() == again; }));
}

}  // namespace
}  // namespace vandrel
