// Keeps the keyboard usable when the program ends abruptly. On SIGINT, SIGTERM and SIGHUP the handler only writes
// the signal number to a pipe; the guard's own thread then runs the registered clean-ups (the input backend
// releases every key on its output and lets every keyboard go) and finally the program's onTerminate, or
// the signal's default action. A second terminating signal ends the process at once, in the handler, as a
// fatal signal does, so a shutdown that hangs can still be ended. On a fatal signal (SIGSEGV, SIGBUS, SIGILL, SIGFPE,
// SIGABRT) nothing else can be trusted: the handler itself lets the registered keyboards go and destroys the output
// keyboard (which releases its keys) with single ioctls, then the signal takes its default course.
#pragma once

#include <functional>

namespace vandrel {

class InputSignalGuard {
public:
    enum class EmergencyAction { ungrab, destroyUinput };

    // Installs the handlers once per process; a later call only replaces onTerminate. False when the
    // handlers cannot be installed.
    static bool install(std::function<void(int signal)> onTerminate = nullptr);
    static bool isInstalled();

    // Clean-ups run on SIGINT, SIGTERM or SIGHUP, before onTerminate, on the guard's thread. Returns an id for
    // removeCleanup.
    static int addCleanup(std::function<void()> cleanup);
    static void removeCleanup(int id);

    // Descriptors the fatal-signal handler acts on (a fixed number of slots; a full table drops the rest,
    // which the kernel still releases when the process is gone).
    static void registerEmergencyFd(int fd, EmergencyAction action);
    static void unregisterEmergencyFd(int fd);
};

}  // namespace vandrel
