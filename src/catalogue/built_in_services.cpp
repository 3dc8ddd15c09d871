#include "catalogue/built_in_services.h"

#include <mutex>

namespace vandrel {

namespace {

struct Installed {
    std::mutex mutex;
    BuiltInServices services;
};

Installed& installed()
{
    static Installed instance;
    return instance;
}

}  // namespace

BuiltInServices BuiltInServices::current()
{
    auto& state = installed();
    std::lock_guard lock(state.mutex);
    return state.services;
}

BuiltInServices BuiltInServices::install(BuiltInServices services)
{
    auto& state = installed();
    std::lock_guard lock(state.mutex);
    std::swap(state.services, services);
    return services;
}

}  // namespace vandrel
