#include "core/instance_channel.h"

#include <poll.h>
#include <pwd.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/log.h"
#include "core/private_files.h"
#include "core/string_helpers.h"

namespace vandrel {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr std::array<std::pair<InstanceChannel::Command, std::string_view>, 2> kNames{{
    {InstanceChannel::Command::comeForward, "come-forward"},
    {InstanceChannel::Command::unremapCapsLock, "unremap-capslock"},
}};

std::optional<sockaddr_un> addressOf(const fs::path& socket)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string& text = socket.native();
    if (text.empty() || text.size() >= sizeof(address.sun_path)) {
        log.error("The instance socket path is too long ->", text);
        return std::nullopt;
    }
    std::memcpy(address.sun_path, text.c_str(), text.size() + 1);
    return address;
}

// Why a folder cannot hold the socket because its path would not fit a socket address; nothing when it fits.
std::optional<std::string> whySocketDoesNotFit(const fs::path& folder)
{
    const std::size_t length = InstanceChannel::Paths::in(folder).locations.front().socket.native().size();
    constexpr std::size_t limit = sizeof(sockaddr_un::sun_path) - 1;
    if (length <= limit) return std::nullopt;
    return "its socket path would be too long for a Unix socket (" + std::to_string(length) + " bytes, at most " +
           std::to_string(limit) + ")";
}

// The host name as a file name that stays inside its folder: as it is when it is one (letters, digits, '-', '_'
// and '.', not leading, at most 64 bytes), else "host-" and a hash of it that is the same at every start.
std::string fileNameFor(const std::string& hostName)
{
    constexpr std::size_t kMaxName = 64;
    const bool plain = std::ranges::all_of(hostName, [](const char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
               c == '.';
    });
    if (hostName.empty() || (plain && hostName.size() <= kMaxName && hostName.front() != '.')) return hostName;
    std::uint64_t hash = 0xcbf29ce484222325ULL;  // FNV-1a
    for (const unsigned char c : hostName) hash = (hash ^ c) * 0x100000001b3ULL;
    char text[17];
    std::snprintf(text, sizeof(text), "%016llx", static_cast<unsigned long long>(hash));
    return std::string("host-") + text;
}

// The folder as one spelling, so that $XDG_RUNTIME_DIR and /run/user/<uid> are seen to be the same.
fs::path normalFolder(const fs::path& folder)
{
    fs::path normal = folder.lexically_normal();
    if (normal.has_parent_path() && normal.filename().empty()) normal = normal.parent_path();
    return normal;
}

// The user's home as the user database has it: the same for every start, whatever $HOME says; $HOME only for a
// user the database does not know.
fs::path homeOf(uid_t user)
{
    passwd entry{};
    passwd* found = nullptr;
    std::vector<char> buffer(16384);
    if (::getpwuid_r(user, &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir &&
        found->pw_dir[0] == '/')
        return found->pw_dir;
    const char* home = std::getenv("HOME");
    return home && *home == '/' ? fs::path(home) : fs::path();
}

std::string joined(const std::vector<std::string>& parts, std::string_view separator)
{
    std::string out;
    for (const auto& part : parts) out += (out.empty() ? "" : std::string(separator)) + part;
    return out;
}

std::optional<uid_t> peerUid(int fd)
{
    ucred credentials{};
    socklen_t size = sizeof(credentials);
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0) return std::nullopt;
    return credentials.uid;
}

int msLeft(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// What arrived of a message: done once a newline came, the limit was passed or the peer ended; complete when it
// was one line and nothing more.
struct Received {
    std::string line;
    bool done = false;
    bool complete = false;

    void take(std::string_view bytes, std::size_t limit)
    {
        line.append(bytes);
        if (const auto end = line.find('\n'); end != std::string::npos) {
            complete = end + 1 == line.size() && line.size() <= limit + 1;
            if (complete) line.pop_back();
            done = true;
        } else if (line.size() > limit) {
            done = true;
        }
    }

    // Takes what the socket holds now without waiting; done when the peer ended or failed.
    void takeAvailable(int fd, std::size_t limit)
    {
        char buffer[128];
        while (!done) {
            const ssize_t n = ::recv(fd, buffer, sizeof(buffer), MSG_DONTWAIT);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
            if (n <= 0) {
                done = true;
                return;
            }
            take(std::string_view(buffer, static_cast<std::size_t>(n)), limit);
        }
    }
};

Received readLine(int fd, std::size_t limit, std::chrono::milliseconds within)
{
    const auto deadline = Clock::now() + within;
    Received received;
    while (!received.done) {
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, msLeft(deadline));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) break;
        received.takeAvailable(fd, limit);
    }
    return received;
}

