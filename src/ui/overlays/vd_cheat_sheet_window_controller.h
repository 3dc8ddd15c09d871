// The cheat sheet: a frameless, translucent tool window listing every binding of the active key scheme,
// grouped by action group, in columns fitted to the screen (see cheat_sheet_columns.h and
// vd_cheat_sheet_views.h).
//
// Showing and closing:
//   show()            brings the sheet up from hidden (sized to its content, at most 95 % of the main
//                     screen's visible area, centred), or only raises it when it is visible already.
//   close()           hides it; a showing shorter than 0.3 s ends with the hint to keep Caps Lock held.
//   Esc, Ctrl+W, Super+W close it; every other key is swallowed.
//   Caps release      closes an unpinned sheet when "cheatSheet_isCloseOnCapsUp" is on: the first release
//                     after a show, or after unpinning while Caps is held. One such wait at a time.
//   Lock button       pins (floating above other windows, "cheatSheet_isWindowPined" true, the default) and
//                     unpins; unpinning with Caps up shows the hint and closes the sheet 0.2 s later.
// The content is redrawn on every change of the active scheme, visible or not; a visible sheet is re-sized
// 0.1 s later around its horizontal centre with its top edge kept.
//
// Threads: everything runs on the main thread; Caps releases come from the input thread and are moved to
// the main scheduler, and a scheme activated or a setting written on another thread is drawn or applied
// there on the main scheduler's next turn.
#pragma once

#include <QPointer>
#include <QScrollArea>
#include <QToolButton>
#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "core/settings_store.h"
#include "engine/vandrel.h"
#include "model/vd_key_scheme.h"
#include "platform/key_event.h"
#include "rx/rx.h"
#include "rx/serial_disposable.h"
#include "ui/base/stack_view.h"
#include "ui/base/visual_effect_window.h"
#include "ui/overlays/screen_info.h"
#include "ui/overlays/shared_window_controller.h"
#include "ui/overlays/vd_cheat_sheet_views.h"

namespace vandrel {

struct CheatSheetMessages {
    static const std::string& canReleaseCapslock();
    static const std::string& holdToKeepTheDisplay();
};

class VDCheatSheetWindowController : public std::enable_shared_from_this<VDCheatSheetWindowController> {
    struct Passkey {
        explicit Passkey() = default;
    };

public:
    using Toast = std::function<void(const std::string& message, double seconds)>;

    struct Dependencies {
        // The key service's active scheme (a copy shares the relay).
        rx::BehaviorRelay<VDKeySchemePtr> activeKeyScheme{nullptr};
        // One event per Caps release, on any thread (the input observer's capsUp).
        rx::Observable<KeyEvent> capsUp;
        // Whether Caps is held now (the engine state's isCapsDown); null: never held.
        std::function<bool()> isCapsDown;
        // The main thread's scheduler: the Caps-release hop, the delayed close and resize, and "now".
        // Null: MainQueue::shared().
        rx::SchedulerPtr mainScheduler;
        // Null: the process-wide user settings.
        std::shared_ptr<SettingsStore> settings;
        // Null: ScreenInfo::system().
        std::shared_ptr<ScreenInfo> screenInfo;
        // Null: popupMsg.
        Toast toast;
    };

    // The engine's side of the dependencies: the key service's active scheme, the input observer's Caps
    // releases, the Caps-hold state and the core object's main scheduler. The rest stays at its default.
    static Dependencies dependenciesOf(const Vandrel& core);

    static constexpr double toastSeconds = 3.0;
    static constexpr double quickShowingSeconds = 0.3;
    static constexpr double unpinCloseDelay = 0.2;
    static constexpr double redrawResizeDelay = 0.1;

    // Builds the window and starts following the active scheme (the first drawing happens here when a
    // scheme is active). Main thread.
    static std::shared_ptr<VDCheatSheetWindowController> make(Dependencies dependencies);
    VDCheatSheetWindowController(Passkey, Dependencies dependencies);
    ~VDCheatSheetWindowController();
    VDCheatSheetWindowController(const VDCheatSheetWindowController&) = delete;
    VDCheatSheetWindowController& operator=(const VDCheatSheetWindowController&) = delete;

    // The slot behind it, holding what builds the controller on first use.
    using Shared = SharedWindowController<VDCheatSheetWindowController, Dependencies>;
    static InstalledInstance<Shared>& installed();
    // The sheet of the program: built on first use from the dependencies the installed function gives.
    // Null (logged) until something is installed. Main thread.
    static std::shared_ptr<VDCheatSheetWindowController> forVandrel();
    // Installs how forVandrel() builds the sheet; drops a sheet built before (an empty function only
    // drops it: the program does so before the Qt application ends).
    static void installForVandrel(std::function<Dependencies()> makeDependencies);

    void show();
    void close();

    bool isVisible() const;
    bool isPinned() const;
    // The pinned look: above other windows.
    bool isFloating() const;
    // A Caps release would close the sheet now (a release wait is pending).
    bool isWaitingForCapsRelease() const;

    VisualEffectWindow* window() const { return window_.get(); }
    QScrollArea* scrollView() const { return scrollView_; }
    StackView* containerStackView() const { return containerStackView_; }
    QToolButton* lockButton() const { return lockButton_; }
    const GroupViews& allGroupStackViews() const { return allGroupStackViews_; }
    rx::TimePoint theTimeWindowShowed() const { return theTimeWindowShowed_; }

    // The number of columns that fit the screen; -1 until the observers start.
    const rx::BehaviorRelay<int> currentListCount{-1};

private:
    void installLockingBtn();
    void observeActiveKeySchemeToDrawCheatSheet();
    void observeScreenSizeToRearrangementCheatSheetGroup();
    void onLockButton(bool pin);
    void applyPinnedLook(bool pinned);
    void waitForCapsReleaseToClose(bool checkCloseOnCapsUp);
    void draw(const VDKeySchemePtr& scheme);
    void setSizeToFitContent(bool isUseOldWindowScreenFrame);
    // At the top right of the visible part of the container.
    void placeLockButton(int containerRight);
    void hintIfQuick();
    void toast(const std::string& message) const;
    // Runs work now on the main thread, else queues it there.
    void onMainThread(std::function<void()> work);
    void cancelCapsReleaseWait();
    // The columns of the scheme (the active one's when none is given) that fit the main screen, each as wide as
    // its own texts need.
    int calculateMaxListCount(const VDKeySchemePtr& scheme = nullptr) const;
    bool handleKey(int key, Qt::KeyboardModifiers modifiers);
    SettingsStore& settings() const;
    std::weak_ptr<VDCheatSheetWindowController> weakSelf() { return weak_from_this(); }

    class KeyFilter;

    const Dependencies deps_;
    const rx::SchedulerPtr main_;
    const std::shared_ptr<ScreenInfo> screenInfo_;
    std::unique_ptr<VisualEffectWindow> window_;
    QScrollArea* scrollView_ = nullptr;  // children of window_
    StackView* containerStackView_ = nullptr;
    QToolButton* lockButton_ = nullptr;
    std::unique_ptr<KeyFilter> keyFilter_;
    rx::TimePoint theTimeWindowShowed_{};
    GroupViews allGroupStackViews_;
    // The one pending Caps-release wait, the delayed close after unpinning, the delayed resize.
    rx::SerialDisposable capsRelease_;
    std::shared_ptr<std::atomic<bool>> waitingForCapsRelease_;
    rx::SerialDisposable unpinClose_;
    rx::SerialDisposable redrawResize_;
    rx::DisposeBag disposeBag_;
};

}  // namespace vandrel
