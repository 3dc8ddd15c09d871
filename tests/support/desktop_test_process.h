// Processes for desktop tests: programs started with their own environment that die with the test, and a
// bounded wait that keeps Qt's queue moving (notices posted to the main thread arrive while it waits).
#pragma once

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

extern char** environ;

namespace vandrel::test {

using namespace std::chrono_literals;

// Starts a program with its own environment; it gets SIGKILL when we die. Returns once the child runs the
// program (or failed to), so that whoever looks at the pid (its executable, its name) sees the program and not
// a copy of the test. Only async-signal-safe calls run between fork and exec.
inline pid_t spawnProgram(const std::vector<std::string>& argv, const std::vector<std::string>& env, int keepFd = -1)
{
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    std::vector<char*> envp;
    for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    // Closed by a successful exec; a byte in it says the exec failed.
    int started[2];
    if (pipe2(started, O_CLOEXEC) != 0) return -1;
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid != 0) {
        close(started[1]);
        char failed = 0;
        while (pid > 0 && read(started[0], &failed, 1) < 0 && errno == EINTR) {
        }
        close(started[0]);
        return pid;
    }
    close(started[0]);
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    const int devNull = open("/dev/null", O_RDWR);
    dup2(devNull, STDIN_FILENO);
    dup2(devNull, STDOUT_FILENO);
    dup2(devNull, STDERR_FILENO);
    if (keepFd >= 0) fcntl(keepFd, F_SETFD, 0);
    execvpe(args[0], args.data(), envp.data());
    const char failed = 1;
    [[maybe_unused]] const auto written = write(started[1], &failed, 1);
    _exit(127);
}

inline void stopProgram(pid_t& pid)
{
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    for (int i = 0; i < 200; ++i) {  // up to 2 s for a clean end, then no more patience
        if (waitpid(pid, nullptr, WNOHANG) == pid) {
            pid = -1;
            return;
        }
        usleep(10'000);
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    pid = -1;
}

inline std::vector<std::string> environmentWith(const std::vector<std::string>& overrides)
{
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry(*e);
        bool replaced = false;
        for (const auto& o : overrides) replaced |= entry.compare(0, o.find('=') + 1, o, 0, o.find('=') + 1) == 0;
        if (!replaced) env.push_back(entry);
    }
    env.insert(env.end(), overrides.begin(), overrides.end());
    return env;
}

// Checks the condition, keeping Qt's queue moving, about every 10 ms until it holds or the limit passes.
inline bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit = 5000ms)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        QCoreApplication::processEvents();
        if (condition()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        poll(nullptr, 0, 10);
    }
}

// A process of the test that owns nothing but its pid: stands in for an application that mapped windows.
class TestProcess {
public:
    TestProcess() : pid_(spawnProgram({"sleep", "600"}, environmentWith({}))) {}
    ~TestProcess() { stopProgram(pid_); }
    TestProcess(const TestProcess&) = delete;
    TestProcess& operator=(const TestProcess&) = delete;
    pid_t pid() const { return pid_; }

private:
    pid_t pid_;
};

}  // namespace vandrel::test
