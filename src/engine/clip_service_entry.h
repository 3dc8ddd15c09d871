// The way from the engine's start-up into the clipboard services, which live above the engine: the clip
// subsystem registers its start function here; until it does, starting them only logs that they are not
// available.
#pragma once

#include <functional>

namespace vandrel {

class ClipServiceEntry {
public:
    using StartMonitoring = std::function<void()>;

    ClipServiceEntry() = delete;

    // Installs the start function (an empty one removes it) and returns the previous one. Thread-safe.
    static StartMonitoring setStartMonitoring(StartMonitoring start);

    // Starts the clipboard services on the calling thread; they return at once. False when none registered.
    static bool startMonitoring();
};

}  // namespace vandrel
