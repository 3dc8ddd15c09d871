#include "catalogue/recorded_key.h"

#include <algorithm>
#include <cctype>

#include "core/log.h"
#include "platform/platform.h"

namespace vandrel {

std::optional<VDKey> RecordedKey::fromId(std::string_view id)
{
    if (id.empty() || !std::all_of(id.begin(), id.end(), [](unsigned char c) { return std::isxdigit(c) != 0; }))
        return std::nullopt;
    const auto keybit = VDKey::keybitFromId(id);
    if (!keybit) return std::nullopt;
    return VDKey::fromKeybit(keybit.value());
}

void RecordedKey::keyAct(const VDKey& key, bool isDown)
{
    if (key.keycode() < 0 || key.keycode() > 0xFFFF) {
        log.error("Create keyEvent fail!", key.keycode());
        return;
    }
    auto platform = Platform::shared();
    if (!platform) {
        log.error("Create keyEvent fail!", "no platform installed");
        return;
    }
    KeyEvent event;
    event.type = isDown ? KeyEventType::keyDown : KeyEventType::keyUp;
    event.keyCode = static_cast<std::uint16_t>(key.keycode());
    const auto& modifiers = key.modifiers();
    if (modifiers.count(55)) event.flags |= EventFlags::maskCommand;
    if (modifiers.count(56)) event.flags |= EventFlags::maskShift;
    if (modifiers.count(58)) event.flags |= EventFlags::maskAlternate;
    if (modifiers.count(59)) event.flags |= EventFlags::maskControl;
    if (!platform->eventTaps().postRecordedEvent(event, key.tapLocation()))
        log.error("Create keyEvent fail!", key.keycode());
}

}  // namespace vandrel
