#include "desktop_suite.h"

#include <algorithm>
#include <iostream>

#include "harness/text_lines.h"

namespace vandrel::vmtest {

namespace {

// Registered before main() runs the tests: one desktop for the whole binary.
[[maybe_unused]] ::testing::Environment* const kDesktop = ::testing::AddGlobalTestEnvironment(new DesktopEnvironment);

std::string joined(const std::vector<std::string>& entries)
{
    std::string out;
    for (const std::string& entry : entries) out += (out.empty() ? "" : " ") + entry;
    return out.empty() ? "(nothing)" : out;
}

// Events a stroke of `c` costs a reader: press and release of the key, and of Shift when needed, each with
// its SYN_REPORT.
std::size_t eventsOf(char c)
{
    const std::optional<KeyStroke> stroke = UinputKeyboard::strokeFor(c);
    return stroke && stroke->shift ? 8 : 4;
}

}  // namespace

void DesktopEnvironment::SetUp()
{
    current_ = this;
    Result<std::unique_ptr<DesktopSession>> session = DesktopSession::start();
    ASSERT_TRUE(session) << session.error();
    session_ = std::move(session).value();

    // The physical keyboard is there before the program starts, as a keyboard usually is.
    Result<UinputKeyboard> keyboard = plugKeyboard();
    ASSERT_TRUE(keyboard) << keyboard.error();
    keyboard_.emplace(std::move(keyboard).value());
    ASSERT_TRUE(InputDevice::waitForName(keyboard_->name(), kKeyTimeout));

    // The probe and the program start while the window manager comes up: each takes seconds under emulation.
    Result<ProbeClient> probe = ProbeClient::listen(session_->folder() + "/probe.sock");
    ASSERT_TRUE(probe) << probe.error();
    probe_.emplace(std::move(probe).value());
    ChildProcess::Options options;
    options.program = VANDREL_DESKTOP_PROBE_PATH;
    options.args = {"--channel", probe_->path()};
    options.env = session_->clientEnvironment();
    Result<ChildProcess> probeProcess = ChildProcess::start(std::move(options));
    ASSERT_TRUE(probeProcess) << probeProcess.error();
    probeProcess_.emplace(std::move(probeProcess).value());

    ASSERT_NO_FATAL_FAILURE(startProgram());
    const Status managed = session_->waitForWindowManager();
    ASSERT_TRUE(managed) << managed.error();
    const Status accepted = probe_->accept(kProgramStartTimeout);
    ASSERT_TRUE(accepted) << accepted.error() << "\nprobe output:\n"
                          << probeProcess_->output() << probeProcess_->errorOutput();
    // Keys typed before X reads the program's keyboard would be lost.
    const Status added = session_->waitForInputDevice(kVandrelVirtualKeyboard.name, kDesktopTimeout);
    ASSERT_TRUE(added) << added.error();
    std::cout << "desktop started:\n" << session_->startupTimes() << std::flush;
}

void DesktopEnvironment::startProgram()
{
    // With the hotstring binding (Caps+Tab) and a cheat sheet that closes with Caps, which no other scenario
    // uses.
    std::optional<ProgramRun> run =
        ProgramRun::start({}, {{"DISPLAY", session_->displayName()}},
                          R"({"experimental_hotstring": true, "cheatSheet_isWindowPined": false})");
    ASSERT_TRUE(run) << session_->serverLogTail();
    program_.emplace(std::move(*run));
}

void DesktopEnvironment::restartProgram()
{
    const ExitStatus status = program_->process().stop();
    ASSERT_TRUE(status.exitedWith(0)) << status.describe();
    program_.reset();
    const Status removed = session_->waitForInputDevice(kVandrelVirtualKeyboard.name, kDesktopTimeout, false);
    ASSERT_TRUE(removed) << removed.error();
    ASSERT_NO_FATAL_FAILURE(startProgram());
    const Status added = session_->waitForInputDevice(kVandrelVirtualKeyboard.name, kDesktopTimeout);
    ASSERT_TRUE(added) << added.error();
}

void DesktopEnvironment::TearDown()
{
    if (program_) {
        const ExitStatus status = program_->process().stop();
        std::cout << "program ended: " << status.describe() << std::endl;
    }
    program_.reset();
    probe_.reset();
    probeProcess_.reset();
    keyboard_.reset();
    session_.reset();
    current_ = nullptr;
}

void DesktopScenario::SetUp()
{
    DesktopEnvironment* environment = DesktopEnvironment::current();
    ASSERT_TRUE(environment && environment->ready()) << "the desktop did not start";
    ASSERT_TRUE(desktop().running()) << desktop().serverLogTail();
    ASSERT_TRUE(program().process().running()) << lastLines(program().log(), 40, "  ");
    ASSERT_TRUE(env().probeProcess().running()) << env().probeProcess().errorOutput();
    // What earlier scenarios left in the logs is theirs.
    const Result<std::vector<std::string>> earlier = probe().keys();
    ASSERT_TRUE(earlier) << earlier.error();
    program().output().drain();
}

void DesktopScenario::TearDown()
{
    DesktopEnvironment* environment = DesktopEnvironment::current();
    if (!environment || !environment->ready()) return;
    if (HasFailure()) {
        printDiagnostics();
        // A scenario that stopped mid-chord leaves no key held for the next one (the kernel ignores the release
        // of a key that is up).
        for (int key : {KEY_CAPSLOCK, KEY_LEFTMETA, KEY_LEFTALT, KEY_LEFTCTRL, KEY_LEFTSHIFT})
            (void)keyboard().release(key);
    }
    if (layoutChanged_) {
        const Status restored = changeLayout("us");
        EXPECT_TRUE(restored) << restored.error();
    }
    if (program().process().running()) {
        EXPECT_EQ(program().keysDownOnOutput(), std::vector<int>{});
    }
    // A lock left on would turn every later scenario's typing upper case.
    if (const Result<bool> locked = desktop().capsLockLocked(); locked && *locked) {
        ADD_FAILURE() << "Caps Lock was left locked";
        desktop().setCapsLockLocked(false);
    }
}

void DesktopScenario::printDiagnostics()
{
    std::cout << "--- what the desktop shows ---\n";
    for (ProbeWidget widget : {ProbeWidget::edit, ProbeWidget::line}) {
        const Result<ProbeState> state = probe().state(widget);
        std::cout << (widget == ProbeWidget::edit ? "QTextEdit: " : "QLineEdit: ");
        if (state)
            std::cout << state->text << " (anchor " << state->text.anchor << ", cursor " << state->text.cursor
                      << ", focus " << state->focus << ", window active " << state->active << ", X focus "
                      << state->xFocus << ", quits " << state->quits << ")\n";
        else
            std::cout << "no state: " << state.error() << "\n";
    }
    fetchKeys();
    std::cout << "X key log of the scenario: " << joined(keyLog_) << "\n";
    std::cout << "program log (tail):\n" << lastLines(program().log(), 40, "  ");
    std::cout << "probe output (tail):\n" << lastLines(env().probeProcess().errorOutput(), 10, "  ") << std::flush;
}

void DesktopScenario::put(ProbeWidget widget, std::string_view marked)
{
    put(widget, TextState::marked(marked));
}

void DesktopScenario::put(ProbeWidget widget, const TextState& state)
{
    const Status set = probe().set(widget, state);
    ASSERT_TRUE(set) << set.error();
    const Status focused = probe().focus(widget);
    ASSERT_TRUE(focused) << focused.error();
}

void DesktopScenario::fetchKeys()
{
    const Result<std::vector<std::string>> keys = probe().keys();
    if (!keys) {
        ADD_FAILURE() << keys.error();
        return;
    }
    keyLog_.insert(keyLog_.end(), keys->begin(), keys->end());
}

int DesktopScenario::sentinelReleasesLogged() const
{
    const std::string release = "-" + std::string(kSentinelName);
    return static_cast<int>(std::count(keyLog_.begin(), keyLog_.end(), release));
}

ProbeState DesktopScenario::settle(ProbeWidget widget)
{
    Result<ProbeState> state = probe().state(widget);
    if (!state) {
        ADD_FAILURE() << state.error();
        return {};
    }
    fetchKeys();
    const int widgetSentinels = state->sentinels;
    const int loggedSentinels = sentinelReleasesLogged();
    if (!keyboard().tap(kSentinel)) ADD_FAILURE() << "the sentinel cannot be typed";
    const bool arrived = eventually(
        [&] {
            fetchKeys();
            state = probe().state(widget);
            return state && state->sentinels > widgetSentinels && sentinelReleasesLogged() > loggedSentinels;
        },
        kDesktopTimeout);
    if (!state) {
        ADD_FAILURE() << state.error();
        return {};
    }
    if (!arrived)
        ADD_FAILURE() << "the sentinel did not reach "
                      << (state->sentinels > widgetSentinels ? "X's key log" : "the widget") << " in time (focus "
                      << state->focus << ", window active " << state->active << ", X focus " << state->xFocus << ")";
    return *state;
}

void DesktopScenario::type(ProbeWidget widget, std::string_view text)
{
    constexpr std::size_t kEventsPerBurst = 48;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = start;
        for (std::size_t events = 0; end < text.size() && events + eventsOf(text[end]) <= kEventsPerBurst; ++end)
            events += eventsOf(text[end]);
        const Status typed = keyboard().typeText(text.substr(start, end - start));
        ASSERT_TRUE(typed) << typed.error();
        settle(widget);
        start = end;
    }
}

