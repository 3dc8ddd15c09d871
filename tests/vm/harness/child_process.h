#pragma once

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "harness/result.h"

namespace vandrel::vmtest {

// How a child ended: an exit code, or the signal that killed it.
struct ExitStatus {
    int code = -1;
    int signal = 0;

    bool exitedWith(int expected) const { return signal == 0 && code == expected; }
    bool killedBy(int expected) const { return signal == expected; }
    std::string describe() const;
};

// The program under test, started in its own process group with its stdout and stderr collected (a thread drains
// both pipes, so a chatty child never blocks on a full pipe). Destroying a running child kills its whole group.
class ChildProcess {
public:
    using Milliseconds = std::chrono::milliseconds;

    struct Options {
        std::string program;  // searched in PATH when it has no '/'
        std::vector<std::string> args;
        // Set on top of the inherited environment (or alone when inheritEnvironment is false).
        std::vector<std::pair<std::string, std::string>> env;
        bool inheritEnvironment = true;
        std::string workingDirectory;  // empty: ours
    };

    static Result<ChildProcess> start(Options options);

    ChildProcess(ChildProcess&&) noexcept;
    ChildProcess& operator=(ChildProcess&&) noexcept;
    ~ChildProcess();

    pid_t pid() const;
    bool running();

    // Signals the child's whole process group.
    Status signal(int signal);
    // Its exit, or nothing if it is still running after `timeout`.
    std::optional<ExitStatus> wait(Milliseconds timeout);
    // SIGTERM, then SIGKILL after `grace`; reaps it either way.
    ExitStatus stop(Milliseconds grace = Milliseconds(3000));

    std::string output() const;
    std::string errorOutput() const;
    // Waits until `text` appears on stdout (or stderr), the child's output ends, or `timeout` passes.
    bool waitForOutput(std::string_view text, Milliseconds timeout);
    bool waitForErrorOutput(std::string_view text, Milliseconds timeout);
    // Waits until both streams closed: the child and everything it started that kept them are gone.
    bool waitForOutputToEnd(Milliseconds timeout);

private:
    struct State;

    explicit ChildProcess(std::unique_ptr<State> state);

    std::unique_ptr<State> state_;
};

}  // namespace vandrel::vmtest
