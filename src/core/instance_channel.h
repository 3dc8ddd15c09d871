// One running Vandrel per user, and the way later starts speak to it.
//
//   InstanceChannel channel(InstanceChannel::Paths::standard());
//   if (!channel.open([](InstanceChannel::Command c) { ...; return "what was done"; }))
//       InstanceChannel::send(paths.socket, InstanceChannel::Command::comeForward);   // another one runs
//
// The running instance holds the instance lock (InstanceLock: the kernel lets it go with the process, so a
// killed instance leaves no stale mark) and listens on a local socket beside it, $XDG_RUNTIME_DIR/vandrel.socket
// (or /tmp/vandrel-<uid>.socket), readable and writable by its owner only. Only the lock holder binds the
// socket, so a socket file left by a killed instance is removed and bound again.
//
// A message is one command name and a newline, at most kMaxMessage bytes, sent within a second of connecting;
// the answer is one line of text for the user, then the connection closes. A connection from another user, a
// message that is not a command, too long or too slow is logged and closed without an answer. The handler runs
// on the channel's own thread, one connection at a time; the client checks that the socket belongs to its own
// user before it sends anything.
#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "core/instance_lock.h"

namespace vandrel {

class InstanceChannel {
public:
    enum class Command { comeForward, unremapCapsLock };
    static constexpr std::size_t kMaxMessage = 64;
    static constexpr std::chrono::milliseconds kMessageDeadline{1000};
    static constexpr std::chrono::milliseconds kAnswerDeadline{5000};

    struct Paths {
        std::filesystem::path lock;
        std::filesystem::path socket;
        static Paths standard();
        // Both files in one folder.
        static Paths in(const std::filesystem::path& folder);
    };
    // The answer for the user, from the channel's thread.
    using Handler = std::function<std::string(Command)>;

    explicit InstanceChannel(Paths paths);
    ~InstanceChannel();
    InstanceChannel(const InstanceChannel&) = delete;
    InstanceChannel& operator=(const InstanceChannel&) = delete;

    // Takes the instance lock and listens. False when another process holds the lock (nothing is opened then).
    // A socket that cannot be made is logged; this process is still the instance.
    bool open(Handler handler);
    bool isOpen() const { return lock_.isHeld(); }
    // Stops answering, removes the socket and lets the lock go. Also run by the destructor.
    void close();
    const Paths& paths() const { return paths_; }

    // Whether another process holds the instance lock.
    static bool isRunning(const Paths& paths);
    // Sends the command to the instance listening on the socket and returns its answer; absent when no
    // instance of this user answers.
    static std::optional<std::string> send(const std::filesystem::path& socket, Command command);

    static std::string_view name(Command command);
    static std::optional<Command> parse(std::string_view message);

private:
    void listen();
    void serve();
    void answer(int connection);

    Paths paths_;
    InstanceLock lock_;
    Handler handler_;
    int listener_ = -1;
    int stop_ = -1;
    std::thread thread_;
};

}  // namespace vandrel
