// The window and application wrappers on the simulated window system.
#include "platform/window.h"

#include <gtest/gtest.h>

#include "platform/sim/sim_platform.h"

namespace vandrel {
namespace {

struct WindowTest : ::testing::Test {
    std::shared_ptr<SimPlatform> sim = SimPlatform::make();
    PlatformInstallation installed{sim};
    SimWorkspace& ws = sim->workspace();
    SimWindowSystem& windows = sim->windowSystem();

    RunningApplication start(std::string id, std::string name)
    {
        RunningApplication a;
        a.bundleIdentifier = std::move(id);
        a.localizedName = std::move(name);
        a.bundleUrl = "file:///apps/" + *a.bundleIdentifier + ".desktop";
        return ws.addApplication(a);
    }
};

TEST_F(WindowTest, FocusedWindowCarriesItsApplicationAndStoreData)
{
    EXPECT_EQ(Window::newWindowWithFocused(), nullptr);
    const auto editor = start("org.example.Editor", "Editor");
    const auto number = windows.addWindow(editor.processIdentifier, "notes.txt");
    windows.focusWindow(number);

    auto w = Window::newWindowWithFocused();
    ASSERT_TRUE(w);
    EXPECT_EQ(w->winid, number);
    EXPECT_EQ(w->pid, editor.processIdentifier);
    EXPECT_EQ(w->getTitle(), "notes.txt");
    EXPECT_EQ(w->getRole(), "AXWindow");
    EXPECT_EQ(*w->getDataForStore(), (nlohmann::json{{"winid", number},
                                                     {"title", "notes.txt"},
                                                     {"app",
                                                      {{"pid", editor.processIdentifier},
                                                       {"bundleId", "org.example.Editor"},
                                                       {"name", "Editor"},
                                                       {"url", "file:///apps/org.example.Editor.desktop"}}}}));

    windows.closeWindow(number);
    EXPECT_EQ(w->getTitle(), "");
    EXPECT_EQ(w->window->raise(), AccessibilityError::invalidUIElement);
}

TEST_F(WindowTest, TheDesktopIsNeverTheFocusedWindow)
{
    const auto browser = start(windows.fileBrowserBundleId(), "Files");
    const auto folder = windows.addWindow(browser.processIdentifier, "Home");
    const auto desk = windows.addWindow(browser.processIdentifier, "", "AXScrollArea");
    windows.focusWindow(desk);
    EXPECT_EQ(Window::newWindowWithFocused(), nullptr);
    ASSERT_TRUE(Window::desktop());
    EXPECT_EQ(Window::desktop()->winid, desk);

    windows.focusWindow(folder);
    ASSERT_TRUE(Window::newWindowWithFocused());
    EXPECT_EQ(Window::newWindowWithFocused()->winid, folder);
}

TEST_F(WindowTest, StoreDataNeedsAKnownApplication)
{
    const auto anon = ws.addApplication(RunningApplication{});
    windows.addWindow(anon.processIdentifier, "untitled");
    ws.activate(anon.processIdentifier);
    auto w = Window::newWindowWithFocused();
    ASSERT_TRUE(w && w->app);
    EXPECT_EQ(w->getDataForStore(), std::nullopt);

    auto placeholder = Window::newWindowByFillPropertyApp(
        VDApplication::newAppByFillProperty(77, "org.example.Gone", "Gone", std::nullopt), 77, 5);
    EXPECT_EQ(placeholder->getTitle(), "");
    EXPECT_EQ(placeholder->getRole(), "");
    EXPECT_EQ(placeholder->getDataForStore(), std::nullopt);
    EXPECT_EQ(Window::newWindowByFillPropertyApp(nullptr)->getDataForStore(), std::nullopt);
}

TEST_F(WindowTest, ApplicationsWithoutAnElementHaveNoWindows)
{
    const auto editor = start("org.example.Editor", "Editor");
    windows.addWindow(editor.processIdentifier, "a");
    windows.addWindow(editor.processIdentifier, "b");
    auto app = VDApplication::newAppWithBundleId("org.example.Editor");
    ASSERT_TRUE(app);
    EXPECT_EQ(app->getAllWindows().size(), 2u);
    EXPECT_EQ(app->kind(), 1);

    windows.setApplicationElementUnavailable(editor.processIdentifier, true);
    EXPECT_EQ(VDApplication::newAppWithPid(editor.processIdentifier), nullptr);
    app = VDApplication::newAppWithBundleId("org.example.Editor");
    ASSERT_TRUE(app);
    EXPECT_EQ(app->pid, 0);
    EXPECT_TRUE(app->getAllWindows().empty());
}

TEST_F(WindowTest, RaisingUnminimizesAndFocusesUnlessTheWindowRefuses)
{
    const auto editor = start("org.example.Editor", "Editor");
    const auto first = windows.addWindow(editor.processIdentifier, "first");
    const auto second = windows.addWindow(editor.processIdentifier, "second");
    auto elements = sim->windowSystem().windowsOfApplication(editor.processIdentifier, 100);
    ASSERT_EQ(elements.size(), 2u);

    EXPECT_EQ(elements[1]->setMinimized(true), AccessibilityError::success);
    EXPECT_EQ(windows.isWindowMinimized(second), true);
    EXPECT_EQ(windows.focusedWindowNumber(editor.processIdentifier), first);

    EXPECT_EQ(elements[1]->raise(), AccessibilityError::success);
    EXPECT_EQ(windows.isWindowMinimized(second), false);
    EXPECT_EQ(windows.focusedWindowNumber(editor.processIdentifier), second);

    windows.setRaiseResult(first, AccessibilityError::cannotComplete);
    EXPECT_EQ(elements[0]->raise(), AccessibilityError::cannotComplete);
    EXPECT_EQ(windows.raisedWindows(), std::vector<std::uint32_t>{second});

    EXPECT_TRUE(windows.bringProcessToFront(editor.processIdentifier, true));
    EXPECT_EQ(ws.frontmostApplication(), editor);
    EXPECT_EQ(windows.windowsOfApplication(editor.processIdentifier, 1).size(), 1u);
}

}  // namespace
}  // namespace vandrel
