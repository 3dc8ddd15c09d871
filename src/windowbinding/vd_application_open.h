// Launching an application and waiting for its main window: the launch goes by identity (desktop id), then by
// name; then the application is looked for every 0.1 s, until the wait limit runs out, and the callback gets
// its main window once it has one. The application launched by name is found by that name too (its identity,
// WM_CLASS, display name or program, case-insensitively), so a launch by name calls back as well.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/window.h"
#include "rx/scheduler.h"

namespace vandrel {

class VDApplicationOpener {
public:
    using Callback = std::function<void(const std::shared_ptr<Window>&)>;

    // Re-checks run on scheduler (the window-binding queue), so the callback runs there or on the caller's
    // thread when the window is there at once.
    explicit VDApplicationOpener(rx::SchedulerPtr scheduler) : scheduler_(std::move(scheduler)) {}

    // False when neither launch was accepted: the callback is never called. waitLimit absent: one check. With
    // waitForWindow false, a found application without a main window ends the wait. gaveUp runs (where the
    // checks run) when the wait ran out without a window: a program that failed to start, or never showed one.
    bool open(const std::string& app, std::optional<double> waitLimit, std::optional<bool> waitForWindow,
              Callback callback, std::function<void()> gaveUp = {}) const;

    // The running application that answers to appIdOrName, by identity first; null when none.
    static std::shared_ptr<VDApplication> findApplication(const std::string& appIdOrName);

private:
    static void openingCheck(const rx::SchedulerPtr& scheduler, const std::string& appIdOrName, double limit,
                             bool waitForWindow, Callback callback, std::function<void()> gaveUp);

    const rx::SchedulerPtr scheduler_;
};

}  // namespace vandrel
