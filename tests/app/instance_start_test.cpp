// One Vandrel per user and machine, proven on the program itself: started twice, in the environments a desktop and su,
// sudo, cron or a service give it. Every start runs as a user of its own that the machine does not know, so it
// meets no instance of a real user and can read no keyboard (the program waits for keyboard access), and
// without a display (the offscreen platform). Starting as another user needs root; elsewhere the test skips.
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/instance_channel.h"
#include "harness/child_process.h"

namespace vandrel {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using vmtest::ChildProcess;

TEST(InstanceStartTest, AStartWithoutTheDesktopsRuntimeFolderMeetsTheRunningOneAndTheRescueMakesItQuit)
{
    if (::geteuid() != 0) GTEST_SKIP() << "starting the program as a user of its own needs root";
    uid_t user = 61000 + static_cast<uid_t>(::getpid() % 3000);
    const auto ownTemporary = [&] { return fs::path("/tmp/vandrel-" + std::to_string(user)); };
    while (::getpwuid(user) || fs::exists(ownTemporary())) ++user;
    char pattern[] = "/tmp/instance-start-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const fs::path root = pattern, home = root / "home", runtime = root / "runtime";
    const std::shared_ptr<void> cleanUp(nullptr, [&](void*) {
        fs::remove_all(ownTemporary());
        fs::remove_all(root);
        // What Qt makes as the runtime folder of a user the machine does not know.
        if (struct stat info{}; ::lstat("/tmp/runtime-", &info) == 0 && info.st_uid == user)
            fs::remove_all("/tmp/runtime-");
    });
    fs::permissions(root, fs::perms(0755));
    for (const auto& folder : {home, runtime}) {
        fs::create_directory(folder);
        ASSERT_EQ(::chown(folder.c_str(), user, user), 0);
        fs::permissions(folder, fs::perms(0700));
    }
    // As the desktop starts it, the program has a private $XDG_RUNTIME_DIR; from su, sudo or cron it has none.
    const auto start = [&](std::vector<std::string> arguments, bool fromTheDesktop) {
        ChildProcess::Options o;
        o.program = "setpriv";
        o.args = {"--reuid", std::to_string(user), "--regid", std::to_string(user), "--clear-groups",
                  "--",      VANDREL_PROGRAM_PATH};
        o.args.insert(o.args.end(), arguments.begin(), arguments.end());
        o.inheritEnvironment = false;
        o.env = {{"PATH", "/usr/bin:/bin"}, {"HOME", home.string()}, {"QT_QPA_PLATFORM", "offscreen"}};
        if (fromTheDesktop) o.env.emplace_back("XDG_RUNTIME_DIR", runtime.string());
        for (const char* sanitizer : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "TSAN_OPTIONS"})
            if (const char* value = std::getenv(sanitizer)) o.env.emplace_back(sanitizer, value);
        o.workingDirectory = home.string();
        return std::move(ChildProcess::start(std::move(o)).value());
    };
    const auto startAndEnd = [&](std::vector<std::string> arguments) {
        auto later = start(std::move(arguments), false);
        const auto status = later.wait(60s);
        EXPECT_TRUE(status && status->exitedWith(0)) << later.output() << later.errorOutput();
        return later.output();
    };

    auto running = start({}, true);
    // Once it has its log it listens, in every folder it could use.
    ASSERT_TRUE(running.waitForErrorOutput(">>>> the logger is set <<<<", 60s)) << running.errorOutput();
    const std::string machine = InstanceChannel::Paths::Places::standard().machine;
    for (const auto& folder : {runtime, ownTemporary(), home / ".cache/vandrel" / ("instance-" + machine)})
        EXPECT_TRUE(fs::is_socket(folder / "vandrel.socket")) << folder;

    EXPECT_NE(startAndEnd({}).find("Vandrel is already running"), std::string::npos);
    EXPECT_TRUE(running.running()) << "one instance, and it goes on";
    EXPECT_NE(startAndEnd({"--unremap-capslock"}).find("Vandrel had not remapped Caps Lock"), std::string::npos);
    const auto end = running.wait(60s);
    EXPECT_TRUE(end && end->exitedWith(0)) << running.errorOutput();
}

}  // namespace
}  // namespace vandrel
