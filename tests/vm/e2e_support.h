// What the end-to-end tests share: the real program started in the VM with fresh folders, its output keyboard
// opened, and key events in a form that prints well in assertions.
#pragma once

#include <gtest/gtest.h>
#include <linux/input.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "harness/child_process.h"
#include "harness/input_device.h"
#include "harness/key_log.h"
#include "harness/time_bounds.h"
#include "harness/uinput_keyboard.h"

namespace vandrel::vmtest {

using namespace std::chrono_literals;

// Software emulation on one virtual processor of a busy machine starts the program in over a minute.
inline const std::chrono::milliseconds kProgramStartTimeout = scaled(180000ms);
inline const std::chrono::milliseconds kKeyTimeout = scaled(20000ms);
// The least a stopped program gets to end by itself (see ProgramRun::stop()).
inline constexpr auto kStopGrace = 3000ms;
inline constexpr DeviceIdentity kPhysicalKeyboard{"Vandrel E2E Keyboard", BUS_USB, kTestKeyboardVendor,
                                                  kTestKeyboardProduct};
// Typed after the keys under test: everything up to its release is all they produced.
inline constexpr int kSentinel = KEY_F12;

inline Result<UinputKeyboard> plugKeyboard(std::string_view name = kPhysicalKeyboard.name)
{
    const DeviceIdentity identity{name, kPhysicalKeyboard.bustype, kPhysicalKeyboard.vendor, kPhysicalKeyboard.product};
    return UinputKeyboard::create(identity, UinputKeyboard::Options{});
}

// Plugs the test keyboard in and opens its node, as applications read it (a fatal failure when either fails).
inline void plugKeyboardWithNode(std::optional<UinputKeyboard>& keyboard, std::optional<InputDevice>& node)
{
    Result<UinputKeyboard> plugged = plugKeyboard();
    ASSERT_TRUE(plugged) << plugged.error();
    keyboard.emplace(std::move(plugged).value());
    Result<InputDevice> found = InputDevice::waitForName(keyboard->name(), kKeyTimeout);
    ASSERT_TRUE(found) << found.error();
    node.emplace(std::move(found).value());
}

// Waits, within `timeout`, until `condition` holds; the program reacts on its own threads.
template <class Condition>
bool eventually(Condition condition, std::chrono::milliseconds timeout = kKeyTimeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (condition()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        // Polls what another process does; no timer of ours is waited for.
        struct timespec pause {
            0, 20'000'000
        };
        nanosleep(&pause, nullptr);
    }
}

// The program under test, running with its own settings and data folders.
class ProgramRun {
public:
    // Starts the program and waits until its engine runs and its output keyboard is open here. `env` adds to the
    // fresh folders (a desktop's DISPLAY, for one); `settingsJson`, when not empty, is the user settings file the
    // program finds at start.
    static std::optional<ProgramRun> start(std::vector<std::string> args = {},
                                           std::vector<std::pair<std::string, std::string>> env = {},
                                           const std::string& settingsJson = {})
    {
        std::optional<ProgramRun> run = launch(std::move(args), std::move(env), {}, std::nullopt, settingsJson);
        if (!run || !run->waitForEngine()) return std::nullopt;
        return run;
    }

