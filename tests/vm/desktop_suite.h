// The desktop suite's shared setting: one desktop per VM boot (udev, Xorg, fluxbox), the real program grabbing a
// "physical" keyboard the test plugs in and writing to its output keyboard, which X reads like any other, and the
// probe application (a QTextEdit, a QLineEdit and an X key logger) receiving what X makes of it; a GTK probe
// (a GtkTextView and a GtkEntry) joins when a scenario asks for it.
//
// Every scenario of the suite runs in that one boot: a scenario fixture derives from DesktopScenario, and its
// source file joins the e2e_desktop test's SOURCES. A scenario types on the physical keyboard as a person would
// (Caps goes up only once an action's strokes are out), then settles: it taps the sentinel key (F12) and waits
// until both the focused widget and X's key log have seen it, so everything typed before has arrived; nothing
// waits on a timer. A scenario that fails prints the widgets' text and cursor, the X key log of the scenario and
// the tail of the program's log.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "e2e_support.h"
#include "harness/desktop_session.h"
#include "harness/probe_client.h"
#include "harness/x_key_log.h"

namespace vandrel::vmtest {

// One step of X or Qt (a window mapped, a key delivered) under software emulation on a busy machine.
inline const std::chrono::milliseconds kDesktopTimeout = scaled(30000ms);
inline constexpr std::string_view kSentinelName = "F12";

// Started before the first scenario and stopped after the last.
class DesktopEnvironment : public ::testing::Environment {
public:
    void SetUp() override;
    void TearDown() override;

    static DesktopEnvironment* current() { return current_; }
    bool ready() const { return program_.has_value() && probe_ && probe_->connected(); }

    DesktopSession& session() { return *session_; }
    UinputKeyboard& keyboard() { return *keyboard_; }
    ProgramRun& program() { return *program_; }
    ProbeClient& probe() { return *probe_; }
    ChildProcess& probeProcess() { return *probeProcess_; }
    // The GTK probe (a GtkTextView and a GtkEntry), started by the first scenario that asks for it and kept
    // until the suite ends; nothing, with the failure recorded, when it does not start.
    ProbeClient* gtkProbe();
    ChildProcess* gtkProbeProcess() { return gtkProbeProcess_ ? &*gtkProbeProcess_ : nullptr; }
    // Ends the program and starts it again as the suite did, once X no longer lists the old output keyboard;
    // returns when X lists the new one.
    void restartProgram();

private:
    static inline DesktopEnvironment* current_ = nullptr;
    void startProgram();

    // Declared in start order; torn down the other way round (the program lets its keyboards go first).
    std::unique_ptr<DesktopSession> session_;
    std::optional<UinputKeyboard> keyboard_;
    std::optional<ChildProcess> probeProcess_;
    std::optional<ProbeClient> probe_;
    std::optional<ProgramRun> program_;
    std::optional<ChildProcess> gtkProbeProcess_;
    std::optional<ProbeClient> gtkProbe_;
};

// Another probe application in a process of its own: the application at `program` (a probe's path), told to
// connect to `socketName` in the desktop's folder, and the test's end of that channel once it said hello.
struct ProbeApplication {
    ProbeClient client;
    ChildProcess process;
    static Result<ProbeApplication> start(DesktopSession& session, const std::string& program,
                                          const std::string& socketName);
};

// What the X server shows of the desktop, on a connection of the test's own: the window manager's client list,
// stacking order and active window, windows' titles, classes and processes, and a pointer the test clicks with
// through XTest. Window ids are X's.
class DesktopWindows {
public:
    using Id = unsigned long;

    explicit DesktopWindows(const std::string& displayName);
    ~DesktopWindows();
    DesktopWindows(const DesktopWindows&) = delete;
    DesktopWindows& operator=(const DesktopWindows&) = delete;

    bool connected() const { return display_ != nullptr; }

