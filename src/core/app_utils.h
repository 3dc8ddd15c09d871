// Application-level operations that the application shell supplies: an immediate update check and a
// restart. Lower layers call them here; the shell registers the handlers at start-up.
#pragma once

#include <functional>

namespace vandrel {

class AppUtils {
public:
    // Each does nothing but log while no handler is registered (a restart without one never terminates).
    static void checkForUpdates();
    static void restartApp();

    static void setCheckForUpdatesHandler(std::function<void()> handler);
    static void setRestartHandler(std::function<void()> handler);
};

}  // namespace vandrel
