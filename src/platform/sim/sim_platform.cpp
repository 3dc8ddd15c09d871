#include "platform/sim/sim_platform.h"

#include "rx/virtual_time_scheduler.h"

namespace vandrel {

std::shared_ptr<SimPlatform> SimPlatform::make(rx::SchedulerPtr scheduler)
{
    if (!scheduler) scheduler = rx::VirtualTimeScheduler::make();
    return std::make_shared<SimPlatform>(std::move(scheduler));
}

SimPlatform::SimPlatform(rx::SchedulerPtr scheduler)
    : scheduler_(std::move(scheduler)),
      keyboard_(std::make_unique<SimKeyboard>(scheduler_)),
      workspace_(std::make_shared<SimWorkspace>()),
      layout_(std::make_unique<SimKeyboardLayout>()),
      windows_(std::make_unique<SimWindowSystem>(workspace_)),
      pasteboards_(std::make_unique<SimPasteboardServer>())
{
}

bool SimPlatform::isInputAccessTrusted(bool prompt)
{
    if (prompt) ++trustPrompts_;
    return trusted_;
}

}  // namespace vandrel
