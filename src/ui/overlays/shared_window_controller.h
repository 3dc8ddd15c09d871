// The one instance of a window controller the program uses (its `shared` accessor), built on first use
// from what the program installed. The program installs one of these in the controller's slot:
//
//   installations.install(Sheet::installed(), std::make_shared<Sheet::Shared>("The cheat sheet", makeDeps));
//   Sheet::installed().get()->get()        // built now if needed
//
// Main thread only. An instance still held when the process ends after the Qt application object is
// left to the process: its windows must not be destroyed without the application.
#pragma once

#include <QCoreApplication>
#include <functional>
#include <memory>
#include <string>

#include "core/installed_instance.h"
#include "core/log.h"

namespace vandrel {

template <class Controller, class Dependencies>
class SharedWindowController {
public:
    SharedWindowController(std::string what, std::function<Dependencies()> makeDependencies)
        : what_(std::move(what)), makeDependencies_(std::move(makeDependencies))
    {
    }
    ~SharedWindowController()
    {
        if (!QCoreApplication::instance() && instance_) new std::shared_ptr<Controller>(std::move(instance_));
    }
    SharedWindowController(const SharedWindowController&) = delete;
    SharedWindowController& operator=(const SharedWindowController&) = delete;

    // Built now if needed; null (logged) when it has nothing to build from.
    std::shared_ptr<Controller> get()
    {
        if (!instance_) {
            if (!makeDependencies_) {
                log.error(what_ + " is not set up in this run");
                return nullptr;
            }
            instance_ = Controller::make(makeDependencies_());
        }
        return instance_;
    }

    // The controller the slot's installed instance built (now if needed); null (logged) when none is installed.
    static std::shared_ptr<Controller> from(InstalledInstance<SharedWindowController>& slot, const std::string& what)
    {
        if (const auto installed = slot.get()) return installed->get();
        log.error(what + " is not set up in this run");
        return nullptr;
    }

    // Installs a new instance over makeDependencies; an empty function uninstalls.
    static void install(InstalledInstance<SharedWindowController>& slot, std::string what,
                        std::function<Dependencies()> makeDependencies)
    {
        slot.install(makeDependencies
                         ? std::make_shared<SharedWindowController>(std::move(what), std::move(makeDependencies))
                         : nullptr);
    }

private:
    const std::string what_;
    const std::function<Dependencies()> makeDependencies_;
    std::shared_ptr<Controller> instance_;
};

}  // namespace vandrel
