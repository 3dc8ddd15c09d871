#include "core/instance_channel.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "core/log.h"
#include "core/private_files.h"

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
    const auto absolute = [](const char* variable) {
        const char* value = std::getenv(variable);
        return value && *value == '/' ? fs::path(value) : fs::path();
    };
    Places places;
    places.runtime = absolute("XDG_RUNTIME_DIR");
    // Not $TMPDIR: every start and the login-item helper must find the same folder, whatever their environment.
    places.temporary = "/tmp";
    places.cache = absolute("XDG_CACHE_HOME");
    if (places.cache.empty() && !absolute("HOME").empty()) places.cache = absolute("HOME") / ".cache";
    places.user = ::geteuid();
    return places;
}

InstanceChannel::Paths InstanceChannel::Paths::standard()
{
    return choose(Places::standard());
}

InstanceChannel::Paths InstanceChannel::Paths::choose(const Places& places)
{
    std::optional<fs::path> chosen;
    std::vector<std::string> passedOver;
    const auto consider = [&](const std::string& label, const fs::path& folder, bool make) {
        if (chosen || folder.empty()) return;
        const auto why = make ? makeOwnPrivateFolder(folder, places.user) : whyNotPrivateFolder(folder, places.user);
        if (!why)
            chosen = folder;
        else
            passedOver.push_back(label + folder.string() + " is not used for the instance lock and socket: " + *why);
    };
    consider("$XDG_RUNTIME_DIR ", places.runtime, false);
    consider("", places.temporary / ("vandrel-" + std::to_string(places.user)), true);
    if (!chosen && !places.cache.empty()) {
        createPrivateFolder(places.cache / "vandrel");
        consider("", places.cache / "vandrel" / "instance", true);
    }
    Paths paths = chosen ? in(*chosen) : Paths{};
    for (const auto& note : passedOver)
        paths.notes.push_back(note + (chosen ? "; they are kept in " + chosen->string() + " instead."
                                             : "; no private folder is left for them."));
    return paths;
}

InstanceChannel::Paths InstanceChannel::Paths::in(const fs::path& folder)
{
    return {folder / "vandrel.lock", folder / "vandrel.socket", {}};
}

struct InstanceChannel::Waiting {
    int fd = -1;
    Clock::time_point deadline;
    Received received;
};

InstanceChannel::InstanceChannel(Paths paths, std::chrono::milliseconds allowance)
    : paths_(std::move(paths)), allowance_(allowance), lock_(paths_.lock)
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
    if (listener_ >= 0) {
        ::close(listener_);
        ::unlink(paths_.socket.c_str());
        listener_ = -1;
    }
    if (stop_ >= 0) ::close(stop_);
    stop_ = -1;
    lock_.release();
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
    return InstanceLock::isHeldElsewhere(paths.lock);
}

bool InstanceChannel::open(Handler handler)
{
    if (lock_.isHeld()) return true;
    if (!lock_.tryAcquire()) return false;
    handler_ = std::move(handler);
    listen();
    return true;
}

void InstanceChannel::listen()
{
    socketFailure_.clear();
    const auto address = addressOf(paths_.socket);
    if (!address) {
        socketFailure_ = "the socket path is too long: " + paths_.socket.string();
        return;
    }
    // Whatever is there was left by an instance that no longer holds the lock.
    ::unlink(paths_.socket.c_str());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0 || ::bind(fd, reinterpret_cast<const sockaddr*>(&*address), sizeof(*address)) != 0 ||
        ::chmod(paths_.socket.c_str(), 0600) != 0 || ::listen(fd, SOMAXCONN) != 0) {
        socketFailure_ = paths_.socket.string() + ": " + std::strerror(errno);
        if (fd >= 0) ::close(fd);
        return;
    }
    stop_ = ::eventfd(0, EFD_CLOEXEC);
    if (stop_ < 0) {
        socketFailure_ = std::string("no event descriptor for the channel's thread: ") + std::strerror(errno);
        ::close(fd);
        ::unlink(paths_.socket.c_str());
        return;
    }
    listener_ = fd;
    thread_ = std::thread([this] { serve(); });
}

void InstanceChannel::serve()
{
    std::vector<Waiting> waiting;
    std::vector<pollfd> fds;
    for (;;) {
        fds.assign({{stop_, POLLIN, 0}, {listener_, POLLIN, 0}});
        auto wakeAt = Clock::time_point::max();
        for (const auto& connection : waiting) {
            fds.push_back({connection.fd, POLLIN, 0});
            wakeAt = std::min(wakeAt, connection.deadline);
        }
        const int timeout = waiting.empty() ? -1 : msLeft(wakeAt);
        if (::poll(fds.data(), fds.size(), timeout) < 0) {
            if (errno == EINTR) continue;
            log.error("The instance channel stops ->", std::strerror(errno));
            break;
        }
        if (fds[0].revents) break;
        // What has arrived counts, also when its allowance ran out meanwhile.
        for (std::size_t i = 0; i < waiting.size(); ++i)
            if (fds[i + 2].revents) waiting[i].received.takeAvailable(waiting[i].fd, kMaxMessage);
        const auto now = Clock::now();
        std::erase_if(waiting, [&](const Waiting& connection) {
            if (!connection.received.done && connection.deadline > now) return false;
            finish(connection);
            ::close(connection.fd);
            return true;
        });
        if (fds[1].revents) accept(waiting);
    }
    for (const auto& connection : waiting) ::close(connection.fd);
}

void InstanceChannel::accept(std::vector<Waiting>& waiting)
{
    for (;;) {
        const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            return;
        }
        const auto uid = peerUid(fd);
        if (!uid || *uid != ::getuid()) {
            log.warning("A message from another user was refused ->", uid ? static_cast<std::int64_t>(*uid) : -1);
            ::close(fd);
            continue;
        }
        if (waiting.size() >= kMaxWaiting) {
            log.warning("Too many instance connections wait for their message; the oldest is closed");
            ::close(waiting.front().fd);
            waiting.erase(waiting.begin());
        }
        Waiting connection;
        connection.fd = fd;
        connection.deadline = Clock::now() + allowance_;
        // A client that sent at once is answered now.
        connection.received.takeAvailable(fd, kMaxMessage);
        if (connection.received.done) {
            finish(connection);
            ::close(fd);
            continue;
        }
        waiting.push_back(std::move(connection));
    }
}

void InstanceChannel::finish(const Waiting& connection)
{
    const auto& received = connection.received;
    const auto command = received.complete ? parse(received.line) : std::nullopt;
    if (!command) {
        log.warning("An instance message was ignored ->", printable(received.line));
        return;
    }
    log.info("Instance message ->", std::string(name(*command)));
    const std::string reply = handler_ ? handler_(*command) : std::string();
    writeAll(connection.fd, reply + "\n");
}

std::optional<std::string> InstanceChannel::send(const fs::path& socket, Command command)
{
    const auto address = addressOf(socket);
    if (!address) return std::nullopt;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return std::nullopt;
    std::optional<std::string> reply;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&*address), sizeof(*address)) == 0) {
        const auto uid = peerUid(fd);
        if (!uid || *uid != ::getuid())
            log.warning("The instance socket belongs to another user; nothing is sent ->", socket.string());
        else if (writeAll(fd, std::string(name(command)) + "\n")) {
            auto received = readLine(fd, 4096, kAnswerDeadline);
            if (received.complete && !received.line.empty()) reply = std::move(received.line);
        }
    }
    ::close(fd);
    return reply;
}

}  // namespace vandrel
