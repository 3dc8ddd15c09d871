// One Vandrel per user, proven on the program itself: started twice, in the environments a desktop and su,
// sudo, cron or a service give it. Every start runs as a user of its own that the machine does not know, so it
// meets no instance of a real user and can read no keyboard (the program waits for keyboard access), and
// without a display (the offscreen platform). Starting as another user needs root; elsewhere the test skips.
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

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
        user = 61000 + static_cast<uid_t>(::getpid() % 3000);
        while (::getpwuid(user) || fs::exists(ownTemporary())) ++user;
        char pattern[] = "/tmp/instance-start-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        root = pattern;
        fs::permissions(root, fs::perms(0755));
        for (const auto& folder : {home, runtime}) {
            fs::create_directory(root / folder);
            ASSERT_EQ(::chown((root / folder).c_str(), user, user), 0);
            fs::permissions(root / folder, fs::perms(0700));
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

    // A start of the program; as the desktop starts it, it has a private $XDG_RUNTIME_DIR of its own.
    ChildProcess start(std::vector<std::string> arguments, bool fromTheDesktop)
    {
        ChildProcess::Options o;
        o.program = "setpriv";
        o.args = {"--reuid", std::to_string(user), "--regid", std::to_string(user), "--clear-groups",
                  "--",      VANDREL_PROGRAM_PATH};
        o.args.insert(o.args.end(), arguments.begin(), arguments.end());
        o.inheritEnvironment = false;
        const fs::path own = root / home;
        o.env = {{"PATH", std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin"},
                 {"HOME", own.string()},
                 {"XDG_CONFIG_HOME", (own / ".config").string()},
                 {"XDG_DATA_HOME", (own / ".local/share").string()},
                 {"QT_QPA_PLATFORM", "offscreen"}};
        if (fromTheDesktop) o.env.emplace_back("XDG_RUNTIME_DIR", (root / runtime).string());
        for (const char* sanitizer : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "TSAN_OPTIONS"})
            if (const char* value = std::getenv(sanitizer)) o.env.emplace_back(sanitizer, value);
        o.workingDirectory = own.string();
        auto started = ChildProcess::start(std::move(o));
        if (!started.ok()) ADD_FAILURE() << started.error();
        return std::move(started).value();
    }

    // What a start that ends printed, and how it ended.
    struct Ended {
        std::string printed;
        std::optional<vmtest::ExitStatus> status;
    };
    Ended startAndEnd(std::vector<std::string> arguments, bool fromTheDesktop)
    {
        auto later = start(std::move(arguments), fromTheDesktop);
        Ended ended;
        ended.status = later.wait(60s);
        ended.printed = later.output() + later.errorOutput();
        return ended;
    }

    // Once the running one has its log it listens: in every folder it could use, which are these.
    static bool listens(ChildProcess& running, const std::vector<fs::path>& folders)
    {
        return running.waitForErrorOutput(">>>> the logger is set <<<<", 60s) &&
               std::ranges::all_of(folders, [](const fs::path& f) { return fs::is_socket(f / "vandrel.socket"); });
    }

    uid_t user = 0;
    fs::path root;
    const fs::path home = "home", runtime = "runtime";
};

TEST_F(InstanceStartTest, AStartWithoutTheDesktopsRuntimeFolderMeetsTheRunningOneAndTheRescueMakesItQuit)
{
    auto running = start({}, true);
    ASSERT_TRUE(listens(running, {root / runtime, ownTemporary(), root / home / ".cache/vandrel/instance"}))
        << running.errorOutput();

    const auto later = startAndEnd({}, false);
    ASSERT_TRUE(later.status && later.status->exitedWith(0)) << later.printed;
    EXPECT_NE(later.printed.find("Vandrel is already running"), std::string::npos) << later.printed;
    EXPECT_TRUE(running.running()) << "one instance, and it goes on";

    const auto rescue = startAndEnd({"--unremap-capslock"}, false);
    ASSERT_TRUE(rescue.status && rescue.status->exitedWith(0)) << rescue.printed;
    EXPECT_NE(rescue.printed.find("Vandrel had not remapped Caps Lock (it waits for keyboard access); it quits"),
              std::string::npos)
        << rescue.printed;
    const auto end = running.wait(60s);
    EXPECT_TRUE(end && end->exitedWith(0)) << running.errorOutput();
}

TEST_F(InstanceStartTest, AStartAfterAnotherUsersFolderUnderOurNameWentAwayMeetsTheRunningOne)
{
    fs::create_directory(ownTemporary());
    ASSERT_EQ(::chown(ownTemporary().c_str(), user + 1, user + 1), 0);
    auto running = start({}, false);
    ASSERT_TRUE(listens(running, {root / home / ".cache/vandrel/instance"})) << running.errorOutput();
    EXPECT_NE(running.errorOutput().find(ownTemporary().string() + " is not used for the instance lock and socket: "
                                                                   "it belongs to another user"),
              std::string::npos)
        << running.errorOutput();

    fs::remove_all(ownTemporary());
    const auto later = startAndEnd({}, false);
    ASSERT_TRUE(later.status && later.status->exitedWith(0)) << later.printed;
    EXPECT_NE(later.printed.find("Vandrel is already running"), std::string::npos) << later.printed;
    EXPECT_TRUE(running.running()) << "one instance, and it goes on";
    EXPECT_TRUE(running.stop().exitedWith(0));
}

}  // namespace
}  // namespace vandrel
