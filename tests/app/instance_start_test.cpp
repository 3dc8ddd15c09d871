// One Vandrel per user and machine, proven on the program itself: started again and again, in the environments a
// desktop and su, sudo, cron or a service give it. Every start runs as a user of its own that the machine does not
// know, so it meets no instance of a real user and can read no keyboard (the program waits for keyboard access),
// and without a display (the offscreen platform). Starting as another user needs root; elsewhere the test skips.
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "core/instance_channel.h"
#include "harness/child_process.h"

namespace vandrel {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using vmtest::ChildProcess;

class InstanceStartTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (::geteuid() != 0) GTEST_SKIP() << "starting the program as a user of its own needs root";
        while (::getpwuid(user) || fs::exists(ownTemporary())) ++user;
        char pattern[] = "/tmp/instance-start-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        root = pattern, home = root / "home", runtime = root / "runtime";
        fs::permissions(root, fs::perms(0755));
        for (const auto& folder : {home, runtime}) {
            fs::create_directory(folder);
            ASSERT_EQ(::chown(folder.c_str(), user, user), 0);
            fs::permissions(folder, fs::perms(0700));
        }
    }
    void TearDown() override
    {
        if (root.empty()) return;
        fs::remove_all(ownTemporary());
        fs::remove_all(root);
        // What Qt makes as the runtime folder of a user the machine does not know.
        if (struct stat info{}; ::lstat("/tmp/runtime-", &info) == 0 && info.st_uid == user)
            fs::remove_all("/tmp/runtime-");
    }

    fs::path ownTemporary() const { return "/tmp/vandrel-" + std::to_string(user); }
    // Every folder the program marks itself in, as the test's user starts it from the desktop.
    std::vector<fs::path> instanceFolders() const
    {
        const std::string machine = InstanceChannel::Paths::Places::standard().machine;
        return {runtime, ownTemporary(), home / ".cache/vandrel" / ("instance-" + machine)};
    }

    // As the desktop starts it, the program has a private $XDG_RUNTIME_DIR; from su, sudo or cron it has none.
    // With a gate folder the start waits, once it has marked itself ready there, until the gate's file "open"
    // is made.
    ChildProcess start(std::vector<std::string> arguments, bool fromTheDesktop, const fs::path& gate = {},
                       const std::string& program = VANDREL_PROGRAM_PATH)
    {
        ChildProcess::Options o;
        o.program = "setpriv";
        o.args = {"--reuid", std::to_string(user), "--regid", std::to_string(user), "--clear-groups", "--", program};
        if (!gate.empty()) {
            o.args.insert(o.args.begin(), {"-c",
                                           "touch \"$0/ready.$$\"; while [ ! -e \"$0/open\" ]; do sleep 0.001; done; "
                                           "exec \"$@\"",
                                           gate.string(), "setpriv"});
            o.program = "sh";
        }
        o.args.insert(o.args.end(), arguments.begin(), arguments.end());
        o.inheritEnvironment = false;
        o.env = {{"PATH", "/usr/bin:/bin"}, {"HOME", home.string()}, {"QT_QPA_PLATFORM", "offscreen"}};
        if (fromTheDesktop) o.env.emplace_back("XDG_RUNTIME_DIR", runtime.string());
        for (const char* sanitizer : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "TSAN_OPTIONS"})
            if (const char* value = std::getenv(sanitizer)) o.env.emplace_back(sanitizer, value);
        o.workingDirectory = home.string();
        return std::move(ChildProcess::start(std::move(o)).value());
    }
    std::string startAndEnd(std::vector<std::string> arguments)
    {
        auto later = start(std::move(arguments), false);
        const auto status = later.wait(60s);
        EXPECT_TRUE(status && status->exitedWith(0)) << later.output() << later.errorOutput();
        return later.output();
    }

    uid_t user = 61000 + static_cast<uid_t>(::getpid() % 3000);
    fs::path root, home, runtime;
};

constexpr std::string_view kListening = ">>>> the logger is set <<<<";

TEST_F(InstanceStartTest, AStartWithoutTheDesktopsRuntimeFolderMeetsTheRunningOneAndTheRescueMakesItQuit)
{
    auto running = start({}, true);
    // Once it has its log it listens, in every folder it could use.
    ASSERT_TRUE(running.waitForErrorOutput(kListening, 60s)) << running.errorOutput();
    for (const auto& folder : instanceFolders()) EXPECT_TRUE(fs::is_socket(folder / "vandrel.socket")) << folder;

    EXPECT_NE(startAndEnd({}).find("Vandrel is already running"), std::string::npos);
    EXPECT_TRUE(running.running()) << "one instance, and it goes on";
    EXPECT_NE(startAndEnd({"--unremap-capslock"}).find("Vandrel had not remapped Caps Lock"), std::string::npos);
    const auto end = running.wait(60s);
    EXPECT_TRUE(end && end->exitedWith(0)) << running.errorOutput();
}

