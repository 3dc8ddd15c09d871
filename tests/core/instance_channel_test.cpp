#include "core/instance_channel.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <regex>
#include <string>
#include <thread>
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
    const fs::path lock = paths.locations[0].lock, socket = paths.locations[0].socket;
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
    std::ofstream(lock).put('x');
    ::close(listenAt(socket));
    ASSERT_TRUE(fs::is_socket(socket));
    EXPECT_FALSE(InstanceChannel::isRunning(paths));
    EXPECT_EQ(InstanceChannel::send(socket, Command::comeForward), std::nullopt) << "nobody answers";

    InstanceChannel first(paths);
    ASSERT_TRUE(first.open(handler));
    struct stat info {};
    ASSERT_EQ(::stat(socket.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u) << "owner only";

    InstanceChannel second(paths);
    EXPECT_FALSE(second.open(handler));
    EXPECT_TRUE(InstanceChannel::isRunning(paths));
    EXPECT_EQ(InstanceChannel::send(socket, Command::comeForward), "done: come-forward");
    EXPECT_EQ(InstanceChannel::send(socket, Command::unremapCapsLock), "done: unremap-capslock");
    second.close();
    EXPECT_TRUE(fs::exists(socket)) << "the one that did not open leaves the socket alone";

    first.close();
    EXPECT_FALSE(InstanceChannel::isRunning(paths));
    EXPECT_FALSE(fs::exists(socket));
    EXPECT_EQ(InstanceChannel::send(socket, Command::comeForward), std::nullopt);
}

TEST_F(InstanceChannelTest, AnythingButOneCommandLineIsLoggedAndGetsNoAnswer)
{
    InstanceChannel channel(paths, 50ms, 0ms);
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
        const int fd = connectTo(socket);
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
    EXPECT_EQ(InstanceChannel::send(socket, Command::comeForward), "done: come-forward") << "still answers";

    // A flood costs the log the first connection's line and one line counting the rest.
    channel.close();
    InstanceChannel flooded(paths, 50ms, std::chrono::hours(1));
    ASSERT_TRUE(flooded.open(handler));
    logs->clear();
    for (int i = 0; i < 40; ++i) {
        const int fd = connectTo(socket);
        ASSERT_GE(fd, 0);
        ::send(fd, "x\n", 2, MSG_NOSIGNAL);
        char byte;
        EXPECT_EQ(::recv(fd, &byte, 1, 0), 0);
        ::close(fd);
    }
    flooded.close();
    const auto entries = logs->entries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].message, "An instance message was ignored ->");
    EXPECT_EQ(entries[1].message, "More instance connections were closed without an answer ->");
    EXPECT_EQ(entries[1].context, "39 messages ignored");
}

TEST_F(InstanceChannelTest, SilentClientsDelayNoAnswerAndTheOldestMakesRoomWhenTooManyWait)
{
    InstanceChannel channel(paths, std::chrono::hours(1));  // served one at a time, each would stall the rest
    ASSERT_TRUE(channel.open(handler));
    std::vector<int> silent(InstanceChannel::kMaxWaiting);
    for (int& fd : silent) ASSERT_GE(fd = connectTo(socket), 0);
    EXPECT_EQ(InstanceChannel::send(socket, Command::comeForward), "done: come-forward");
    char byte;
    for (std::size_t i = 0; i < silent.size(); ++i)  // only the oldest was closed, to make room
        EXPECT_EQ(::recv(silent[i], &byte, 1, MSG_DONTWAIT), i == 0 ? 0 : -1) << i;
    for (const int fd : silent) ::close(fd);
}

