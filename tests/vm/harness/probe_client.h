// The test's end of the channel to the desktop probe application (tests/vm/probe): requests and their replies
// in the line protocol of probe_protocol.h, each bounded by a time-out.
#pragma once

#include <chrono>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "harness/result.h"

namespace vandrel::vmtest {

enum class ProbeWidget { edit, line };

const char* nameOf(ProbeWidget widget);

// A text with its selection: the cursor, and the anchor where a selection started (equal without one). Written
// for people as the text with "|" at the cursor and "^" at the anchor of a selection: "one ^two| three" has
// "two" selected with the cursor after it. Texts in tests use neither character.
struct TextState {
    std::string text;
    int anchor = 0;
    int cursor = 0;

    static TextState marked(std::string_view marked);
    std::string toMarked() const;
    bool operator==(const TextState&) const = default;
};

std::ostream& operator<<(std::ostream& out, const TextState& state);

// A widget's state as the probe reports it.
struct ProbeState {
    TextState text;
    std::string focus;    // "edit", "line" or "none"
    bool active = false;  // Qt's active window
    bool xFocus = false;  // X's input focus
    int sentinels = 0;    // F12 releases the text widgets received
    int quits = 0;        // times the Quit shortcut fired
};

class ProbeClient {
public:
    using Milliseconds = std::chrono::milliseconds;

    // Listens on a new Unix socket at `path` (which must not exist).
    static Result<ProbeClient> listen(const std::string& path);

    ProbeClient(ProbeClient&& other) noexcept;
    ProbeClient& operator=(ProbeClient&& other) noexcept;
    ProbeClient(const ProbeClient&) = delete;
    ProbeClient& operator=(const ProbeClient&) = delete;
    ~ProbeClient();

    const std::string& path() const { return path_; }
    bool connected() const { return fd_ >= 0; }

    // Waits for the probe to connect and say hello.
    Status accept(Milliseconds timeout);

    // Sends one request and returns its reply without the leading "ok"; a failure carries the probe's "error"
    // text, or says that no reply came in time.
    Result<std::string> request(std::string_view line, Milliseconds timeout = Milliseconds(5000));

    Status focus(ProbeWidget widget, Milliseconds timeout = Milliseconds(8000));
    Status set(ProbeWidget widget, const TextState& state);
    Result<ProbeState> state(ProbeWidget widget);
    // X's key events since the last call: "+Name" for a press, "-Name" for a release.
    Result<std::vector<std::string>> keys();

private:
    ProbeClient(int listenFd, std::string path) : listenFd_(listenFd), path_(std::move(path)) {}
    Result<std::string> readLine(Milliseconds timeout);
    void close();

    int listenFd_ = -1;
    int fd_ = -1;
    std::string path_;
    std::string buffer_;
};

}  // namespace vandrel::vmtest