// A running Vandrel that is stopped (a debugger, a frozen session) still takes a start's message, as the kernel queues
// it: a start, the rescue and the login-item helper each end promptly all the same, and it hears the start once
// when it goes on.
TEST_F(InstanceStartTest, AStoppedInstanceHoldsUpNoStartRescueOrHelperAndHearsTheStartOnceLetGo)
{
    auto running = start({}, true);
    ASSERT_TRUE(running.waitForErrorOutput(kListening, 60s)) << running.errorOutput();
    ASSERT_TRUE(running.signal(SIGSTOP));
    for (const auto& [arguments, program, code] :
         {std::tuple<std::vector<std::string>, std::string, int>{{}, VANDREL_PROGRAM_PATH, 1},
          {{"--unremap-capslock"}, VANDREL_PROGRAM_PATH, 1},
          {{}, VANDREL_HELPER_PATH, 0}}) {  // the helper starts nothing
        const auto begin = std::chrono::steady_clock::now();
        auto later = start(arguments, false, {}, program);
        const auto status = later.wait(60s);
        EXPECT_LT(std::chrono::steady_clock::now() - begin, 3500ms) << program;
        EXPECT_TRUE(status && status->exitedWith(code)) << later.output() << later.errorOutput();
        EXPECT_EQ(later.output().find("does not answer") != std::string::npos, code == 1) << later.output();
    }
    ASSERT_TRUE(running.signal(SIGCONT));
    // It hears the start, then the rescue, and quits.
    const auto end = running.wait(60s);
    EXPECT_TRUE(end && end->exitedWith(0)) << running.errorOutput();
    const std::string log = running.errorOutput(), forward = "asked this one to come forward";
    EXPECT_EQ(log.find(forward, log.find(forward) + 1), std::string::npos) << log;
    EXPECT_NE(log.find(forward), std::string::npos) << log;
}

// Autostart, the menu and a terminal at the same moment, while others ask whether Vandrel runs as the login-item
// helper and the rescue do: one start becomes the instance, every other hands over to it.
TEST_F(InstanceStartTest, StartsAtTheSameMomentWhileOthersAskMakeExactlyOneInstance)
{
    InstanceChannel::Paths asked;
    for (const auto& folder : instanceFolders())
        asked.locations.push_back(InstanceChannel::Paths::in(folder).locations[0]);
    std::vector<std::jthread> askers;
    for (int i = 0; i < 3; ++i)
        askers.emplace_back([&](const std::stop_token& stop) {
            while (!stop.stop_requested()) InstanceChannel::isRunning(asked);
        });
    constexpr int kRounds = 20, kStarts = 8;
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const fs::path gate = root / ("gate" + std::to_string(round));
        fs::create_directory(gate);
        std::vector<ChildProcess> starts;
        for (int i = 0; i < kStarts; ++i) starts.push_back(start({}, i % 2 == 0, gate));
        const auto ready = [&] { return std::distance(fs::directory_iterator(gate), {}) == kStarts; };
        for (const auto deadline = std::chrono::steady_clock::now() + 60s; !ready(); std::this_thread::sleep_for(1ms))
            ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the starts never reached the gate";
        std::ofstream(gate / "open").put('x');
        int instances = 0;
        for (auto& child : starts) {
            // The one instance says so in its log; every other start ends.
            if (child.waitForErrorOutput(kListening, 60s) && child.running()) {
                ++instances;
                continue;
            }
            const auto status = child.wait(60s);
            EXPECT_TRUE(status && status->exitedWith(0)) << child.output() << child.errorOutput();
            EXPECT_NE(child.output().find("Vandrel is already running"), std::string::npos) << child.output();
            EXPECT_EQ(child.output().find("does not answer"), std::string::npos) << child.output();
        }
        EXPECT_EQ(instances, 1);
        for (auto& child : starts) {
            if (!child.running()) continue;
            EXPECT_TRUE(child.stop(60s).exitedWith(0)) << child.errorOutput();
        }
    }
}

}  // namespace
}  // namespace vandrel
