#include "harness/probe_client.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>

#include "harness/probe_protocol.h"

namespace vandrel::vmtest {

namespace {

using Clock = std::chrono::steady_clock;

std::string errnoText(std::string_view what)
{
    return std::string(what) + ": " + std::strerror(errno);
}

int pollMs(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, 60'000));
}

std::optional<int> intField(std::string_view reply, std::string_view name)
{
    const std::optional<std::string_view> value = replyField(reply, name);
    if (!value) return std::nullopt;
    int number = 0;
    const auto [end, error] = std::from_chars(value->data(), value->data() + value->size(), number);
    if (error != std::errc() || end != value->data() + value->size()) return std::nullopt;
    return number;
}

}  // namespace

const char* nameOf(ProbeWidget widget)
{
    return widget == ProbeWidget::edit ? "edit" : "line";
}

TextState TextState::marked(std::string_view marked)
{
    TextState state;
    std::optional<int> anchor;
    for (char c : marked) {
        if (c == '|')
            state.cursor = static_cast<int>(state.text.size());
        else if (c == '^')
            anchor = static_cast<int>(state.text.size());
        else
            state.text += c;
    }
    state.anchor = anchor.value_or(state.cursor);
    return state;
}

std::string TextState::toMarked() const
{
    std::string out;
    const auto at = [this](std::size_t i) { return static_cast<int>(i); };
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (anchor != cursor && anchor == at(i)) out += '^';
        if (cursor == at(i)) out += '|';
        if (i < text.size()) out += text[i];
    }
    // Positions past the end show at the end, so that a bad report still prints.
    if (cursor > at(text.size())) out += "|(" + std::to_string(cursor) + ")";
    return out;
}

std::ostream& operator<<(std::ostream& out, const TextState& state)
{
    return out << '"' << escapeLine(state.toMarked()) << '"';
}

Result<ProbeClient> ProbeClient::listen(const std::string& path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) return Result<ProbeClient>::failure("socket path too long: " + path);
    path.copy(address.sun_path, path.size());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return Result<ProbeClient>::failure(errnoText("socket"));
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) < 0 || ::listen(fd, 1) < 0) {
        const std::string error = errnoText("bind/listen " + path);
        ::close(fd);
        return Result<ProbeClient>::failure(error);
    }
    return Result<ProbeClient>::success(ProbeClient(fd, path));
}

ProbeClient::ProbeClient(ProbeClient&& other) noexcept
    : listenFd_(std::exchange(other.listenFd_, -1)),
      fd_(std::exchange(other.fd_, -1)),
      path_(std::move(other.path_)),
      buffer_(std::move(other.buffer_))
{
}

ProbeClient& ProbeClient::operator=(ProbeClient&& other) noexcept
{
    if (this != &other) {
        close();
        listenFd_ = std::exchange(other.listenFd_, -1);
        fd_ = std::exchange(other.fd_, -1);
        path_ = std::move(other.path_);
        buffer_ = std::move(other.buffer_);
    }
    return *this;
}

ProbeClient::~ProbeClient()
{
    close();
}

void ProbeClient::close()
{
    if (fd_ >= 0) ::close(fd_);
    if (listenFd_ >= 0) ::close(listenFd_);
    fd_ = listenFd_ = -1;
}

Status ProbeClient::accept(Milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    pollfd waiting{listenFd_, POLLIN, 0};
    const int ready = ::poll(&waiting, 1, pollMs(deadline));
    if (ready < 0) return Status::failure(errnoText("poll"));
    if (ready == 0)
        return Status::failure("the probe did not connect within " + std::to_string(timeout.count()) + " ms");
    fd_ = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd_ < 0) return Status::failure(errnoText("accept"));
    const Result<std::string> hello = readLine(std::chrono::duration_cast<Milliseconds>(deadline - Clock::now()));
    if (!hello) return Status::failure("no hello from the probe: " + hello.error());
    if (hello->rfind("hello ", 0) != 0) return Status::failure("the probe said '" + *hello + "' instead of hello");
    return Status::success();
}