// Where the channel's folders are looked for, and what others may have left there: the instance takes every
// private folder, and a later start looking in another set of them still meets it.
TEST_F(InstanceChannelTest, EveryPrivateFolderIsTakenSoThatALaterStartMeetsTheRunningOneWhateverItsEnvironment)
{
    const fs::path root = dir.path().toStdString(), runtime = root / "run", temporary = root / "tmp";
    const fs::path ownTemporary = temporary / ("vandrel-" + std::to_string(::geteuid()));
    const fs::path ownCache = root / "cache" / "vandrel" / "instance-m1";
    const fs::path tooLong = root / std::string(120 - root.native().size(), 'r');
    const auto makePrivate = [](const fs::path& folder, mode_t mode = 0700) {
        fs::create_directory(folder);
        ::chmod(folder.c_str(), mode);
    };
    const struct {
        std::function<void()> arrange;
        fs::path runtime;             // as $XDG_RUNTIME_DIR says
        std::vector<fs::path> taken;  // in lock order
        fs::path passedOver = {};
        std::string why = {};
        std::function<void()> meanwhile = {};  // before a start without $XDG_RUNTIME_DIR
        std::string machine = "m1";
    } cases[] = {
        {[&] { makePrivate(runtime); }, runtime / "", {ownCache.parent_path() / "instance-m1", runtime, ownTemporary}},
        {[&] { makePrivate(runtime, 0777); },
         runtime,
         {ownCache, ownTemporary},
         runtime,
         "other users can write in it (mode 0777)"},
        {[&] { makePrivate(tooLong); },
         tooLong,
         {ownCache, ownTemporary},
         tooLong,
         "its socket path would be too long for a Unix socket (" + std::to_string(tooLong.native().size() + 15) +
             " bytes, at most 107)"},
        // Another user's folder under our name sends the first start elsewhere, then goes away.
        {[&] { makePrivate(runtime), fs::create_directory_symlink(root, ownTemporary); },
         runtime,
         {ownCache, runtime},
         ownTemporary,
         "it is a symbolic link",
         [&] { fs::remove(ownTemporary); }},
        {[&] { std::ofstream(ownTemporary) << "x", std::ofstream(root / "cache") << "x"; },
         {},
         {},
         ownTemporary,
         "it is not a folder"},
        {[&] { std::ofstream(root / "cache") << "x"; },
         {},
         {ownTemporary},
         ownCache,
         "it cannot be made: " + (root / "cache").string() + ": " + std::strerror(ENOTDIR)},
        // Without a name the folder in the home could be another machine's too.
        {[&] { makePrivate(runtime); },
         runtime,
         {runtime, ownTemporary},
         ownCache.parent_path() / "instance-",
         "this machine has neither a machine id nor a host name",
         {},
         ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.passedOver.string() + " " + c.why);
        for (const auto& path : {runtime, temporary, root / "cache", tooLong}) fs::remove_all(path);
        makePrivate(temporary, 01777);
        c.arrange();
        // The login manager's folder of the user is the one $XDG_RUNTIME_DIR names, or is missing.
        const auto chosen =
            InstanceChannel::Paths::choose({c.runtime, runtime, temporary, root / "cache", ::geteuid(), c.machine});
        std::vector<fs::path> taken;
        for (const auto& location : chosen.locations) taken.push_back(location.lock.parent_path());
        EXPECT_EQ(taken, c.taken);
        std::string kept;
        for (const auto& folder : c.taken) kept += (kept.empty() ? "" : ", ") + folder.string();
        const std::string note =
            (c.passedOver == c.runtime ? "$XDG_RUNTIME_DIR " : "") + c.passedOver.string() +
            " is not used for the instance lock and socket: " + c.why +
            (kept.empty() ? "; no private folder is left for them." : "; they are kept in " + kept + " instead.");
        EXPECT_EQ(std::ranges::count(chosen.notes, note), c.why.empty() ? 0 : 1)
            << ::testing::PrintToString(chosen.notes);
        if (c.why.empty()) {
            EXPECT_TRUE(chosen.notes.empty());
        }
        InstanceChannel channel(chosen);
        ASSERT_EQ(channel.open(handler), !c.taken.empty());
        if (c.taken.empty()) continue;
        if (c.meanwhile) c.meanwhile();
        const auto elsewhere =
            InstanceChannel::Paths::choose({{}, {}, temporary, root / "cache", ::geteuid(), c.machine});
        InstanceChannel later(elsewhere);
        EXPECT_FALSE(later.open(handler)) << "one instance";
        EXPECT_TRUE(later.lockFailure().empty());
        EXPECT_TRUE(InstanceChannel::isRunning(elsewhere));
        EXPECT_EQ(InstanceChannel::send(elsewhere, Command::unremapCapsLock), "done: unremap-capslock");
    }
}

