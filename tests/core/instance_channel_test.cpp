#include "core/instance_channel.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "core/file_helpers.h"
#include "core/log_capture.h"

namespace vandrel {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Command = InstanceChannel::Command;

sockaddr_un addressOf(const fs::path& socket)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socket.c_str(), sizeof(address.sun_path) - 1);
    return address;
}

// A connected client socket of this user, or -1.
int connectTo(const fs::path& socket)
{
    const sockaddr_un address = addressOf(socket);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// A socket listening at the path that never accepts.
int listenAt(const fs::path& socket)
{
    const sockaddr_un address = addressOf(socket);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address));
    ::listen(fd, 1);
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
    ::close(listenAt(paths.socket));
    ASSERT_TRUE(fs::is_socket(paths.socket));
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
    InstanceChannel channel(paths, 50ms);
    ASSERT_TRUE(channel.open(handler));
    const struct {
        std::string sent;
        std::string logged;
    } cases[] = {
        {"", ""},  // silent until its allowance ends
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
        if (!c.sent.empty()) ::shutdown(fd, SHUT_WR);
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

TEST_F(InstanceChannelTest, SilentClientsDelayNoAnswerAndTheOldestMakesRoomWhenTooManyWait)
{
    InstanceChannel channel(paths, std::chrono::hours(1));  // served one at a time, each would stall the rest
    ASSERT_TRUE(channel.open(handler));
    std::vector<int> silent(InstanceChannel::kMaxWaiting);
    for (int& fd : silent) ASSERT_GE(fd = connectTo(paths.socket), 0);
    EXPECT_EQ(InstanceChannel::send(paths.socket, Command::comeForward), "done: come-forward");
    char byte;
    for (std::size_t i = 0; i < silent.size(); ++i)  // only the oldest was closed, to make room
        EXPECT_EQ(::recv(silent[i], &byte, 1, MSG_DONTWAIT), i == 0 ? 0 : -1) << i;
    for (const int fd : silent) ::close(fd);
}

// Where the channel's folder is looked for, and what others may have left there: the instance takes the first
// private folder and serves later starts from it.
TEST_F(InstanceChannelTest, TheFirstPrivateFolderIsTakenWhatEverOthersLeftAroundIt)
{
    const fs::path root = dir.path().toStdString(), runtime = root / "run", temporary = root / "tmp";
    const fs::path ownTemporary = temporary / ("vandrel-" + std::to_string(::geteuid()));
    const fs::path ownCache = root / "cache" / "vandrel" / "instance";
    std::vector<int> held;  // what another process holds open
    const auto squat = [&](mode_t runtimeMode) {
        fs::create_directory(runtime);
        ::chmod(runtime.c_str(), runtimeMode);
        // Where earlier builds kept the lock and the socket: held and listened on.
        held = {::open((ownTemporary.string() + ".lock").c_str(), O_RDWR | O_CREAT, 0644),
                listenAt(ownTemporary.string() + ".socket")};
        ::flock(held[0], LOCK_EX);
    };
    const struct {
        std::function<void()> arrange;
        fs::path chosen;  // none: empty
        fs::path passedOver;
        std::string why;
    } cases[] = {
        {[&] { squat(0700); }, runtime, {}, ""},
        {[&] { squat(0777); }, ownTemporary, runtime, "other users can write in it (mode 0777)"},
        {[&] { fs::create_directory_symlink(root, ownTemporary); }, ownCache, ownTemporary, "it is a symbolic link"},
        {[&] { std::ofstream(ownTemporary) << "x", std::ofstream(root / "cache") << "x"; },
         {},
         ownTemporary,
         "it is not a folder"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.passedOver.string() + " " + c.why);
        for (const auto& path : {runtime, temporary, root / "cache"}) fs::remove_all(path);
        fs::create_directory(temporary);
        ::chmod(temporary.c_str(), 01777);
        c.arrange();
        const auto chosen = InstanceChannel::Paths::choose({runtime, temporary, root / "cache", ::geteuid()});
        const std::string note = (c.passedOver == runtime ? "$XDG_RUNTIME_DIR " : "") + c.passedOver.string() +
                                 " is not used for the instance lock and socket: " + c.why +
                                 (c.chosen.empty() ? "; no private folder is left for them."
                                                   : "; they are kept in " + c.chosen.string() + " instead.");
        if (c.why.empty()) {
            EXPECT_TRUE(chosen.notes.empty());
        } else {
            EXPECT_EQ(std::ranges::count(chosen.notes, note), 1) << ::testing::PrintToString(chosen.notes);
        }
        EXPECT_EQ(chosen.lock, c.chosen.empty() ? fs::path() : c.chosen / "vandrel.lock");
        InstanceChannel channel(chosen);
        EXPECT_EQ(channel.open(handler), !c.chosen.empty());
        if (!c.chosen.empty()) {
            EXPECT_EQ(InstanceChannel::send(chosen.socket, Command::unremapCapsLock), "done: unremap-capslock");
        }
        for (const int fd : held) ::close(fd);
        held.clear();
    }
}

TEST_F(InstanceChannelTest, ALinkAtTheLockIsReplacedWithoutBeingFollowedAndAPipeIsAReason)
{
    const fs::path target = dir.path().toStdString() + "/target";
    std::ofstream(target) << "kept";
    fs::create_symlink(target, paths.lock);
    InstanceChannel channel(paths);
    EXPECT_TRUE(channel.open(handler));
    EXPECT_EQ(test::readFile(target), "kept");
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(paths.lock)));
    channel.close();

    fs::remove(paths.lock);
    ASSERT_EQ(::mkfifo(paths.lock.c_str(), 0600), 0);
    EXPECT_FALSE(channel.open(handler));
    EXPECT_EQ(channel.lockFailure(), paths.lock.string() + ": not a plain file");
}

}  // namespace
}  // namespace vandrel
