// X11Workspace against Xvfb and fluxbox started by the test, with applications folders, a login session and a
// process starter of the test's own.
#include "platform/linux/x11/x11_workspace.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>
#include <QUrl>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>

#include "engine/working_environment.h"
#include "platform/linux/linux_platform.h"
#include "platform/linux/session/logind_session.h"
#include "platform/linux/x11/x11_window_element.h"
#include "rx/subjects.h"
#include "rx/virtual_time_scheduler.h"
#include "support/x11_test_server.h"

namespace vandrel {
namespace {

namespace fs = std::filesystem;
using test::TestProcess;
using test::X11TestClient;
using test::X11TestServer;

class FakeLogindSession final : public LogindSession {
public:
    bool isLocked() const override { return locked; }
    rx::Observable<PowerEvent> powerEvents() override { return power.asObservable(); }
    rx::Observable<bool> lockChanges() override { return changes.asObservable(); }
    void setLocked(bool on)
    {
        locked = on;
        changes.onNext(on);
    }
    bool locked = false;
    rx::PublishSubject<PowerEvent> power;
    rx::PublishSubject<bool> changes;
};

struct StartedProcess {
    std::vector<std::string> argv;
    std::string workingDirectory;
};

std::string fileUrl(const std::string& path)
{
    return QUrl::fromLocalFile(QString::fromStdString(path)).toString().toStdString();
}

class X11WorkspaceTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { server_ = std::make_unique<X11TestServer>(); }
    static void TearDownTestSuite() { server_.reset(); }

    void SetUp() override
    {
        if (!server_->ok()) GTEST_SKIP() << "no X test server: " << server_->failure();
        apps_ = fs::temp_directory_path() / ("vandrel-apps-" + std::to_string(getpid()));
        fs::create_directories(apps_);
        writeEntry("vandrel-alpha.desktop",
                   "Name=Alpha\nName[de]=Alpha DE\nStartupWMClass=VandrelAlpha\nExec=alpha %U\n");
        writeEntry("vandrel-gamma.desktop", "Name=Gamma\nExec=gamma-app --open %F \"two words\"\nPath=/tmp\n");
        client_ = std::make_unique<X11TestClient>(server_->display());
        session_ = std::make_shared<FakeLogindSession>();
        desktop_ = X11Desktop::open(server_->display());
        workspace_ = makeWorkspace("/usr/bin/gio-of-the-test");
    }

    void TearDown() override
    {
        workspace_.reset();
        fs::remove_all(apps_);
    }

    std::unique_ptr<X11Workspace> makeWorkspace(std::optional<std::string> gio)
    {
        X11Workspace::Options options;
        options.desktop = desktop_;
        options.session = session_;
        options.entries = std::make_shared<DesktopEntryIndex>(std::vector<std::string>{apps_.string()});
        options.gioProgram = std::move(gio);
        options.startProcess = [this](const std::vector<std::string>& argv, const std::string& dir) {
            started_.push_back({argv, dir});
            return std::optional<std::int64_t>(4242);
        };
        return std::make_unique<X11Workspace>(std::move(options));
    }

    void writeEntry(const std::string& file, const std::string& body)
    {
        std::ofstream(apps_ / file) << "[Desktop Entry]\nType=Application\n" << body;
    }

    bool activate(Window w)
    {
        X11WindowElement(desktop_, w).raise();
        return client_->wait([&] { return client_->activeWindow() == w; });
    }

