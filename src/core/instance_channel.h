// One running Vandrel per user, and the way later starts speak to it.
//
//   InstanceChannel channel(InstanceChannel::Paths::standard());
//   if (!channel.open([](InstanceChannel::Command c) { ...; return "what was done"; }))
//       InstanceChannel::send(paths.socket, InstanceChannel::Command::comeForward);   // another one runs
//
// The running instance holds the instance lock (InstanceLock: the kernel lets it go with the process, so a
// killed instance leaves no stale mark) and listens on a local socket beside it, readable and writable by its
// owner only. Only the lock holder binds the socket, so a socket file left by a killed instance is removed and
// bound again.
//
// Both live in a folder no other user can reach, so no one else can take, remove or fake them: $XDG_RUNTIME_DIR
// when it is a private folder of the user, else /tmp/vandrel-<uid>, else vandrel/instance in the user's cache
// folder, each made 0700 when missing and used only when it is a real folder (never a link) of the user that
// group and others cannot reach. Why a place was passed over is said in Paths::notes.
//
// A message is one command name and a newline, at most kMaxMessage bytes, sent within the allowance (a second)
// of connecting; the answer is one line of text for the user, then the connection closes. A connection from
// another user, a message that is not a command, too long or too slow is logged and closed without an answer.
// Connections are served side by side on the channel's own thread, where the handler runs: a silent or slow
// client delays no other. The client checks that the socket belongs to its own user before it sends anything.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "core/instance_lock.h"

namespace vandrel {

class InstanceChannel {
public:
    enum class Command { comeForward, unremapCapsLock };
    static constexpr std::size_t kMaxMessage = 64;
    static constexpr std::chrono::milliseconds kMessageDeadline{1000};
    static constexpr std::chrono::milliseconds kAnswerDeadline{5000};
    // Connections waiting for their message at one time; a new one beyond them closes the oldest.
    static constexpr std::size_t kMaxWaiting = 32;

    struct Paths {
        std::filesystem::path lock;
        std::filesystem::path socket;
        // Why a usual place was passed over, one line each, naming the folder taken (or that none was).
        std::vector<std::string> notes;

        // Where the folder may be.
        struct Places {
            std::filesystem::path runtime;    // $XDG_RUNTIME_DIR; empty when unset or not absolute
            std::filesystem::path temporary;  // the folder vandrel-<uid> is made in: /tmp
            std::filesystem::path cache;      // the folder vandrel/instance is made in: the user's cache folder
            uid_t user = 0;
            static Places standard();
        };
        static Paths standard();
        // The first private folder of the places; empty paths when there is none.
        static Paths choose(const Places& places);
        // Both files in one folder.
        static Paths in(const std::filesystem::path& folder);
    };
    // The answer for the user, from the channel's thread.
    using Handler = std::function<std::string(Command)>;

    // allowance: how long a connection may take to send its message.
    explicit InstanceChannel(Paths paths, std::chrono::milliseconds allowance = kMessageDeadline);
    ~InstanceChannel();
    InstanceChannel(const InstanceChannel&) = delete;
    InstanceChannel& operator=(const InstanceChannel&) = delete;

    // Takes the instance lock and listens. False when another process holds the lock, or when the lock file
    // cannot be used (lockFailure() says why); nothing is opened then. A socket that cannot be made leaves
    // socketFailure(); this process is still the instance.
    bool open(Handler handler);
    bool isOpen() const { return lock_.isHeld(); }
    // Stops answering, removes the socket and lets the lock go. Also run by the destructor.
    void close();
    const Paths& paths() const { return paths_; }
    // Why the latest open() could not use the lock file; empty when it could.
    const std::string& lockFailure() const { return lock_.failure(); }
    // Why later starts cannot reach this instance; empty when they can. Not logged here: it happens before the
    // program's log exists.
    const std::string& socketFailure() const { return socketFailure_; }

    // Whether another process holds the instance lock.
    static bool isRunning(const Paths& paths);
    // Sends the command to the instance listening on the socket and returns its answer; absent when no
    // instance of this user answers.
    static std::optional<std::string> send(const std::filesystem::path& socket, Command command);

    static std::string_view name(Command command);
    static std::optional<Command> parse(std::string_view message);

private:
    struct Waiting;
    void listen();
    void serve();
    // Takes the connections that wait on the listener: another user's are refused, a message sent at once is
    // answered at once, the rest wait for theirs.
    void accept(std::vector<Waiting>& waiting);
    // Answers or refuses a connection whose message is complete, too long, ended or late.
    void finish(const Waiting& connection);

    Paths paths_;
    std::chrono::milliseconds allowance_;
    InstanceLock lock_;
    Handler handler_;
    std::string socketFailure_;
    int listener_ = -1;
    int stop_ = -1;
    std::thread thread_;
};

}  // namespace vandrel
