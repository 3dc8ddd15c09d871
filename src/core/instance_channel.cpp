#include "core/instance_channel.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

#include "core/log.h"

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

// What arrived before a newline, the limit or the deadline; complete when it was one line and nothing more.
struct Received {
    std::string line;
    bool complete = false;
};

Received readLine(int fd, std::size_t limit, std::chrono::milliseconds within)
{
    const auto deadline = Clock::now() + within;
    Received received;
    std::string& line = received.line;
    char buffer[128];
    while (line.size() <= limit) {
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, msLeft(deadline));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) break;
        const ssize_t n = ::recv(fd, buffer, sizeof(buffer), 0);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) break;
        line.append(buffer, static_cast<std::size_t>(n));
        if (const auto end = line.find('\n'); end != std::string::npos) {
            received.complete = end + 1 == line.size() && line.size() <= limit + 1;
            if (received.complete) line.pop_back();
            break;
        }
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

InstanceChannel::Paths InstanceChannel::Paths::standard()
{
    Paths paths;
    paths.lock = InstanceLock::standardPath();
    paths.socket = fs::path(paths.lock).replace_extension(".socket");
    return paths;
}

InstanceChannel::Paths InstanceChannel::Paths::in(const fs::path& folder)
{
    return {folder / "vandrel.lock", folder / "vandrel.socket"};
}

InstanceChannel::InstanceChannel(Paths paths) : paths_(std::move(paths)), lock_(paths_.lock) {}

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
    const auto address = addressOf(paths_.socket);
    if (!address) return;
    // Whatever is there was left by an instance that no longer holds the lock.
    ::unlink(paths_.socket.c_str());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || ::bind(fd, reinterpret_cast<const sockaddr*>(&*address), sizeof(*address)) != 0 ||
        ::chmod(paths_.socket.c_str(), 0600) != 0 || ::listen(fd, 8) != 0) {
        log.error("Later starts cannot reach this instance; its socket cannot be made ->",
                  paths_.socket.string() + ": " + std::strerror(errno));
        if (fd >= 0) ::close(fd);
        return;
    }
    listener_ = fd;
    stop_ = ::eventfd(0, EFD_CLOEXEC);
    thread_ = std::thread([this] { serve(); });
}

void InstanceChannel::serve()
{
    for (;;) {
        std::array<pollfd, 2> fds{{{listener_, POLLIN, 0}, {stop_, POLLIN, 0}}};
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) continue;
            log.error("The instance channel stops ->", std::strerror(errno));
            return;
        }
        if (fds[1].revents) return;
        if (!(fds[0].revents & POLLIN)) continue;
        const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0) continue;
        answer(connection);
        ::close(connection);
    }
}

void InstanceChannel::answer(int connection)
{
    const auto uid = peerUid(connection);
    if (!uid || *uid != ::getuid()) {
        log.warning("A message from another user was refused ->", uid ? static_cast<std::int64_t>(*uid) : -1);
        return;
    }
    const auto received = readLine(connection, kMaxMessage, kMessageDeadline);
    const auto command = received.complete ? parse(received.line) : std::nullopt;
    if (!command) {
        log.warning("An instance message was ignored ->", printable(received.line));
        return;
    }
    log.info("Instance message ->", std::string(name(*command)));
    const std::string reply = handler_ ? handler_(*command) : std::string();
    writeAll(connection, reply + "\n");
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
