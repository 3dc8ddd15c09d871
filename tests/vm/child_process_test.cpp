// The harness's process control; runs on the host, it needs no VM.
#include "harness/child_process.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace vandrel::vmtest {
namespace {

using namespace std::chrono_literals;

constexpr auto kPatience = 10s;

ChildProcess::Options shell(std::string script)
{
    return ChildProcess::Options{"sh", {"-c", std::move(script)}, {}, true, {}};
}

TEST(ChildProcess, CollectsStdoutAndStderrApartAndReportsTheExitCode)
{
    Result<ChildProcess> child = ChildProcess::start(shell("echo one; echo two >&2; echo three; exit 3"));
    ASSERT_TRUE(child) << child.error();
    const std::optional<ExitStatus> status = child->wait(kPatience);
    ASSERT_TRUE(status);
    EXPECT_TRUE(status->exitedWith(3)) << status->describe();
    ASSERT_TRUE(child->waitForOutput("three\n", kPatience));
    EXPECT_EQ(child->output(), "one\nthree\n");
    ASSERT_TRUE(child->waitForErrorOutput("two\n", kPatience));
    EXPECT_EQ(child->errorOutput(), "two\n");
    EXPECT_FALSE(child->running());
}

TEST(ChildProcess, PassesArgumentsEnvironmentAndWorkingDirectory)
{
    const std::filesystem::path dir = std::filesystem::temp_directory_path();
    ::setenv("VANDREL_HARNESS_INHERITED", "yes", 1);
    ChildProcess::Options options =
        shell(R"(printf '%s|' "$1" "$2" "$VANDREL_HARNESS_SET" "$VANDREL_HARNESS_INHERITED" "$PWD")");
    options.args.insert(options.args.end(), {"argv0", "a b", "c'd"});
    options.env = {{"VANDREL_HARNESS_SET", "x=y z"}};
    options.workingDirectory = dir.string();
    Result<ChildProcess> child = ChildProcess::start(options);
    ASSERT_TRUE(child) << child.error();
    ASSERT_TRUE(child->wait(kPatience));
    // The child can exit before its output has been read: wait for the pipe's end, not just the exit.
    ASSERT_TRUE(child->waitForOutputToEnd(kPatience));
    EXPECT_EQ(child->output(), "a b|c'd|x=y z|yes|" + dir.string() + "|");

    options.inheritEnvironment = false;
    options.env.push_back({"PATH", "/usr/bin:/bin"});
    child = ChildProcess::start(options);
    ASSERT_TRUE(child) << child.error();
    ASSERT_TRUE(child->wait(kPatience));
    ASSERT_TRUE(child->waitForOutputToEnd(kPatience));
    EXPECT_EQ(child->output(), "a b|c'd|x=y z||" + dir.string() + "|");
    ::unsetenv("VANDREL_HARNESS_INHERITED");
}

TEST(ChildProcess, SignalReachesARunningChild)
{
    Result<ChildProcess> child = ChildProcess::start(shell("echo ready; exec sleep 100"));
    ASSERT_TRUE(child) << child.error();
    ASSERT_TRUE(child->waitForOutput("ready", kPatience));
    EXPECT_TRUE(child->running());
    EXPECT_FALSE(child->wait(0ms));
    ASSERT_TRUE(child->signal(SIGUSR1));
    const std::optional<ExitStatus> status = child->wait(kPatience);
    ASSERT_TRUE(status);
    EXPECT_TRUE(status->killedBy(SIGUSR1)) << status->describe();
    EXPECT_FALSE(child->signal(SIGUSR1)) << "a reaped child's pid may belong to someone else";
}

TEST(ChildProcess, StopEscalatesToKillAndTakesTheWholeGroup)
{
    // The shell ignores SIGTERM and leaves a helper behind; stopping must end both.
    Result<ChildProcess> child = ChildProcess::start(shell("trap '' TERM; sleep 100 & echo $!; wait"));
    ASSERT_TRUE(child) << child.error();
    ASSERT_TRUE(child->waitForOutput("\n", kPatience));
    const pid_t helper = std::stoi(child->output());
    const ExitStatus status = child->stop(0ms);
    EXPECT_TRUE(status.killedBy(SIGKILL)) << status.describe();

    // The helper holds the output pipes, so they end only once it is dying too; the kernel closes them on its way
    // out, a moment before the process turns into a zombie or is reaped.
    ASSERT_TRUE(child->waitForOutputToEnd(kPatience)) << "helper " << helper << " survived its group being stopped";
    std::string state;
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    do {
        std::ifstream stat("/proc/" + std::to_string(helper) + "/stat");
        std::string pid, comm;
        if (!(stat >> pid >> comm >> state)) return;  // reaped
        if (state == "Z") return;
        std::this_thread::sleep_for(10ms);  // the kernel's exit path, not a timer of ours
    } while (std::chrono::steady_clock::now() < deadline);
    ADD_FAILURE() << "helper " << helper << " still runs, state " << state;
}

TEST(ChildProcess, MissingProgramFailsToStart)
{
    Result<ChildProcess> child = ChildProcess::start({"/nonexistent/vandrel-program", {}, {}, true, {}});
    ASSERT_FALSE(child);
    EXPECT_NE(child.error().find("/nonexistent/vandrel-program"), std::string::npos) << child.error();
}

}  // namespace
}  // namespace vandrel::vmtest