bool DesktopScenario::waitForProgramStrokes(int code)
{
    const auto deadline = std::chrono::steady_clock::now() + kDesktopTimeout;
    while (std::chrono::steady_clock::now() < deadline) {
        const std::optional<input_event> event = program().output().readEvent(100ms);
        if (event && event->type == EV_KEY && (code == kAnyKey || event->code == code)) return true;
    }
    return false;
}

void DesktopScenario::capsChord(const std::vector<int>& modifiers, int key, Strokes strokes)
{
    program().output().drain();
    ASSERT_TRUE(keyboard().press(KEY_CAPSLOCK));
    for (int modifier : modifiers) ASSERT_TRUE(keyboard().press(modifier));
    ASSERT_TRUE(keyboard().tap(key));
    if (strokes == Strokes::expected) {
        EXPECT_TRUE(waitForProgramStrokes()) << "the program posted nothing for key " << key;
    }
    for (auto it = modifiers.rbegin(); it != modifiers.rend(); ++it) ASSERT_TRUE(keyboard().release(*it));
    ASSERT_TRUE(keyboard().release(KEY_CAPSLOCK));
}

std::vector<std::string> DesktopScenario::scenarioKeyLog()
{
    fetchKeys();
    return withoutKey(keyLog_, kSentinelName);
}

std::vector<std::string> DesktopScenario::newKeyLog()
{
    fetchKeys();
    std::vector<std::string> fresh(keyLog_.begin() + static_cast<std::ptrdiff_t>(keyLogMark_), keyLog_.end());
    keyLogMark_ = keyLog_.size();
    return withoutKey(std::move(fresh), kSentinelName);
}

void DesktopScenario::setLayout(std::string_view layout)
{
    layoutChanged_ = true;
    const Status set = changeLayout(layout);
    ASSERT_TRUE(set) << set.error();
}

// X types with the new layout at once; the program follows once it has read the new keymap (a tenth of a second
// and more in an emulated machine), and a chord before that would type by the old one.
Status DesktopScenario::changeLayout(std::string_view layout)
{
    constexpr std::string_view reread = "keymap changed, read it again";
    const std::string log = program().log();
    int before = 0;
    for (std::size_t at = log.find(reread); at != std::string::npos; at = log.find(reread, at + 1)) ++before;
    if (Status set = desktop().setLayout(layout); !set) return set;
    if (!program().waitForOutputCount(reread, before + 1))
        return Status::failure("the program did not read the new keymap");
    return Status::success();
}

}  // namespace vandrel::vmtest
