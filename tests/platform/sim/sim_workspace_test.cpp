#include "platform/sim/sim_workspace.h"

#include <gtest/gtest.h>

namespace vandrel {
namespace {

RunningApplication app(std::string id, std::string name)
{
    RunningApplication a;
    a.bundleIdentifier = std::move(id);
    a.localizedName = std::move(name);
    a.bundleUrl = "file:///usr/share/applications/" + *a.bundleIdentifier + ".desktop";
    return a;
}

TEST(SimWorkspaceTest, ActivationsNotifyAndEndingTheFrontmostLeavesNone)
{
    SimWorkspace ws;
    std::vector<std::optional<RunningApplication>> seen;
    auto sub = ws.didActivateApplication().subscribe([&](const auto& a) { seen.push_back(a); });

    const auto editor = ws.addApplication(app("org.example.Editor", "Editor"));
    const auto term = ws.addApplication(app("org.gnome.Terminal", "Terminal"));
    EXPECT_EQ(ws.frontmostApplication(), std::nullopt);
    EXPECT_TRUE(seen.empty());

    ws.activate(editor.processIdentifier);
    ws.activate(editor.processIdentifier);
    ws.notifyActivationWithoutApplication();
    ws.activate(9999);  // not running: nothing happens
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0], editor);
    EXPECT_EQ(seen[1], editor);
    EXPECT_EQ(seen[2], std::nullopt);
    EXPECT_EQ(ws.frontmostApplication(), editor);

    ws.removeApplication(editor.processIdentifier);
    EXPECT_EQ(ws.frontmostApplication(), std::nullopt);
    EXPECT_EQ(ws.runningApplication(term.processIdentifier), term);
    EXPECT_EQ(ws.runningApplicationsWithBundleId("org.gnome.Terminal"), std::vector<RunningApplication>{term});
}

TEST(SimWorkspaceTest, LaunchingStartsInstalledApplicationsOnce)
{
    SimWorkspace ws;
    ws.addInstalledApplication(app("org.example.Mail", "Mail"));
    EXPECT_FALSE(ws.launchApplication("org.example.Nothing"));
    EXPECT_TRUE(ws.launchApplication("org.example.Mail"));
    EXPECT_TRUE(ws.launchApplicationNamed("Mail"));
    EXPECT_EQ(ws.runningApplications().size(), 1u);
    EXPECT_EQ(ws.frontmostApplication()->localizedName, "Mail");
    auto byUrl = ws.launchApplicationAtUrl("file:///usr/share/applications/org.example.Mail.desktop");
    ASSERT_TRUE(byUrl);
    EXPECT_EQ(byUrl->processIdentifier, ws.frontmostApplication()->processIdentifier);
    EXPECT_EQ(ws.launchRequests().size(), 4u);
}

TEST(SimWorkspaceTest, SecureInputReportAndPowerEvents)
{
    SimWorkspace ws;
    EXPECT_EQ(ws.secureInputHolderReport(), "");
    ws.setSecureInputHolder(4242);
    EXPECT_NE(ws.secureInputHolderReport().find("\"kCGSSessionSecureInputPID\"=4242"), std::string::npos);

    std::vector<PowerEvent> power;
    auto sub = ws.powerEvents().subscribe([&](PowerEvent e) { power.push_back(e); });
    ws.sleep();
    ws.wake();
    EXPECT_EQ(power, (std::vector<PowerEvent>{PowerEvent::willSleep, PowerEvent::didWake}));
}

}  // namespace
}  // namespace vandrel