Result<std::string> ProbeClient::readLine(Milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        const std::size_t end = buffer_.find('\n');
        if (end != std::string::npos) {
            std::string line = buffer_.substr(0, end);
            buffer_.erase(0, end + 1);
            return Result<std::string>::success(std::move(line));
        }
        pollfd waiting{fd_, POLLIN, 0};
        const int ready = ::poll(&waiting, 1, pollMs(deadline));
        if (ready < 0 && errno != EINTR) return Result<std::string>::failure(errnoText("poll"));
        if (ready == 0) return Result<std::string>::failure("no reply from the probe in time");
        char chunk[4096];
        const ssize_t n = ::read(fd_, chunk, sizeof chunk);
        if (n == 0) return Result<std::string>::failure("the probe closed its channel");
        if (n < 0) {
            if (errno == EINTR) continue;
            return Result<std::string>::failure(errnoText("read"));
        }
        buffer_.append(chunk, static_cast<std::size_t>(n));
    }
}

Result<std::string> ProbeClient::request(std::string_view line, Milliseconds timeout)
{
    if (fd_ < 0) return Result<std::string>::failure("the probe is not connected");
    const std::string out = std::string(line) + "\n";
    for (std::size_t sent = 0; sent < out.size();) {
        const ssize_t n = ::send(fd_, out.data() + sent, out.size() - sent, MSG_NOSIGNAL);
        if (n < 0) return Result<std::string>::failure(errnoText("send to the probe"));
        sent += static_cast<std::size_t>(n);
    }
    Result<std::string> reply = readLine(timeout);
    if (!reply) return Result<std::string>::failure(reply.error() + " (request: " + escapeLine(line) + ")");
    if (*reply == "ok") return Result<std::string>::success("");
    if (reply->rfind("ok ", 0) == 0) return Result<std::string>::success(reply->substr(3));
    return Result<std::string>::failure("the probe answered '" + *reply + "' to '" + escapeLine(line) + "'");
}

Status ProbeClient::focus(ProbeWidget widget, Milliseconds timeout)
{
    const Result<std::string> reply = request(std::string("focus ") + nameOf(widget), timeout);
    return reply ? Status::success() : Status::failure(reply.error());
}

Status ProbeClient::set(ProbeWidget widget, const TextState& state)
{
    const Result<std::string> reply =
        request(std::string("set ") + nameOf(widget) + " " + std::to_string(state.anchor) + " " +
                std::to_string(state.cursor) + " " + escapeLine(state.text));
    return reply ? Status::success() : Status::failure(reply.error());
}

Result<ProbeState> ProbeClient::state(ProbeWidget widget)
{
    const Result<std::string> reply = request(std::string("state ") + nameOf(widget));
    if (!reply) return Result<ProbeState>::failure(reply.error());
    ProbeState state;
    const std::optional<std::string_view> focus = replyField(*reply, "focus");
    const std::optional<int> active = intField(*reply, "active");
    const std::optional<int> xFocus = intField(*reply, "xfocus");
    const std::optional<int> sentinels = intField(*reply, "sentinels");
    const std::optional<int> quits = intField(*reply, "quits");
    const std::optional<int> anchor = intField(*reply, "anchor");
    const std::optional<int> cursor = intField(*reply, "cursor");
    const std::optional<std::string_view> text = replyField(*reply, "text");
    const std::optional<std::string> unescaped = text ? unescapeLine(*text) : std::nullopt;
    if (!focus || !active || !xFocus || !sentinels || !quits || !anchor || !cursor || !unescaped)
        return Result<ProbeState>::failure("a state reply the test cannot read: " + *reply);
    state.focus = std::string(*focus);
    state.active = *active != 0;
    state.xFocus = *xFocus != 0;
    state.sentinels = *sentinels;
    state.quits = *quits;
    state.text = TextState{*unescaped, *anchor, *cursor};
    return Result<ProbeState>::success(std::move(state));
}

Result<std::vector<std::string>> ProbeClient::keys()
{
    const Result<std::string> reply = request("keys");
    if (!reply) return Result<std::vector<std::string>>::failure(reply.error());
    std::vector<std::string> entries;
    std::string_view rest = *reply;
    while (!rest.empty()) {
        const std::size_t end = rest.find(' ');
        if (end != 0) entries.emplace_back(rest.substr(0, end));
        if (end == std::string_view::npos) break;
        rest.remove_prefix(end + 1);
    }
    return Result<std::vector<std::string>>::success(std::move(entries));
}

}  // namespace vandrel::vmtest
