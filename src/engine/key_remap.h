// Makes the physical Caps Lock key send F19 (key code 80, the proxy key the taps turn back into Caps Lock)
// through the per-keyboard user key mapping, and takes that mapping away again. Because the mapping sits
// beneath the taps, the desktop never toggles the Caps Lock lock by itself while the program runs.
#pragma once

#include <vector>

#include "platform/hid_keyboard.h"
#include "platform/platform.h"

namespace vandrel {

class KeyRemap {
public:
    // Caps Lock to F19 on every keyboard connected now (the installed platform's, or the one given).
    static void remap();
    static void remap(Platform& platform);
    // Caps Lock to itself: removes the mapping.
    static void unremap();
    static void unremap(Platform& platform);

    // The mapping last applied: one entry once remap or unremap has run.
    static std::vector<KeyMappingEntry> remapList();

private:
    static void fillAndApply(Platform* platform, KeyMappingEntry entry, const char* systemLogLine);
};

}  // namespace vandrel
