// The keyboard map window: a frameless, translucent window above all others that shows the keyboard and
// lights the keys as they are pressed (KeyboardMapViewController). Its title strip (a close button and the
// handle to move the window) fades in when the pointer comes within 100 pixels of the top, and out when
// it moves away or leaves the window.
//
// The engine's hidden key (Caps+Shift+Control+Option+Command with the key of code 40) brings it up through
// the core object's showKeyboardMap service, which the program points at showWindow() of the shared controller. Main
// thread only.
#pragma once

#include <QGraphicsOpacityEffect>
#include <QPointer>
#include <QPropertyAnimation>
#include <QToolButton>
#include <QWidget>
#include <functional>
#include <memory>

#include "engine/input_observer.h"
#include "ui/overlays/keyboard_map_view.h"
#include "ui/overlays/keyboard_map_view_controller.h"
#include "ui/overlays/shared_window_controller.h"

namespace vandrel {

class KeyboardMapWindowController : public std::enable_shared_from_this<KeyboardMapWindowController> {
    struct Passkey {
        explicit Passkey() = default;
    };

public:
    using Dependencies = KeyboardMapViewController::Dependencies;

    static constexpr int titlebarHeight = 50;
    static constexpr int titlebarRevealDistance = 100;

    // The key-event subjects of the input observer; scripts run on mainScheduler (null: the main queue).
    static Dependencies dependenciesOf(const InputObserver& observer, rx::SchedulerPtr mainScheduler = nullptr);

    static std::shared_ptr<KeyboardMapWindowController> make(Dependencies dependencies);
    KeyboardMapWindowController(Passkey, Dependencies dependencies);
    ~KeyboardMapWindowController();

    // The slot behind it, holding what builds the controller on first use.
    using Shared = SharedWindowController<KeyboardMapWindowController, Dependencies>;
    static InstalledInstance<Shared>& installed();
    // The map of the program: built on first use from the installed function; null (logged) before.
    static std::shared_ptr<KeyboardMapWindowController> shared();
    // Installs how shared() builds the map and drops one built before (an empty function only drops it:
    // the program does so before the Qt application ends).
    static void installShared(std::function<Dependencies()> makeDependencies);

    // Shows the window (centred the first time) and brings it to the front.
    void showWindow();
    void close();
    bool isVisible() const;

    // The pointer at this height in window coordinates (0 at the top).
    void mouseMoved(int y);
    void showTitlebar();
    void hideTitlebar();
    // Where the title strip's fade is heading: shown (1) or hidden (0).
    bool isTitlebarShown() const { return titlebarShown_; }

    QWidget* window() const;
    KeyboardMapView* view() const { return view_; }
    KeyboardMapViewController& viewController() const { return *viewController_; }

private:
    class Window;
    void fadeTitlebar(double opacity);

    std::unique_ptr<Window> window_;
    KeyboardMapView* view_ = nullptr;  // children of window_
    QWidget* titlebar_ = nullptr;
    QGraphicsOpacityEffect* titlebarOpacity_ = nullptr;
    QPointer<QPropertyAnimation> fade_;
    bool titlebarShown_ = false;
    bool placed_ = false;
    std::shared_ptr<KeyboardMapViewController> viewController_;
};

}  // namespace vandrel
