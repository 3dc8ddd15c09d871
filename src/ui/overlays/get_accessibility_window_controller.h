// The input-access guide: shown at start-up while the program may not read the keyboards or make its virtual
// keyboard. It says exactly what is missing and how to grant it, the commands in a monospace block;
// "Copy the Commands" puts them on the clipboard (the button then reads "Copied" until the guide is opened
// again), opens the help and moves the window to the top-left corner while it waits for the grant. When
// access arrives its title and text say so, the steps and their commands go, the closing line shows, the
// buttons give way to Done and the window goes back where it was (not raised, not focused: the user may be
// typing in the terminal that granted the access).
//
//   Guiding --Copy the Commands--> Waiting --access granted--> Granted --Done--> Closed (doneAction runs)
//   Guiding --accessGranted()--> Granted       (the program saw the grant first)
//
// Quit ends the program from Guiding or Waiting. Return presses the default button of each state (Copy the
// Commands, then Done). Escape, Ctrl+W and the window manager's close only hide the guide before the grant
// (showWindow() brings it back, in any state) and are Done after it. It is an ordinary window with the window
// manager's frame, also moved by dragging its background: it comes to the front when it is shown and never
// takes the focus back from a window the user turns to.
//
// The program installs the guide's services once; shared() builds the guide on first use:
//
//   GetAccessibilityWindowController::installShared([] { return services; });
//   auto guide = GetAccessibilityWindowController::shared();
//   guide->doneAction = [] { ... };
//   guide->showWindow();
//   guide->checkingAccessibilityObservable().subscribe({}, {}, [] { /* access granted */ });
//
// The permission poll checks every 300 ms on the main queue (the check only looks at file permissions);
// each subscription runs its own poll and completes, on the main queue, at the first check that finds access.
// Everything else runs on the main thread too.
#pragma once

#include <QLabel>
#include <QPushButton>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "rx/rx.h"
#include "ui/overlays/pure_with_logo_window_controller.h"
#include "ui/overlays/screen_info.h"
#include "ui/overlays/shared_window_controller.h"

namespace vandrel {

// What the guide needs from the program. Unset members get the defaults named.
struct GetAccessibilityServices {
    // Where the poll ticks and completes. Default: the main queue.
    rx::SchedulerPtr mainQueue;
    // Whether access is granted now, without asking. Default: VdrCore::hasAXPermission().
    std::function<bool()> hasPermission;
    // What is missing, one line each, and the commands that grant it. Default: the installed platform's.
    std::function<std::vector<std::string>()> missingAccess;
    std::function<std::string()> grantCommands;
    // Puts text on the clipboard. Default: the application's clipboard.
    std::function<void(const std::string&)> copyText;
    // Opens the help on granting access. Default: only logs.
    std::function<void()> openHelp;
    // Ends the program the normal way. Default: the application's quit.
    std::function<void()> quit;
    // Default: the system's screens.
    std::shared_ptr<ScreenInfo> screens;
};

class GetAccessibilityWindowController : public PureWithLogoWindowController,
                                         public std::enable_shared_from_this<GetAccessibilityWindowController> {
    Q_OBJECT
public:
    using Dependencies = GetAccessibilityServices;
    enum class State { guiding, waiting, granted, closed };

    static constexpr std::chrono::milliseconds pollInterval{300};
    static constexpr int cornerGap = 32;
    // The screen assumed when the window is on none.
    static constexpr QRect fallbackScreen{0, 0, 1440, 900};

    static std::shared_ptr<GetAccessibilityWindowController> make(GetAccessibilityServices services);
    // The slot behind it, holding what builds the controller on first use.
    using Shared = SharedWindowController<GetAccessibilityWindowController, GetAccessibilityServices>;
    static InstalledInstance<Shared>& installed();
    // The program's guide, built on first use from what installShared() was given; null when nothing was
    // installed. An empty function drops the guide built before.
    static std::shared_ptr<GetAccessibilityWindowController> shared();
    static void installShared(std::function<GetAccessibilityServices()> makeServices);

    explicit GetAccessibilityWindowController(GetAccessibilityServices services);
    ~GetAccessibilityWindowController() override;

    // Run once by Done (or any close once access is there), after the window closed.
    std::function<void()> doneAction;

    // Completes at the first check (one every 300 ms, the first 300 ms after subscribing) that finds access;
    // its values are all false. Cold: each subscription polls on its own.
    rx::Observable<bool> checkingAccessibilityObservable() const;
    // The same poll over any check, ticking on the scheduler.
    static rx::Observable<bool> checkingAccessibilityObservable(std::function<bool()> hasPermission,
                                                                rx::SchedulerPtr scheduler);

    void showWindow() override;

    State state() const { return state_; }
    // The guide's text as shown: the description with what is missing, and the steps.
    std::string text() const;

    QLabel* textDescription() const { return textDescription_; }
    QLabel* textDone() const { return textDone_; }
    QPushButton* quitBtn() const { return quitBtn_; }
    QPushButton* openSystemPreferencesBtn() const { return openSystemPreferencesBtn_; }
    QPushButton* doneBtn() const { return doneBtn_; }
    std::optional<QRect> originRect() const { return originRect_; }

    QLabel* commandsBlock() const { return commands_; }

    // The buttons' handlers.
    void startToGetAccessibility();
    void done();
    // The program saw the grant: the guide shows it whatever state it waits in.
    void accessGranted();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void installContent();
    void installButtons();
    void refreshTexts();
    void changeBtnsToOkBtn();
    void gotoTopLeftPosition();
    void gobackOriginPosition();
    void granted();

    GetAccessibilityServices services_;
    std::vector<QWidget*> stepRows_;
    State state_ = State::guiding;
    std::optional<QRect> originRect_;
    rx::Disposable waiting_;
    QLabel* textDescription_;
    QLabel* textStep1_;
    QLabel* commands_;
    QLabel* textStep2_;
    QLabel* textStep3_;
    QLabel* textDone_;
    QPushButton* quitBtn_;
    QPushButton* openSystemPreferencesBtn_;
    QPushButton* doneBtn_;
};

}  // namespace vandrel
