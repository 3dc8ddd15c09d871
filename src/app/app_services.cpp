#include "app/app_services.h"

#include "engine/vandrel.h"

namespace vandrel {

AppServices AppServices::make(const Schedulers& schedulers)
{
    AppServices services;
    services.windowBindingKeys = std::make_shared<WindowBindingService>();
    VDWindowBinding::Dependencies binding;
    binding.scheduler = schedulers.windowBinding;
    binding.mainScheduler = schedulers.main;
    binding.keys = services.windowBindingKeys;
    binding.preActiveApplication = []() -> std::optional<RunningApplication> {
        const auto core = installedVandrel();
        return core ? core->env->preActiveApplication.value() : std::nullopt;
    };
    services.windowBinding = VDWindowBinding::make(std::move(binding));
    return services;
}

VandrelServices AppServices::vandrelServices() const
{
    VandrelServices entries;
    std::weak_ptr<VDWindowBinding> binding = windowBinding;
    entries.restoreWindowBindings = [binding] {
        if (const auto b = binding.lock()) b->restoreAllBindings();
    };
    entries.bindWindow = [binding](const VDAtomicActionParam& param) {
        if (const auto b = binding.lock()) b->pushBind(param);
    };
    entries.activateWindow = [binding](const VDAtomicActionParam& param) {
        if (const auto b = binding.lock()) b->pushActivate(param);
    };
    return entries;
}

}  // namespace vandrel
