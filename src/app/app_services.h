// The services above the keyboard engine that the program builds and hands to the core object: each is made
// here, once, with what it needs, and reached by the engine and the actions only through VandrelServices.
// The tray's status item and the update checker are made here too; the tray's menu is built by
// initMenuButton() once the core object is installed (the menu follows its frozen-hotkeys state), and the
// checker is put in place by setUpUpdater() after it.
// Made and dropped on the GUI thread, after the application object exists and before it goes.
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
#include "engine/vandrel_services.h"
#include "engine/window_binding_service.h"
#include "platform/platform.h"
#include "rx/rx.h"
#include "rx/scheduler.h"
#include "windowbinding/vd_window_binding.h"

namespace vandrel {

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
    };

    explicit AppServices(Options options);
    ~AppServices();
    AppServices(const AppServices&) = delete;
    AppServices& operator=(const AppServices&) = delete;

    // The entry points of these services, for Vandrel::Options.
    VandrelServices vandrelServices() const;
    // Builds the tray's menu; once, on the GUI thread, after the core object is installed.
    void initMenuButton();
    // Installs the update checker (no automatic checks) and hands it the feed address; once, after the menu.
    void setUpUpdater();
    // The windows' icon from the icon theme and the feedback form: once the keyboards are taken.
    void installWindowsAfterKeyboardsTaken();

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

private:
    void installWindows();
    void installClipboards();
    void installShell();
    void installHotstrings();

    const Options options_;
    AppRestart restart_;
};

}  // namespace vandrel
