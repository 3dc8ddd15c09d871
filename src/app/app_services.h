// The services above the keyboard engine that the program builds and hands to the core object: each is made
// here, once, with what it needs, and reached by the engine and the actions only through VandrelServices.
#pragma once

#include <memory>

#include "engine/vandrel_services.h"
#include "engine/window_binding_service.h"
#include "rx/scheduler.h"
#include "windowbinding/vd_window_binding.h"

namespace vandrel {

struct AppServices {
    struct Schedulers {
        rx::SchedulerPtr main;
        rx::SchedulerPtr windowBinding;
    };

    std::shared_ptr<WindowBindingService> windowBindingKeys;
    std::shared_ptr<VDWindowBinding> windowBinding;

    // Builds every service over the installed platform; the window binding reads the installed core
    // object's previous application when it needs it.
    static AppServices make(const Schedulers& schedulers);

    // The entry points of these services, for Vandrel::Options.
    VandrelServices vandrelServices() const;
};

}  // namespace vandrel
