// The simulated platform: a complete, deterministic, in-memory desktop on which every test of the program
// runs. A test makes one, installs it when code under test reaches the platform through Platform::shared(),
// and drives it:
//
//   auto clock = rx::VirtualTimeScheduler::make();
//   auto sim = SimPlatform::make(clock);
//   PlatformInstallation installed(sim);
//   sim->keyboard().press(57);                       // or: Scenario(*sim, clock).run("capslock down, j tap")
//   sim->workspace().activate(pid);                  // a new frontmost application
//   sim->keyboard().passedEvents(), postedEvents()   // what reached applications, what was posted
//
// Components: keyboard() (taps, posting, key mapping, lock state, raw reports; see SimKeyboard), workspace()
// (applications, activation, secure input, sleep and wake), windowSystem() (windows), keyboardLayout() (US
// unless a test sets another), pasteboards() (in memory). Time stamps and any delay come from the scheduler
// it is made with.
#pragma once

#include <atomic>
#include <memory>

#include "platform/platform.h"
#include "platform/sim/sim_keyboard.h"
#include "platform/sim/sim_keyboard_layout.h"
#include "platform/sim/sim_pasteboard_server.h"
#include "platform/sim/sim_window_system.h"
#include "platform/sim/sim_workspace.h"

namespace vandrel {

class SimPlatform final : public Platform {
public:
    // With no scheduler, a new virtual-time one.
    static std::shared_ptr<SimPlatform> make(rx::SchedulerPtr scheduler = nullptr);
    explicit SimPlatform(rx::SchedulerPtr scheduler);

    SimKeyboard& eventTaps() override { return *keyboard_; }
    SimKeyboard& hidKeyboard() override { return *keyboard_; }
    SimWorkspace& workspace() override { return *workspace_; }
    SimKeyboardLayout& keyboardLayout() override { return *layout_; }
    SimWindowSystem& windowSystem() override { return *windows_; }
    SimPasteboardServer& pasteboards() override { return *pasteboards_; }
    bool isInputAccessTrusted(bool prompt) override;

    SimKeyboard& keyboard() { return *keyboard_; }
    const rx::SchedulerPtr& scheduler() const { return scheduler_; }

    void setInputAccessTrusted(bool trusted) { trusted_ = trusted; }
    int trustPromptCount() const { return trustPrompts_; }

private:
    const rx::SchedulerPtr scheduler_;
    const std::unique_ptr<SimKeyboard> keyboard_;
    const std::shared_ptr<SimWorkspace> workspace_;
    const std::unique_ptr<SimKeyboardLayout> layout_;
    const std::unique_ptr<SimWindowSystem> windows_;
    const std::unique_ptr<SimPasteboardServer> pasteboards_;
    std::atomic<bool> trusted_{true};
    std::atomic<int> trustPrompts_{0};
};

// Installs a platform as the process-wide one for its lifetime, then puts back the one it replaced.
class PlatformInstallation {
public:
    explicit PlatformInstallation(std::shared_ptr<Platform> platform) : previous_(installPlatform(std::move(platform)))
    {
    }
    ~PlatformInstallation() { installPlatform(previous_); }
    PlatformInstallation(const PlatformInstallation&) = delete;
    PlatformInstallation& operator=(const PlatformInstallation&) = delete;

private:
    std::shared_ptr<Platform> previous_;
};

}  // namespace vandrel
