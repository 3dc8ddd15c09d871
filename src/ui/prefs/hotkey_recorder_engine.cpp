#include "ui/prefs/hotkey_recorder_engine.h"

#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "core/log.h"
#include "engine/key_event_deliver.h"
#include "engine/vandrel.h"

namespace vandrel {

HotkeyRecorderEngine HotkeyRecorderEngine::of(const Vandrel& core)
{
    return {core.inputObserver(), core.state, core.mainScheduler()};
}

rx::Observable<HotkeyRecorderEngine::Event> HotkeyRecorderEngine::keyEvents() const
{
    if (!isComplete()) return rx::never<Event>();
    // Tagged on the taps' thread, where the Caps-held flag is current for the event.
    const auto tagged = [state = state](const rx::PublishSubject<KeyEvent>& subject, Event::Kind kind) {
        return subject.asObservable() | rx::map([state, kind](const KeyEvent& e) {
                   return Event{kind, e, state->isCapsDown()};
               });
    };
    const auto& o = *inputObserver;
    std::vector<rx::Observable<Event>> sources{
        tagged(o.flagsChanged, Event::Kind::flagsChanged),
        tagged(o.keydown, Event::Kind::keyDown),
        tagged(o.keyup, Event::Kind::keyUp),
        tagged(o.capsDown, Event::Kind::capsDown),
        tagged(o.capsUp, Event::Kind::capsUp),
    };
    return rx::merge(std::move(sources)) | rx::observeOn(mainScheduler);
}

namespace {

struct SilenceCounts {
    std::mutex mutex;
    int total = 0;
    std::map<const InputObserver*, int> perObserver;
};

SilenceCounts& silenceCounts()
{
    static SilenceCounts counts;
    return counts;
}

}  // namespace

KeyEventSilence::KeyEventSilence(std::shared_ptr<InputObserver> inputObserver)
    : inputObserver_(std::move(inputObserver))
{
    auto& counts = silenceCounts();
    std::lock_guard lock(counts.mutex);
    if (counts.total++ == 0) KeyEventDeliver::setIsPaused(true);
    if (inputObserver_ && counts.perObserver[inputObserver_.get()]++ == 0)
        inputObserver_->setIsBlockAllKeyEventBubbling(true);
    log.debug("key events silenced, holds ->", counts.total);
}

KeyEventSilence::~KeyEventSilence()
{
    auto& counts = silenceCounts();
    std::lock_guard lock(counts.mutex);
    if (inputObserver_) {
        auto it = counts.perObserver.find(inputObserver_.get());
        if (it != counts.perObserver.end() && --it->second == 0) {
            counts.perObserver.erase(it);
            inputObserver_->setIsBlockAllKeyEventBubbling(false);
        }
    }
    if (--counts.total == 0) KeyEventDeliver::setIsPaused(false);
    log.debug("key events silence released, holds ->", counts.total);
}

int KeyEventSilence::activeCount()
{
    auto& counts = silenceCounts();
    std::lock_guard lock(counts.mutex);
    return counts.total;
}

}  // namespace vandrel
