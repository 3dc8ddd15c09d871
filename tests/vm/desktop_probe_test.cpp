// The desktop suite's probe applications (Qt and GTK) on the host, on a private Xvfb: what they report of their
// widgets, what their key logger makes of X's events (keys sent with XTest), and how they answer requests they
// cannot serve.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <string>
#include <vector>

#include "harness/child_process.h"
#include "harness/probe_client.h"
#include "support/x11_test_server.h"

// After Xlib (pulled in by the test server): XTest, then away with the macro that hides the harness's Status.
// clang-format off
#include <X11/extensions/XTest.h>
#undef Status
// clang-format on

namespace vandrel::vmtest {
namespace {

using namespace std::chrono_literals;

class DesktopProbeTest : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override
    {
        server_.emplace(/*windowManager=*/false);
        ASSERT_TRUE(server_->ok()) << server_->failure();
        display_ = XOpenDisplay(server_->display().c_str());
        ASSERT_NE(display_, nullptr);
        char folder[] = "/tmp/vandrel-probe-test.XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        folder_ = folder;
        Result<ProbeClient> client = ProbeClient::listen(folder_ + "/probe.sock");
        ASSERT_TRUE(client) << client.error();
        client_.emplace(std::move(client).value());
        ChildProcess::Options options;
        options.program = GetParam();
        options.args = {"--channel", client_->path()};
        options.env = {{"DISPLAY", server_->display()}, {"QT_QPA_PLATFORM", "xcb"}};
        Result<ChildProcess> probe = ChildProcess::start(std::move(options));
        ASSERT_TRUE(probe) << probe.error();
        probe_.emplace(std::move(probe).value());
        const Status accepted = client_->accept(20000ms);
        ASSERT_TRUE(accepted) << accepted.error() << probe_->errorOutput();
    }

    void TearDown() override
    {
        client_.reset();
        if (probe_) probe_->stop();
        if (display_) XCloseDisplay(display_);
        std::filesystem::remove_all(folder_);
    }

    // A key as a keyboard of the server sends it.
    void send(KeySym symbol, bool press)
    {
        XTestFakeKeyEvent(display_, XKeysymToKeycode(display_, symbol), press, CurrentTime);
        XSync(display_, False);
    }
    void tap(KeySym symbol)
    {
        send(symbol, true);
        send(symbol, false);
    }

    // Waits until the widget has seen `count` sentinel releases; its state then.
    ProbeState stateAfterSentinels(ProbeWidget widget, int count)
    {
        Result<ProbeState> state = client_->state(widget);
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (state && state->sentinels < count && std::chrono::steady_clock::now() < deadline)
            state = client_->state(widget);
        EXPECT_TRUE(state) << state.error();
        EXPECT_EQ(state->sentinels, count);
        return state ? *state : ProbeState{};
    }