TEST_F(InstanceChannelTest, TheMachineIsNamedByItsIdElseByItsHostNameAsAFileNameOfItsOwn)
{
    const fs::path file = dir.path().toStdString() + "/machine-id";
    const struct {
        std::optional<std::string> content;
        std::string name;  // "#": a hash of the host name
        std::string hostName = "host";
    } cases[] = {
        {"0123456789abcdef0123456789abcdef\n", "0123456789abcdef0123456789abcdef"},
        {" \t0123456789ABCDEF0123456789abcdef0123\n", "0123456789ABCDEF0123456789abcdef"},
        {"uninitialized\n", "host"},  // what systemd leaves until the first boot is done
        {std::nullopt, "host"},
        {std::nullopt, "my-host_2.lan", "my-host_2.lan"},
        // Never a folder elsewhere, a hidden one or one too long to hold a socket.
        {std::nullopt, "#", "a/../../b"},
        {std::nullopt, "#", ".hidden"},
        {std::nullopt, "#", std::string(65, 'h')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.content.value_or("missing") + " " + c.hostName);
        fs::remove(file);
        if (c.content) std::ofstream(file) << *c.content;
        const std::string name = InstanceChannel::Paths::Places::machineName(file, c.hostName);
        EXPECT_TRUE(c.name == "#" ? std::regex_match(name, std::regex("host-[0-9a-f]{16}")) : name == c.name) << name;
    }
}

// Asking whether Vandrel runs never takes the lock: a start trying it while others ask always gets it. The
// question sees it held while it is, and free once it is let go.
TEST_F(InstanceChannelTest, AskingWhetherTheLockIsHeldNeverKeepsAStartFromTakingIt)
{
    EXPECT_FALSE(InstanceLock::isHeldElsewhere(lock));
    EXPECT_FALSE(fs::exists(lock)) << "a question makes nothing";
    const std::jthread asker([&](const std::stop_token& stop) {
        while (!stop.stop_requested()) InstanceLock::isHeldElsewhere(lock);
    });
    InstanceLock start(lock);
    for (int i = 0; i < 2000; ++i) {
        ASSERT_TRUE(start.tryAcquire()) << "try " << i;
        ASSERT_TRUE(InstanceLock::isHeldElsewhere(lock));
        start.release();
        ASSERT_FALSE(InstanceLock::isHeldElsewhere(lock));
    }

    // An earlier version, still running after an upgrade, holds a flock on the same file: the start gives way.
    const int earlier = ::open(lock.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_EQ(::flock(earlier, LOCK_EX | LOCK_NB), 0);
    EXPECT_FALSE(start.tryAcquire());
    EXPECT_EQ(start.failure(), "");
    ::close(earlier);
    EXPECT_TRUE(start.tryAcquire());
}

// A start that found the lock held asks its holder again until it listens, and once a connection took the message
// awaits the answer there, never sending it again: all within the patience, by the clock.
TEST_F(InstanceChannelTest, AClientWaitsForTheHolderOfTheLockToListenAndToAnswerByTheClock)
{
    const struct {
        bool held;
        int listensAfter;  // pauses; 0: never
        bool silent;       // a socket that takes the message and never answers, as a stopped instance's does
        std::chrono::milliseconds perLook;  // what every reading of the clock finds passed: tries that take time
        std::optional<std::string> answer;
        int pauses;
    } cases[] = {
        {true, 3, false, 0ms, "done: come-forward", 4},  // the fourth waits for the answer
        {true, 0, false, 0ms, std::nullopt, 250},        // 2.5 s in steps of 10 ms
        {true, 0, true, 0ms, std::nullopt, 250},        {true, 0, true, 1s, std::nullopt, 2},
        {false, 0, false, 0ms, std::nullopt, 0},  // nothing runs: nothing to wait for
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pauses);
        InstanceLock holder(lock);
        ASSERT_EQ(holder.tryAcquire(), true);
        if (!c.held) holder.release();
        const int stopped = c.silent ? listenAt(socket) : -1;
        InstanceChannel channel(paths);
        int pauses = 0;
        std::chrono::steady_clock::time_point now;
        InstanceChannel::Patience patience;
        patience.clock = [&] { return now += c.perLook; };
        patience.pause = [&](std::chrono::milliseconds slice, int answer) {
            EXPECT_EQ(slice, 10ms);
            now += slice;
            if (++pauses == c.listensAfter) {
                holder.release();
                EXPECT_TRUE(channel.open(handler));
            }
            // The channel answers on its own thread: waited for as an event.
            pollfd ready{answer, POLLIN, 0};
            if (answer >= 0 && !c.silent) ::poll(&ready, 1, 10000);
        };
        EXPECT_EQ(InstanceChannel::send(paths, Command::comeForward, patience), c.answer);
        EXPECT_EQ(pauses, c.pauses);
        if (!c.silent) continue;
        ::fcntl(stopped, F_SETFL, O_NONBLOCK);
        const int once = ::accept(stopped, nullptr, nullptr);
        char message[32] = {};
        EXPECT_GT(::recv(once, message, sizeof(message), 0), 0);
        EXPECT_STREQ(message, "come-forward\n");
        EXPECT_EQ(::accept(stopped, nullptr, nullptr), -1) << "sent once";
        ::close(once), ::close(stopped), fs::remove(socket);
    }
}

