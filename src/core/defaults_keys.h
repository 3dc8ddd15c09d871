// Every typed setting of the program: its key string, type and default. Read and write them through the
// settings store, `Defaults()[DefaultsKeys::clip_isPastePlainText]`.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "core/defaults_key.h"

namespace vandrel {

struct DefaultsKeys {
    using StringList = std::vector<std::string>;
    using StringMap = std::map<std::string, std::string>;

    static inline const DefaultsKey<bool> app_isStartAtLogin{"app_isStartAtLogin", false};
    static inline const DefaultsKey<bool> app_isAutoCheckUpdates{"app_isAutoCheckUpdates", false};
    static inline const DefaultsKey<bool> app_isCheckBetaUpdate{"app_isCheckBetaUpdate", false};
    static inline const DefaultsKey<bool> app_isCheckAlphaUpdate{"app_isCheckAlphaUpdate", false};
    static inline const DefaultsKey<bool> app_isAllowSendUsage{"app_isAllowSendUsage", false};
    static inline const DefaultsKey<bool> app_isDevelopMode{"app_isDevelopMode", false};
    static inline const DefaultsKey<std::string> app_theVersionFirstLaunch{"app_theVersionFirstLaunch", ""};
    static inline const DefaultsKey<std::string> app_theVersionLastLaunch{"app_theVersionLastLaunch", ""};
    static inline const DefaultsKey<std::string> app_theTimeFirstLaunch{"app_theTimeFirstLaunch", ""};
    static inline const DefaultsKey<std::string> app_theTimeLastLaunch{"app_theTimeLastLaunch", ""};
    // The accessor names of the next three differ from their stored key strings; stored files use the latter.
    static inline const DefaultsKey<std::int64_t> app_launchedTimes{"app_launchTimes", 0};
    static inline const DefaultsKey<std::string> app_fileLogMinLevel{"app_fileMinLogLevel", ""};
    static inline const DefaultsKey<std::string> hotkey_currentKeyScheme{"hotkey_currentKeyscheme", ""};
    static inline const DefaultsKey<std::string> hotkey_currentVandrelVersion{"hotkey_currentVandrelVersion", ""};
    static inline const DefaultsKey<StringList> hotkey_customKeySchemeNames{"hotkey_customKeySchemeNames", {}};
    static inline const DefaultsKey<StringMap> hotkey_allCustomKeySchemes{"hotkey_allCustomKeySchemes", {}};
    static inline const DefaultsKey<bool> clip_isPastePlainText{"clip_isPastePlainText", false};
    static inline const DefaultsKey<bool> clip_isDeleteHistory{"clip_isDeleteHistory", false};
    static inline const DefaultsKey<bool> clip_isPasteAndDeleteHistory{"clip_isPasteAndDeleteHistory", false};
    static inline const DefaultsKey<bool> clip_isCopySameHistory{"clip_isCopySameHistory", true};
    static inline const DefaultsKey<bool> clip_isOverwriteSameHistory{"clip_isOverwriteSameHistory", false};
    static inline const DefaultsKey<std::int64_t> clip_thumbnailWidth{"clip_thumbnailWidth", 100};
    static inline const DefaultsKey<std::int64_t> clip_thumbnailHeight{"clip_thumbnailHeight", 32};
    // Clipboard content larger than this many megabytes is not kept in the history.
    static inline const DefaultsKey<std::int64_t> clip_maxItemMegabytes{"clip_maxItemMegabytes", 50};
    static inline const DefaultsKey<std::string> feedback_username{"feedback_username", ""};
    static inline const DefaultsKey<std::string> feedback_email{"feedback_email", ""};
    // Base address (http or https) of the feedback service; reports go to "<base>/api/feedback". Empty: the
    // feedback form has nowhere to send and says so.
    static inline const DefaultsKey<std::string> feedback_apiBase{"feedback_apiBase", ""};
    // Base address (http or https) of the product site: the manual and the tutorial are its "/manual" and
    // "/tutorial" pages. Empty: the local pages shipped with the program.
    static inline const DefaultsKey<std::string> app_siteBase{"app_siteBase", ""};
    // Base address (http or https) of the download host; the update feed is "<base>/app/appcast.xml". Empty:
    // there is no update source and nothing is asked for.
    static inline const DefaultsKey<std::string> app_downloadBase{"app_downloadBase", ""};
    static inline const DefaultsKey<bool> windowBinding_isLaunchAppWithoutConfirmation{
        "windowBinding_isLaunchAppWithoutConfirmation", false};
    static inline const DefaultsKey<bool> cheatSheet_isWindowPined{"cheatSheet_isWindowPined", true};
    static inline const DefaultsKey<bool> cheatSheet_isCloseOnCapsUp{"cheatSheet_isCloseOnCapsUp", true};
    static inline const DefaultsKey<bool> experimental_hotstring{"experimental_hotstring", false};
    // The user's terminal-like applications (desktop-entry ids, WM_CLASS or executable names, any case), in
    // addition to the terminal emulators the program knows.
    static inline const DefaultsKey<StringList> app_extraTerminalLikeApps{"app_extraTerminalLikeApps", {}};

    // In the suite shared with the login-item helper (GroupDefaults()): the running program's process id, -1
    // once it quit the normal way.
    static inline const DefaultsKey<std::int64_t> app_theVandrelCurrentPID{"app_theVandrelCurrentPID", 0};

    // Not a typed key: usage reporting reads and writes it by name (SettingsStore::uniqueUserIdentifier).
    static constexpr const char* googleReporter_uniqueUserIdentifier = "googleReporter_uniqueUserIdentifier";
};

}  // namespace vandrel
