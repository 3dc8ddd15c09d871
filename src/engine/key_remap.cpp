#include "engine/key_remap.h"

#include <mutex>

#include "core/log.h"
#include "platform/hid_usage.h"
#include "platform/system_log.h"

namespace vandrel {

namespace {

std::mutex& listMutex()
{
    static std::mutex m;
    return m;
}

std::vector<KeyMappingEntry>& list()
{
    static std::vector<KeyMappingEntry> entries;
    return entries;
}

constexpr std::uint64_t kCapsLockUsage = HidUsage::keyboardUsage(HidUsage::capsLock);
constexpr std::uint64_t kF19Usage = HidUsage::keyboardUsage(HidUsage::f19);

}  // namespace

void KeyRemap::remap()
{
    fillAndApply(Platform::shared().get(), {kCapsLockUsage, kF19Usage}, "CapsLock set");
}

void KeyRemap::remap(Platform& platform)
{
    fillAndApply(&platform, {kCapsLockUsage, kF19Usage}, "CapsLock set");
}

void KeyRemap::unremap()
{
    fillAndApply(Platform::shared().get(), {kCapsLockUsage, kCapsLockUsage}, "CapsLock unset");
}

void KeyRemap::unremap(Platform& platform)
{
    fillAndApply(&platform, {kCapsLockUsage, kCapsLockUsage}, "CapsLock unset");
}

std::vector<KeyMappingEntry> KeyRemap::remapList()
{
    std::lock_guard lock(listMutex());
    return list();
}

void KeyRemap::fillAndApply(Platform* platform, KeyMappingEntry entry, const char* systemLogLine)
{
    std::vector<KeyMappingEntry> mapping;
    {
        std::lock_guard lock(listMutex());
        list().assign(1, entry);
        mapping = list();
    }
    if (platform)
        platform->hidKeyboard().setUserKeyMapping(mapping);
    else
        log.error("no platform installed: the Caps Lock mapping is left as it is");
    systemLog(systemLogLine);
}

}  // namespace vandrel
