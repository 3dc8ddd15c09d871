#include "probe_server.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "harness/probe_protocol.h"

namespace vandrel::vmtest {
namespace {

constexpr int kFocusAttempts = 250;  // at 20 ms: five seconds for the window manager to hand over the focus
constexpr int kFocusRetryMs = 20;

int connectTo(const std::string& path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (fd < 0 || path.size() >= sizeof address.sun_path) {
        if (fd >= 0) ::close(fd);
        return -1;
    }
    path.copy(address.sun_path, path.size());
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) < 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

std::optional<ProbeTarget> targetNamed(std::string_view name)
{
    if (name == "edit") return ProbeTarget::edit;
    if (name == "line") return ProbeTarget::line;
    return std::nullopt;
}

// UTF-16 units of a UTF-8 character that starts with `lead`: two beyond the basic plane (4-byte sequences).
int unitsOf(unsigned char lead)
{
    return lead >= 0xF0 ? 2 : 1;
}

bool startsCharacter(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
}

}  // namespace

int utf16Offset(std::string_view utf8, int characters)
{
    int units = 0;
    for (const char c : utf8) {
        if (!startsCharacter(c)) continue;
        if (characters-- == 0) break;
        units += unitsOf(static_cast<unsigned char>(c));
    }
    return units;
}

int characterOffset(std::string_view utf8, int utf16Units)
{
    int characters = 0;
    for (const char c : utf8) {
        if (!startsCharacter(c)) continue;
        if (utf16Units <= 0) break;
        utf16Units -= unitsOf(static_cast<unsigned char>(c));
        ++characters;
    }
    return characters;
}

std::optional<ProbeServer::Connection> ProbeServer::connectToTest(int argc, char** argv, const char* programName)
{
    const char* path = nullptr;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--channel") == 0) path = argv[i + 1];
    if (!path) {
        std::fprintf(stderr, "usage: %s --channel <unix socket path>\n", programName);
        return std::nullopt;
    }
    Connection connection;
    connection.channel = connectTo(path);
    if (connection.channel < 0) {
        std::fprintf(stderr, "%s: cannot connect to the test's channel %s: %s\n", programName, path,
                     std::strerror(errno));
        return std::nullopt;
    }
    std::string error;
    const char* display = std::getenv("DISPLAY");
    connection.logger = XKeyLogger::start(display ? display : "", error);
    if (!connection.logger) {
        std::fprintf(stderr, "%s: %s\n", programName, error.c_str());
        ::close(connection.channel);
        return std::nullopt;
    }
    return connection;
}

ProbeServer::ProbeServer(Connection connection) : channel_(connection.channel), logger_(std::move(connection.logger)) {}

void ProbeServer::sendHello()
{
    reply("hello " + std::to_string(::getpid()));
}

void ProbeServer::readRequests()
{
    char buffer[4096];
    const ssize_t n = ::read(channel_, buffer, sizeof buffer);
    if (n <= 0) {
        // The test went away: so does the probe.
        quit(n == 0 ? 0 : 1);
        return;
    }
    pending_.append(buffer, static_cast<std::size_t>(n));
    for (std::size_t end = pending_.find('\n'); end != std::string::npos; end = pending_.find('\n')) {
        const std::string line = pending_.substr(0, end);
        pending_.erase(0, end + 1);
        handle(line);
    }
}

void ProbeServer::handle(const std::string& request)
{
    const std::size_t space = request.find(' ');
    const std::string verb = request.substr(0, space);
    const std::string rest = space == std::string::npos ? std::string() : request.substr(space + 1);
    if (verb == "keys") {
        std::string out = "ok";
        for (const std::string& entry : logger_->take()) out += " " + entry;
        return reply(out);
    }
    for (const auto& [name, board] :
         {std::pair{"clipboard", ProbeBoard::clipboard}, {"selection", ProbeBoard::primary}}) {
        if (verb == name) return reply("ok text=" + escapeLine(boardText(board)));
        if (verb == std::string(name) + "-set") {
            const auto text = unescapeLine(rest);
            if (!text) return reply("error bad text: " + escapeLine(rest));
            setBoardText(board, *text);
            return reply("ok");
        }
    }
    const std::string name = rest.substr(0, rest.find(' '));
    const std::optional<ProbeTarget> target = targetNamed(name);
    if (!target) return reply("error unknown request or widget: " + escapeLine(request));
    if (verb == "focus") return focus(*target, kFocusAttempts);
    if (verb == "state") return reply("ok " + state(*target));
    if (verb == "set") return set(*target, std::string_view(rest).substr(std::min(rest.size(), name.size() + 1)));
    reply("error unknown request: " + escapeLine(request));
}

// Answers once the widget has the focus in the active window, and X agrees: a toolkit may call the window active
// before the window manager has handed X's input focus over, and keys typed in between go elsewhere.
void ProbeServer::focus(ProbeTarget target, int attemptsLeft)
{
    const bool focused = focusedName() == (target == ProbeTarget::edit ? "edit" : "line");
    if (focused && windowActive() && hasXFocus()) return reply("ok");
    if (attemptsLeft == 0)
        return reply("error no focus: active=" + std::to_string(windowActive()) + " x=" + std::to_string(hasXFocus()));
    requestFocus(target);
    later(kFocusRetryMs, [this, target, attemptsLeft] { focus(target, attemptsLeft - 1); });
}

void ProbeServer::set(ProbeTarget target, std::string_view args)
{
    int anchor = 0, cursor = 0, consumed = 0;
    const std::string numbers(args);
    // Exactly one space before the text, which may start with spaces of its own.
    if (std::sscanf(numbers.c_str(), "%d %d%n", &anchor, &cursor, &consumed) < 2 ||
        static_cast<std::size_t>(consumed) >= args.size() || args[consumed] != ' ')
        return reply("error bad set: " + escapeLine(args));
    const std::optional<std::string> text = unescapeLine(args.substr(consumed + 1));
    if (!text) return reply("error bad text: " + escapeLine(args));
    const int length = utf16Offset(*text, static_cast<int>(text->size()));
    if (anchor < 0 || cursor < 0 || anchor > length || cursor > length) return reply("error position outside the text");
    setText(target, {*text, anchor, cursor});
    reply("ok");
}

std::string ProbeServer::state(ProbeTarget target)
{
    const ProbeText shown = text(target);
    return "focus=" + focusedName() + " active=" + (windowActive() ? "1" : "0") +
           " xfocus=" + (hasXFocus() ? "1" : "0") + " sentinels=" + std::to_string(sentinels_) +
           " quits=" + std::to_string(quits_) + " anchor=" + std::to_string(shown.anchor) +
           " cursor=" + std::to_string(shown.cursor) + " text=" + escapeLine(shown.text);
}

void ProbeServer::reply(const std::string& line)
{
    const std::string out = line + "\n";
    std::size_t sent = 0;
    while (sent < out.size()) {
        const ssize_t n = ::write(channel_, out.data() + sent, out.size() - sent);
        if (n <= 0) return;
        sent += static_cast<std::size_t>(n);
    }
}

}  // namespace vandrel::vmtest
