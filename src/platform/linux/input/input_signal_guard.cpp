#include "platform/linux/input/input_signal_guard.h"

#include <fcntl.h>
#include <linux/input.h>
#include <linux/uinput.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <mutex>
#include <thread>

#include "core/log.h"

namespace vandrel {

namespace {

constexpr int kSlots = 64;
// Slot value: fd << 1 | action (0 ungrab, 1 destroy); -1 free. Lock-free so the handler may read it.
std::atomic<long> gEmergency[kSlots];
std::atomic<int> gPipeWrite{-1};
std::atomic<int> gTerminatingSignals{0};
std::once_flag gSlotsInit;

constexpr int kTerminating[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kFatal[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};

struct GuardState {
    std::mutex mutex;
    bool installed = false;
    std::function<void(int)> onTerminate;
    std::map<int, std::function<void()>> cleanups;
    int nextId = 1;
};

GuardState& state()
{
    static GuardState s;
    return s;
}

void initSlots()
{
    std::call_once(gSlotsInit, [] {
        for (auto& slot : gEmergency) slot.store(-1);
    });
}

void releaseEmergencyFds()
{
    for (auto& slot : gEmergency) {
        const long value = slot.load();
        if (value < 0) continue;
        const int fd = static_cast<int>(value >> 1);
        if (value & 1)
            ::ioctl(fd, UI_DEV_DESTROY);
        else
            ::ioctl(fd, EVIOCGRAB, 0);
    }
}

extern "C" void onTerminatingSignal(int signal)
{
    const int saved = errno;
    if (gTerminatingSignals.fetch_add(1) > 0) {
        // The first one is on its way through the guard thread; whatever holds that up (a stuck clean-up or
        // shutdown), another one ends the process, with the keyboards let go as on a fatal signal.
        releaseEmergencyFds();
        ::signal(signal, SIG_DFL);
        ::raise(signal);
        errno = saved;
        return;
    }
    const unsigned char byte = static_cast<unsigned char>(signal);
    if (const int fd = gPipeWrite.load(); fd >= 0) [[maybe_unused]]
        auto r = ::write(fd, &byte, 1);
    errno = saved;
}

extern "C" void onFatalSignal(int signal)
{
    releaseEmergencyFds();
    // The handler was installed to run once; the default action follows.
    ::raise(signal);
}

void guardThread(int readFd)
{
    setCurrentThreadLabel("Vandrel.signals");
    for (;;) {
        unsigned char byte = 0;
        const ssize_t n = ::read(readFd, &byte, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        const int signal = byte;
        log.info("Signal received; letting the keyboards go ->", signal);
        std::vector<std::function<void()>> cleanups;
        std::function<void(int)> onTerminate;
        {
            std::lock_guard lock(state().mutex);
            for (const auto& [id, cleanup] : state().cleanups) cleanups.push_back(cleanup);
            onTerminate = state().onTerminate;
        }
        for (const auto& cleanup : cleanups) cleanup();
        if (onTerminate) {
            onTerminate(signal);
        } else {
            ::signal(signal, SIG_DFL);
            ::raise(signal);
        }
    }
}

}  // namespace

bool InputSignalGuard::install(std::function<void(int)> onTerminate)
{
    initSlots();
    std::lock_guard lock(state().mutex);
    state().onTerminate = std::move(onTerminate);
    if (state().installed) return true;

    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        log.error("Signal safety cannot be set up ->", std::strerror(errno));
        return false;
    }
    ::fcntl(fds[1], F_SETFL, O_NONBLOCK);
    gPipeWrite.store(fds[1]);
    std::thread(guardThread, fds[0]).detach();

    struct sigaction terminating {};
    terminating.sa_handler = onTerminatingSignal;
    sigemptyset(&terminating.sa_mask);
    terminating.sa_flags = SA_RESTART;
    for (int s : kTerminating) ::sigaction(s, &terminating, nullptr);

    struct sigaction fatal {};
    fatal.sa_handler = onFatalSignal;
    sigemptyset(&fatal.sa_mask);
    fatal.sa_flags = SA_RESETHAND | SA_NODEFER;
    for (int s : kFatal) ::sigaction(s, &fatal, nullptr);

    state().installed = true;
    return true;
}

bool InputSignalGuard::isInstalled()
{
    std::lock_guard lock(state().mutex);
    return state().installed;
}

int InputSignalGuard::addCleanup(std::function<void()> cleanup)
{
    std::lock_guard lock(state().mutex);
    const int id = state().nextId++;
    state().cleanups.emplace(id, std::move(cleanup));
    return id;
}

void InputSignalGuard::removeCleanup(int id)
{
    std::lock_guard lock(state().mutex);
    state().cleanups.erase(id);
}

void InputSignalGuard::registerEmergencyFd(int fd, EmergencyAction action)
{
    if (fd < 0) return;
    initSlots();
    const long value = (static_cast<long>(fd) << 1) | (action == EmergencyAction::destroyUinput ? 1 : 0);
    for (auto& slot : gEmergency) {
        long expected = -1;
        if (slot.compare_exchange_strong(expected, value)) return;
    }
}

void InputSignalGuard::unregisterEmergencyFd(int fd)
{
    if (fd < 0) return;
    initSlots();
    for (auto& slot : gEmergency) {
        const long value = slot.load();
        if (value >= 0 && (value >> 1) == fd) slot.store(-1);
    }
}

}  // namespace vandrel
