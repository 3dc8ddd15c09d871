#include "engine/vandrel_state.h"

#include <chrono>

namespace vandrel {

VandrelState::VandrelState(rx::SchedulerPtr clock)
    : clock_(clock ? std::move(clock) : std::make_shared<rx::ImmediateScheduler>()),
      noActionStandIn_(VDAction::placeholder("noAction")),
      lastPressedNanos_(clock_->now().time_since_epoch().count())
{
}

VDActionPtr VandrelState::lastExecAction() const
{
    if (auto action = lastExecAction_.load()) return action;
    // The catalogue registers its actions after the engine state exists, so the lookup waits until asked.
    if (auto noAction = VDAction::registered("noAction")) return noAction;
    return noActionStandIn_;
}

double VandrelState::getPressingTimeInterval() const
{
    return std::chrono::duration<double>(clock_->now() - lastPressedTime()).count();
}

}  // namespace vandrel
