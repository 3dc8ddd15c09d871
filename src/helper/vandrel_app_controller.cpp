#include "helper/vandrel_app_controller.h"

#include <mutex>
#include <system_error>

#include "core/defaults_keys.h"
#include "core/detached_process.h"
#include "core/install_layout.h"
#include "core/log.h"
#include "core/settings_store.h"

namespace vandrel {

namespace fs = std::filesystem;

namespace {

fs::path runningExecutable()
{
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path() : self;
}

bool startDetached(const fs::path& program, const std::vector<std::string>& arguments)
{
    std::vector<std::string> argv{program.string()};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return DetachedProcess::start(argv).has_value();
}

}  // namespace

VandrelAppController::VandrelAppController() : VandrelAppController(Options{}) {}

VandrelAppController::VandrelAppController(Options options) : options_(std::move(options))
{
    if (options_.helperExecutable.empty()) options_.helperExecutable = runningExecutable();
    if (options_.instance.locations.empty()) options_.instance = InstanceChannel::Paths::standard();
    if (!options_.launch) options_.launch = startDetached;
}

VandrelAppController::~VandrelAppController() = default;

VandrelAppController& VandrelAppController::shared()
{
    static VandrelAppController instance;
    return instance;
}

SettingsStore& VandrelAppController::groupUserDefaults()
{
    std::call_once(groupOnce_, [this] {
        if (!options_.groupSettings)
            options_.groupSettings =
                std::make_shared<SettingsStore>(SettingsStore::standardFolder(), SettingsStore::groupFileName);
    });
    return *options_.groupSettings;
}

bool VandrelAppController::isVandrelRunning() const
{
    return InstanceChannel::isRunning(options_.instance);
}

bool VandrelAppController::isNormalEnd(std::int64_t storedPid)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(storedPid))) < 0;
}

bool VandrelAppController::isVandrelTerminatedNormally()
{
    const std::int64_t stored = groupUserDefaults().get(DefaultsKeys::app_theVandrelCurrentPID);
    const auto low = static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(stored)));
    log.info("vandrelLastPid -> " + std::to_string(low));
    return isNormalEnd(stored);
}

fs::path VandrelAppController::vandrelAppPathFor(const fs::path& helperExecutable)
{
    return InstallLayout::programFor(helperExecutable);
}

fs::path VandrelAppController::vandrelAppPath() const
{
    return vandrelAppPathFor(options_.helperExecutable);
}

void VandrelAppController::launchVandrelAppTo(std::int32_t mode)
{
    if (mode == 1) {
        if (!isVandrelRunning()) {
            log.info("Vandrel is not running: there is nothing to undo");
            return;
        }
        const auto reply = InstanceChannel::send(options_.instance, InstanceChannel::Command::unremapCapsLock);
        if (reply)
            log.info("Vandrel answers ->", *reply);
        else
            log.error("Vandrel runs but does not answer; Caps Lock stays remapped until it quits");
        return;
    }
    const fs::path program = vandrelAppPath();
    if (program == options_.helperExecutable || options_.helperExecutable.empty()) {
        log.error("The helper cannot tell where the program is ->", options_.helperExecutable.string());
        return;
    }
    if (!options_.launch(program, {})) log.error("The program could not be started ->", program.string());
}

void VandrelAppController::launchVandrelApp()
{
    launchVandrelAppTo(0);
}

bool VandrelAppController::runAtLogin()
{
    if (isVandrelRunning()) {
        log.info("Vandrel runs already; nothing to start");
        return false;
    }
    if (!isVandrelTerminatedNormally()) log.info("Vandrel's last run did not end the normal way");
    launchVandrelApp();
    return true;
}

}  // namespace vandrel
