// X11WindowSystem against a real X server (Xvfb) and window manager (fluxbox) that the test starts itself.
#include "platform/linux/x11/x11_window_system.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "support/x11_test_server.h"
#include "platform/linux/x11/x11_window_element.h"
#include "platform/linux/x11/x11_workspace.h"

namespace vandrel {
namespace {

using test::TestProcess;
using test::X11TestClient;
using test::X11TestServer;

class X11WindowSystemTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { server_ = std::make_unique<X11TestServer>(); }
    static void TearDownTestSuite() { server_.reset(); }

    void SetUp() override
    {
        if (!server_->ok()) GTEST_SKIP() << "no X test server: " << server_->failure();
        client_ = std::make_unique<X11TestClient>(server_->display());
        desktop_ = X11Desktop::open(server_->display());
        windows_ = std::make_unique<X11WindowSystem>(desktop_);
    }

    std::optional<std::uint32_t> focusedNumber()
    {
        auto focused = windows_->focusedWindow();
        return focused ? focused->windowNumber() : std::nullopt;
    }

    // Raises through the window system, then waits until the manager has made it the active window.
    bool raiseAndWait(Window w)
    {
        auto element = std::make_shared<X11WindowElement>(desktop_, w);
        if (element->raise() != AccessibilityError::success) return false;
        return client_->wait([&] { return client_->activeWindow() == w; });
    }

