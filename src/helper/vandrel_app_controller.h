// The login-item helper's view of the program. The XDG autostart entry runs the helper
// ("vandrel-helper", next to the program in a build folder, in libexec/vandrel/ when installed); the helper starts
// the program unless it runs already.
//
//   VandrelAppController::shared().runAtLogin();   // starts the program unless it runs
//
// It shares the settings suite of the program (group-settings.json under $XDG_CONFIG_HOME/Vandrel), where
// the program keeps its process id in "app_theVandrelCurrentPID" while it runs and -1 once it quit the
// normal way. Whether the program runs is read from its instance lock (InstanceChannel), which the kernel
// lets go with the process; the same check keeps a second start of the program from running beside the first.
// Mode 1 speaks to the running program over its instance channel: the Caps Lock mapping lives in the
// program's process, so it is the running program that gives it back.
//
// The shared controller and its settings are made once, thread-safely; the operations hold no lock.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/instance_channel.h"

namespace vandrel {

class SettingsStore;

class VandrelAppController {
public:
    struct Options {
        // The helper's own executable; empty: the running one.
        std::filesystem::path helperExecutable;
        // The shared suite; null: group-settings.json in the standard settings folder.
        std::shared_ptr<SettingsStore> groupSettings;
        // The program's instance lock and socket; empty: InstanceChannel::Paths::standard().
        InstanceChannel::Paths instance;
        // Starts the program detached with the arguments; false when it could not. Null: DetachedProcess.
        std::function<bool(const std::filesystem::path& program, const std::vector<std::string>& arguments)> launch;
    };

    VandrelAppController();
    explicit VandrelAppController(Options options);
    ~VandrelAppController();
    VandrelAppController(const VandrelAppController&) = delete;
    VandrelAppController& operator=(const VandrelAppController&) = delete;

    static VandrelAppController& shared();

    SettingsStore& groupUserDefaults();
    bool isVandrelRunning() const;
    // Whether the program's last run ended the normal way: the stored id's low 32 bits, read as a signed
    // number, are negative. A missing id reads as 0: not a normal end.
    bool isVandrelTerminatedNormally();
    // Mode 1: asks the running program to give Caps Lock back (it lets the keyboards go and quits); with
    // none running there is nothing to undo and nothing is started. Every other mode: starts the program
    // without arguments. What happened is logged.
    void launchVandrelAppTo(std::int32_t mode);
    void launchVandrelApp();
    // What the helper does at login: starts the program (mode 0) unless it runs already. True when it
    // started it.
    bool runAtLogin();

    // The program beside the helper, else the installed one (InstallLayout::programFor): never the helper itself.
    std::filesystem::path vandrelAppPath() const;
    static std::filesystem::path vandrelAppPathFor(const std::filesystem::path& helperExecutable);
    static bool isNormalEnd(std::int64_t storedPid);

private:
    Options options_;
    std::once_flag groupOnce_;
};

}  // namespace vandrel
