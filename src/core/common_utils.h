// Small shared services: running work after a delay on the main or the global queue, and running a shell
// command and collecting its output.
#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "rx/scheduler.h"

namespace vandrel {

class CommonUtils {
public:
    static constexpr std::chrono::milliseconds kShellTimeout{5000};
    // Longer delays are cut to this (about a century): the clocks cannot represent much more.
    static constexpr std::chrono::milliseconds kMaxDelay{3'155'760'000'000LL};

    // Runs execute once on queue after timeInSeconds (see delayFor), never inside this call.
    static void doAfter(rx::Scheduler& queue, double timeInSeconds, std::function<void()> execute);
    // The same on the main queue.
    static void doAfterInMainQueue(double timeInSeconds, std::function<void()> execute);
    // The same on the global queue, where it may run alongside other work.
    static void doAfterInGlobalQueue(double timeInSeconds, std::function<void()> execute);

    // The delay rule: seconds times 1000, truncated toward zero, as whole milliseconds. Zero, negative,
    // sub-millisecond and not-a-number delays mean as soon as possible; infinite or huge ones are clamped
    // to kMaxDelay.
    static rx::Duration delayFor(double timeInSeconds);

    // Runs `/bin/bash -c command` and returns what it wrote to standard output, unchanged (a trailing line
    // break included) except that bytes which are not UTF-8 become U+FFFD. Standard error is not captured.
    // A command still writing after `timeout` is killed with its process group; what it wrote so far is
    // returned. A command that cannot be started gives empty text.
    static std::string shell(const std::string& command, std::chrono::milliseconds timeout = kShellTimeout);

    // The queues of doAfterInMainQueue and doAfterInGlobalQueue: MainQueue::shared(), GlobalQueue::shared().
    static rx::SchedulerPtr mainQueueScheduler();
    static rx::SchedulerPtr globalQueueScheduler();
};

}  // namespace vandrel
