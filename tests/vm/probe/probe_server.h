// The probe application's end of the channel to the test (harness/probe_protocol.h), whatever toolkit draws its
// widgets: it reads requests as they come, answers them in order and keeps the counts the state reports (F12
// releases, Quit shortcuts). A toolkit's probe derives from it, implements the widget and clipboard calls below
// and calls readRequests() whenever the channel is readable, on its main loop's thread; the server never blocks
// on the channel except to write a reply.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "x_key_logger.h"

namespace vandrel::vmtest {

// The protocol's widget names: "edit" is the multi-line text widget, "line" the one-line entry.
enum class ProbeTarget { edit, line };
// X's CLIPBOARD, or its PRIMARY selection.
enum class ProbeBoard { clipboard, primary };

struct ProbeText {
    std::string text;  // UTF-8
    int anchor = 0;    // positions in UTF-16 units, as the protocol counts them
    int cursor = 0;
};

// Toolkits that count characters (code points) rather than UTF-16 units convert with these.
int utf16Offset(std::string_view utf8, int characters);
int characterOffset(std::string_view utf8, int utf16Units);

class ProbeServer {
public:
    // What a probe needs before its window: the test's socket (from --channel <path> in the arguments) and the
    // key logger on $DISPLAY. Nothing, with the reason on stderr, when either cannot be had.
    struct Connection {
        int channel = -1;
        std::unique_ptr<XKeyLogger> logger;
    };
    static std::optional<Connection> connectToTest(int argc, char** argv, const char* programName);

    explicit ProbeServer(Connection connection);
    virtual ~ProbeServer() = default;
    ProbeServer(const ProbeServer&) = delete;
    ProbeServer& operator=(const ProbeServer&) = delete;

    int channel() const { return channel_; }
    void sendHello();
    void readRequests();

    // What the toolkit's key and shortcut handlers report.
    void sentinelReleased() { ++sentinels_; }
    void quitTriggered() { ++quits_; }

protected:
    virtual std::string boardText(ProbeBoard board) = 0;
    virtual void setBoardText(ProbeBoard board, const std::string& text) = 0;
    // Replaces the widget's text, then selects from anchor to cursor (both inside the text).
    virtual void setText(ProbeTarget target, const ProbeText& text) = 0;
    virtual ProbeText text(ProbeTarget target) = 0;
    // The widget that has the toolkit's keyboard focus: "edit", "line" or "none".
    virtual std::string focusedName() = 0;
    // Whether the toolkit calls the window active, and whether X's input focus is in it.
    virtual bool windowActive() = 0;
    virtual bool hasXFocus() = 0;
    // Asks the toolkit and the window manager for the focus; whether the widget has it shows in the calls above.
    virtual void requestFocus(ProbeTarget target) = 0;
    // Runs `then` on the main loop after `ms`.
    virtual void later(int ms, std::function<void()> then) = 0;
    // The test went away: the probe ends with `code`.
    virtual void quit(int code) = 0;

private:
    void handle(const std::string& request);
    void focus(ProbeTarget target, int attemptsLeft);
    void set(ProbeTarget target, std::string_view args);
    std::string state(ProbeTarget target);
    void reply(const std::string& line);

    const int channel_;
    std::unique_ptr<XKeyLogger> logger_;
    std::string pending_;
    int sentinels_ = 0;
    int quits_ = 0;
};

}  // namespace vandrel::vmtest
