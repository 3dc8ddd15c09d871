// One running Vandrel per user, and the way later starts speak to it.
//
//   InstanceChannel channel(InstanceChannel::Paths::standard());
//   if (!channel.open([](InstanceChannel::Command c) { ...; return "what was done"; }))
//       InstanceChannel::send(channel.paths(), InstanceChannel::Command::comeForward);   // another one runs
//
// The running instance holds the instance lock (InstanceLock: the kernel lets it go with the process, so a
// killed instance leaves no stale mark) and listens on a local socket beside it, readable and writable by its
// owner only. Only the lock holder binds the socket, so a socket file left by a killed instance is removed and
// bound again.
//
// A later start must find the running one whatever its own environment: started from the desktop (with
// $XDG_RUNTIME_DIR), from su, sudo -u, cron or a service (without it), or after another user's folder in /tmp came
// or went. So the instance takes the lock, and listens, in every private folder of the user it can have:
// $XDG_RUNTIME_DIR, /run/user/<uid>, /tmp/vandrel-<uid> and vandrel/instance-<machine> in the cache folder of the
// user's home (from the user database, not $HOME), the last two made 0700 when missing. The folders but the one in
// the home are the machine's own; that one names the machine (its /etc/machine-id, else its host name), so a home
// shared by several machines (NFS) holds one for each, and Vandrel running on one never keeps it from starting on
// another. A later start tries the same folders, so it meets the running one in at least the folders that do not
// depend on the environment. The locks are taken in the order of their paths, the same for every start, so two
// starts at the same moment that share a folder never both give way and never both run; one that gives way waits
// a moment (Patience) for the other to listen. A folder is used only when it is a real folder (never a link) of
// the user that group and others cannot reach, and when its socket path fits a Unix socket; why one was passed
// over is said in Paths::notes. No other user can block a start: they can at most take the name
// /tmp/vandrel-<uid>, which is then passed over.
//
// A message is one command name and a newline, at most kMaxMessage bytes, sent within the allowance (a second)
// of connecting; the answer is one line of text for the user, then the connection closes. A connection from
// another user, a message that is not a command, too long or too slow is closed without an answer; the log
// hears of the first at once and of the rest, counted, at most once per report period, so a flood of
// connections cannot fill it. Connections are served side by side on the channel's own thread, where the
// handler runs: a silent or slow client delays no other. The client checks that the socket belongs to its own
// user before it sends anything.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
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
    static constexpr std::chrono::milliseconds kReportPeriod{1000};

    // One folder's lock and socket.
    struct Location {
        std::filesystem::path lock;
        std::filesystem::path socket;
    };
    struct Paths {
        // Where the instance marks itself, in the order the locks are taken.
        std::vector<Location> locations;
        // Why a usual place was passed over, one line each, naming the folders taken (or that none was).
        std::vector<std::string> notes;

        // Where the folders may be.
        struct Places {
            std::filesystem::path runtime;      // $XDG_RUNTIME_DIR; empty when unset or not absolute
            std::filesystem::path userRuntime;  // the login manager's runtime folder of the user: /run/user/<uid>
            std::filesystem::path temporary;    // the folder vandrel-<uid> is made in: /tmp
            std::filesystem::path cache;        // the folder vandrel/instance-<machine> is made in: ~/.cache
            uid_t user = 0;
            std::string machine;  // names the folder in the home; empty: that folder is passed over
            static Places standard();
            // The machine's name: the first 32 hexadecimal digits of the machine id file (spaces around them
            // trimmed), else, when the file is missing or holds none, the host name where it is a plain file name
            // (letters, digits, '-', '_' and '.', not leading, at most 64 bytes) and a hash of it where not.
            static std::string machineName(const std::filesystem::path& machineIdFile, const std::string& hostName);
        };
        static Paths standard();
        // Every private folder of the places, in lock order; none when there is none.
        static Paths choose(const Places& places);
        // Both files in one folder.
        static Paths in(const std::filesystem::path& folder);
    };
    // The answer for the user, from the channel's thread.
    using Handler = std::function<std::string(Command)>;
    // How long a client waits for the holder of a lock to answer, by the clock: every try, every wait for an
    // answer and every pause count. A start holds the lock a moment before it listens, so while a lock is held
    // and nobody takes the message, it is offered again every `every`. Once a connection took it (an instance
    // stopped by a signal or a debugger takes it too: the kernel queues the connection), it is never sent again:
    // the answer is awaited on that connection until the time is up, and the instance, let go later, hears the
    // message once.
    struct Patience {
        std::chrono::milliseconds within{2500};
        std::chrono::milliseconds every{10};
        // Waits `slice` between two looks, or less once `answer` (the connection that took the message; -1:
        // none) can be read. Null: poll() on the real clock.
        std::function<void(std::chrono::milliseconds slice, int answer)> pause;
        // The clock the question is timed on; null: the steady clock.
        std::function<std::chrono::steady_clock::time_point()> clock;

        std::chrono::steady_clock::time_point now() const { return clock ? clock() : std::chrono::steady_clock::now(); }
    };

    // allowance: how long a connection may take to send its message; reportEvery: how often at most the log hears
    // of connections closed without an answer.
    explicit InstanceChannel(Paths paths, std::chrono::milliseconds allowance = kMessageDeadline,
                             std::chrono::milliseconds reportEvery = kReportPeriod);
    ~InstanceChannel();
    InstanceChannel(const InstanceChannel&) = delete;
    InstanceChannel& operator=(const InstanceChannel&) = delete;

    // Takes the instance lock in every location and listens there. False when another process holds the lock of
    // any location (what this start took is let go again), or when no location's lock file can be used
    // (lockFailure() says why); nothing is opened then. A location whose lock file cannot be used is passed over
    // (notes() says so); a socket that cannot be made leaves socketFailure(); this process is still the instance.
    bool open(Handler handler);
    bool isOpen() const { return !held_.empty(); }
    // Stops answering, removes the sockets and lets the locks go. Also run by the destructor.
    void close();
    const Paths& paths() const { return paths_; }
    // Why the latest open() could not use any lock file; empty when it could.
    const std::string& lockFailure() const { return lockFailure_; }
    // The folders passed over, with why: the paths' notes, then the lock files the latest open() could not use.
    std::vector<std::string> notes() const;
    // Why later starts cannot reach this instance in some location; empty when they can. Not logged here: it
    // happens before the program's log exists.
    const std::string& socketFailure() const { return socketFailure_; }

    // Whether another process holds the instance lock of any location (or an earlier version its flock there).
    static bool isRunning(const Paths& paths);
    // Sends the command to the instance listening on the socket and returns its answer, waiting for it up to
    // kAnswerDeadline; absent when no instance of this user answers.
    static std::optional<std::string> send(const std::filesystem::path& socket, Command command);
    // The same through the first location whose lock another process holds and whose socket takes the
    // message (see Patience). Absent at once when no lock is held (nothing runs), or when no answer came
    // within the patience.
    static std::optional<std::string> send(const Paths& paths, Command command, const Patience& patience);
    static std::optional<std::string> send(const Paths& paths, Command command);

    static std::string_view name(Command command);
    static std::optional<Command> parse(std::string_view message);

private:
    struct Waiting;
    struct Held {
        std::unique_ptr<InstanceLock> lock;
        std::filesystem::path socket;
        int listener = -1;
    };
    class ClosedTally;
    void listen(Held& held);
    void serve();
    // Takes the connections that wait on a listener: another user's are refused, a message sent at once is
    // answered at once, the rest wait for theirs.
    void accept(int listener, std::vector<Waiting>& waiting, ClosedTally& closed);
    // Answers or refuses a connection whose message is complete, too long, ended or late.
    void finish(const Waiting& connection, ClosedTally& closed);

    Paths paths_;
    std::chrono::milliseconds allowance_;
    std::chrono::milliseconds reportEvery_;
    std::vector<Held> held_;
    Handler handler_;
    std::string lockFailure_;
    std::vector<std::string> passedOver_;
    std::string socketFailure_;
    int stop_ = -1;
    std::thread thread_;
};

}  // namespace vandrel
