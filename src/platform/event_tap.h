// Event taps: callbacks that see every keyboard event of the session where hardware events enter it (the
// "HID location"), before any application, and decide to pass it (possibly rewritten) or swallow it.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <utility>

#include "platform/key_event.h"

namespace vandrel {

enum class TapResult { pass, swallow };

// Where a synthetic event is posted. `session` lies after our own taps: the event goes straight to
// applications and our taps never see it. `hid` is where hardware events enter, before our taps.
enum class EventTapLocation { hid, session };

// Where a new tap goes in the list of taps of its event type; the head runs first.
enum class TapPlacement { headInsert, tailAppend };

// The callback may rewrite the event's key code and flags in place; the rewritten event is what later
// taps, and applications, see when it passes.
using TapCallback = std::function<TapResult(KeyEvent&)>;

// Handle of one tap. The tap exists as long as the handle does. The platform may disable a tap on its own
// (a stalled input path); it then lets events through untouched until it is enabled again.
// isEnabled and setEnabled may be called from any thread.
class EventTap {
public:
    virtual ~EventTap() = default;
    virtual bool isEnabled() const = 0;
    virtual void setEnabled(bool enabled) = 0;
    // Called, on the thread that did it, each time the platform disables the tap on its own (never for
    // setEnabled(false)); null: nobody is told. A tap the platform never disables may ignore it.
    virtual void setOnDisabled(std::function<void()> handler) { (void)handler; }
};

class OrderBarrier;
namespace detail {
struct CurrentOrderBarrier {
    std::shared_ptr<OrderBarrier> barrier;
    bool kept = false;
};
}  // namespace detail

// Keeps the output in the order of its causes when an action runs on another thread: the key events read
// after the barrier opened wait, unseen by the taps, until it is released (the action has posted its
// strokes), and then go through the taps in the order they came. A release waits only while keys wait there:
// with none waiting it goes through at once, so a key held since before is never held longer than the hands
// held it. Released by release() or when the last reference goes; after maxHold the keys go on by themselves
// (logged once).
class OrderBarrier {
public:
    static constexpr std::chrono::milliseconds maxHold{500};
    virtual ~OrderBarrier() = default;
    // Any thread; later calls do nothing.
    virtual void release() = 0;

    // Marks the barrier of the action running on this thread while it lives.
    class Scope {
    public:
        explicit Scope(std::shared_ptr<OrderBarrier> barrier)
            : previous_(std::exchange(current_, {std::move(barrier), false}))
        {
        }
        ~Scope() { current_ = std::move(previous_); }
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;
        // Whether the action kept the barrier for strokes it posts later.
        bool kept() const { return current_.kept; }

    private:
        detail::CurrentOrderBarrier previous_;
        friend class OrderBarrier;
    };

    // For an action that posts its strokes later (after a clipboard switch): the barrier of the action running
    // on this thread, which the action then releases once its strokes are posted (a paste: once its target
    // has the content), or drops unrun. Null when no barrier holds keys for this action.
    static std::shared_ptr<OrderBarrier> keepCurrent()
    {
        if (current_.barrier) current_.kept = true;
        return current_.barrier;
    }

private:
    static inline thread_local detail::CurrentOrderBarrier current_;
};

class EventTapService {
public:
    virtual ~EventTapService() = default;

    // A tap for one event type at the HID location, enabled on creation; callable from any thread. Null
    // when the platform cannot create it (no input permission, no keyboard access). The callback runs on the
    // platform's input thread (Linux: a dedicated thread; the simulated platform: the thread that drives the
    // keyboard), never concurrently with another tap callback.
    virtual std::shared_ptr<EventTap> createTap(KeyEventType type, TapCallback callback,
                                                TapPlacement placement = TapPlacement::headInsert) = 0;

    // Posts one synthetic event carrying exactly the given key code and flags. Callable from any thread.
    // False when the event cannot be made or delivered (for instance no output device).
    virtual bool postEvent(const KeyEvent& event, EventTapLocation location = EventTapLocation::session) = 0;

    // Posts a key the user recorded, exactly as recorded: where the platform translates the editing idioms
    // of postEvent (Linux), a recorded key is not translated.
    virtual bool postRecordedEvent(const KeyEvent& event, EventTapLocation location = EventTapLocation::session)
    {
        return postEvent(event, location);
    }
    // Opens an order barrier before an action is handed to another thread. Only on the taps' thread, from a
    // tap callback or a job there. Null where the platform keeps no such order.
    virtual std::shared_ptr<OrderBarrier> openOrderBarrier() { return nullptr; }
};

}  // namespace vandrel
