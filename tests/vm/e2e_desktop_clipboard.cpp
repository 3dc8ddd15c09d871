// Runs inside the test VM on a real desktop (see desktop_suite.h), with one virtual processor: the extra
// clipboards through X's clipboard, between two separate applications and in xterm.
// - Caps+C copies the probe's selection into extra clipboard 1, Caps+V pastes it into a second probe process:
//   exactly that text arrives, and X's clipboard holds what the user had put there before, each time.
// - In xterm with `cat` running, Caps+C (xterm's selection, PRIMARY) and Caps+V of extra clipboard 1 send no
//   control character: `cat` keeps running and receives the pasted text.
#include <gtest/gtest.h>
#include <linux/input-event-codes.h>
#include <signal.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "desktop_suite.h"
#include "harness/probe_protocol.h"

// Last: Xlib's macros would clash with the harness's names.
#include <X11/Xlib.h>
#undef Status
#undef None
#undef Bool

namespace vandrel::vmtest {
namespace {

class DesktopExtraClipboard : public DesktopScenario {
protected:
    static std::string textOf(ProbeClient& probe, const std::string& verb)
    {
        const auto reply = probe.request(verb);
        if (!reply) return "<no reply: " + reply.error() + ">";
        const auto text = replyField(*reply, "text");
        if (!text) return "<no text>";
        return unescapeLine(*text).value_or("<bad text>");
    }
    std::string clipboard() { return textOf(probe(), "clipboard"); }

    static std::string readFile(const std::string& path)
    {
        std::ifstream in(path);
        std::stringstream out;
        out << in.rdbuf();
        return out.str();
    }

    // WM_CLASS of the window that has X's input focus, from xprop.
    std::string focusedWindowClass()
    {
        Display* display = XOpenDisplay(desktop().displayName().c_str());
        if (!display) return {};
        Window focus = 0;
        int revert = 0;
        XGetInputFocus(display, &focus, &revert);
        XCloseDisplay(display);
        char id[32];
        std::snprintf(id, sizeof id, "0x%lx", focus);
        std::string out;
        const std::string command = "DISPLAY=" + desktop().displayName() + " xprop -id " + id + " WM_CLASS 2>/dev/null";
        if (FILE* pipe = ::popen(command.c_str(), "r")) {
            char buffer[512];
            while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
            ::pclose(pipe);
        }
        return out;
    }
};

TEST_F(DesktopExtraClipboard, CopyInOneApplicationPasteInAnotherKeepsTheUsersClipboard)
{
    userCopies("the user's text");

    put(ProbeWidget::edit, "alpha ^extra payload| gamma");
    std::size_t before = restores();
    capsChord({}, KEY_C);
    ASSERT_TRUE(restoredAfter(before)) << program().log();
    EXPECT_EQ(clipboard(), "the user's text");

    // A second application, a process of its own, started now: its window takes the focus when it shows.
    Result<ProbeApplication> application =
        ProbeApplication::start(desktop(), VANDREL_DESKTOP_PROBE_PATH, "second-probe.sock");
    ASSERT_TRUE(application) << application.error();
    ProbeClient* second = &application->client;

    ASSERT_TRUE(second->set(ProbeWidget::line, TextState::marked("one |two")));
    ASSERT_TRUE(second->focus(ProbeWidget::line));
    before = restores();
    capsChord({}, KEY_V);
    std::string pasted;
    EXPECT_TRUE(eventually(
        [&] {
            const auto state = second->state(ProbeWidget::line);
            pasted = state ? state->text.toMarked() : "<no state>";
            return pasted != "one |two";
        },
        kDesktopTimeout));
    ASSERT_TRUE(restoredAfter(before)) << program().log();
    EXPECT_EQ(pasted, "one extra payload|two");
    EXPECT_EQ(textOf(*second, "clipboard"), "the user's text");
    EXPECT_EQ(clipboard(), "the user's text");
    application->process.stop();
}

TEST_F(DesktopExtraClipboard, InXtermTheExtraClipboardNeverInterruptsTheRunningProgram)
{
    userCopies("the user's words");
    const std::string out = desktop().folder() + "/cat-out";
    const std::string ended = desktop().folder() + "/cat-ended";
    ChildProcess::Options options;
    options.program = "xterm";
    // An outline font: the VM has no bitmap fonts.
    options.args = {"-fa", "DejaVu Sans Mono", "-fs", "10", "-e", "sh", "-c", "cat > " + out + "; echo $? > " + ended};
    options.env = desktop().clientEnvironment();
    Result<ChildProcess> xterm = ChildProcess::start(std::move(options));
    ASSERT_TRUE(xterm) << xterm.error();
    // Starting xterm takes a while on one emulated processor; the window manager gives it the focus when it
    // shows, and a typed line shows that cat reads what X gives xterm.
    ASSERT_TRUE(
        eventually([&] { return focusedWindowClass().find("XTerm") != std::string::npos; }, 3 * kDesktopTimeout))
        << focusedWindowClass();
    ASSERT_TRUE(keyboard().typeText("typed\n"));
    ASSERT_TRUE(eventually([&] { return readFile(out) == "typed\n"; }, kDesktopTimeout))
        << "cat wrote: " << readFile(out);

    // What the user selected in the terminal is X's PRIMARY selection.
    ASSERT_TRUE(probe().request("selection-set " + escapeLine("from the terminal")));
    std::size_t before = restores();
    capsChord({}, KEY_C, Strokes::none);
    ASSERT_TRUE(restoredAfter(before)) << program().log();
    EXPECT_EQ(clipboard(), "the user's words");

    ASSERT_TRUE(probe().request("selection-set " + escapeLine("the user's selection")));
    before = restores();
    capsChord({}, KEY_V);
    ASSERT_TRUE(restoredAfter(before)) << program().log();
    ASSERT_TRUE(keyboard().tap(KEY_ENTER));
    EXPECT_TRUE(eventually([&] { return readFile(out) == "typed\nfrom the terminal\n"; }, kDesktopTimeout))
        << "cat wrote: " << readFile(out) << "\n"
        << program().log();
    EXPECT_TRUE(readFile(ended).empty()) << "cat ended with " << readFile(ended);
    EXPECT_TRUE(xterm->running());
    EXPECT_EQ(clipboard(), "the user's words");
    EXPECT_EQ(textOf(probe(), "selection"), "the user's selection");
    xterm->stop();
}

}  // namespace
}  // namespace vandrel::vmtest
