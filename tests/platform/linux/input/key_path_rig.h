// The key path as the program wires it, over an input rig: the Linux input services on the rig's backend (the
// desktop parts simulated), the input observer's taps and the deliverer on the input thread, and the default
// layout's conflict-free table; Caps Lock sends F19. For the key path's tests and benchmark.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "catalogue/build_in_vd_key_scheme.h"
#include "engine/event_keeper.h"
#include "engine/input_observer.h"
#include "engine/key_event_deliver.h"
#include "input_rig.h"
#include "platform/linux/input/linux_event_tap_service.h"
#include "platform/linux/input/linux_hid_keyboard.h"
#include "platform/sim/sim_platform.h"

namespace vandrel::testing {

// The Linux input services over the rig's backend; the desktop parts are simulated.
class KeyPathPlatform final : public Platform {
public:
    // Posting asks the sim's published frontmost snapshot whether it is terminal-like, as the program does.
    KeyPathPlatform(std::shared_ptr<InputBackend> backend, std::shared_ptr<SimPlatform> sim)
        : sim_(std::move(sim)),
          taps_(backend, Workspace::terminalLikeProbe(std::shared_ptr<Workspace>(sim_, &sim_->workspace()))),
          hid_(backend, nullptr)
    {
    }
    SimPlatform& sim() { return *sim_; }
    EventTapService& eventTaps() override { return taps_; }
    HidKeyboard& hidKeyboard() override { return hid_; }
    Workspace& workspace() override { return sim_->workspace(); }
    KeyboardLayout& keyboardLayout() override { return sim_->keyboardLayout(); }
    WindowSystem& windowSystem() override { return sim_->windowSystem(); }
    PasteboardServer& pasteboards() override { return sim_->pasteboards(); }
    bool isInputAccessTrusted(bool) override { return true; }

private:
    std::shared_ptr<SimPlatform> sim_;
    LinuxEventTapService taps_;
    LinuxHidKeyboard hid_;
};

struct KeyPathRig {
    InputRig rig;
    std::shared_ptr<InputBackend> backend{rig.backend.get(), [](InputBackend*) {}};
    std::shared_ptr<Platform> platform = std::make_shared<KeyPathPlatform>(backend, SimPlatform::make(rig.clock));
    PlatformInstallation installed{platform};
    std::shared_ptr<VandrelState> state = std::make_shared<VandrelState>(rig.clock);
    std::shared_ptr<InputObserver> observer;
    std::shared_ptr<KeyEventDeliver> deliver;

    // adjustTable changes the default layout's table before delivery reads it.
    explicit KeyPathRig(InputRig::Setup setup = {}, rx::SchedulerPtr mainScheduler = nullptr,
                        const std::function<void(EventKeeper&)>& adjustTable = nullptr)
        : rig(setup)
    {
        const auto scheme = BuildInVDKeyScheme::vandrel_v20190601();
        auto adjusted = std::make_shared<EventKeeper>(
            *EventKeeper::withoutConflicting(std::make_shared<const EventKeeper>(*scheme), scheme));
        if (adjustTable) adjustTable(*adjusted);
        const EventKeeperPtr table = adjusted;
        observer = InputObserver::make({platform, state, backend->inputThreadScheduler(), rig.clock, nullptr});
        deliver = KeyEventDeliver::make({observer, state, [table] { return table; }, rig.clock,
                                         mainScheduler ? mainScheduler : rx::SchedulerPtr(rig.clock), true});
        deliver->install();
        observer->startMonitoring();
        backend->setKeyMapping({{57, 80}});  // Caps Lock sends F19, as the program maps it
        if (!setup.ownThread) rig.pump();
    }
    ~KeyPathRig() { observer.reset(); }

    // Pumps, a pause at a time, until the output has been quiet for a while; everything it wrote.
    std::vector<input_event> drain()
    {
        std::vector<input_event> out;
        for (int quiet = 0; quiet < 3;) {
            rig.pumpAfterPause();
            const auto more = rig.rawOutput();
            quiet = more.empty() ? quiet + 1 : 0;
            out.insert(out.end(), more.begin(), more.end());
        }
        return out;
    }
};

}  // namespace vandrel::testing
