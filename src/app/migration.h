// The launch-time migrations: run first at launch, before logging and everything else, on the main thread.
//
//   Migration::shared().run();
//
// A launch that finds no "app_theVersionLastLaunch" (the first, or one after the settings were reset) runs
// no task and only records the running version. Every later launch runs the whole task list in order, each
// task to its end, and then records the running version; the stored version is not compared with the
// running one, so a task must be safe to repeat. Future migrations are appended to taskQueue before run().
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vandrel {

class SettingsStore;

class Migration {
public:
    using Task = std::function<void()>;

    // settings: where the last version is kept (null: the user settings at each run); version: the running
    // version (empty: AppInfo::version()).
    explicit Migration(std::shared_ptr<SettingsStore> settings = nullptr, std::string version = {});

    // The program's runner, made on first use.
    static Migration& shared();

    void run();

    std::vector<Task> taskQueue;

private:
    std::shared_ptr<SettingsStore> settings_;
    std::string version_;
};

}  // namespace vandrel
