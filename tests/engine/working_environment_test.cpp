#include "engine/working_environment.h"

#include <gtest/gtest.h>

#include "core/log_capture.h"
#include "platform/sim/sim_platform.h"
#include "rx/virtual_time_scheduler.h"

namespace vandrel {
namespace {

struct WorkingEnvironmentTest : ::testing::Test {
    std::shared_ptr<rx::VirtualTimeScheduler> clock = rx::VirtualTimeScheduler::make();
    std::shared_ptr<SimPlatform> sim = SimPlatform::make(clock);
    SimWorkspace& ws = sim->workspace();

    RunningApplication start(std::optional<std::string> id, std::string name)
    {
        RunningApplication a;
        a.bundleIdentifier = std::move(id);
        a.localizedName = std::move(name);
        return ws.addApplication(a);
    }

    std::vector<std::int32_t> historyPids(const WorkingEnvironment& env)
    {
        std::vector<std::int32_t> out;
        for (const auto& a : env.activeApplicationsHistory()) out.push_back(a.processIdentifier);
        return out;
    }
};

TEST_F(WorkingEnvironmentTest, PreviousApplicationFollowsTheLastTwoActivations)
{
    const auto a = start("org.example.A", "A");
    const auto b = start("org.example.B", "B");
    const auto d = start("org.example.D", "D");
    ws.activate(a.processIdentifier);

    WorkingEnvironment env(sim, clock);
    EXPECT_EQ(historyPids(env), std::vector<std::int32_t>{a.processIdentifier});
    env.startMonitoring();
    // The replay of the current application lists it twice, so it is its own predecessor at first.
    EXPECT_EQ(historyPids(env), (std::vector<std::int32_t>{a.processIdentifier, a.processIdentifier}));
    EXPECT_EQ(env.frontmostApplication.value(), a);
    EXPECT_EQ(env.preActiveApplication.value(), a);

    ws.activate(b.processIdentifier);
    EXPECT_EQ(historyPids(env), (std::vector<std::int32_t>{b.processIdentifier, a.processIdentifier}));
    EXPECT_EQ(env.preActiveApplication.value(), a);
    ws.activate(d.processIdentifier);
    EXPECT_EQ(historyPids(env), (std::vector<std::int32_t>{d.processIdentifier, b.processIdentifier}));
    EXPECT_EQ(env.preActiveApplication.value(), b);
    ws.activate(d.processIdentifier);
    EXPECT_EQ(env.preActiveApplication.value(), d);

    env.startMonitoring();  // a second start subscribes nothing more
    ws.activate(a.processIdentifier);
    EXPECT_EQ(historyPids(env), (std::vector<std::int32_t>{a.processIdentifier, d.processIdentifier}));
}

TEST_F(WorkingEnvironmentTest, TerminalLikeFlagFollowsTheFrontmostIdentity)
{
    ws.setTerminalLikeApplicationIds({"sim.Terminal"});
    const auto term = start("sim.Terminal", "Terminal");
    const auto anon = start(std::nullopt, "Anonymous");
    const auto editor = start("org.example.Editor", "Editor");
    ws.activate(term.processIdentifier);

    WorkingEnvironment env(sim, clock);
    EXPECT_EQ(env.emacsShortcutApps(), std::set<std::string>{"sim.Terminal"});
    EXPECT_TRUE(env.isOnEmacsShortcutApp.value());  // known at construction already
    env.startMonitoring();
    ws.activate(anon.processIdentifier);
    EXPECT_FALSE(env.isOnEmacsShortcutApp.value());
    ws.activate(term.processIdentifier);
    EXPECT_TRUE(env.isOnEmacsShortcutApp.value());

    // A notification without an application clears only the frontmost application.
    ws.notifyActivationWithoutApplication();
    EXPECT_EQ(env.frontmostApplication.value(), std::nullopt);
    EXPECT_TRUE(env.isOnEmacsShortcutApp.value());
    EXPECT_EQ(env.preActiveApplication.value(), anon);
    EXPECT_EQ(historyPids(env), (std::vector<std::int32_t>{term.processIdentifier, anon.processIdentifier}));

    ws.activate(editor.processIdentifier);
    EXPECT_FALSE(env.isOnEmacsShortcutApp.value());
    EXPECT_EQ(env.preActiveApplication.value(), term);
}

TEST_F(WorkingEnvironmentTest, TheUsersTerminalsCountInAnyCaseAndReachTheWorkspace)
{
    const auto mine = start("com.example.MyTerm", "My Terminal");
    const auto xterm = start("XTerm", "xterm");
    const auto editor = start("org.example.Editor", "Editor");
    ws.activate(mine.processIdentifier);

    WorkingEnvironment env(sim, clock, std::vector<std::string>{"COM.EXAMPLE.MYTERM"});
    EXPECT_TRUE(env.isOnEmacsShortcutApp.value());
    EXPECT_TRUE(ws.isTerminalLike(mine));  // posting asks the workspace
    env.startMonitoring();
    ws.activate(editor.processIdentifier);
    EXPECT_FALSE(env.isOnEmacsShortcutApp.value());
    ws.activate(xterm.processIdentifier);  // a known emulator under its WM_CLASS
    EXPECT_TRUE(env.isOnEmacsShortcutApp.value());
}

TEST_F(WorkingEnvironmentTest, NoFrontmostApplicationAtStart)
{
    WorkingEnvironment env(sim, clock);
    EXPECT_TRUE(env.activeApplicationsHistory().empty());
    EXPECT_FALSE(env.isOnEmacsShortcutApp.value());
    env.startMonitoring();
    EXPECT_TRUE(env.activeApplicationsHistory().empty());
    EXPECT_EQ(env.preActiveApplication.value(), std::nullopt);
    EXPECT_EQ(env.emacsShortcutApps(), Workspace::defaultTerminalLikeApplicationIds());
}

TEST_F(WorkingEnvironmentTest, SecureInputFollowsThePlatformsChangesWithoutATimer)
{
    ws.setSecureEventInput(true);
    WorkingEnvironment env(sim, clock);
    std::vector<bool> seen;
    auto sub = env.isInSecureInput.subscribe([&](bool on) { seen.push_back(on); });
    env.startMonitoring();
    clock->runDue();
    EXPECT_TRUE(env.isInSecureInput.value()) << "the state at start";
    EXPECT_EQ(clock->pendingCount(), 0u) << "nothing scheduled while nothing changes";

    ws.setSecureEventInput(false);
    EXPECT_FALSE(env.isInSecureInput.value());
    ws.setSecureEventInput(true);
    ws.setSecureEventInput(true);
    EXPECT_EQ(seen, (std::vector<bool>{false, true, false, true}));
}

TEST_F(WorkingEnvironmentTest, StoppingWithTheEnvironmentEndsTheWatch)
{
    std::vector<bool> seen;
    rx::Disposable sub;
    {
        WorkingEnvironment env(sim, clock);
        sub = env.isInSecureInput.subscribe([&](bool on) { seen.push_back(on); });
        env.startMonitoring();
    }
    EXPECT_EQ(clock->pendingCount(), 0u);
    ws.setSecureEventInput(true);
    clock->advanceBy(rx::seconds(5));
    EXPECT_EQ(seen, std::vector<bool>{false});
}

TEST_F(WorkingEnvironmentTest, SecureInputHolderIsNamedFromTheSystemsReport)
{
    test::ScopedLogCapture logged;
    const auto holder = start("org.example.Vault", "Vault");
    const auto nameless = ws.addApplication(RunningApplication{});

    ws.setSecureInputHolder(holder.processIdentifier);
    EXPECT_EQ(WorkingEnvironment::getAppUsingSecureInput(ws), (SecureInputHolder{"Vault", holder.processIdentifier}));
    ws.setSecureInputHolder(nameless.processIdentifier);
    EXPECT_EQ(WorkingEnvironment::getAppUsingSecureInput(ws),
              (SecureInputHolder{std::nullopt, nameless.processIdentifier}));

    ws.setSecureInputHolder(std::nullopt);
    EXPECT_EQ(WorkingEnvironment::getAppUsingSecureInput(ws), std::nullopt);
    ws.setSecureInputHolder(4);  // no such process
    EXPECT_EQ(WorkingEnvironment::getAppUsingSecureInput(ws), std::nullopt);
    ws.setSecureInputHolderReport("\"kCGSSessionSecureInputPID\"=99999999999");
    EXPECT_EQ(WorkingEnvironment::getAppUsingSecureInput(ws), std::nullopt);
    {
        PlatformInstallation installed(sim);
        ws.setSecureInputHolder(holder.processIdentifier);
        EXPECT_EQ(WorkingEnvironment::getAppUsingSecureInput()->processIdentifier, holder.processIdentifier);
    }
    std::vector<std::string> warnings;
    for (const auto& e : logged->entries())
        if (e.level == LogLevel::warning) warnings.push_back(e.message);
    EXPECT_EQ(warnings,
              (std::vector<std::string>{"Get app using SecureInput fail, 0", "Get app using SecureInput fail, 1",
                                        "Get app using SecureInput fail, 1"}));
}

}  // namespace
}  // namespace vandrel
