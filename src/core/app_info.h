// Facts about the running program: its version and build, its data folders, and starting at login.
//
// The data folder is ProgramFolders' support folder ($XDG_DATA_HOME/Vandrel, ~/.local/share/Vandrel, unless
// other folders are installed), created on first use (0700, as is cache/clip in it). Every member may be used
// from any thread.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/login_item_service.h"
#include "core/vd_version.h"

namespace vandrel {

class AppInfo {
public:
    static const std::string& version();
    static const std::string& buildVersion();
    static const VDVersion& vdVersion();

    static std::filesystem::path supportFolderUrl();
    // supportFolderUrl() + "cache/clip", created on first use.
    static std::filesystem::path clipCacheFolderUrl();
    static bool isTesting();

    // Registers or removes the login item (null: the installed one); on success stores the choice under
    // app_isStartAtLogin. On failure the setting stays and the reason is returned, for the caller to show.
    static std::optional<std::string> switchStartAtLogin(bool enabled,
                                                         std::shared_ptr<LoginItemService> service = nullptr);
    // At launch, while start at login is on: writes the login item again, so that it names this program's helper
    // after the program was installed or moved. A failure is logged; the setting stays.
    static void renewLoginItem(std::shared_ptr<LoginItemService> service = nullptr);

    // The version texts as a bundle reports them: the stored text, or "0.0.0" / "0" when there is none.
    static std::string releaseVersionNumber(std::string_view stored);
    static std::string buildVersionNumber(std::string_view stored);

    // $XDG_DATA_HOME/Vandrel, or ~/.local/share/Vandrel.
    static std::filesystem::path standardSupportFolder();
    // Replaces the login-item service (the default writes an XDG autostart entry).
    static void setLoginItemService(std::shared_ptr<LoginItemService> service);
};

}  // namespace vandrel
