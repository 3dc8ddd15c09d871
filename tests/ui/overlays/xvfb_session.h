// Screenshots of overlays on a real X server. The test process itself runs on the offscreen platform, so
// a test starts a private Xvfb (of the screen size it needs) with fluxbox, then runs this same binary again
// with only the named child test, on the xcb platform against that server:
//
//   TEST(X, Parent) { XvfbSession x("1920x1080x24"); EXPECT_EQ(x.runChild("X.Child", {"NAME=a.png"}), 0); }
//   TEST(X, Child)  { if (!XvfbSession::isChild()) GTEST_SKIP(); ... }
//
// The child writes to the test's own output; it is killed when it runs longer than the limit.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "support/xvfb_process.h"

namespace vandrel::test {

class XvfbSession {
public:
    explicit XvfbSession(const std::string& screen)
    {
        xvfb_ = startXvfb(screen, display_, failure_);
        if (xvfb_ > 0) wm_ = startFluxbox(display_, home_, failure_);
    }
    ~XvfbSession()
    {
        stopProgram(wm_);
        stopProgram(xvfb_);
        if (!home_.empty()) std::filesystem::remove_all(home_);
    }
    XvfbSession(const XvfbSession&) = delete;
    XvfbSession& operator=(const XvfbSession&) = delete;

    bool ok() const { return failure_.empty(); }
    const std::string& failure() const { return failure_; }

    static bool isChild() { return std::getenv("VANDREL_XVFB_CHILD") != nullptr; }
    static std::string childValue(const char* name)
    {
        const char* value = std::getenv(name);
        return value ? value : "";
    }

    // Runs the child test on the server; its exit code, or -1 when it could not start or ran too long.
    int runChild(const std::string& testName, const std::vector<std::string>& environment = {},
                 std::chrono::seconds limit = std::chrono::seconds(60))
    {
        std::vector<std::string> env{"DISPLAY=" + display_, "QT_QPA_PLATFORM=xcb", "VANDREL_XVFB_CHILD=1"};
        env.insert(env.end(), environment.begin(), environment.end());
        const auto fullEnv = environmentWith(env);
        const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
        const std::string filter = "--gtest_filter=" + testName;
        std::vector<char*> argv{const_cast<char*>(self.c_str()), const_cast<char*>(filter.c_str()), nullptr};
        std::vector<char*> envp;
        for (const auto& e : fullEnv) envp.push_back(const_cast<char*>(e.c_str()));
        envp.push_back(nullptr);
        pid_t child = -1;
        if (posix_spawn(&child, self.c_str(), nullptr, nullptr, argv.data(), envp.data()) != 0) return -1;
        const auto deadline = std::chrono::steady_clock::now() + limit;
        int status = 0;
        while (waitpid(child, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() >= deadline) {
                kill(child, SIGKILL);
                waitpid(child, &status, 0);
                return -1;
            }
            usleep(20'000);  // waiting for another process, not for a timer of ours
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t xvfb_ = -1;
    pid_t wm_ = -1;
    std::string display_;
    std::string home_;
    std::string failure_;
};

// In the child: waits (bounded) until the window manager has reserved its panel's room, so the visible area
// the overlays read is the final one. A manager without a panel never does; then the whole screen counts.
inline void waitForWorkArea()
{
    waitFor(
        [] {
            const QScreen* screen = QGuiApplication::primaryScreen();
            return screen && screen->availableGeometry() != screen->geometry();
        },
        std::chrono::milliseconds(5000));
}

// In the child: keeps Qt's queue moving until the window is on screen (bounded).
inline bool waitUntilExposed(QWidget& window, std::chrono::milliseconds limit = std::chrono::milliseconds(5000))
{
    return waitFor([&] { return window.windowHandle() && window.windowHandle()->isExposed(); }, limit);
}

}  // namespace vandrel::test