bool writeAll(int fd, std::string_view text)
{
    while (!text.empty()) {
        const ssize_t n = ::send(fd, text.data(), text.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        text.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

constexpr std::size_t kMaxAnswer = 4096;

// A connection to an instance that took a message. It takes it when the socket accepts the connection and the
// message at once: the kernel queues both for a listener even while it is stopped, and it reads them once let go.
// Never waits: a listener whose queue is full takes nothing now.
class Offer {
public:
    Offer() = default;
    ~Offer() { drop(); }
    Offer(const Offer&) = delete;
    Offer& operator=(const Offer&) = delete;

    bool took() const { return fd_ >= 0; }
    int fd() const { return fd_; }

    bool make(const fs::path& socket, std::string_view message)
    {
        drop();
        const auto address = addressOf(socket);
        if (!address) return false;
        fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd_ < 0) return false;
        if (::connect(fd_, reinterpret_cast<const sockaddr*>(&*address), sizeof(*address)) != 0) {
            drop();
            return false;
        }
        if (const auto uid = peerUid(fd_); !uid || *uid != ::getuid()) {
            if (!warned_)
                log.warning("The instance socket belongs to another user; nothing is sent ->", socket.string());
            warned_ = true;
            drop();
            return false;
        }
        // A message this short goes whole into a new connection's buffer, or not at all.
        if (::send(fd_, message.data(), message.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(message.size())) drop();
        return took();
    }

    // The answer once it is there. A connection that ended without one is dropped: the one that took the message
    // has gone, and the message may be offered again.
    std::optional<std::string> answer()
    {
        if (!took()) return std::nullopt;
        received_.takeAvailable(fd_, kMaxAnswer);
        if (!received_.done) return std::nullopt;
        auto line = received_.complete && !received_.line.empty() ? std::optional(received_.line) : std::nullopt;
        drop();
        return line;
    }

private:
    void drop()
    {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
        received_ = {};
    }

    int fd_ = -1;
    bool warned_ = false;
    Received received_;
};

// What a rejected message looked like, safe for one log line.
std::string printable(std::string_view bytes)
{
    std::string out;
    for (const unsigned char c : bytes.substr(0, InstanceChannel::kMaxMessage)) {
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            static constexpr char hex[] = "0123456789abcdef";
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 0xF];
        }
    }
    return out;
}

}  // namespace

InstanceChannel::Paths::Places InstanceChannel::Paths::Places::standard()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    Places places;
    places.user = ::geteuid();
    places.runtime = runtime && *runtime == '/' ? fs::path(runtime) : fs::path();
    places.userRuntime = fs::path("/run/user") / std::to_string(places.user);
    // Not $TMPDIR, $XDG_CACHE_HOME or $HOME: every start and the login-item helper must find the same folders,
    // whatever their environment.
    places.temporary = "/tmp";
    if (const fs::path home = homeOf(places.user); !home.empty()) places.cache = home / ".cache";
    std::array<char, 256> host{};
    if (::gethostname(host.data(), host.size() - 1) != 0) host[0] = '\0';
    places.machine = machineName("/etc/machine-id", host.data());
    return places;
}

std::string InstanceChannel::Paths::Places::machineName(const fs::path& machineIdFile, const std::string& hostName)
{
    const std::string id = readWholeFile(machineIdFile).value_or(std::string());
    const auto start = id.find_first_not_of(" \t\r\n");
    std::string digits;
    for (std::size_t i = start; i != std::string::npos && i < id.size() && digits.size() < 32; ++i) {
        if (!std::isxdigit(static_cast<unsigned char>(id[i]))) break;
        digits += id[i];
    }
    return digits.empty() ? fileNameFor(hostName) : digits;
}

InstanceChannel::Paths InstanceChannel::Paths::standard()
{
    return choose(Places::standard());
}

