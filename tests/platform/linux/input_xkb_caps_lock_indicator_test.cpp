#include "platform/linux/input_xkb_caps_lock_indicator.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace vandrel {
namespace {

// An Xvfb of the test's own, on a display it picks itself (-displayfd), ended by its process id.
class PrivateXServer {
public:
    PrivateXServer()
    {
        int fds[2];
        if (::pipe(fds) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(fds[0]);
            const std::string fd = std::to_string(fds[1]);
            ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", "-screen", "0", "640x480x24",
                     static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(fds[1]);
        char buffer[32] = {};
        std::string number;
        ssize_t n;
        while ((n = ::read(fds[0], buffer, sizeof buffer - 1)) > 0) {
            number.append(buffer, static_cast<std::size_t>(n));
            if (number.find('\n') != std::string::npos) break;
        }
        ::close(fds[0]);
        while (!number.empty() && (number.back() == '\n' || number.back() == ' ')) number.pop_back();
        if (!number.empty()) display_ = ":" + number;
    }
    ~PrivateXServer()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    const std::string& display() const { return display_; }

private:
    pid_t pid_ = -1;
    std::string display_;
};

TEST(InputXkbCapsLockIndicator, ReadsAndSetsTheLockOfTheXSession)
{
    PrivateXServer server;
    if (server.display().empty()) GTEST_SKIP() << "Xvfb is not available";
    auto indicator = InputXkbCapsLockIndicator::open(server.display());
    ASSERT_NE(indicator, nullptr);
    EXPECT_EQ(indicator->isLocked(), false);
    EXPECT_TRUE(indicator->setLocked(true));
    EXPECT_EQ(indicator->isLocked(), true);
    EXPECT_TRUE(indicator->setLocked(false));
    EXPECT_EQ(indicator->isLocked(), false);
}

TEST(InputXkbCapsLockIndicator, NoDisplayGivesNoIndicator)
{
    EXPECT_EQ(InputXkbCapsLockIndicator::open(":4093"), nullptr);
}

}  // namespace
}  // namespace vandrel
