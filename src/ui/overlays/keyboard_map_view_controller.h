// Turns key events into the keyboard map's script calls while the map is on screen.
//
// Between viewDidAppear() and viewDidDisappear() it follows the input observer's key-downs and the Caps
// press (onKeyDown), key-ups (onKeyUp) and Caps releases (onCapsUp); at other times nothing is sent. Each
// handler builds its script at once, on the thread of the event (the input thread), and hands the
// evaluation to the main scheduler, so a key event never waits for the page.
//
// A key-up lets go of its own key (when its press was seen), and a Caps release of Caps, the modifiers and
// every key still down.
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "model/keystroke.h"
#include "platform/key_event.h"
#include "rx/rx.h"
#include "ui/overlays/keyboard_map_page.h"

namespace vandrel {

class KeyboardMapViewController : public std::enable_shared_from_this<KeyboardMapViewController> {
    struct Passkey {
        explicit Passkey() = default;
    };

public:
    struct Dependencies {
        // The input observer's subjects.
        rx::Observable<KeyEvent> keydown;
        rx::Observable<KeyEvent> capsDown;
        rx::Observable<KeyEvent> keyup;
        rx::Observable<KeyEvent> capsUp;
        // Where scripts are evaluated (the main thread). Null: MainQueue::shared().
        rx::SchedulerPtr mainScheduler;
    };

    static constexpr const char* pageScale = "0.7";

    // view: the keyboard the page draws on; not owned. Main thread.
    static std::shared_ptr<KeyboardMapViewController> make(Dependencies dependencies, KeyboardMapView* view);
    KeyboardMapViewController(Passkey, Dependencies dependencies, KeyboardMapView* view);
    ~KeyboardMapViewController();

    // The page is ready: scale it and mark the base editing keys. Main thread.
    void pageDidFinish();
    void viewDidAppear();
    void viewDidDisappear();
    bool isFollowingKeys() const;

    void onKeyDown(const KeyEvent& event);
    void onKeyUp(const KeyEvent& event);
    void onCapsUp(const KeyEvent& event);

    std::optional<Keystroke> lastKeystroke() const;
    KeyboardMapPage& page() { return page_; }

private:
    void evaluate(std::string script);

    const Dependencies deps_;
    const rx::SchedulerPtr main_;
    KeyboardMapPage page_;

    mutable std::mutex mutex_;  // the key state below; handlers run on the input thread
    std::optional<Keystroke> lastKeystroke_;
    std::vector<std::string> keysDown_;

    std::optional<rx::DisposeBag> disposeBag_;  // main thread
};

}  // namespace vandrel
