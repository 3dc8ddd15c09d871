// The program's composition root: the core object and the services above the keyboard engine. The core's
// input observer (with its Caps-hold state) and working environment are made first and handed to the
// services that follow them; the services are handed to each other through their options; the core object
// is made last, over the same observer and environment, with the entry points of the services. The engine
// and the actions reach the services only through VandrelServices.
// The tray's status item and the update checker are made here too; the tray's menu is built by
// initMenuButton() (the menu follows the core's frozen-hotkeys state), and the checker is put in place by
// setUpUpdater() after it.
// Every `shared()` instance made here is installed in the Installations it is given (the delegate's, after the
// platform), which its owner empties, last installed first, before this goes: only then do the windows and the
// core object go with it. Made and dropped on the GUI thread, after the application object exists and before it
// goes.
#pragma once

#include <functional>
#include <memory>

#include "app/app_restart.h"
#include "app/vd_status_bar_menu.h"
#include "app/vd_updater.h"
#include "clip/clip_conveyor.h"
#include "clip/clip_service.h"
#include "clip/data_clean_service.h"
#include "clip/hotstring_service.h"
#include "clip/multi_clipboard_service.h"
#include "clip/paste_service.h"
#include "core/installed_instance.h"
#include "engine/input_observer.h"
#include "engine/vandrel.h"
#include "engine/vandrel_services.h"
#include "engine/window_binding_service.h"
#include "engine/working_environment.h"
#include "platform/platform.h"
#include "rx/rx.h"
#include "rx/scheduler.h"
#include "ui/overlays/keyboard_map_window_controller.h"
#include "ui/overlays/vd_cheat_sheet_window_controller.h"
#include "windowbinding/vd_window_binding.h"

namespace vandrel {

class VDFeedbackWindowController;

class AppServices {
public:
    struct Options {
        std::shared_ptr<Platform> platform;
        rx::SchedulerPtr main;
        rx::SchedulerPtr windowBinding;
        rx::SchedulerPtr clip;
        // The global queue: the clipboard's retries and the paste stroke's wait.
        rx::SchedulerPtr background;
        // Ends the event loop the normal way (so the keyboards are let go), for a restart.
        std::function<void(int code)> quit;
        // Whether the program has keyboard access (current value, then changes); empty: always granted.
        std::function<rx::Observable<bool>()> keyboardAccess;
        // Runs work on the GUI thread and waits for it (at once on the GUI thread): the desktop clipboard's
        // writes. Null: on the caller.
        std::function<void(const std::function<void()>&)> runOnGui;
        // Brings the input-access guide forward (the menu's entry while access is missing); null: nothing.
        std::function<void()> showAccessGuide;
        // The core object's own choices (factory scheme, queues, input thread); its platform, main scheduler,
        // services, window-binding keys, input observer and environment are the ones made here.
        Vandrel::Options core;
    };

    // installations: outlives this, and is emptied of what this installed before this goes.
    AppServices(Options options, Installations& installations);
    ~AppServices();
    AppServices(const AppServices&) = delete;
    AppServices& operator=(const AppServices&) = delete;

    // The entry points of these services, for Vandrel::Options.
    VandrelServices vandrelServices() const;
    // Builds the tray's menu; once, on the GUI thread.
    void initMenuButton();
    // Installs the update checker (no automatic checks) and hands it the feed address; once, after the menu.
    void setUpUpdater();
    // The windows' icon from the icon theme: once the keyboards are taken.
    void installWindowsAfterKeyboardsTaken();
    // The shared feedback form, made and installed on first use. GUI thread.
    std::shared_ptr<VDFeedbackWindowController> feedbackForm();

private:
    const Options options_;
    Installations& installations_;
    const std::shared_ptr<AppRestart> restart_;

public:
    // What the core object shares with the services above it.
    const std::shared_ptr<InputObserver> inputObserver;
    const std::shared_ptr<WorkingEnvironment> environment;
    const std::shared_ptr<WindowBindingService> windowBindingKeys;
    const std::shared_ptr<VDWindowBinding> windowBinding;
    const std::shared_ptr<ClipConveyor> clipConveyor;
    std::shared_ptr<ClipService> clipService;
    std::shared_ptr<PasteService> pasteService;
    std::shared_ptr<HotstringService> hotstringService;
    std::shared_ptr<MultiClipboardService> multiClipboardService;
    std::shared_ptr<DataCleanService> dataCleanService;

    const std::shared_ptr<VDUpdater> updater;
    const std::shared_ptr<VDStatusBarMenu> statusBarMenu;
    // The core object, made after the services and installed for vandrel().
    std::shared_ptr<Vandrel> core;

private:
    void installWindows();
    void installClipboards();
    void installCore();
    void installShell();
    void installHotstrings();

    std::shared_ptr<KeyboardMapWindowController::Shared> keyboardMap_;
    std::shared_ptr<VDCheatSheetWindowController::Shared> cheatSheet_;
};

}  // namespace vandrel
