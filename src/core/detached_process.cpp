#include "core/detached_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QStandardPaths>
#include <QString>
#include <cerrno>
#include <cstring>

#include "core/inherited_descriptors.h"
#include "core/log.h"

extern char** environ;

namespace vandrel {

namespace {

// What the processes in between tell the caller through the start pipe.
struct StartReport {
    enum Kind : int { started, failed } kind;
    int value;  // the pid, or errno
};

[[noreturn]] void reportAndExit(int fd, StartReport report)
{
    [[maybe_unused]] const auto written = ::write(fd, &report, sizeof report);
    ::_exit(report.kind == StartReport::started ? 0 : 127);
}

std::vector<char*> pointersTo(const std::vector<std::string>& strings)
{
    std::vector<char*> out;
    for (const auto& s : strings) out.push_back(const_cast<char*>(s.c_str()));
    out.push_back(nullptr);
    return out;
}

}  // namespace

std::optional<std::int64_t> DetachedProcess::start(const std::vector<std::string>& argv,
                                                   const std::string& workingDirectory,
                                                   const std::optional<std::vector<std::string>>& environment)
{
    if (argv.empty() || argv[0].empty()) return std::nullopt;
    // Everything the children need is made here: between fork and exec only async-signal-safe calls run.
    std::string program = argv[0];
    if (program.find('/') == std::string::npos) {
        program = QStandardPaths::findExecutable(QString::fromStdString(program)).toStdString();
        if (program.empty()) {
            log.warning("no such program on PATH ->", argv[0]);
            return std::nullopt;
        }
    }
    const std::vector<char*> args = pointersTo(argv);
    const std::vector<char*> envp = environment ? pointersTo(*environment) : std::vector<char*>();
    char* const* const env = environment ? envp.data() : environ;
    const char* const folder = workingDirectory.empty() ? nullptr : workingDirectory.c_str();

    // Closed by the program's exec; what arrives before that says how far the start got.
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        log.error("cannot create a pipe ->", std::strerror(errno));
        return std::nullopt;
    }
    const pid_t between = ::fork();
    if (between == 0) {
        ::setsid();
        const pid_t pid = ::fork();
        if (pid != 0)
            reportAndExit(fds[1],
                          pid > 0 ? StartReport{StartReport::started, pid} : StartReport{StartReport::failed, errno});
        if (folder && ::chdir(folder) != 0) reportAndExit(fds[1], {StartReport::failed, errno});
        struct sigaction defaults {};
        defaults.sa_handler = SIG_DFL;
        ::sigaction(SIGPIPE, &defaults, nullptr);
        InheritedDescriptors::markCloseOnExec();
        ::execve(program.c_str(), args.data(), env);
        reportAndExit(fds[1], {StartReport::failed, errno});
    }
    const int forkError = errno;
    ::close(fds[1]);
    if (between < 0) {
        ::close(fds[0]);
        log.error("cannot start a process ->", std::strerror(forkError));
        return std::nullopt;
    }
    while (::waitpid(between, nullptr, 0) < 0 && errno == EINTR) {
    }
    std::optional<std::int64_t> pid;
    int error = 0;
    StartReport report{};
    for (;;) {
        const ssize_t n = ::read(fds[0], &report, sizeof report);
        if (n < 0 && errno == EINTR) continue;
        if (n != static_cast<ssize_t>(sizeof report)) break;
        if (report.kind == StartReport::started)
            pid = report.value;
        else
            error = report.value;
    }
    ::close(fds[0]);
    if (error != 0 || !pid) {
        log.warning("cannot start a program ->", argv[0] + ": " + std::strerror(error ? error : ECHILD));
        return std::nullopt;
    }
    return pid;
}

}  // namespace vandrel
