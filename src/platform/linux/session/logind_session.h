// The login session as systemd-logind reports it: whether it is locked, whether it is the active one on its seat,
// and the machine going to sleep and waking up.
#pragma once

#include <atomic>
#include <memory>

#include "platform/workspace.h"
#include "rx/creation.h"
#include "rx/observable.h"

namespace vandrel {

// What the input thread must know of the session, as flags it reads once per loop turn with no lock and no call.
// The session watcher sets them as it learns of a change.
struct SessionKeyFlags {
    // The session is locked: every key passes untouched, so its lock screen gets the real keys.
    std::atomic<bool> locked{false};
    // The session has the seat (screen and keyboards); false while another session has it (another user, another
    // VT): the keyboards and the virtual keyboard are let go so no key of that session flows through us.
    std::atomic<bool> active{true};
};

class LogindSession {
public:
    virtual ~LogindSession() = default;

    // The flags the input thread reads; they live as long as anyone holds them.
    std::shared_ptr<const SessionKeyFlags> keyFlags() const { return keyFlags_; }

    // Whether the session is locked now (its LockedHint); false while unknown. Any thread.
    virtual bool isLocked() const = 0;
    // Each change of isLocked(), as it is learnt (on the main thread); none by default.
    virtual rx::Observable<bool> lockChanges() { return rx::never<bool>(); }
    // Whether the session is the active one on its seat (its Active); true while unknown. Any thread.
    virtual bool isActive() const { return flags().active.load(std::memory_order_acquire); }
    // Each change of isActive(), as it is learnt (on the main thread); none by default.
    virtual rx::Observable<bool> activeChanges() { return rx::never<bool>(); }
    // willSleep before the machine sleeps, didWake after it woke; on the main thread.
    virtual rx::Observable<PowerEvent> powerEvents() = 0;

protected:
    // For the watcher: the flags it sets.
    SessionKeyFlags& flags() const { return *keyFlags_; }

private:
    const std::shared_ptr<SessionKeyFlags> keyFlags_ = std::make_shared<SessionKeyFlags>();
};

}  // namespace vandrel
