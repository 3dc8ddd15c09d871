// The window-binding service: binds the focused window to a numbered slot, brings the slot's window back on a
// later press (or minimizes it and gives focus back when it already has focus), and launches its application
// again when it has quit (on a second press within 4 s, or at once with the setting
// "windowBinding_isLaunchAppWithoutConfirmation"), binding the new main window to the slot. Bindings are
// stored in the database ("VDWindowBindingData") and found again at start-up.
//
// Threads: the actions push closures onto eventQueue from any thread; they run throttled (0.1 s, the latest
// kept) on the window-binding queue. Every field of the service (the slot map, the previously focused window,
// the key pending a second press) is read and written there only: bind, activate, restore and the callbacks
// of a launch all run on that queue. The slot keys come from the key service through WindowBindingService
// (its own lock). Messages go through popupMsg; the launch notice is queued on the main queue.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "core/popup_msg.h"
#include "core/settings_store.h"
#include "engine/window_binding_service.h"
#include "model/vd_atomic_action_param.h"
#include "platform/running_application.h"
#include "platform/window.h"
#include "rx/scheduler.h"
#include "rx/subjects.h"
#include "windowbinding/vd_application_open.h"
#include "windowbinding/window_list.h"

namespace vandrel {

class VDWindowBinding : public std::enable_shared_from_this<VDWindowBinding> {
    struct Passkey {
        explicit Passkey() = default;
    };

public:
    static constexpr double kThrottleSeconds = 0.1;
    static constexpr double kPressAgainSeconds = 4.0;
    static constexpr double kLaunchWaitSeconds = 5.0;

    struct Dependencies {
        // The window-binding queue (serial): every operation, the throttle and the timers. Required.
        rx::SchedulerPtr scheduler;
        // Where the launch notice and the bind message are shown. Null: the window-binding queue.
        rx::SchedulerPtr mainScheduler;
        // The bind and activate keys of each slot in the active scheme. Null: none known.
        std::shared_ptr<WindowBindingService> keys;
        // The application that was active before the frontmost one. Null: none.
        std::function<std::optional<RunningApplication>()> preActiveApplication;
        // Null: the process-wide user settings.
        std::shared_ptr<SettingsStore> settings;
        // Identities whose windows are never bound (compared case-insensitively).
        std::set<std::string> skippedApplicationIds = WindowList::defaultSkippedApplicationIds();
        // Shows the messages to the user. Null: popupMsg.
        PopupPresenter popup;
    };

    struct Tips {
        static const std::string& noFocusingWindow();
        static const std::string& noBindingWindow();
    };

    static std::shared_ptr<VDWindowBinding> make(Dependencies dependencies);
    VDWindowBinding(Passkey, Dependencies dependencies);
    VDWindowBinding(const VDWindowBinding&) = delete;
    VDWindowBinding& operator=(const VDWindowBinding&) = delete;

    // Work items of the window-binding actions.
    const rx::PublishSubject<std::function<void()>> eventQueue;

    // The bodies of the bind and activate actions: each pushes one closure onto eventQueue (any thread). A
    // parameter other than a window-binding id does nothing.
    void pushBind(const VDAtomicActionParam& param);
    void pushActivate(const VDAtomicActionParam& param);

    // --- on the window-binding queue ---
    // Binds the focused window to the slot; null when no window has focus (the user is told).
    std::shared_ptr<Window> bind(std::int64_t bindingId);
    void activate(std::int64_t bindingId);
    // Finds the window of one stored binding again and puts it in the slot.
    void restoreBinding(std::int64_t bindingId);
    // restoreBinding for every stored binding, in the order of their ids. A database that cannot be opened
    // or read is logged and skipped.
    void restoreAllBindings();

    std::shared_ptr<Window> windowOf(std::int64_t bindingId) const;
    std::shared_ptr<Window> preFocusedWindow() const { return preFocusedWindow_; }
    WindowList& windowList() { return windows_; }

private:
    void storeBinding(std::int64_t bindingId, const std::shared_ptr<Window>& win);
    void showUnbound(std::int64_t bindingId);
    void minimizeWindowAndFocusPrefocusedWindow(const std::shared_ptr<Window>& win);
    void minimizeStep(const std::shared_ptr<Window>& win);
    void rebind(std::int64_t bindingId, const std::shared_ptr<Window>& win);
    std::optional<VDKey> activateKey(std::int64_t bindingId) const;
    std::optional<VDKey> bindKey(std::int64_t bindingId) const;
    SettingsStore& settings() const;

    const Dependencies dependencies_;
    WindowList windows_;
    const VDApplicationOpener opener_;
    rx::Disposable subscription_;

    std::map<std::int64_t, std::shared_ptr<Window>> idToWindowDictionary;
    std::shared_ptr<Window> preFocusedWindow_;
    std::optional<VDKey> keyToLaunchAppWhenPressAgain;
    // Each first press gets a new generation; its 4 s clear only clears its own pending key.
    std::uint64_t pressAgainGeneration_ = 0;
};

}  // namespace vandrel
