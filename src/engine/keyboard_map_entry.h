// The way into the keyboard-map window. The window lives in the overlays above the engine, so the overlays
// register its show function here at start-up; until they do, a request to show it is only logged.
#pragma once

#include <functional>

namespace vandrel {

class KeyboardMapEntry {
public:
    using ShowWindow = std::function<void()>;

    KeyboardMapEntry() = delete;

    // Installs the function that brings the keyboard-map window up (an empty one removes it) and returns
    // the previous one. Thread-safe.
    static ShowWindow setShowWindow(ShowWindow showWindow);

    // Brings the keyboard-map window up, on the calling thread (callers are on the main queue).
    static void showWindow();
};

}  // namespace vandrel
