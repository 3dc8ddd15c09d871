#include "core/instance_channel.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/log_capture.h"

namespace vandrel {
namespace {

namespace fs = std::filesystem;
using Command = InstanceChannel::Command;

// A connected client socket of this user, or -1.
int connectTo(const fs::path& socket)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socket.c_str(), sizeof(address.sun_path) - 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

class InstanceChannelTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    InstanceChannel::Paths paths = InstanceChannel::Paths::in(dir.path().toStdString());
    std::atomic<int> handled{0};
    InstanceChannel::Handler handler = [this](Command command) {
        ++handled;
        return "done: " + std::string(InstanceChannel::name(command));
    };
    test::ScopedLogCapture logs;
};

TEST_F(InstanceChannelTest, OneInstanceAnswersLaterStartsAndWhatAKilledOneLeftIsTakenOver)
{
    // What an instance that was killed leaves: the lock file and a socket nobody listens on.
    std::ofstream(paths.lock).put('x');
    {
        const int stale = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, paths.socket.c_str(), sizeof(address.sun_path) - 1);
        ASSERT_EQ(::bind(stale, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
        ::close(stale);
    }
    EXPECT_FALSE(InstanceChannel::isRunning(paths));
    EXPECT_EQ(InstanceChannel::send(paths.socket, Command::comeForward), std::nullopt) << "nobody answers";

    InstanceChannel first(paths);
    ASSERT_TRUE(first.open(handler));
    struct stat info {};
    ASSERT_EQ(::stat(paths.socket.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u) << "owner only";

    InstanceChannel second(paths);
    EXPECT_FALSE(second.open(handler));
    EXPECT_TRUE(InstanceChannel::isRunning(paths));
    EXPECT_EQ(InstanceChannel::send(paths.socket, Command::comeForward), "done: come-forward");
    EXPECT_EQ(InstanceChannel::send(paths.socket, Command::unremapCapsLock), "done: unremap-capslock");
    second.close();
    EXPECT_TRUE(fs::exists(paths.socket)) << "the one that did not open leaves the socket alone";

    first.close();
    EXPECT_FALSE(InstanceChannel::isRunning(paths));
    EXPECT_FALSE(fs::exists(paths.socket));
    EXPECT_EQ(InstanceChannel::send(paths.socket, Command::comeForward), std::nullopt);
}

TEST_F(InstanceChannelTest, AnythingButOneCommandLineIsLoggedAndGetsNoAnswer)
{
    InstanceChannel channel(paths);
    ASSERT_TRUE(channel.open(handler));
    const struct {
        std::string sent;
        std::string logged;
    } cases[] = {
        {"hello\n", "hello"},
        {"come-forward", "come-forward"},  // no end of line
        {"come-forward\nunremap-capslock\n", "come-forward\\x0aunremap-capslock\\x0a"},
        {"COME-FORWARD\n", "COME-FORWARD"},
        {"\x01\xff\n", "\\x01\\xff"},
        {std::string(200, 'a') + "\n", std::string(InstanceChannel::kMaxMessage, 'a')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.logged);
        logs->clear();
        const int fd = connectTo(paths.socket);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::send(fd, c.sent.data(), c.sent.size(), MSG_NOSIGNAL), static_cast<ssize_t>(c.sent.size()));
        ::shutdown(fd, SHUT_WR);
        char buffer[16];
        EXPECT_LE(::recv(fd, buffer, sizeof(buffer), 0), 0) << "closed without an answer";
        ::close(fd);
        const auto entries = logs->entries();
        ASSERT_EQ(entries.size(), 1u);
        EXPECT_EQ(entries[0].message, "An instance message was ignored ->");
        EXPECT_EQ(entries[0].context.substr(0, c.logged.size()), c.logged);
    }
    EXPECT_EQ(handled.load(), 0);
    EXPECT_EQ(InstanceChannel::send(paths.socket, Command::comeForward), "done: come-forward") << "still answers";
}

}  // namespace
}  // namespace vandrel
