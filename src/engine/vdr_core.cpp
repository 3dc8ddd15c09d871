#include "engine/vdr_core.h"

#include "core/log.h"
#include "platform/system_log.h"

namespace vandrel {

bool VdrCore::hasAXPermission()
{
    auto platform = Platform::shared();
    if (!platform) {
        systemLog("checking if hasAXPermission");
        log.error("no platform installed: input access counts as missing");
        return false;
    }
    return hasAXPermission(*platform);
}

bool VdrCore::hasAXPermission(Platform& platform)
{
    systemLog("checking if hasAXPermission");
    return platform.isInputAccessTrusted(false);
}

void VdrCore::promptToGetAXPermission()
{
    if (auto platform = Platform::shared()) platform->isInputAccessTrusted(true);
    systemLog("promptToGetAXPermission end");
}

void VdrCore::postKeyEventWithVKeyCode(std::uint16_t keyCode, bool isDown)
{
    auto platform = Platform::shared();
    if (!platform) return;
    KeyEvent event;
    event.type = isDown ? KeyEventType::keyDown : KeyEventType::keyUp;
    event.keyCode = keyCode;
    platform->eventTaps().postEvent(event, EventTapLocation::session);
}

}  // namespace vandrel