    static inline std::unique_ptr<X11TestServer> server_;
    std::unique_ptr<X11TestClient> client_;
    std::shared_ptr<X11Desktop> desktop_;
    std::unique_ptr<X11WindowSystem> windows_;
};

TEST_F(X11WindowSystemTest, ListsAnApplicationsWindowsWithTheirFacts)
{
    TestProcess a, b;
    const Window a1 = client_->create({.title = "Résumé – ✓", .pid = a.pid()});
    const Window a2 = client_->create({.title = "second", .pid = a.pid()});
    client_->create({.title = "other", .pid = b.pid()});

    auto list = windows_->windowsOfApplication(a.pid(), 100);
    ASSERT_EQ(list.size(), 2u);
    // Topmost first: the window mapped last is on top.
    EXPECT_EQ(list[0]->windowNumber(), std::uint32_t(a2));
    EXPECT_EQ(list[1]->windowNumber(), std::uint32_t(a1));
    EXPECT_EQ(list[1]->title(), "Résumé – ✓");
    EXPECT_EQ(list[1]->processIdentifier(), a.pid());
    EXPECT_EQ(list[1]->role(), "AXWindow");
    EXPECT_EQ(list[1]->isMinimized(), false);
    EXPECT_EQ(list[1]->isFullscreen(), false);
    EXPECT_EQ(windows_->windowsOfApplication(a.pid(), 1).size(), 1u);
    EXPECT_TRUE(windows_->windowsOfApplication(999999, 100).empty());
    EXPECT_TRUE(windows_->hasApplicationElement(a.pid()));
    EXPECT_FALSE(windows_->hasApplicationElement(-5));
}

TEST_F(X11WindowSystemTest, TitlesAreValidUtf8WhateverTheClientWrote)
{
    TestProcess p;
    const Window legacy = client_->create({.pid = p.pid(), .wmName = std::string("caf\xe9")});
    const Window broken = client_->create({.title = std::string("ok\xff\xfe"), .pid = p.pid()});
    const Window untitled = client_->create({.pid = p.pid()});
    EXPECT_EQ(X11WindowElement(desktop_, legacy).title(), "café");  // WM_NAME is Latin-1
    EXPECT_EQ(X11WindowElement(desktop_, broken).title(), "ok\uFFFD\uFFFD");
    EXPECT_EQ(X11WindowElement(desktop_, untitled).title(), "");

    client_->setUtf8(untitled, "_NET_WM_NAME", "renamed");
    EXPECT_EQ(X11WindowElement(desktop_, untitled).title(), "renamed");  // read afresh every time
}

TEST_F(X11WindowSystemTest, RaisingFocusesTheWindowAndTheFocusedWindowFollows)
{
    TestProcess a, b;
    const Window a1 = client_->create({.title = "a1", .pid = a.pid()});
    const Window b1 = client_->create({.title = "b1", .pid = b.pid()});

    ASSERT_TRUE(raiseAndWait(a1));
    EXPECT_EQ(focusedNumber(), std::uint32_t(a1));
    ASSERT_TRUE(raiseAndWait(b1));
    EXPECT_EQ(focusedNumber(), std::uint32_t(b1));
    auto main = windows_->mainWindowOfApplication(b.pid());
    ASSERT_TRUE(main);
    EXPECT_EQ(main->windowNumber(), std::uint32_t(b1));
    EXPECT_EQ(windows_->mainWindowOfApplication(999999), nullptr);
}

TEST_F(X11WindowSystemTest, MinimizesAndRestores)
{
    TestProcess p;
    const Window w = client_->create({.title = "to minimize", .pid = p.pid()});
    X11WindowElement element(desktop_, w);

    ASSERT_EQ(element.setMinimized(true), AccessibilityError::success);
    EXPECT_TRUE(client_->wait([&] { return element.isMinimized() == true; }));
    ASSERT_EQ(element.setMinimized(false), AccessibilityError::success);
    EXPECT_TRUE(client_->wait([&] { return element.isMinimized() == false; }));
}

TEST_F(X11WindowSystemTest, AClosedWindowReadsAsGone)
{
    TestProcess p;
    const Window w = client_->create({.title = "short-lived", .pid = p.pid()});
    X11WindowElement element(desktop_, w);
    EXPECT_EQ(element.windowNumber(), std::uint32_t(w));

    client_->destroy(w);
    EXPECT_EQ(element.windowNumber(), std::nullopt);
    EXPECT_EQ(element.title(), std::nullopt);
    EXPECT_EQ(element.role(), std::nullopt);
    EXPECT_EQ(element.isMinimized(), std::nullopt);
    EXPECT_EQ(element.raise(), AccessibilityError::invalidUIElement);
    EXPECT_EQ(element.setMinimized(true), AccessibilityError::invalidUIElement);
}

TEST_F(X11WindowSystemTest, BringingAProcessForwardKeepsTheWindowJustRaised)
{
    TestProcess p, other;
    const Window first = client_->create({.title = "first", .pid = p.pid()});
    client_->create({.title = "second", .pid = p.pid()});  // on top of first
    const Window elsewhere = client_->create({.title = "elsewhere", .pid = other.pid()});
    ASSERT_TRUE(raiseAndWait(elsewhere));

    // As the window binding does: raise one window, then bring its process forward at once, before the
    // manager has restacked anything.
    auto elements = windows_->windowsOfApplication(p.pid(), 100);
    ASSERT_EQ(elements.size(), 2u);
    ASSERT_EQ(elements[1]->windowNumber(), std::uint32_t(first));
    ASSERT_EQ(elements[1]->raise(), AccessibilityError::success);
    ASSERT_TRUE(windows_->bringProcessToFront(p.pid(), true));
    EXPECT_TRUE(client_->wait([&] { return client_->activeWindow() == first; }));

    EXPECT_FALSE(windows_->bringProcessToFront(999999, true));
}

// Both answers are kept while the client list stands (they cost a round trip per window): they must follow it.
TEST_F(X11WindowSystemTest, TheFileBrowserAndTheRunningApplicationsFollowTheClientList)
{
    auto workspace = std::make_shared<X11Workspace>(X11Workspace::Options{.desktop = desktop_});
    X11WindowSystem windows(desktop_, workspace);
    TestProcess files, editor;
    const Window doc = client_->create({.title = "doc", .className = "VandrelEditor", .pid = editor.pid()});
    EXPECT_EQ(windows.fileBrowserBundleId(), X11WindowSystem::defaultFileBrowserBundleId);
    ASSERT_TRUE(workspace->runningApplication(editor.pid()));

    const Window desk = client_->create(
        {.title = "desk", .className = "VandrelFiles", .pid = files.pid(), .type = "_NET_WM_WINDOW_TYPE_DESKTOP"});
    EXPECT_TRUE(client_->wait([&] { return windows.fileBrowserBundleId() == "VandrelFiles"; }));
    client_->destroy(desk);
    EXPECT_TRUE(
        client_->wait([&] { return windows.fileBrowserBundleId() == X11WindowSystem::defaultFileBrowserBundleId; }));

    client_->destroy(doc);
    EXPECT_TRUE(client_->wait([&] { return !workspace->runningApplication(editor.pid()); }));
}

#ifdef VANDREL_HAVE_XRES
TEST_F(X11WindowSystemTest, TheServerNamesTheProcessWhenTheWindowCannot)
{
    TestProcess p;
    const Window undeclared = client_->create({.title = "no pid"});
    const Window remote = client_->create({.title = "remote", .pid = p.pid(), .machine = "elsewhere.invalid"});
    const Window impossible = client_->create({.title = "sandboxed", .pid = 2'000'000'000});
    const Window local = client_->create({.title = "local", .pid = p.pid(), .machine = "localhost"});

    // The test process owns the connection that made them all.
    EXPECT_EQ(desktop_->windowPid(undeclared), getpid());
    EXPECT_EQ(desktop_->windowPid(remote), getpid());
    EXPECT_EQ(desktop_->windowPid(impossible), getpid());
    EXPECT_EQ(desktop_->windowPid(local), p.pid());
}
#endif

// On a server of its own without a manager, so that only the test writes the active window.
TEST(X11WindowSystemWithoutManager, DesktopAndDockWindowsAreNeverTheFocusedWindow)
{
    X11TestServer server(false);
    if (!server.ok()) GTEST_SKIP() << server.failure();
    X11TestClient client(server.display());
    auto desktop = X11Desktop::open(server.display());
    X11WindowSystem windows(desktop);
    TestProcess p;
    const Window desk = client.create(
        {.title = "desktop", .pid = p.pid(), .type = "_NET_WM_WINDOW_TYPE_DESKTOP", .waitForManager = false});
    const Window dock =
        client.create({.title = "panel", .pid = p.pid(), .type = "_NET_WM_WINDOW_TYPE_DOCK", .waitForManager = false});
    const Window normal = client.create({.title = "normal", .pid = p.pid(), .waitForManager = false});
    EXPECT_EQ(X11WindowElement(desktop, desk).role(), "AXScrollArea");
    EXPECT_EQ(X11WindowElement(desktop, dock).role(), "AXMenuBar");

    for (Window w : {desk, dock}) {
        client.setActiveWindowProperty(w);
        EXPECT_EQ(windows.focusedWindow(), nullptr);
    }
    client.setActiveWindowProperty(normal);
    auto focused = windows.focusedWindow();
    ASSERT_NE(focused, nullptr);
    EXPECT_EQ(focused->windowNumber(), std::uint32_t(normal));
    client.setActiveWindowProperty(0);
    EXPECT_EQ(windows.focusedWindow(), nullptr);
}

TEST(X11WindowSystemWithoutDisplay, AnswersEmptyAndNeverCrashes)
{
    for (const std::string name : {"", ":4077"}) {
        auto desktop = X11Desktop::open(name);
        EXPECT_FALSE(desktop->available());
        X11WindowSystem windows(desktop);
        X11Workspace workspace({.desktop = desktop});
        EXPECT_EQ(windows.focusedWindow(), nullptr);
        EXPECT_TRUE(windows.windowsOfApplication(getpid(), 100).empty());
        EXPECT_EQ(windows.mainWindowOfApplication(getpid()), nullptr);
        EXPECT_FALSE(windows.hasApplicationElement(getpid()));
        EXPECT_FALSE(windows.bringProcessToFront(getpid(), true));
        EXPECT_EQ(windows.fileBrowserBundleId(), X11WindowSystem::defaultFileBrowserBundleId);
        EXPECT_EQ(workspace.frontmostApplication(), std::nullopt);
        EXPECT_TRUE(workspace.runningApplications().empty());
        EXPECT_EQ(X11WindowElement(desktop, 0x400001).raise(), AccessibilityError::cannotComplete);
    }
}

TEST(X11WindowSystemServerLoss, ReadsTurnEmptyAndTheProcessGoesOn)
{
    X11TestServer server(false);
    if (!server.ok()) GTEST_SKIP() << server.failure();
    auto desktop = X11Desktop::open(server.display());
    ASSERT_TRUE(desktop->available());
    ASSERT_TRUE(desktop->followsChanges());
    X11Workspace workspace({.desktop = desktop});

    server.killServer();
    // The first request finds the connection broken on a thread of its own; the rest, and the end of the
    // desktop (with its watcher's connection, broken on the watcher thread), happen on this one. Xlib keeps a
    // broken display locked to the thread that noticed, so any of these could hang for good.
    std::optional<X11WindowId> active = 1;
    std::thread([&] { active = desktop->activeWindow(); }).join();
    EXPECT_EQ(active, std::nullopt);
    EXPECT_FALSE(desktop->available());
    EXPECT_TRUE(desktop->clientList().empty());
    EXPECT_EQ(desktop->windowTitle(0x400001), std::nullopt);
    EXPECT_EQ(desktop->activate(0x400001), X11RequestResult::failed);
    EXPECT_EQ(workspace.frontmostApplication(), std::nullopt);
    EXPECT_TRUE(workspace.runningApplications().empty());
    EXPECT_TRUE(test::waitFor([&] { return !desktop->followsChanges(); }));
}

}  // namespace
}  // namespace vandrel