InstanceChannel::Paths InstanceChannel::Paths::choose(const Places& places)
{
    std::vector<fs::path> chosen, seen;
    std::vector<std::string> passedOver;
    const auto consider = [&](const std::string& label, const fs::path& place, const auto& check) {
        const fs::path folder = normalFolder(place);
        if (place.empty() || std::ranges::find(seen, folder) != seen.end()) return;
        seen.push_back(folder);
        auto why = check(folder);
        if (!why) why = whySocketDoesNotFit(folder);
        if (!why)
            chosen.push_back(folder);
        else
            passedOver.push_back(label + folder.string() + " is not used for the instance lock and socket: " + *why);
    };
    const auto existing = [&](const fs::path& folder) { return whyNotPrivateFolder(folder, places.user); };
    const auto made = [&](const fs::path& folder) { return makeOwnPrivateFolder(folder, places.user); };
    consider("$XDG_RUNTIME_DIR ", places.runtime, existing);
    // Where no login manager made one there is nothing to say about it.
    if (struct stat info{}; !places.userRuntime.empty() && ::lstat(places.userRuntime.c_str(), &info) == 0)
        consider("", places.userRuntime, existing);
    if (!places.temporary.empty()) consider("", places.temporary / ("vandrel-" + std::to_string(places.user)), made);
    if (!places.cache.empty()) {
        const fs::path own = places.cache / "vandrel" / ("instance-" + places.machine);
        consider("", own, [&](const fs::path& folder) -> std::optional<std::string> {
            // Other machines may share the home: a folder that does not name this one would be theirs too.
            if (places.machine.empty()) return std::string("this machine has neither a machine id nor a host name");
            if (const auto error = createPrivateFolder(folder.parent_path())) return "it cannot be made: " + *error;
            return made(folder);
        });
    }
    // One order for every start, so that two starts at once never wait on each other's locks in turn.
    std::ranges::sort(chosen);
    Paths paths;
    std::vector<std::string> names;
    for (const auto& folder : chosen) {
        paths.locations.push_back(in(folder).locations.front());
        names.push_back(folder.string());
    }
    for (const auto& note : passedOver)
        paths.notes.push_back(note + (chosen.empty() ? "; no private folder is left for them."
                                                     : "; they are kept in " + joined(names, ", ") + " instead."));
    return paths;
}

InstanceChannel::Paths InstanceChannel::Paths::in(const fs::path& folder)
{
    return {{{folder / "vandrel.lock", folder / "vandrel.socket"}}, {}};
}

// Connections closed without an answer. The first of a report period is logged with its detail; the rest of
// the period are only counted, and logged as one line once the period is over or the channel closes.
class InstanceChannel::ClosedTally {
public:
    enum Kind { ignored, otherUser, makingRoom, kinds };

    explicit ClosedTally(std::chrono::milliseconds period) : period_(period) {}
    ~ClosedTally() { flush(); }

    template <class... Detail>
    void note(Kind kind, LogMessage message, const Detail&... detail)
    {
        const auto now = Clock::now();
        if (now >= dueAt()) flush();
        if (reported_ && now - *reported_ < period_) {
            ++counts_[kind];
            return;
        }
        log.warning(message, detail...);
        reported_ = now;
    }
    // When the counted ones are due in the log; never when none are counted.
    Clock::time_point dueAt() const
    {
        return std::ranges::any_of(counts_, [](int n) { return n > 0; }) ? *reported_ + period_
                                                                         : Clock::time_point::max();
    }
    void flush()
    {
        static constexpr std::array<std::string_view, kinds> what{"messages ignored", "from another user",
                                                                  "closed to make room"};
        std::vector<std::string> parts;
        for (std::size_t k = 0; k < counts_.size(); ++k)
            if (counts_[k] > 0) parts.push_back(std::to_string(counts_[k]) + " " + std::string(what[k]));
        if (parts.empty()) return;
        log.warning("More instance connections were closed without an answer ->", joined(parts, ", "));
        counts_ = {};
        reported_ = Clock::now();
    }

private:
    std::chrono::milliseconds period_;
    std::optional<Clock::time_point> reported_;
    std::array<int, kinds> counts_{};
};

struct InstanceChannel::Waiting {
    int fd = -1;
    Clock::time_point deadline;
    Received received;
};