    std::optional<test::X11TestServer> server_;
    Display* display_ = nullptr;
    std::string folder_;
    std::optional<ProbeClient> client_;
    std::optional<ChildProcess> probe_;
};

TEST_P(DesktopProbeTest, TextAndSelectionComeBackAsSetInBothWidgetsAndDirections)
{
    for (ProbeWidget widget : {ProbeWidget::edit, ProbeWidget::line}) {
        // Leading spaces and an escape-worthy backslash survive the trip; tabs and newlines only in the edit.
        const std::vector<TextState> states =
            widget == ProbeWidget::edit
                ? std::vector<TextState>{TextState::marked("  lead\\in^g\ttext\nnext| line"),
                                         TextState::marked("a|bc^d"), TextState::marked("|")}
                : std::vector<TextState>{TextState::marked("  one ^two| three"), TextState::marked("o|ne tw^o"),
                                         TextState::marked("end|")};
        for (const TextState& state : states) {
            ASSERT_TRUE(client_->set(widget, state));
            const Result<ProbeState> reported = client_->state(widget);
            ASSERT_TRUE(reported) << reported.error();
            EXPECT_EQ(reported->text, state) << nameOf(widget);
        }
    }
}

TEST_P(DesktopProbeTest, RequestsItCannotServeAreAnsweredWithAnError)
{
    EXPECT_FALSE(client_->request("frobnicate edit"));
    EXPECT_FALSE(client_->request("state nowhere"));
    EXPECT_FALSE(client_->request("set edit 9 0 abc")) << "a position outside the text";
    EXPECT_FALSE(client_->request("set edit 1 x abc"));
    EXPECT_FALSE(client_->request("set line 0 0 dangling\\"));
    // And it goes on answering.
    EXPECT_TRUE(client_->set(ProbeWidget::line, TextState::marked("ok|")));
}

TEST_P(DesktopProbeTest, KeysReachTheFocusedWidgetAndTheKeyLogInOrder)
{
    ASSERT_TRUE(client_->set(ProbeWidget::line, TextState::marked("|")));
    const Status focused = client_->focus(ProbeWidget::line);
    ASSERT_TRUE(focused) << focused.error();
    tap(XK_h);
    tap(XK_i);
    tap(XK_F12);
    const ProbeState state = stateAfterSentinels(ProbeWidget::line, 1);
    EXPECT_EQ(state.text, TextState::marked("hi|"));
    EXPECT_EQ(state.focus, "line");
    EXPECT_TRUE(state.xFocus);

    // The log is X's, whoever has the focus, read over a connection of its own: it may trail the widget. Each
    // request takes what came since the last.
    std::vector<std::string> keys;
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while ((keys.empty() || keys.back() != "-F12") && std::chrono::steady_clock::now() < deadline) {
        const Result<std::vector<std::string>> more = client_->keys();
        ASSERT_TRUE(more) << more.error();
        keys.insert(keys.end(), more->begin(), more->end());
    }
    EXPECT_EQ(keys, (std::vector<std::string>{"+h", "-h", "+i", "-i", "+F12", "-F12"}));
    const Result<std::vector<std::string>> again = client_->keys();
    ASSERT_TRUE(again) << again.error();
    EXPECT_EQ(*again, std::vector<std::string>{});
}

TEST_P(DesktopProbeTest, TheQuitShortcutIsCountedAndTheProbeStays)
{
    ASSERT_TRUE(client_->set(ProbeWidget::edit, TextState::marked("text|")));
    ASSERT_TRUE(client_->focus(ProbeWidget::edit));
    send(XK_Control_L, true);
    tap(XK_q);
    send(XK_Control_L, false);
    tap(XK_F12);
    const ProbeState state = stateAfterSentinels(ProbeWidget::edit, 1);
    EXPECT_EQ(state.quits, 1);
    EXPECT_EQ(state.text, TextState::marked("text|"));
    EXPECT_TRUE(probe_->running());
}

TEST_P(DesktopProbeTest, TheKeyLogNamesKeysInTheLayoutLoadedLast)
{
    const KeyCode q = XKeysymToKeycode(display_, XK_q);
    ChildProcess::Options options;
    options.program = "setxkbmap";
    options.args = {"-display", server_->display(), "fr"};
    Result<ChildProcess> setxkbmap = ChildProcess::start(std::move(options));
    ASSERT_TRUE(setxkbmap) << setxkbmap.error();
    const std::optional<ExitStatus> status = setxkbmap->wait(15000ms);
    ASSERT_TRUE(status && status->exitedWith(0)) << setxkbmap->errorOutput();
    // The key where a US keyboard has Q types A on a French one.
    XTestFakeKeyEvent(display_, q, True, CurrentTime);
    XTestFakeKeyEvent(display_, q, False, CurrentTime);
    XSync(display_, False);
    std::vector<std::string> logged;
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (logged.size() < 2 && std::chrono::steady_clock::now() < deadline) {
        const Result<std::vector<std::string>> keys = client_->keys();
        ASSERT_TRUE(keys) << keys.error();
        logged.insert(logged.end(), keys->begin(), keys->end());
    }
    EXPECT_EQ(logged, (std::vector<std::string>{"+a", "-a"}));
}

INSTANTIATE_TEST_SUITE_P(Toolkits, DesktopProbeTest,
                         ::testing::Values(VANDREL_DESKTOP_PROBE_PATH, VANDREL_GTK_DESKTOP_PROBE_PATH),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return std::string(info.param) == VANDREL_DESKTOP_PROBE_PATH ? "Qt" : "Gtk";
                         });

}  // namespace
}  // namespace vandrel::vmtest
