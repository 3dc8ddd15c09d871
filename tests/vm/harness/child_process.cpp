#include "harness/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

extern char** environ;

namespace vandrel::vmtest {

namespace {

using Clock = std::chrono::steady_clock;

std::string errnoText(int error)
{
    return std::strerror(error);
}

void closeFd(int& fd)
{
    if (fd >= 0) ::close(fd);
    fd = -1;
}

int pollMs(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, 60'000));
}

std::vector<std::string> buildEnvironment(const ChildProcess::Options& options)
{
    std::vector<std::string> env;
    auto overridden = [&options](std::string_view entry) {
        const std::string_view key = entry.substr(0, entry.find('='));
        return std::any_of(options.env.begin(), options.env.end(), [key](const auto& kv) { return kv.first == key; });
    };
    if (options.inheritEnvironment) {
        for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
            if (!overridden(*entry)) env.emplace_back(*entry);
        }
    }
    for (const auto& [key, value] : options.env) env.push_back(key + "=" + value);
    return env;
}

std::vector<char*> pointers(std::vector<std::string>& strings)
{
    std::vector<char*> result;
    result.reserve(strings.size() + 1);
    for (std::string& s : strings) result.push_back(s.data());
    result.push_back(nullptr);
    return result;
}

}  // namespace

std::string ExitStatus::describe() const
{
    if (signal != 0) return "killed by signal " + std::to_string(signal) + " (" + strsignal(signal) + ")";
    return "exit code " + std::to_string(code);
}

struct ChildProcess::State {
    pid_t pid = -1;
    int pidfd = -1;
    int stdoutFd = -1;
    int stderrFd = -1;
    int stopFd = -1;
    std::optional<ExitStatus> exitStatus;

    mutable std::mutex mutex;
    std::condition_variable changed;
    std::string out;
    std::string err;
    bool outputEnded = false;
    std::thread reader;

    ~State()
    {
        if (pid > 0 && !exitStatus) {
            ::kill(-pid, SIGKILL);
            int status = 0;
            while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
        }
        if (reader.joinable()) {
            // A grandchild may still hold the pipes open; tell the reader to stop regardless.
            const std::uint64_t one = 1;
            [[maybe_unused]] ssize_t written = ::write(stopFd, &one, sizeof(one));
            reader.join();
        }
        closeFd(pidfd);
        closeFd(stdoutFd);
        closeFd(stderrFd);
        closeFd(stopFd);
    }

    void drainPipes()
    {
        std::array<pollfd, 3> fds{pollfd{stdoutFd, POLLIN, 0}, pollfd{stderrFd, POLLIN, 0}, pollfd{stopFd, POLLIN, 0}};
        std::array<char, 4096> buffer{};
        while (fds[0].fd >= 0 || fds[1].fd >= 0) {
            if (poll(fds.data(), fds.size(), -1) < 0) {
                if (errno == EINTR) continue;
                break;
            }
            if (fds[2].revents != 0) break;
            for (int i = 0; i < 2; ++i) {
                if (fds[i].fd < 0 || fds[i].revents == 0) continue;
                const ssize_t bytes = ::read(fds[i].fd, buffer.data(), buffer.size());
                if (bytes < 0 && errno == EINTR) continue;
                std::lock_guard lock(mutex);
                if (bytes > 0) {
                    (i == 0 ? out : err).append(buffer.data(), static_cast<std::size_t>(bytes));
                } else {
                    fds[i].fd = -1;  // end of this stream; poll ignores negative descriptors
                }
                changed.notify_all();
            }
        }
        std::lock_guard lock(mutex);
        outputEnded = true;
        changed.notify_all();
    }

    bool reap(int options)
    {
        if (exitStatus) return true;
        siginfo_t info{};
        int rc;
        while ((rc = waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | options)) < 0 && errno == EINTR) {
        }
        if (rc < 0 || info.si_pid == 0) return false;
        ExitStatus status;
        if (info.si_code == CLD_EXITED) {
            status.code = info.si_status;
        } else {
            status.signal = info.si_status;
        }
        exitStatus = status;
        return true;
    }

    bool waitFor(std::string_view text, bool onStderr, Milliseconds timeout)
    {
        std::unique_lock lock(mutex);
        changed.wait_for(lock, timeout,
                         [&] { return (onStderr ? err : out).find(text) != std::string::npos || outputEnded; });
        return (onStderr ? err : out).find(text) != std::string::npos;
    }
};

