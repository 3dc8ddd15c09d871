#include "platform/linux/input/linux_hid_keyboard.h"

#include <linux/input-event-codes.h>

#include <map>

#include "core/log.h"
#include "platform/hid_usage.h"

namespace vandrel {

namespace {

// Virtual key code of a mapping value (usage page << 32 | usage); -1 outside the keyboard page.
int keyCodeOfUsage(std::uint64_t value)
{
    if ((value >> 32) != HidUsage::keyboardPage) return -1;
    const auto code = HidUsage::keyCodeForUsage(static_cast<std::uint32_t>(value & 0xFFFFFFFF));
    return code ? *code : -1;
}

}  // namespace

LinuxHidKeyboard::LinuxHidKeyboard(std::shared_ptr<InputBackend> backend,
                                   std::unique_ptr<InputCapsLockIndicator> indicator)
    : backend_(std::move(backend)), indicator_(std::move(indicator))
{
}

void LinuxHidKeyboard::setUserKeyMapping(const std::vector<KeyMappingEntry>& mapping)
{
    std::map<std::uint16_t, std::uint16_t> codes;
    for (const auto& entry : mapping) {
        const int src = keyCodeOfUsage(entry.src);
        const int dst = keyCodeOfUsage(entry.dst);
        if (src < 0 || dst < 0) {
            log.warning("A key mapping entry outside the keyboard page is left out ->", entry.src);
            continue;
        }
        codes[static_cast<std::uint16_t>(src)] = static_cast<std::uint16_t>(dst);
    }
    backend_->start();
    backend_->setKeyMapping(std::move(codes));
}

std::optional<bool> LinuxHidKeyboard::capsLockLockState()
{
    if (indicator_) {
        if (auto locked = indicator_->isLocked()) return locked;
    }
    backend_->start();
    return backend_->capsLockLight();
}

bool LinuxHidKeyboard::setCapsLockLockState(bool on)
{
    if (indicator_ && indicator_->setLocked(on)) return true;
    // No lock of the desktop to set: type Caps Lock when the light says it must change.
    const auto current = capsLockLockState();
    if (!current) return false;
    if (*current == on) return true;
    return backend_->post({{KEY_CAPSLOCK, true, 0}, {KEY_CAPSLOCK, false, 0}});
}

bool LinuxHidKeyboard::toggleCapsLockLockState()
{
    return backend_->post({{KEY_CAPSLOCK, true, 0}, {KEY_CAPSLOCK, false, 0}});
}

bool LinuxHidKeyboard::startObservingKeys()
{
    backend_->start();
    backend_->setObservingKeys(true);
    if (backend_->keyboardCount() > 0) return true;
    log.error("No keyboard can be read; the physical keys cannot be watched");
    return false;
}

void LinuxHidKeyboard::setObservedKeys(std::vector<std::uint32_t> keyboardUsages)
{
    backend_->setObservedKeys(std::move(keyboardUsages));
}

rx::Observable<HidKeyReport> LinuxHidKeyboard::keyReports()
{
    return backend_->keyReports();
}

}  // namespace vandrel