    // Only starts the program, through `launcher` when given (a command and its arguments, the program's path
    // and arguments follow). With `owner`, its fresh folders belong to that user and group. `settingsJson`: as for
    // start().
    static std::optional<ProgramRun> launch(std::vector<std::string> args = {},
                                            std::vector<std::pair<std::string, std::string>> env = {},
                                            std::vector<std::string> launcher = {},
                                            std::optional<std::pair<uid_t, gid_t>> owner = std::nullopt,
                                            const std::string& settingsJson = {})
    {
        ProgramRun run;
        char configTemplate[] = "/tmp/vandrel-e2e-config.XXXXXX";
        char dataTemplate[] = "/tmp/vandrel-e2e-data.XXXXXX";
        char runtimeTemplate[] = "/tmp/vandrel-e2e-runtime.XXXXXX";
        if (!mkdtemp(configTemplate) || !mkdtemp(dataTemplate) || !mkdtemp(runtimeTemplate)) {
            ADD_FAILURE() << "temp folders cannot be made";
            return std::nullopt;
        }
        // A launch after the first: the welcome window of a first launch would take the desktop's focus. The
        // caller's settings, an object, join that one.
        const std::filesystem::path settings = std::filesystem::path(configTemplate) / "Vandrel";
        std::filesystem::create_directories(settings);
        std::string json = R"({"app_theTimeFirstLaunch": "2026-01-01T00:00:00.000Z")";
        if (const auto open = settingsJson.find('{'); open != std::string::npos) {
            const std::string members = settingsJson.substr(open + 1, settingsJson.rfind('}') - open - 1);
            if (members.find_first_not_of(" \n\t") != std::string::npos) json += ", " + members;
        }
        std::ofstream(settings / "settings.json") << json << "}";
        if (owner) {
            for (const std::filesystem::path& path :
                 {std::filesystem::path(configTemplate), settings, settings / "settings.json",
                  std::filesystem::path(dataTemplate), std::filesystem::path(runtimeTemplate)}) {
                if (::chown(path.c_str(), owner->first, owner->second) != 0) {
                    ADD_FAILURE() << "cannot hand " << path << " over";
                    return std::nullopt;
                }
            }
        }
        ChildProcess::Options options;
        options.program = VANDREL_PROGRAM_PATH;
        options.args = std::move(args);
        if (!launcher.empty()) {
            options.args.insert(options.args.begin(), options.program);
            options.args.insert(options.args.begin(), launcher.begin() + 1, launcher.end());
            options.program = launcher.front();
        }
        options.env = {{"XDG_CONFIG_HOME", configTemplate}, {"XDG_DATA_HOME", dataTemplate}};
        // Another user cannot use root's runtime folder.
        if (owner) options.env.emplace_back("XDG_RUNTIME_DIR", runtimeTemplate);
        options.env.insert(options.env.end(), env.begin(), env.end());
        Result<ChildProcess> child = ChildProcess::start(std::move(options));
        if (!child) {
            ADD_FAILURE() << child.error();
            return std::nullopt;
        }
        run.process_.emplace(std::move(child).value());
        run.launched_ = std::chrono::steady_clock::now();
        return run;
    }

    // Waits until the engine runs and opens its output keyboard here.
    bool waitForEngine()
    {
        Result<InputDevice> output = InputDevice::waitForIdentity(kVandrelVirtualKeyboard, kProgramStartTimeout);
        if (!output) {
            ADD_FAILURE() << output.error() << "\nprogram output:\n" << log();
            return false;
        }
        output_.emplace(std::move(output).value());
        if (!process_->waitForErrorOutput("Keyboard engine started", kProgramStartTimeout)) {
            ADD_FAILURE() << "the engine did not start; program output:\n" << log();
            return false;
        }
        startup_ = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - launched_);
        return true;
    }

    // How long the program took from its launch until its engine ran (zero until waitForEngine() saw it).
    std::chrono::milliseconds startup() const { return startup_; }

    // SIGTERM, then SIGKILL when the program has not ended by itself in time. How long its shutdown takes follows
    // how slow this build is on this machine, which its start-up measured: it gets twice that (a shutdown does
    // less than a start-up), and never less than kStopGrace.
    ExitStatus stop() { return process_->stop(std::max<std::chrono::milliseconds>(kStopGrace, 2 * startup_)); }

    ChildProcess& process() { return *process_; }
    // What the program printed; its log goes to standard error.
    std::string log() const { return process_->output() + process_->errorOutput(); }
    InputDevice& output() { return *output_; }

    // Key events on the output up to and including the sentinel's release, which is typed on `keyboard` first.
    std::vector<Key> keysUntilSentinel(UinputKeyboard& keyboard)
    {
        if (!keyboard.tap(kSentinel)) ADD_FAILURE() << "the sentinel cannot be typed";
        std::vector<Key> keys;
        const auto deadline = std::chrono::steady_clock::now() + kKeyTimeout;
        while (std::chrono::steady_clock::now() < deadline) {
            const std::optional<input_event> event = output_->readEvent(100ms);
            if (!event || event->type != EV_KEY) continue;
            keys.push_back({event->code, event->value});
            if (event->code == kSentinel && event->value == 0) return keys;
        }
        ADD_FAILURE() << "the sentinel never came out; got " << ::testing::PrintToString(keys);
        return keys;
    }

