// The core object of the engine. It owns the Caps-hold state, the working environment, the key-event
// deliverer, the key service and the engine's side of the window-binding service, and start() brings the
// engine up in a fixed order: Caps Lock lock off, environment monitoring, window-binding restore, clipboard
// services, delivery, key schemes, and last the event taps. The services above the engine (window binding,
// clipboards, windows) reach it only through the VandrelServices it is given.
//
// The program (or a test) makes one with its options and installs it before first use; vandrel() gives the
// installed one, making one with the default options when none is installed.
//
//   Vandrel::Options options;
//   options.factoryScheme = [] { return BuildInVDKeyScheme::vandrel_v20190601(); };
//   options.services.showCheatSheet = [sheet] { sheet->show(); };
//   installVandrel(Vandrel::make(std::move(options)));
//   MainQueue::shared()->async([] { vandrel().start(); });
#pragma once

#include <atomic>
#include <functional>
#include <memory>

#include "core/installed_instance.h"
#include "core/settings_store.h"
#include "engine/input_observer.h"
#include "engine/key_event_deliver.h"
#include "engine/key_service.h"
#include "engine/vandrel_services.h"
#include "engine/vandrel_state.h"
#include "engine/window_binding_service.h"
#include "engine/working_environment.h"
#include "model/vd_key_scheme.h"
#include "platform/platform.h"
#include "rx/scheduler.h"

namespace vandrel {

class Vandrel : public std::enable_shared_from_this<Vandrel> {
    struct Passkey {
        explicit Passkey() = default;
    };

public:
    struct Options {
        // The default factory scheme, a new object on every call (the catalogue's vandrel_v20190601). Null:
        // an empty built-in scheme stands in, and an error is logged.
        std::function<VDKeySchemePtr()> factoryScheme;
        // Null: Platform::shared(), which must then be installed.
        std::shared_ptr<Platform> platform;
        // "Now" of the Caps-hold state. Null: the steady clock.
        rx::SchedulerPtr clock;
        // Where actions and other main-thread work run. Null: MainQueue::shared().
        rx::SchedulerPtr mainScheduler;
        // Delivery and scheme set-up. Null: KeyEventDeliver::keyEventScheduler().
        rx::SchedulerPtr keyEventScheduler;
        // Deliver Caps combinations inside the tap callbacks instead of on the key-event scheduler (see
        // KeyEventDeliver): for a platform whose taps run on a serial input thread of their own (Linux).
        bool deliverOnTapThread = false;
        // The window-binding restore. Null: DispatchQueues::windowBinding().
        rx::SchedulerPtr windowBindingScheduler;
        // The working environment's secure-input poll. Null: GlobalQueue::shared().
        rx::SchedulerPtr backgroundScheduler;
        // Null: InputObserver::shared(); when none is installed either, one is made over the platform. Its
        // Caps-hold state becomes this object's state. Installing the core object installs it as shared.
        std::shared_ptr<InputObserver> inputObserver;
        // For an input observer made here: jobs on the taps' thread, and the guardian's ticks. Null: the main
        // scheduler.
        rx::SchedulerPtr inputThreadScheduler;
        rx::SchedulerPtr guardianScheduler;
        // Null: the process-wide user settings.
        std::shared_ptr<SettingsStore> settings;
        // Null: one over the platform, the background scheduler and the settings.
        std::shared_ptr<WorkingEnvironment> environment;
        // The services above the engine; an empty entry is a service not available in this run.
        VandrelServices services;
        // The slot keys the key service fills for the window-binding service. Null: a new one.
        std::shared_ptr<WindowBindingService> windowBindingService;
    };

    static std::shared_ptr<Vandrel> make(Options options);
    // The slot behind vandrel() and installedVandrel().
    static InstalledInstance<Vandrel>& installed();
    Vandrel(Passkey, Options options);
    ~Vandrel();
    Vandrel(const Vandrel&) = delete;
    Vandrel& operator=(const Vandrel&) = delete;

    // Brings the engine up; once (a second call only logs). On the main thread.
    void start();
    bool isStarted() const { return started_.load(std::memory_order_acquire); }

    const std::shared_ptr<Platform>& platform() const { return platform_; }
    const std::shared_ptr<InputObserver>& inputObserver() const { return inputObserver_; }
    const rx::SchedulerPtr& mainScheduler() const { return mainScheduler_; }
    const rx::SchedulerPtr& keyEventScheduler() const { return keyEventScheduler_; }
    const VandrelServices& services() const { return options_.services; }

private:
    const Options options_;
    const std::shared_ptr<Platform> platform_;
    const rx::SchedulerPtr mainScheduler_;
    const rx::SchedulerPtr keyEventScheduler_;
    const rx::SchedulerPtr windowBindingScheduler_;

public:
    const std::shared_ptr<VandrelState> state;
    const std::shared_ptr<WorkingEnvironment> env;

private:
    const std::shared_ptr<InputObserver> inputObserver_;

public:
    const std::shared_ptr<WindowBindingService> windowBindingService;
    const std::shared_ptr<KeyService> keyService;
    const std::shared_ptr<KeyEventDeliver> eventDeliver;

private:
    std::atomic<bool> started_{false};
};

// The installed core object; made with the default options on first use when none is installed.
Vandrel& vandrel();
std::shared_ptr<Vandrel> sharedVandrel();
// The installed core object, or null: for code that must not make one.
std::shared_ptr<Vandrel> installedVandrel();
// Installs the core object (null uninstalls it) and returns the one it replaces; its input observer becomes
// InputObserver::shared(). A reference from vandrel() stays valid while its object is installed.
std::shared_ptr<Vandrel> installVandrel(std::shared_ptr<Vandrel> instance);

}  // namespace vandrel
