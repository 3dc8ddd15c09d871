// The login session as systemd-logind reports it: whether it is locked, and the machine going to sleep and
// waking up.
#pragma once

#include "platform/workspace.h"
#include "rx/creation.h"
#include "rx/observable.h"

namespace vandrel {

class LogindSession {
public:
    virtual ~LogindSession() = default;

    // Whether the session is locked now (its LockedHint); false while unknown. Any thread.
    virtual bool isLocked() const = 0;
    // Each change of isLocked(), as it is learnt (on the main thread); none by default.
    virtual rx::Observable<bool> lockChanges() { return rx::never<bool>(); }
    // willSleep before the machine sleeps, didWake after it woke; on the main thread.
    virtual rx::Observable<PowerEvent> powerEvents() = 0;
};

}  // namespace vandrel
