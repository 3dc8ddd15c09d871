// The simulated keyboards: event taps, posting, the key mapping, the Caps Lock lock state and raw key
// reports, driven by a test that presses and releases physical keys.
//
// A physical key press runs, on the calling thread:
//   1. a raw key report (usage page 7) to keyReports() subscribers, once startObservingKeys() was called;
//   2. the user key mapping (while Caps Lock is mapped to F19, key code 57 becomes 80);
//   3. the event type: the modifier keys (54 to 63) make flagsChanged events, Caps Lock unmapped toggles the
//      lock and makes one flagsChanged event on press only, every other key makes keyDown/keyUp;
//   4. flags: those of the modifier keys held after mapping (either Shift gives 0x20000, and so on) plus
//      0x10000 while the Caps Lock lock is on; only the masks of EventFlags are used;
//   5. the enabled taps of that event type, in list order; a tap may rewrite the event or swallow it; a
//      disabled tap is skipped and the event passes it untouched;
//   6. an event that passes every tap is appended to passedEvents(): it reached the other applications.
// A key released keeps the mapping it was pressed with. Tap callbacks never run concurrently.
//
// An order barrier holds back physical key presses and releases made while it is open: they wait, in order,
// and run when it is released, or after OrderBarrier::maxHold on the keyboard's scheduler. A release waits only
// while keys typed after the barrier opened wait: with none waiting it runs at once; but the release of Caps
// (pressed as F19), which ends the action's hold, waits as presses do. Input that waited keeps the time it was
// made at, as a kernel's time stamp does.
//
// postEvent() records the event in postedEvents() as given (untranslated, with its flags, timestamp filled
// in). An event posted at the HID location then also runs through steps 5 and 6, as hardware input does; one
// posted at the session location reaches applications directly and is not seen by the taps.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string_view>
#include <vector>

#include "platform/event_tap.h"
#include "platform/hid_keyboard.h"
#include "rx/scheduler.h"
#include "rx/subjects.h"

namespace vandrel {

struct PostedEvent {
    KeyEvent event;
    EventTapLocation location = EventTapLocation::session;
    bool operator==(const PostedEvent&) const = default;
};

class SimKeyboard final : public EventTapService, public HidKeyboard {
public:
    explicit SimKeyboard(rx::SchedulerPtr scheduler);
    ~SimKeyboard() override;
    SimKeyboard(const SimKeyboard&) = delete;
    SimKeyboard& operator=(const SimKeyboard&) = delete;

    std::shared_ptr<EventTap> createTap(KeyEventType type, TapCallback callback,
                                        TapPlacement placement = TapPlacement::headInsert) override;
    bool postEvent(const KeyEvent& event, EventTapLocation location = EventTapLocation::session) override;
    std::shared_ptr<OrderBarrier> openOrderBarrier() override;

    void setUserKeyMapping(const std::vector<KeyMappingEntry>& mapping) override;
    std::optional<bool> capsLockLockState() override;
    bool setCapsLockLockState(bool on) override;
    bool toggleCapsLockLockState() override;
    bool startObservingKeys() override;
    rx::Observable<HidKeyReport> keyReports() override;

    // Driving the keyboard.
    void press(std::uint16_t keyCode);
    void release(std::uint16_t keyCode);
    void tap(std::uint16_t keyCode);
    // Auto-repeat key-downs of a held key (with its press-time mapping).
    void repeat(std::uint16_t keyCode, int count = 1);
    // Presses the modifiers in order, taps the key, releases the modifiers in reverse order.
    void chord(std::initializer_list<std::uint16_t> modifiers, std::uint16_t keyCode);
    // Types printable ASCII on the US layout, with Shift where the character needs it; other characters
    // are skipped.
    void typeText(std::string_view text);

    // What reached the other applications and what was posted, in order.
    std::vector<KeyEvent> passedEvents() const;
    std::vector<PostedEvent> postedEvents() const;
    void clearEvents();

    // The platform disabling taps on its own, as a stalled input path would.
    void disableTaps(KeyEventType type);
    std::size_t tapCount(KeyEventType type) const;
    bool isPhysicallyDown(std::uint16_t keyCode) const;
    std::vector<KeyMappingEntry> userKeyMapping() const;
    int userKeyMappingApplyCount() const;

    // Failures of the platform, for the error paths of the callers.
    void setTapCreationFails(bool fails);
    void setPostingFails(bool fails);
    void setCapsLockStateFails(bool fails);
    void setKeyObserverOpenFails(bool fails);

private:
    struct TapEntry;
    struct Registry;
    class Tap;
    class Barrier;

    std::uint16_t mapped(std::uint16_t keyCode) const;
    std::uint64_t currentFlags() const;
    void physicalReport(std::uint16_t keyCode, bool down);
    // Runs the event through the taps and records it when it passes.
    void dispatch(KeyEvent event);
    void pressAt(std::uint16_t keyCode, rx::TimePoint at);
    void releaseAt(std::uint16_t keyCode, rx::TimePoint at);
    void repeatAt(std::uint16_t keyCode, int count, rx::TimePoint at);
    // True when the input was kept behind an open order barrier (it runs later).
    bool heldBack(std::function<void()> input, bool release = false);
    void closeOrderBarrier(std::uint64_t id);

    const rx::SchedulerPtr scheduler_;
    const std::shared_ptr<Registry> registry_;
    rx::PublishSubject<HidKeyReport> reports_;
    // Serialises tap callbacks; recursive so a callback may post at the HID location.
    std::recursive_mutex inputMutex_;

    mutable std::mutex mutex_;
    std::vector<KeyMappingEntry> mapping_;
    int mappingApplyCount_ = 0;
    std::map<std::uint16_t, std::uint16_t> held_;  // physical key -> key code it was pressed as
    bool capsLocked_ = false;
    bool observing_ = false;
    bool tapCreationFails_ = false;
    bool postingFails_ = false;
    bool capsLockStateFails_ = false;
    bool keyObserverOpenFails_ = false;
    std::vector<KeyEvent> passed_;
    std::vector<PostedEvent> posted_;
    std::vector<std::uint64_t> openBarriers_;
    std::uint64_t nextBarrierId_ = 0;
    std::deque<std::function<void()>> heldInput_;
    bool replaying_ = false;
    // Shared with the barriers, which may outlive the keyboard.
    std::shared_ptr<SimKeyboard*> self_;
};

}  // namespace vandrel
