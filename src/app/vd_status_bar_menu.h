// The program's status item and its menu, top to bottom:
//
//   "Waiting for keyboard access"          (disabled)  only while the program has no keyboard access,
//   "Set Up Keyboard Access..."  menuItem_setUpAccess  with this entry, which brings the access guide back,
//   ----                                               and this separator
//   "Preferences...\tShift+Caps Lock+,"  menuItem_preferences  opens the preferences window
//   "Check for Updates..."       menuItem_checkForUpdates  checks the update feed now (disabled without one)
//   "Feedback..."                menuItem_feedback         opens the feedback form
//   ----
//   "Manual"                     menuItem_manual           opens the manual page in the browser
//   "Tutorial"                   menuItem_tutorial         opens the tutorial page in the browser
//   ----
//   "Quit Vandrel"               menuItem_quit             quits the normal way
//
// (texts localized). While hotkeys are frozen (on Linux: while the login session is locked, when every key
// passes untouched) the icon turns to "MenubarIcon-alert" and a warning stands at the top of the menu as
// plain disabled entries, then a separator: "☝️" with the frozen-hotkeys line, the application in front as
// "name (pid: 42)", the reason and what to do; they go again when the state ends. The normal icon
// "MenubarIcon" appears with the first state after the menu is built.
//
// The program makes one and installs it (shared()); the first-launch dialog and the preferences action
// reach it there. Everything here runs on the main thread; the frozen state is taken onto the main queue
// before it is handled.
#pragma once

#include <QMenu>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/status_item.h"
#include "core/installed_instance.h"
#include "engine/working_environment.h"
#include "platform/running_application.h"
#include "rx/rx.h"

namespace vandrel {

struct StatusBarMenuServices {
    // Where the menu's work runs: the main queue.
    rx::SchedulerPtr mainQueue;
    // The frozen-hotkeys state (current value at once, then changes), taken when the menu is built.
    std::function<rx::Observable<bool>()> secureInput;
    // Who holds the frozen state; absent when it cannot tell. May block briefly.
    std::function<std::optional<SecureInputHolder>()> appUsingSecureInput;
    std::function<std::optional<RunningApplication>()> frontmostApplication;
    std::function<void()> showPreferences;
    std::function<void()> checkForUpdates;
    // Whether there is an update source; "Check for Updates..." is disabled without one. Empty: there is.
    std::function<bool()> hasUpdateSource;
    std::function<void()> showFeedback;
    // Whether the program has keyboard access (current value at once, then changes); empty: granted.
    std::function<rx::Observable<bool>()> keyboardAccess;
    // Shows the keyboard access guide again.
    std::function<void()> showAccessGuide;
    // Opens a web page in the browser; false when it could not.
    std::function<bool(const std::string& url)> openUrl;
    // Ends the program the normal way.
    std::function<void()> quit;
};

class VDStatusBarMenu : public std::enable_shared_from_this<VDStatusBarMenu> {
    struct Passkey {
        explicit Passkey() = default;
    };

public:
    static constexpr const char* normalIcon = "MenubarIcon";
    static constexpr const char* alertIcon = "MenubarIcon-alert";

    // The status item is there from now on, without image or menu.
    static std::shared_ptr<VDStatusBarMenu> make(std::unique_ptr<StatusItem> statusItem,
                                                 StatusBarMenuServices services);
    VDStatusBarMenu(Passkey, std::unique_ptr<StatusItem> statusItem, StatusBarMenuServices services);
    ~VDStatusBarMenu();
    VDStatusBarMenu(const VDStatusBarMenu&) = delete;
    VDStatusBarMenu& operator=(const VDStatusBarMenu&) = delete;

    // The installed menu, or null.
    static std::shared_ptr<VDStatusBarMenu> shared();
    static InstalledInstance<VDStatusBarMenu>& installed();
    static void installShared(std::shared_ptr<VDStatusBarMenu> menu);

    // Builds the menu, hands it to the status item and starts following the frozen-hotkeys state. Once.
    void initMenuButton();

    // Queued on the main queue.
    void showPreferences();
    void checkForUpdates();
    void showFeedback();
    // Open the pages with "?from=app&version=<version>"; an address that is not a URL opens nothing.
    void goManual();
    void goTutorial();

    QMenu* menu() const { return menu_.get(); }
    StatusItem& statusItem() const { return *statusItem_; }
    QAction* menuItemWaitingForAccess = nullptr;
    QAction* menuItemSetUpAccess = nullptr;
    QAction* menuItemPreferences = nullptr;
    QAction* menuItemCheckForUpdates = nullptr;
    QAction* menuItemFeedback = nullptr;
    QAction* menuItemManual = nullptr;
    QAction* menuItemTutorial = nullptr;

    // "Preferences..." with its shortcut hint.
    static std::string preferencesTitle();
    // The label of the frozen-hotkeys warning: the holder, else the application in front, else
    // "_get_app_info_fail".
    static std::string secureInputHolderLabel(const std::optional<SecureInputHolder>& holder,
                                              const std::optional<RunningApplication>& frontmost);

private:
    void followKeyboardAccess();
    void addAlertItemWhenInSecureInput();
    void onSecureInput(bool on);
    void openPage(const std::string& page);

    const std::unique_ptr<StatusItem> statusItem_;
    const StatusBarMenuServices services_;
    std::unique_ptr<QMenu> menu_;
    // The warning's entries, in menu order, separator last; in the menu only while shown_.
    std::vector<QAction*> warningItems_;
    QAction* applicationLabel_ = nullptr;
    QAction* accessSeparator_ = nullptr;
    bool shown_ = false;
    rx::DisposeBag disposeBag_;
};

}  // namespace vandrel