// Another process holding the lock as an earlier Vandrel (a flock) or another one (the open's lock) does, until the
// object goes.
struct OtherProcess {
    OtherProcess(const fs::path& lock, bool earlier)
    {
        int ready[2];
        if (::pipe(ready) != 0 || (pid = ::fork()) != 0) {
            char byte;
            ::close(ready[1]);
            EXPECT_EQ(::read(ready[0], &byte, 1), 1) << "the lock is held";
            ::close(ready[0]);
            return;
        }
        const int fd = ::open(lock.c_str(), O_RDWR | O_CREAT, 0600);
        struct flock whole {};
        whole.l_type = F_WRLCK;
        if ((earlier ? ::flock(fd, LOCK_EX) : ::fcntl(fd, F_OFD_SETLKW, &whole)) != 0) ::_exit(1);
        (void)!::write(ready[1], "", 1);
        for (;;) ::pause();
    }
    ~OtherProcess()
    {
        if (pid > 0) ::kill(pid, SIGKILL), ::waitpid(pid, nullptr, 0);
    }
    pid_t pid = -1;
};

// Every question whether Vandrel runs sees each kind of lock a start gives way to, and asks its holder.
TEST_F(InstanceChannelTest, EitherKindOfLockHeldByAnotherProcessIsSeenAndItsHolderAsked)
{
    const int listener = listenAt(socket);
    ::fcntl(listener, F_SETFL, O_NONBLOCK);
    for (const bool earlier : {true, false}) {
        SCOPED_TRACE(earlier ? "flock" : "open's lock");
        const OtherProcess holder(lock, earlier);
        EXPECT_TRUE(InstanceChannel::isRunning(paths));
        EXPECT_FALSE(InstanceChannel(paths).open(handler)) << "a start gives way";
        std::chrono::steady_clock::time_point now;
        InstanceChannel::Patience patience;
        patience.clock = [&] { return now; };
        patience.pause = [&](std::chrono::milliseconds slice, int) {  // the holder answers
            now += slice;
            const int connection = ::accept(listener, nullptr, nullptr);
            ::send(connection, "answered\n", 9, MSG_NOSIGNAL);
            ::close(connection);
        };
        EXPECT_EQ(InstanceChannel::send(paths, Command::comeForward, patience), "answered");
    }
    ::close(listener);
}

TEST_F(InstanceChannelTest, ALinkAtTheLockIsReplacedWithoutBeingFollowedAndAPipeIsAReason)
{
    const fs::path target = dir.path().toStdString() + "/target";
    std::ofstream(target) << "kept";
    fs::create_symlink(target, lock);
    EXPECT_FALSE(InstanceChannel::isRunning(paths));
    EXPECT_TRUE(fs::is_symlink(lock)) << "a question leaves it";
    InstanceChannel channel(paths);
    EXPECT_TRUE(channel.open(handler));
    EXPECT_EQ(test::readFile(target), "kept");
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(lock)));
    channel.close();

    fs::remove(lock);
    ASSERT_EQ(::mkfifo(lock.c_str(), 0600), 0);
    EXPECT_FALSE(channel.open(handler));
    EXPECT_EQ(channel.lockFailure(), lock.string() + ": not a plain file");
}

}  // namespace
}  // namespace vandrel
