#include "core/app_info.h"

#include <cstdlib>
#include <mutex>
#include <system_error>

#include "core/defaults.h"
#include "core/defaults_keys.h"
#include "core/log.h"
#include "core/private_files.h"
#include "core/program_folders.h"
#include "core/xdg_autostart_login_item.h"

#ifndef VANDREL_APP_VERSION
#define VANDREL_APP_VERSION ""
#endif

namespace vandrel {

// Defined by the program (src/app), so that a new build number compiles and links the program alone; absent in
// the tests, whose build is then "0".
[[gnu::weak]] extern const char programBuildNumber[];

namespace fs = std::filesystem;

namespace {

struct Folders {
    std::mutex mutex;
    // The folders whose data folder, and whose clip cache, were made.
    std::shared_ptr<const ProgramFolders> supportMadeFor;
    std::shared_ptr<const ProgramFolders> clipCacheMadeFor;
    std::shared_ptr<LoginItemService> loginItem;
};

Folders& folders()
{
    static Folders instance;
    return instance;
}

// The data folders hold the user's clips and logs: for the owner only.
void createFolder(const fs::path& folder)
{
    if (auto error = createPrivateFolder(folder)) log.error("cannot create the folder ->", *error);
}

}  // namespace

std::string AppInfo::releaseVersionNumber(std::string_view stored)
{
    return stored.empty() ? std::string("0.0.0") : std::string(stored);
}

std::string AppInfo::buildVersionNumber(std::string_view stored)
{
    return stored.empty() ? std::string("0") : std::string(stored);
}

const std::string& AppInfo::version()
{
    static const std::string value = releaseVersionNumber(VANDREL_APP_VERSION);
    return value;
}

const std::string& AppInfo::buildVersion()
{
    static const std::string value = buildVersionNumber(programBuildNumber ? programBuildNumber : "");
    return value;
}

const VDVersion& AppInfo::vdVersion()
{
    static const VDVersion value(version());
    return value;
}

bool AppInfo::isTesting()
{
    return false;
}

fs::path AppInfo::standardSupportFolder()
{
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data && *data && fs::path(data).is_absolute()) return fs::path(data) / "Vandrel";
    const char* home = std::getenv("HOME");
    return fs::path(home && *home ? home : "/tmp") / ".local" / "share" / "Vandrel";
}

fs::path AppInfo::supportFolderUrl()
{
    const auto program = ProgramFolders::current();
    auto& f = folders();
    std::lock_guard lock(f.mutex);
    if (f.supportMadeFor != program) {
        f.supportMadeFor = program;
        createFolder(program->support);
    }
    return program->support;
}

fs::path AppInfo::clipCacheFolderUrl()
{
    const fs::path clipCache = supportFolderUrl() / "cache" / "clip";
    const auto program = ProgramFolders::current();
    auto& f = folders();
    std::lock_guard lock(f.mutex);
    if (f.clipCacheMadeFor != program) {
        f.clipCacheMadeFor = program;
        createFolder(clipCache);
    }
    return clipCache;
}

void AppInfo::setLoginItemService(std::shared_ptr<LoginItemService> service)
{
    auto& f = folders();
    std::lock_guard lock(f.mutex);
    f.loginItem = std::move(service);
}

namespace {

std::shared_ptr<LoginItemService> loginItemService()
{
    auto& f = folders();
    std::lock_guard lock(f.mutex);
    if (!f.loginItem) f.loginItem = std::make_shared<XdgAutostartLoginItem>();
    return f.loginItem;
}

}  // namespace

void AppInfo::renewLoginItem(std::shared_ptr<LoginItemService> service)
{
    if (!Defaults()[DefaultsKeys::app_isStartAtLogin]) return;
    if (!service) service = loginItemService();
    if (const auto error = service->setStartAtLogin(true)) log.warning("The login item could not be renewed.", *error);
}

std::optional<std::string> AppInfo::switchStartAtLogin(bool enabled, std::shared_ptr<LoginItemService> service)
{
    if (!service) service = loginItemService();
    if (auto error = service->setStartAtLogin(enabled)) {
        log.warning("Failed to add login item.", *error);
        return error;
    }
    Defaults()[DefaultsKeys::app_isStartAtLogin] = enabled;
    log.info(enabled ? "Added login item." : "Removed login item.");
    return std::nullopt;
}

}  // namespace vandrel
