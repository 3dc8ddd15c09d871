// The Caps-hold state: whether Caps is held now, when it was last pressed, whether an action ran in this hold,
// the action that ran last, and how Caps combinations are treated at the moment.
//
// The taps write the held flag and the press time on the input thread; the deliverer writes the action flag
// and the last action on the key-event queue; the hotkey recorder switches the behaviour from the main
// thread. Every field is therefore atomic, and a stale read costs at most one tap being taken for a plain
// release (or the reverse).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "model/vd_action.h"
#include "rx/scheduler.h"

namespace vandrel {

enum class VdrKeyEventBehavior {
    // A key pressed while Caps is held is published for delivery and runs its action.
    vandrel,
    // Such a key is still withheld from other applications but not published for delivery.
    block,
    // The deliverer looks combinations up but runs nothing.
    passThrough,
};

class VandrelState {
public:
    // The key code (F19) that the remapped Caps Lock key sends.
    static constexpr int proxyKey = 80;
    // A Caps press released sooner than this, with no action run and no other key pressed, is a Caps tap.
    static constexpr double tappingTimeLimit = 0.3;

    // The clock gives "now" for the press time; null: the steady clock.
    explicit VandrelState(rx::SchedulerPtr clock = nullptr);
    VandrelState(const VandrelState&) = delete;
    VandrelState& operator=(const VandrelState&) = delete;

    VdrKeyEventBehavior keyEventBehavior() const { return keyEventBehavior_.load(std::memory_order_acquire); }
    void setKeyEventBehavior(VdrKeyEventBehavior behavior) { keyEventBehavior_.store(behavior); }

    // Caps (the proxy key) is held. Other subsystems read the held state only here.
    bool isCapsDown() const { return isProxyCapsDown_.load(std::memory_order_acquire); }
    void setIsCapsDown(bool down) { isProxyCapsDown_.store(down); }

    // Kept for completeness of the record; the engine neither sets nor reads it.
    bool isCapsTap() const { return isCapsTap_.load(std::memory_order_acquire); }
    void setIsCapsTap(bool tap) { isCapsTap_.store(tap); }

    bool hasRunAnyVdrAction() const { return hasRunAnyVdrAction_.load(std::memory_order_acquire); }
    void setHasRunAnyVdrAction(bool ran) { hasRunAnyVdrAction_.store(ran); }

    rx::TimePoint lastPressedTime() const { return rx::TimePoint(rx::Duration(lastPressedNanos_.load())); }
    void setLastPressedTime(rx::TimePoint time) { lastPressedNanos_.store(time.time_since_epoch().count()); }

    // The action the deliverer last decided to run. Until it ran one: the registered "noAction", or, before
    // the catalogue registered it, a stand-in of that name.
    VDActionPtr lastExecAction() const;
    void setLastExecAction(VDActionPtr action) { lastExecAction_.store(std::move(action)); }

    // Clears the action flag only.
    void resetStateWhileCapsUp() { setHasRunAnyVdrAction(false); }
    void updateLastPressedTime() { setLastPressedTime(clock_->now()); }
    // Seconds since the last press.
    double getPressingTimeInterval() const;

    const rx::SchedulerPtr& clock() const { return clock_; }

private:
    const rx::SchedulerPtr clock_;
    const VDActionPtr noActionStandIn_;
    std::atomic<VdrKeyEventBehavior> keyEventBehavior_{VdrKeyEventBehavior::vandrel};
    std::atomic<bool> isProxyCapsDown_{false};
    std::atomic<bool> isCapsTap_{false};
    std::atomic<bool> hasRunAnyVdrAction_{false};
    std::atomic<rx::Duration::rep> lastPressedNanos_;
    std::atomic<VDActionPtr> lastExecAction_;
};

}  // namespace vandrel