InstanceChannel::InstanceChannel(Paths paths, std::chrono::milliseconds allowance,
                                 std::chrono::milliseconds reportEvery)
    : paths_(std::move(paths)), allowance_(allowance), reportEvery_(reportEvery)
{
}

InstanceChannel::~InstanceChannel()
{
    close();
}

void InstanceChannel::close()
{
    if (thread_.joinable()) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto written = ::write(stop_, &one, sizeof(one));
        thread_.join();
    }
    for (auto& held : held_) {
        if (held.listener < 0) continue;
        ::close(held.listener);
        ::unlink(held.socket.c_str());
    }
    if (stop_ >= 0) ::close(stop_);
    stop_ = -1;
    held_.clear();  // lets the locks go
}

std::vector<std::string> InstanceChannel::notes() const
{
    std::vector<std::string> all = paths_.notes;
    all.insert(all.end(), passedOver_.begin(), passedOver_.end());
    return all;
}

std::string_view InstanceChannel::name(Command command)
{
    for (const auto& [c, text] : kNames)
        if (c == command) return text;
    return {};
}

std::optional<InstanceChannel::Command> InstanceChannel::parse(std::string_view message)
{
    for (const auto& [c, text] : kNames)
        if (message == text) return c;
    return std::nullopt;
}

bool InstanceChannel::isRunning(const Paths& paths)
{
    return std::ranges::any_of(paths.locations,
                               [](const Location& location) { return InstanceLock::isHeldElsewhere(location.lock); });
}

bool InstanceChannel::open(Handler handler)
{
    if (isOpen()) return true;
    lockFailure_.clear();
    passedOver_.clear();
    socketFailure_.clear();
    std::vector<std::string> unusable;
    for (const auto& location : paths_.locations) {
        Held held{std::make_unique<InstanceLock>(location.lock), location.socket};
        if (held.lock->tryAcquire()) {
            held_.push_back(std::move(held));
        } else if (held.lock->failure().empty()) {
            held_.clear();  // another instance runs: what this start took goes again
            return false;
        } else {
            unusable.push_back(held.lock->failure());
        }
    }
    if (held_.empty()) {
        lockFailure_ = unusable.empty() ? "no private folder for the instance lock" : joined(unusable, "; ");
        return false;
    }
    for (const auto& failure : unusable)
        passedOver_.push_back("The instance lock " + failure + " cannot be used; its folder is passed over.");
    handler_ = std::move(handler);
    stop_ = ::eventfd(0, EFD_CLOEXEC);
    if (stop_ < 0) {
        socketFailure_ = std::string("no event descriptor for the channel's thread: ") + std::strerror(errno);
        return true;
    }
    for (auto& held : held_) listen(held);
    if (std::ranges::any_of(held_, [](const Held& held) { return held.listener >= 0; }))
        thread_ = std::thread([this] { serve(); });
    return true;
}

void InstanceChannel::listen(Held& held)
{
    const auto fail = [&](const std::string& why) { socketFailure_ += (socketFailure_.empty() ? "" : "; ") + why; };
    const auto address = addressOf(held.socket);
    if (!address) {
        fail("the socket path is too long: " + held.socket.string());
        return;
    }
    // Whatever is there was left by an instance that no longer holds the lock.
    ::unlink(held.socket.c_str());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0 || ::bind(fd, reinterpret_cast<const sockaddr*>(&*address), sizeof(*address)) != 0 ||
        ::chmod(held.socket.c_str(), 0600) != 0 || ::listen(fd, SOMAXCONN) != 0) {
        fail(held.socket.string() + ": " + std::strerror(errno));
        if (fd >= 0) ::close(fd);
        return;
    }
    held.listener = fd;
}