    Id active();
    // Managed windows, bottom to top.
    std::vector<Id> stacking();
    bool isAbove(Id upper, Id lower);
    // The managed window whose title starts with `title` (of the process, when a pid is given); 0 when none.
    Id client(const std::string& title, long pid = 0);
    std::string title(Id window);
    // "instance,class".
    std::string windowClass(Id window);
    // A viewable window of the process at most `depth` levels below the root that fits `accept` (its width,
    // height, and whether it bypasses the window manager); managed windows only when `managed`.
    Id find(long pid, const std::function<bool(int width, int height, bool overrideRedirect)>& accept,
            bool managed = true, int depth = 3);

    // Another application's window, titled `title`, mapped at once.
    Id open(const std::string& title);
    // Focuses the window as a click on its task bar button does (_NET_ACTIVE_WINDOW).
    void focus(Id window);
    // A click of the first button on the window, where `covering` (with its frame) does not cover it.
    void click(Id window, Id covering = 0);
    // Watches the active window for `span` through the manager's property changes on the root window (the span
    // is what is asked: nothing may change in it) and says how often it changed.
    int activeChangesWithin(std::chrono::milliseconds span);

private:
    _XDisplay* display_;
    std::vector<Id> opened_;
};

class DesktopScenario : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    DesktopSession& desktop() { return env().session(); }
    UinputKeyboard& keyboard() { return env().keyboard(); }
    ProgramRun& program() { return env().program(); }
    // The probe the scenario types into: the Qt probe unless the scenario chose another with useProbe.
    ProbeClient& probe() { return probe_ ? *probe_ : env().probe(); }
    void useProbe(ProbeClient& other);
    void restartProgram() { env().restartProgram(); }

    // Puts `marked` (see TextState) into the widget and gives it the keyboard focus.
    void put(ProbeWidget widget, std::string_view marked);
    void put(ProbeWidget widget, const TextState& state);
    // Taps the sentinel and waits until the widget and X's key log have seen it; the widget's state then.
    ProbeState settle(ProbeWidget widget);
    // Types `text` (US layout) a few keys at a time, settling in between, as no reader keeps more than 64 events.
    void type(ProbeWidget widget, std::string_view text);

    // Whether an action is expected to post strokes: then Caps goes up only once they came out, as a person
    // lets go of Caps after seeing the effect (and no key typed later can overtake them).
    enum class Strokes { expected, none };
    // Caps held, `modifiers` held, `key` tapped, then everything released in reverse.
    void capsChord(const std::vector<int>& modifiers, int key, Strokes strokes = Strokes::expected);
    // Waits until the program's output keyboard gives a key event (of `code`, when one is given): the first of an
    // action's strokes.
    static constexpr int kAnyKey = -1;
    bool waitForProgramStrokes(int code = kAnyKey);

    // X's key events of this scenario so far (fetched now), the sentinel's left out.
    std::vector<std::string> scenarioKeyLog();
    // The same, only since the last call of this function (or the scenario's start).
    std::vector<std::string> newKeyLog();

    // The layout goes back to US after the scenario, whatever happens in it.
    void setLayout(std::string_view layout);

    // How often the program's log holds `line` so far.
    std::size_t logged(const std::string& line);
    // Waits until the program has put X's clipboard back once more than `restoresBefore` times (its log's
    // "restore done", counted before the copy or paste).
    bool restoredAfter(std::size_t restoresBefore);
    std::size_t restores() { return logged("restore done"); }
    // The user's own clipboard content, put on X's clipboard by the probe and taken into the program's history:
    // what the program puts back after its copies and pastes.
    void userCopies(const std::string& text);

private:
    static DesktopEnvironment& env() { return *DesktopEnvironment::current(); }
    void fetchKeys();
    Status changeLayout(std::string_view layout);
    int sentinelReleasesLogged() const;
    void printDiagnostics();

    ProbeClient* probe_ = nullptr;
    std::vector<std::string> keyLog_;
    std::size_t keyLogMark_ = 0;
    bool layoutChanged_ = false;
};

}  // namespace vandrel::vmtest
