// AppDelegate options for tests of what the delegate records: the simulated platform on virtual time, every
// other step left empty.
#pragma once

#include <memory>

#include "app/app_delegate.h"
#include "platform/sim/sim_platform.h"
#include "rx/virtual_time_scheduler.h"

namespace vandrel::test {

inline AppDelegate::Options quietDelegateOptions()
{
    auto clock = rx::VirtualTimeScheduler::make();
    AppDelegate::Options options;
    options.arguments = {"vandrel"};
    options.makePlatform = [clock] { return std::shared_ptr<Platform>(SimPlatform::make(clock)); };
    options.mainQueue = clock;
    return options;
}

}  // namespace vandrel::test
