#include "engine/hid_key_event_observer.h"

#include <mutex>

#include "core/log.h"
#include "platform/hid_usage.h"

namespace vandrel {

HIDKeyEventObserver::HIDKeyEventObserver(std::shared_ptr<Platform> platform) : platform_(std::move(platform))
{
    if (!platform_) log.error("Can't create manager");
}

HIDKeyEventObserver::~HIDKeyEventObserver() = default;

InstalledInstance<HIDKeyEventObserver>& HIDKeyEventObserver::installed()
{
    static InstalledInstance<HIDKeyEventObserver> slot;
    return slot;
}

std::shared_ptr<HIDKeyEventObserver> HIDKeyEventObserver::shared()
{
    return installed().get();
}

std::shared_ptr<HIDKeyEventObserver> HIDKeyEventObserver::install(std::shared_ptr<HIDKeyEventObserver> observer)
{
    return installed().set(std::move(observer));
}

void HIDKeyEventObserver::startObserving()
{
    if (started_.exchange(true) || !platform_) return;
    auto& hid = platform_->hidKeyboard();
    // Subscribe first so that no report between opening and subscribing is missed. The relays live as long
    // as this object, and the bag ends the subscription before they go.
    hid.keyReports()
        .subscribe([this](const HidKeyReport& report) { ioHIDInputValueCallbackHandler(report); })
        .disposed(disposeBag_);
    // Only these keys move the relays: the input thread reports no other.
    hid.setObservedKeys({HidUsage::capsLock, HidUsage::leftShift, HidUsage::rightShift});
    if (!hid.startObservingKeys()) log.error("Looks like can't open HID?, but all thing work during teting...");
}

void HIDKeyEventObserver::ioHIDInputValueCallbackHandler(const HidKeyReport& report) const
{
    if (report.usagePage != HidUsage::keyboardPage) return;
    switch (report.usage) {
        case HidUsage::leftShift:
        case HidUsage::rightShift:
            isShiftDown.accept(report.value == 1);
            break;
        case HidUsage::capsLock:
            isCapsDown.accept(report.value == 1);
            break;
        default:
            break;
    }
}

}  // namespace vandrel