    // The same, without the sentinel's own tap.
    std::vector<Key> keysBeforeSentinel(UinputKeyboard& keyboard)
    {
        std::vector<Key> keys = keysUntilSentinel(keyboard);
        const std::vector<Key> sentinel = tapOf(kSentinel);
        if (keys.size() >= 2 && std::equal(sentinel.begin(), sentinel.end(), keys.end() - 2))
            keys.resize(keys.size() - 2);
        return keys;
    }

    // The next `count` key events on the output (fewer when they do not come in time).
    std::vector<Key> readKeys(std::size_t count) { return keysOf(output_->readKeyEvents(count, kKeyTimeout)); }

    // Checks that the output gives exactly `expected` (strokes of actions that show something come from the main
    // queue, after the keys that caused them) and then nothing more up to the sentinel.
    void expectOutput(UinputKeyboard& keyboard, const std::vector<Key>& expected, std::string_view what = {})
    {
        EXPECT_EQ(readKeys(expected.size()), expected) << what;
        EXPECT_EQ(keysBeforeSentinel(keyboard), std::vector<Key>{}) << what << ": nothing more";
    }

    // Waits until `text` has appeared `times` times in the program's output.
    bool waitForOutputCount(std::string_view text, int times, std::chrono::milliseconds timeout = kKeyTimeout)
    {
        return eventually(
            [&] {
                const std::string out = log();
                int found = 0;
                for (std::size_t at = out.find(text); at != std::string::npos; at = out.find(text, at + 1)) ++found;
                return found >= times;
            },
            timeout);
    }

    std::vector<int> keysDownOnOutput()
    {
        Result<std::vector<int>> keys = output_->pressedKeys();
        if (!keys) {
            ADD_FAILURE() << keys.error();
            return {};
        }
        return keys.value();
    }

    // While Caps is held: Caps+E, one line up in the default layout. Once its Up came out the hold has run an
    // action, so releasing Caps is no Caps tap, however quick the hold.
    void runActionInHold(UinputKeyboard& keyboard)
    {
        EXPECT_TRUE(keyboard.tap(KEY_E));
        EXPECT_EQ(readKeys(2), (std::vector<Key>{{KEY_UP, 1}, {KEY_UP, 0}})) << "Caps+E";
    }

private:
    ProgramRun() = default;

    std::optional<ChildProcess> process_;
    std::chrono::steady_clock::time_point launched_;
    std::chrono::milliseconds startup_{0};
    std::optional<InputDevice> output_;
};

// A test suite that shares one program run: the physical keyboard is plugged in before the start, as a
// keyboard usually is; every test starts with a running program and an empty output and leaves no key down.
// Suite is the deriving class, so each suite has its own run.
template <class Suite>
class ProgramSuite : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        Result<UinputKeyboard> keyboard = plugKeyboard();
        ASSERT_TRUE(keyboard) << keyboard.error();
        keyboard_ = new UinputKeyboard(std::move(keyboard).value());
        ASSERT_TRUE(InputDevice::waitForName(keyboard_->name(), kKeyTimeout));
        std::optional<ProgramRun> run = ProgramRun::start();
        ASSERT_TRUE(run);
        run_ = new ProgramRun(std::move(*run));
    }

    static void TearDownTestSuite()
    {
        if (run_) {
            const std::string log = run_->log();
            std::cout << "program output (tail):\n"
                      << (log.size() > 4000 ? log.substr(log.size() - 4000) : log) << std::endl;
        }
        delete run_;
        delete keyboard_;
        run_ = nullptr;
        keyboard_ = nullptr;
    }

    void SetUp() override
    {
        ASSERT_NE(run_, nullptr);
        ASSERT_TRUE(run_->process().running()) << run_->log();
        run_->output().drain();
    }

    void TearDown() override
    {
        if (run_ && run_->process().running()) {
            EXPECT_EQ(run_->keysDownOnOutput(), std::vector<int>{});
        }
    }

    static UinputKeyboard& keyboard() { return *keyboard_; }
    static ProgramRun& run() { return *run_; }

    static inline UinputKeyboard* keyboard_ = nullptr;
    static inline ProgramRun* run_ = nullptr;
};

}  // namespace vandrel::vmtest
