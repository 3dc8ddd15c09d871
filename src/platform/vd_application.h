// One running application as the window wrappers see it: its workspace record and its accessibility
// element. Placeholders (made from stored values) have neither.
#pragma once

#include <cstdint>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "platform/running_application.h"

namespace vandrel {

class Window;

class VDApplication {
public:
    std::optional<RunningApplication> runningApp;
    // The application element is reachable (absent on placeholders).
    bool hasElement = false;
    std::int32_t pid = 0;
    std::optional<std::string> bundleId;
    std::optional<std::string> url;
    std::optional<std::string> name;

    // Null when no running application has that pid or its element cannot be made.
    static std::shared_ptr<VDApplication> newAppWithPid(std::int32_t pid);
    // The first running application with that identity; null when none runs. pid and element are filled
    // only when the element can be made.
    static std::shared_ptr<VDApplication> newAppWithBundleId(const std::string& bundleId);
    static std::shared_ptr<VDApplication> newAppByFillProperty(std::int32_t pid, const std::string& bundleId,
                                                               const std::string& name, std::optional<std::string> url);

    // newAppWithPid for each running application, in the workspace's order; those that give none left out.
    static std::vector<std::shared_ptr<VDApplication>> getAllRunningApplications();
    static std::vector<std::shared_ptr<VDApplication>> applicationsForBundleId(const std::string& bundleId);
    static std::shared_ptr<VDApplication> getAppWithBundleId(const std::string& bundleId);
    // From an application store dictionary: by its "pid", else by its "bundleId".
    static std::shared_ptr<VDApplication> restoreFromData(const nlohmann::json& data);
    static bool isRunning(std::int32_t pid);
    static bool isRunningWithBundleId(const std::string& bundleId);
    // Launch requests to the workspace; true when accepted.
    static bool launchOrFocusByBundleId(const std::string& bundleId);
    static bool launchOrFocusByName(const std::string& name);
    static bool launchOrFocusAtURLStr(const std::string& url);

    // 1 regular, 0 accessory, -1 prohibited.
    int kind() const;
    // By pid when one is set, else by identity.
    bool isRunning() const;
    // The application's main window; the focused window when it has none and is frontmost; else null.
    std::shared_ptr<Window> mainWindow() const;
    // mainWindow(), logging through the program's logger how it went.
    std::shared_ptr<Window> getMainWindow() const;
    // At most 100 windows, in the application's order; empty when they cannot be read.
    std::vector<std::shared_ptr<Window>> getAllWindows() const;
    // {"pid", "bundleId", "name", "url"}; absent when the identity, name or URL is unknown.
    std::optional<nlohmann::json> getDataForStore() const;
};

}  // namespace vandrel