void InstanceChannel::serve()
{
    std::vector<int> listeners;
    for (const auto& held : held_)
        if (held.listener >= 0) listeners.push_back(held.listener);
    ClosedTally closed(reportEvery_);
    std::vector<Waiting> waiting;
    std::vector<pollfd> fds;
    for (;;) {
        fds.assign({{stop_, POLLIN, 0}});
        for (const int listener : listeners) fds.push_back({listener, POLLIN, 0});
        auto wakeAt = closed.dueAt();
        for (const auto& connection : waiting) {
            fds.push_back({connection.fd, POLLIN, 0});
            wakeAt = std::min(wakeAt, connection.deadline);
        }
        const int timeout = wakeAt == Clock::time_point::max() ? -1 : msLeft(wakeAt);
        if (::poll(fds.data(), fds.size(), timeout) < 0) {
            if (errno == EINTR) continue;
            log.error("The instance channel stops ->", std::strerror(errno));
            break;
        }
        if (fds[0].revents) break;
        const std::size_t first = 1 + listeners.size();
        // What has arrived counts, also when its allowance ran out meanwhile.
        for (std::size_t i = 0; i < waiting.size(); ++i)
            if (fds[first + i].revents) waiting[i].received.takeAvailable(waiting[i].fd, kMaxMessage);
        const auto now = Clock::now();
        std::erase_if(waiting, [&](const Waiting& connection) {
            if (!connection.received.done && connection.deadline > now) return false;
            finish(connection, closed);
            ::close(connection.fd);
            return true;
        });
        for (std::size_t i = 0; i < listeners.size(); ++i)
            if (fds[1 + i].revents) accept(listeners[i], waiting, closed);
        if (now >= closed.dueAt()) closed.flush();
    }
    for (const auto& connection : waiting) ::close(connection.fd);
}

void InstanceChannel::accept(int listener, std::vector<Waiting>& waiting, ClosedTally& closed)
{
    for (;;) {
        const int fd = ::accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            return;
        }
        const auto uid = peerUid(fd);
        if (!uid || *uid != ::getuid()) {
            closed.note(ClosedTally::otherUser, "A message from another user was refused ->",
                        uid ? static_cast<std::int64_t>(*uid) : -1);
            ::close(fd);
            continue;
        }
        if (waiting.size() >= kMaxWaiting) {
            closed.note(ClosedTally::makingRoom,
                        "Too many instance connections wait for their message; the oldest is closed");
            ::close(waiting.front().fd);
            waiting.erase(waiting.begin());
        }
        Waiting connection;
        connection.fd = fd;
        connection.deadline = Clock::now() + allowance_;
        // A client that sent at once is answered now.
        connection.received.takeAvailable(fd, kMaxMessage);
        if (connection.received.done) {
            finish(connection, closed);
            ::close(fd);
            continue;
        }
        waiting.push_back(std::move(connection));
    }
}

void InstanceChannel::finish(const Waiting& connection, ClosedTally& closed)
{
    const auto& received = connection.received;
    const auto command = received.complete ? parse(received.line) : std::nullopt;
    if (!command) {
        closed.note(ClosedTally::ignored, "An instance message was ignored ->", printable(received.line));
        return;
    }
    log.info("Instance message ->", std::string(name(*command)));
    const std::string reply = handler_ ? handler_(*command) : std::string();
    writeAll(connection.fd, reply + "\n");
}

std::optional<std::string> InstanceChannel::send(const Paths& paths, Command command)
{
    return send(paths, command, Patience{});
}

std::optional<std::string> InstanceChannel::send(const Paths& paths, Command command, const Patience& patience)
{
    const auto deadline = patience.now() + patience.within;
    const std::string message = std::string(name(command)) + "\n";
    Offer taken;
    for (;;) {
        if (!taken.took()) {
            bool held = false;
            for (const auto& location : paths.locations) {
                if (!InstanceLock::isHeldElsewhere(location.lock)) continue;
                held = true;
                if (taken.make(location.socket, message)) break;
            }
            if (!held) return std::nullopt;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - patience.now());
        if (left <= std::chrono::milliseconds::zero()) return std::nullopt;
        const auto slice =
            std::clamp(left, std::chrono::milliseconds(1), std::max(patience.every, std::chrono::milliseconds(1)));
        if (patience.pause) {
            patience.pause(slice, taken.fd());
        } else {
            pollfd p{taken.fd(), POLLIN, 0};
            ::poll(&p, 1, static_cast<int>(slice.count()));  // a negative descriptor only waits
        }
        if (auto reply = taken.answer()) return reply;
    }
}

std::optional<std::string> InstanceChannel::send(const fs::path& socket, Command command)
{
    Offer offer;
    if (!offer.make(socket, std::string(name(command)) + "\n")) return std::nullopt;
    auto received = readLine(offer.fd(), kMaxAnswer, kAnswerDeadline);
    if (!received.complete || received.line.empty()) return std::nullopt;
    return std::move(received.line);
}

}  // namespace vandrel
