// What a feedback report's diagnostics option sends, besides the debug log: the system facts and the
// settings dump. Both are computed on first use and then kept, so the diagnostics view of one form and its
// upload show and send the same values.
//
//   auto diagnostics = std::make_shared<FeedbackDiagnostics>();
//   diagnostics->systemInfo()["memorySize"];        // whole GiB of physical memory
//   diagnostics->defaultsDebugDescription();        // ["app_isDevelopMode": false, ...] or "nil"
//
// Every source can be replaced (tests); an unset one reads the running system: the DMI product name (or
// the device-tree model), uname, sysinfo, the online processors, the primary screen of the GUI application,
// the interface languages and the distribution's pretty name. A fact that cannot be read is "" or 0.
//
// The settings dump leaves out the name and e-mail address the user typed into a feedback form: the
// profile is sent as anonymous. Every member may be used from any thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vandrel {

class SettingsStore;

class FeedbackDiagnostics {
public:
    struct Sources {
        std::function<std::string()> model;
        std::function<std::string()> osRelease;
        std::function<std::string()> machine;
        std::function<std::string()> osType;
        // Physical memory in bytes.
        std::function<std::uint64_t()> memorySize;
        std::function<std::int32_t()> activeCPUs;
        std::function<std::optional<std::pair<double, double>>()> screenSize;
        // The user's interface languages, most preferred first.
        std::function<std::vector<std::string>()> preferredLanguages;
        // The operating system's name and version ("Debian GNU/Linux 12 (bookworm)").
        std::function<std::string()> osVersion;
        std::optional<std::string> version;
        std::optional<std::string> buildVersion;
        // The settings that are dumped; Defaults() when null.
        SettingsStore* settings = nullptr;
        // The current debug log; LogManager::debugLogFileUrl() when unset.
        std::optional<std::filesystem::path> debugLogUrl;
    };

    FeedbackDiagnostics();
    explicit FeedbackDiagnostics(Sources sources);
    FeedbackDiagnostics(const FeedbackDiagnostics&) = delete;
    FeedbackDiagnostics& operator=(const FeedbackDiagnostics&) = delete;

    // "model", "osRelease", "machine", "memorySize", "osType", "activeCPUs", "vandrelVersion",
    // "screenResolution", "language", "osVersion".
    const nlohmann::json& systemInfo();
    const std::string& defaultsDebugDescription();
    std::filesystem::path debugLogUrl() const;

    // Whole GiB of a byte count, the remainder dropped.
    static std::uint64_t memoryInGiB(std::uint64_t bytes);
    // The debug text of a settings domain: "nil" when there is none, otherwise its members in square
    // brackets as "key": value, keys and values written as JSON, in key order ("[:]" when empty). The keys
    // of privateSettingsKeys() are left out.
    static std::string settingsDebugDescription(const std::optional<nlohmann::json>& domain);
    static const std::vector<std::string>& privateSettingsKeys();

private:
    Sources sources_;
    std::once_flag systemInfoOnce_;
    nlohmann::json systemInfo_;
    std::once_flag defaultsOnce_;
    std::string defaultsDebugDescription_;
};

}  // namespace vandrel