Result<ChildProcess> ChildProcess::start(Options options)
{
    auto state = std::make_unique<State>();
    int outPipe[2];
    int errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) < 0) return Result<ChildProcess>::failure("pipe: " + errnoText(errno));
    if (pipe2(errPipe, O_CLOEXEC) < 0) {
        const int error = errno;
        ::close(outPipe[0]);
        ::close(outPipe[1]);
        return Result<ChildProcess>::failure("pipe: " + errnoText(error));
    }
    state->stdoutFd = outPipe[0];
    state->stderrFd = errPipe[0];
    state->stopFd = eventfd(0, EFD_CLOEXEC);
    if (state->stopFd < 0) {
        const int error = errno;
        ::close(outPipe[1]);
        ::close(errPipe[1]);
        return Result<ChildProcess>::failure("eventfd: " + errnoText(error));
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);
    if (!options.workingDirectory.empty()) {
        posix_spawn_file_actions_addchdir_np(&actions, options.workingDirectory.c_str());
    }
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // Its own process group, so signals reach the helpers it starts; default dispositions and an empty mask
    // whatever the test process inherited.
    sigset_t all;
    sigset_t none;
    sigfillset(&all);
    sigemptyset(&none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setsigmask(&attributes, &none);

    std::vector<std::string> argvStrings{options.program};
    argvStrings.insert(argvStrings.end(), options.args.begin(), options.args.end());
    std::vector<std::string> envStrings = buildEnvironment(options);
    std::vector<char*> argv = pointers(argvStrings);
    std::vector<char*> envp = pointers(envStrings);

    pid_t pid = -1;
    const bool searchPath = options.program.find('/') == std::string::npos;
    const int rc = searchPath
                       ? posix_spawnp(&pid, options.program.c_str(), &actions, &attributes, argv.data(), envp.data())
                       : posix_spawn(&pid, options.program.c_str(), &actions, &attributes, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    if (rc != 0) return Result<ChildProcess>::failure("cannot start " + options.program + ": " + errnoText(rc));

    state->pid = pid;
    state->pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    State* raw = state.get();
    state->reader = std::thread([raw] { raw->drainPipes(); });
    return Result<ChildProcess>::success(ChildProcess(std::move(state)));
}

ChildProcess::ChildProcess(std::unique_ptr<State> state) : state_(std::move(state)) {}
ChildProcess::ChildProcess(ChildProcess&&) noexcept = default;
ChildProcess& ChildProcess::operator=(ChildProcess&&) noexcept = default;
ChildProcess::~ChildProcess() = default;

pid_t ChildProcess::pid() const
{
    return state_ ? state_->pid : -1;
}

bool ChildProcess::running()
{
    return state_ && !wait(Milliseconds(0));
}

Status ChildProcess::signal(int signal)
{
    // Once reaped, the pid may belong to someone else.
    if (!state_ || state_->reap(WNOHANG)) return Status::failure("the child has already exited");
    if (::kill(-state_->pid, signal) < 0) return Status::failure("kill: " + errnoText(errno));
    return Status::success();
}

std::optional<ExitStatus> ChildProcess::wait(Milliseconds timeout)
{
    if (!state_) return std::nullopt;
    const Clock::time_point deadline = Clock::now() + timeout;
    while (!state_->reap(WNOHANG)) {
        if (Clock::now() >= deadline) return std::nullopt;
        if (state_->pidfd >= 0) {
            pollfd pfd{state_->pidfd, POLLIN, 0};
            poll(&pfd, 1, pollMs(deadline));
        } else {
            poll(nullptr, 0, std::min(pollMs(deadline), 10));
        }
    }
    return state_->exitStatus;
}

ExitStatus ChildProcess::stop(Milliseconds grace)
{
    if (!state_) return {};
    if (std::optional<ExitStatus> status = wait(Milliseconds(0))) return *status;
    ::kill(-state_->pid, SIGTERM);
    if (std::optional<ExitStatus> status = wait(grace)) return *status;
    ::kill(-state_->pid, SIGKILL);
    state_->reap(0);
    return state_->exitStatus.value_or(ExitStatus{});
}

std::string ChildProcess::output() const
{
    if (!state_) return {};
    std::lock_guard lock(state_->mutex);
    return state_->out;
}

std::string ChildProcess::errorOutput() const
{
    if (!state_) return {};
    std::lock_guard lock(state_->mutex);
    return state_->err;
}

bool ChildProcess::waitForOutput(std::string_view text, Milliseconds timeout)
{
    return state_ && state_->waitFor(text, false, timeout);
}

bool ChildProcess::waitForErrorOutput(std::string_view text, Milliseconds timeout)
{
    return state_ && state_->waitFor(text, true, timeout);
}

bool ChildProcess::waitForOutputToEnd(Milliseconds timeout)
{
    if (!state_) return false;
    std::unique_lock lock(state_->mutex);
    return state_->changed.wait_for(lock, timeout, [this] { return state_->outputEnded; });
}

}  // namespace vandrel::vmtest
