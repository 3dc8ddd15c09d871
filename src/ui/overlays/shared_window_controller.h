// The one instance of a window controller the program uses (its `shared` accessor), built on
// first use from what the program installed:
//
//   SharedWindowController<Sheet, Sheet::Dependencies> slot{"The cheat sheet"};
//   slot.install([] { return deps; });     // at start-up; an empty function drops the instance
//   slot.get()                              // built now if needed; null (logged) when nothing is installed
//
// Main thread only. An instance still held when the process ends after the Qt application object is
// left to the process: its windows must not be destroyed without the application.
#pragma once

#include <QCoreApplication>
#include <functional>
#include <memory>
#include <string>

#include "core/log.h"

namespace vandrel {

template <class Controller, class Dependencies>
class SharedWindowController {
public:
    explicit SharedWindowController(std::string what) : what_(std::move(what)) {}
    ~SharedWindowController()
    {
        if (!QCoreApplication::instance() && instance_) new std::shared_ptr<Controller>(std::move(instance_));
    }

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

    void install(std::function<Dependencies()> makeDependencies)
    {
        makeDependencies_ = std::move(makeDependencies);
        instance_.reset();
    }

private:
    const std::string what_;
    std::function<Dependencies()> makeDependencies_;
    std::shared_ptr<Controller> instance_;
};

}  // namespace vandrel
