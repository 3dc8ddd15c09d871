#include "core/common_utils.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <thread>

#include "core/global_queue.h"
#include "core/log.h"
#include "core/main_queue.h"

extern char** environ;

namespace vandrel {

namespace {

// Output beyond this is not kept: a command that floods its output is stopped like one that hangs.
constexpr std::size_t kMaxShellOutput = 64u << 20;

// Valid UTF-8 passes unchanged; each byte that starts no valid sequence becomes U+FFFD.
std::string sanitizedUtf8(const std::string& in)
{
    std::string out;
    out.reserve(in.size());
    const auto* s = reinterpret_cast<const unsigned char*>(in.data());
    const std::size_t n = in.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char c = s[i];
        std::size_t len = 0;
        std::uint32_t cp = 0;
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
            ++i;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            cp = c & 0x07;
        }
        bool valid = len > 0 && i + len <= n;
        for (std::size_t k = 1; valid && k < len; ++k) {
            if ((s[i + k] & 0xC0) != 0x80)
                valid = false;
            else
                cp = (cp << 6) | (s[i + k] & 0x3F);
        }
        // Overlong forms, surrogates and code points beyond U+10FFFF are not UTF-8.
        if (valid && ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
                      (cp >= 0xD800 && cp <= 0xDFFF)))
            valid = false;
        if (valid) {
            out.append(in, i, len);
            i += len;
        } else {
            out.append("\xEF\xBF\xBD");
            ++i;
        }
    }
    return out;
}

void reap(pid_t pid)
{
    int status = 0;
    pid_t r;
    do {
        r = waitpid(pid, &status, WNOHANG);
    } while (r < 0 && errno == EINTR);
    if (r != 0) return;  // reaped, or not our child any more
    // The command closed its output but is still running; it is not waited for, only reaped when it ends.
    std::thread([pid] {
        int st = 0;
        while (waitpid(pid, &st, 0) < 0 && errno == EINTR) {
        }
    }).detach();
}

}  // namespace

rx::Duration CommonUtils::delayFor(double timeInSeconds)
{
    if (std::isnan(timeInSeconds)) {
        log.warning("delay is not a number, running as soon as possible");
        return rx::Duration::zero();
    }
    const double ms = std::trunc(timeInSeconds * 1000.0);
    if (ms <= 0) return rx::Duration::zero();
    if (ms >= static_cast<double>(kMaxDelay.count())) {
        log.warning("delay too long, clamped ->", timeInSeconds);
        return kMaxDelay;
    }
    return std::chrono::milliseconds(static_cast<long long>(ms));
}

void CommonUtils::doAfter(rx::Scheduler& queue, double timeInSeconds, std::function<void()> execute)
{
    queue.scheduleAfter(delayFor(timeInSeconds), std::move(execute));
}

void CommonUtils::doAfterInMainQueue(double timeInSeconds, std::function<void()> execute)
{
    doAfter(*mainQueueScheduler(), timeInSeconds, std::move(execute));
}

void CommonUtils::doAfterInGlobalQueue(double timeInSeconds, std::function<void()> execute)
{
    doAfter(*globalQueueScheduler(), timeInSeconds, std::move(execute));
}

rx::SchedulerPtr CommonUtils::mainQueueScheduler()
{
    return MainQueue::shared();
}

rx::SchedulerPtr CommonUtils::globalQueueScheduler()
{
    return GlobalQueue::shared();
}

std::string CommonUtils::shell(const std::string& command, std::chrono::milliseconds timeout)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        log.error("shell: cannot create a pipe ->", std::strerror(errno));
        return {};
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    // Nothing else of ours leaks into the command: a grabbed keyboard held open by a command left running
    // in the background would outlive us.
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    // Its own process group, so a time-out can stop everything the command started; default signal
    // handling, whatever this program ignores or blocks.
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::string program = "/bin/bash", dashC = "-c", line = command;
    char* argv[] = {program.data(), dashC.data(), line.data(), nullptr};
    pid_t pid = -1;
    const int spawnError = posix_spawn(&pid, "/bin/bash", &actions, &attr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    close(fds[1]);
    if (spawnError != 0) {
        close(fds[0]);
        log.error("shell: cannot start /bin/bash ->", std::strerror(spawnError));
        return {};
    }

    std::string output;
    bool stopped = false;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    char buffer[8192];
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            log.warning("shell: command timed out ->", command);
            stopped = true;
            break;
        }
        pollfd p{fds[0], POLLIN, 0};
        const int ready = poll(&p, 1, static_cast<int>(std::min<long long>(left.count(), 60'000)));
        if (ready < 0 && errno != EINTR) {
            log.error("shell: cannot wait for output ->", std::strerror(errno));
            stopped = true;
            break;
        }
        if (ready <= 0) continue;
        const ssize_t n = read(fds[0], buffer, sizeof buffer);
        if (n > 0) {
            output.append(buffer, static_cast<std::size_t>(n));
            if (output.size() > kMaxShellOutput) {
                log.warning("shell: output too long, command stopped ->", command);
                stopped = true;
                break;
            }
        } else if (n == 0) {
            break;
        } else if (errno != EINTR && errno != EAGAIN) {
            log.error("shell: cannot read output ->", std::strerror(errno));
            stopped = true;
            break;
        }
    }
    close(fds[0]);
    if (stopped) {
        kill(-pid, SIGKILL);
        while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    } else {
        reap(pid);
    }
    return sanitizedUtf8(output);
}

}  // namespace vandrel