    static inline std::unique_ptr<X11TestServer> server_;
    fs::path apps_;
    std::unique_ptr<X11TestClient> client_;
    std::shared_ptr<FakeLogindSession> session_;
    std::shared_ptr<X11Desktop> desktop_;
    std::unique_ptr<X11Workspace> workspace_;
    std::vector<StartedProcess> started_;
};

TEST_F(X11WorkspaceTest, TheFrontmostApplicationIsTheActiveWindowsProcessWithItsIdentity)
{
    TestProcess alpha, beta;
    const Window a =
        client_->create({.title = "a", .instance = "alpha", .className = "VandrelAlpha", .pid = alpha.pid()});
    const Window b = client_->create({.title = "b", .instance = "beta", .className = "VandrelBeta", .pid = beta.pid()});

    ASSERT_TRUE(activate(a));
    auto front = workspace_->frontmostApplication();
    ASSERT_TRUE(front);
    EXPECT_EQ(front->processIdentifier, alpha.pid());
    EXPECT_EQ(front->bundleIdentifier, "vandrel-alpha");  // its desktop entry, by StartupWMClass
    EXPECT_EQ(front->localizedName, "Alpha");
    EXPECT_EQ(front->bundleUrl, fileUrl((apps_ / "vandrel-alpha.desktop").string()));
    EXPECT_EQ(front->activationPolicy, ActivationPolicy::regular);
    ASSERT_TRUE(front->executablePath);
    EXPECT_EQ(fs::path(*front->executablePath).filename(), "sleep");

    ASSERT_TRUE(activate(b));
    front = workspace_->frontmostApplication();
    ASSERT_TRUE(front);
    EXPECT_EQ(front->processIdentifier, beta.pid());
    EXPECT_EQ(front->bundleIdentifier, "VandrelBeta");  // no entry: its window class
    EXPECT_EQ(front->localizedName, "VandrelBeta");
    EXPECT_EQ(front->bundleUrl, fileUrl(*front->executablePath));  // where it can be started again

    EXPECT_EQ(workspace_->runningApplication(alpha.pid())->bundleIdentifier, "vandrel-alpha");
    EXPECT_EQ(workspace_->runningApplication(999999), std::nullopt);
    auto running = workspace_->runningApplicationsWithBundleId("vandrel-alpha");
    ASSERT_EQ(running.size(), 1u);
    EXPECT_EQ(running[0].processIdentifier, alpha.pid());
}

TEST_F(X11WorkspaceTest, ActivationNoticesFollowTheApplicationsOnTheMainThread)
{
    TestProcess alpha, beta;
    const Window a = client_->create({.title = "a", .className = "VandrelAlpha", .pid = alpha.pid()});
    const Window b1 = client_->create({.title = "b1", .className = "VandrelBeta", .pid = beta.pid()});
    const Window b2 = client_->create({.title = "b2", .className = "VandrelBeta", .pid = beta.pid()});
    ASSERT_TRUE(activate(a));
    auto watched = makeWorkspace(std::nullopt);  // knows alpha as frontmost from the start

    std::vector<std::optional<RunningApplication>> notices;
    bool offMainThread = false;
    auto subscription = watched->didActivateApplication().subscribe([&](const auto& app) {
        offMainThread |= QThread::currentThread() != QCoreApplication::instance()->thread();
        notices.push_back(app);
    });
    // The frontmost and previous application, kept as the working environment keeps them.
    auto pids = [&] {
        std::vector<std::int32_t> out;
        for (const auto& n : notices) out.push_back(n ? n->processIdentifier : 0);
        return out;
    };

    ASSERT_TRUE(activate(b1));
    ASSERT_TRUE(client_->wait([&] { return notices.size() == 1; }));
    EXPECT_EQ(notices.back()->bundleIdentifier, "VandrelBeta");
    ASSERT_TRUE(activate(b2));  // another window of the same application: no notice
    ASSERT_TRUE(activate(a));
    ASSERT_TRUE(client_->wait([&] { return notices.size() == 2; }));
    EXPECT_EQ(pids(), (std::vector<std::int32_t>{beta.pid(), alpha.pid()}));
    EXPECT_EQ(notices.back()->bundleIdentifier, "vandrel-alpha");
    ASSERT_TRUE(activate(b2));
    ASSERT_TRUE(client_->wait([&] { return notices.size() == 3; }));
    EXPECT_EQ(pids(), (std::vector<std::int32_t>{beta.pid(), alpha.pid(), beta.pid()}));
    EXPECT_FALSE(offMainThread);
    subscription.dispose();
}

// The Linux platform as the engine sees it: the working environment over it follows the user's real focus
// changes, and secure input is the locked session.
TEST_F(X11WorkspaceTest, TheWorkingEnvironmentFollowsRealFocusAndTheSessionLock)
{
    TestProcess alpha, beta;
    const Window a = client_->create({.title = "a", .className = "VandrelAlpha", .pid = alpha.pid()});
    const Window b = client_->create({.title = "b", .className = "VandrelBeta", .pid = beta.pid()});
    ASSERT_TRUE(activate(a));

    auto clock = rx::VirtualTimeScheduler::make();
    LinuxPlatform::Options options;
    options.scheduler = clock;
    options.inputDirectory = (apps_ / "no-input").string();  // no keyboards: the desktop side only
    options.uinputPath = (apps_ / "no-uinput").string();
    options.displayName = server_->display();
    options.session = session_;
    auto platform = LinuxPlatform::make(options);
    WorkingEnvironment env(platform, clock);
    env.startMonitoring();
    auto pidOf = [](const std::optional<RunningApplication>& app) { return app ? app->processIdentifier : 0; };

    // Until the first switch the previous application is the frontmost one itself.
    EXPECT_EQ(pidOf(env.frontmostApplication.value()), alpha.pid());
    EXPECT_EQ(pidOf(env.preActiveApplication.value()), alpha.pid());
    EXPECT_EQ(env.frontmostApplication.value()->bundleIdentifier, "VandrelAlpha");  // no installed entry

    ASSERT_TRUE(activate(b));
    ASSERT_TRUE(client_->wait([&] { return pidOf(env.frontmostApplication.value()) == beta.pid(); }));
    EXPECT_EQ(pidOf(env.preActiveApplication.value()), alpha.pid());
    ASSERT_TRUE(activate(a));
    ASSERT_TRUE(client_->wait([&] { return pidOf(env.frontmostApplication.value()) == alpha.pid(); }));
    EXPECT_EQ(pidOf(env.preActiveApplication.value()), beta.pid());
    EXPECT_FALSE(env.isOnEmacsShortcutApp.value());

    session_->setLocked(true);
    EXPECT_TRUE(env.isInSecureInput.value());
    session_->setLocked(false);
    EXPECT_FALSE(env.isInSecureInput.value());
}

TEST_F(X11WorkspaceTest, ActivatingAWindowOnAnotherDesktopSwitchesThereFirst)
{
    TestProcess p;
    const Window here = client_->create({.title = "here", .pid = p.pid()});
    const Window there = client_->create({.title = "there", .pid = p.pid()});
    ASSERT_TRUE(activate(here));
    const auto desktopOf = [&](Window w) { return client_->cardinal(w, "_NET_WM_DESKTOP"); };
    const auto current = [&] { return client_->cardinal(client_->root(), "_NET_CURRENT_DESKTOP"); };
    ASSERT_EQ(current(), 0);
    client_->sendToDesktop(there, 2);
    ASSERT_TRUE(client_->wait([&] { return desktopOf(there) == 2; }));

    ASSERT_TRUE(activate(there));
    EXPECT_EQ(current(), 2);
    EXPECT_EQ(workspace_->frontmostApplication()->processIdentifier, p.pid());
    ASSERT_TRUE(activate(here));
    EXPECT_EQ(current(), 0);
}

TEST_F(X11WorkspaceTest, UnmanagedActiveWindowsNameTheirProcessAndNoFocusIsNoNotice)
{
    TestProcess alpha;
    const Window a = client_->create({.title = "a", .pid = alpha.pid()});
    ASSERT_TRUE(activate(a));
    // Notices arrive on the watcher's thread here (no main-queue hop), so they are read under a lock.
    std::mutex noticesMutex;
    std::vector<std::optional<RunningApplication>> noticesSeen;
    auto noticesNow = [&] {
        std::lock_guard lock(noticesMutex);
        return noticesSeen;
    };
    X11Workspace::Options options;
    options.desktop = desktop_;
    options.postToMain = [](std::function<void()> job) { job(); };
    X11Workspace watched(std::move(options));
    auto subscription = watched.didActivateApplication().subscribe([&](const auto& app) {
        std::lock_guard lock(noticesMutex);
        noticesSeen.push_back(app);
    });

    // A window the manager does not know, named active by hand: no process of ours behind it.
    const Window stray = client_->create(
        {.title = "stray", .pid = 2'000'000'000, .machine = "elsewhere.invalid", .waitForManager = false});
    client_->setActiveWindowProperty(stray);
#ifdef VANDREL_HAVE_XRES
    // The server still knows which connection made it: the test itself.
    ASSERT_TRUE(client_->wait([&] { return noticesNow().size() == 1; }));
    EXPECT_EQ(noticesNow().back()->processIdentifier, getpid());
#endif
    client_->setActiveWindowProperty(0);  // nothing active: no application activated
    client_->setActiveWindowProperty(a);
    ASSERT_TRUE(client_->wait([&] {
        const auto notices = noticesNow();
        return !notices.empty() && notices.back() && notices.back()->processIdentifier == alpha.pid();
    }));
    subscription.dispose();
}

TEST_F(X11WorkspaceTest, SecureInputIsTheLockedSessionAndPowerComesFromIt)
{
    EXPECT_FALSE(workspace_->isSecureEventInputEnabled());
    session_->locked = true;
    EXPECT_TRUE(workspace_->isSecureEventInputEnabled());
    EXPECT_EQ(workspace_->secureInputHolderReport(), "");

    std::vector<PowerEvent> power;
    auto subscription = workspace_->powerEvents().subscribe([&](PowerEvent e) { power.push_back(e); });
    session_->power.onNext(PowerEvent::willSleep);
    session_->power.onNext(PowerEvent::didWake);
    EXPECT_EQ(power, (std::vector<PowerEvent>{PowerEvent::willSleep, PowerEvent::didWake}));
    subscription.dispose();

    X11Workspace sessionless(X11Workspace::Options{.desktop = desktop_});
    EXPECT_FALSE(sessionless.isSecureEventInputEnabled());
    bool any = false;
    sessionless.powerEvents().subscribe([&](PowerEvent) { any = true; }).dispose();
    EXPECT_FALSE(any);
}

TEST_F(X11WorkspaceTest, LaunchingStartsEntriesAndBringsRunningApplicationsForward)
{
    const auto gamma = (apps_ / "vandrel-gamma.desktop").string();
    EXPECT_TRUE(workspace_->launchApplication("vandrel-gamma"));
    EXPECT_TRUE(workspace_->launchApplicationNamed("GAMMA"));
    ASSERT_EQ(started_.size(), 2u);
    EXPECT_EQ(started_[0].argv, (std::vector<std::string>{"/usr/bin/gio-of-the-test", "launch", gamma}));
    EXPECT_EQ(started_[1].argv, started_[0].argv);

    // Without gio the Exec line runs, field codes gone, in the entry's folder.
    started_.clear();
    auto direct = makeWorkspace("");
    auto launched = direct->launchApplicationAtUrl(fileUrl(gamma));
    ASSERT_TRUE(launched);
    EXPECT_EQ(launched->processIdentifier, 4242);
    EXPECT_EQ(launched->bundleIdentifier, "vandrel-gamma");
    EXPECT_EQ(launched->localizedName, "Gamma");
    ASSERT_EQ(started_.size(), 1u);
    EXPECT_EQ(started_[0].argv, (std::vector<std::string>{"gamma-app", "--open", "two words"}));
    EXPECT_EQ(started_[0].workingDirectory, "/tmp");

    // An executable runs as it is.
    started_.clear();
    launched = direct->launchApplicationAtUrl(fileUrl("/bin/true"));
    ASSERT_TRUE(launched);
    EXPECT_EQ(started_.at(0).argv, (std::vector<std::string>{"/bin/true"}));

    // A running application is brought forward, not started again.
    started_.clear();
    TestProcess alpha, other;
    const Window a = client_->create({.title = "a", .className = "VandrelAlpha", .pid = alpha.pid()});
    const Window o = client_->create({.title = "o", .pid = other.pid()});
    ASSERT_TRUE(activate(o));
    EXPECT_TRUE(workspace_->launchApplication("vandrel-alpha"));
    EXPECT_TRUE(client_->wait([&] { return client_->activeWindow() == a; }));
    ASSERT_TRUE(activate(o));
    auto running = workspace_->launchApplicationAtUrl(fileUrl((apps_ / "vandrel-alpha.desktop").string()));
    ASSERT_TRUE(running);
    EXPECT_EQ(running->processIdentifier, alpha.pid());
    EXPECT_TRUE(client_->wait([&] { return client_->activeWindow() == a; }));
    EXPECT_TRUE(started_.empty());

    EXPECT_FALSE(workspace_->launchApplication("no.such.application-anywhere"));
    EXPECT_FALSE(workspace_->launchApplicationNamed(""));
    // A path or a program on PATH is no application the desktop knows: nothing runs.
    for (const char* program : {"/bin/true", "sh", "true", "/usr/bin/env sh -c true"}) {
        EXPECT_FALSE(workspace_->launchApplication(program)) << program;
        EXPECT_FALSE(workspace_->launchApplicationNamed(program)) << program;
    }
    EXPECT_EQ(workspace_->launchApplicationAtUrl("https://example.com/app.desktop"), std::nullopt);
    EXPECT_EQ(workspace_->launchApplicationAtUrl(fileUrl("/nonexistent/thing")), std::nullopt);
    EXPECT_TRUE(started_.empty());
}

TEST_F(X11WorkspaceTest, OpensOnlyRealUrls)
{
    EXPECT_TRUE(workspace_->openUrl("https://example.com/path?q=1"));
    ASSERT_EQ(started_.size(), 1u);
    EXPECT_EQ(started_[0].argv.back(), "https://example.com/path?q=1");  // xdg-open or gio open, no shell
    EXPECT_FALSE(workspace_->openUrl("not a url"));
    EXPECT_FALSE(workspace_->openUrl("https://exa mple.com/"));
    EXPECT_FALSE(workspace_->openUrl(""));
    EXPECT_EQ(started_.size(), 1u);
}

}  // namespace
}  // namespace vandrel
