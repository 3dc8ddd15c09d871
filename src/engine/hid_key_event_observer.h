// The physical Caps Lock and Shift keys, read beneath the key mapping and the taps. Its consumer is the
// Caps-up repair of the input observer: when the physical Caps key goes up but the engine still believes Caps
// is held (its release was lost), the repair makes up the missing release.
#pragma once

#include <atomic>
#include <memory>

#include "core/installed_instance.h"
#include "platform/hid_keyboard.h"
#include "platform/platform.h"
#include "rx/rx.h"

namespace vandrel {

class HIDKeyEventObserver {
public:
    // Reads the platform's raw key reports once started; starts nothing. Null platform: the relays never move.
    explicit HIDKeyEventObserver(std::shared_ptr<Platform> platform);
    ~HIDKeyEventObserver();
    HIDKeyEventObserver(const HIDKeyEventObserver&) = delete;
    HIDKeyEventObserver& operator=(const HIDKeyEventObserver&) = delete;

    // The installed instance, or null. install() returns the one it replaces.
    static std::shared_ptr<HIDKeyEventObserver> shared();
    static InstalledInstance<HIDKeyEventObserver>& installed();
    static std::shared_ptr<HIDKeyEventObserver> install(std::shared_ptr<HIDKeyEventObserver> observer);

    // Follows the reports of keyboards and keypads; later calls do nothing. A keyboard that cannot be read
    // is logged and the relays then never change.
    void startObserving();

    // Every report of the key emits, on the platform's input thread, also one that changes nothing.
    // isShiftDown follows the last report of either Shift key, not the pair.
    const rx::BehaviorRelay<bool> isCapsDown{false};
    const rx::BehaviorRelay<bool> isShiftDown{false};

    // One raw report: keyboard-page Caps Lock and Shift reports move the relays, everything else is ignored.
    void ioHIDInputValueCallbackHandler(const HidKeyReport& report) const;

private:
    const std::shared_ptr<Platform> platform_;
    std::atomic<bool> started_{false};
    rx::DisposeBag disposeBag_;
};

}  // namespace vandrel
