// The panes of the preferences window. Each pane is made once, on first use, and lives as long as this
// object, so a rebuilt window shows the same pane objects as the one it replaces.
//
//   basicPreferencePanes()  General alone.
//   preferencePanes()       what the window shows, as set by the last updatePreferencePanes(): General,
//                           Hotkey (when the program supplies it), Advanced and Experimental; in development
//                           mode (app_isDevelopMode) also Hotstrings, Developer and Develop.
//
// The program makes one with its services and installs it before the first window is built. Main thread.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "core/installed_instance.h"
#include "ui/prefs/preference_pane.h"
#include "ui/prefs/preferences_services.h"

namespace vandrel {

class PreferencePanes {
public:
    using PaneList = std::vector<std::shared_ptr<PreferencePane>>;

    explicit PreferencePanes(PreferencesServices services);
    ~PreferencePanes();
    PreferencePanes(const PreferencePanes&) = delete;
    PreferencePanes& operator=(const PreferencePanes&) = delete;

    const PaneList& basicPreferencePanes();
    const PaneList& preferencePanes();
    // Sets preferencePanes() from the rule above and the development mode as stored now.
    const PaneList& updatePreferencePanes();

    // The installed instance; one with no services (every service logs that it is missing) when the
    // program installed none.
    static PreferencePanes& shared();
    static InstalledInstance<PreferencePanes>& installed();
    static void install(std::shared_ptr<PreferencePanes> panes);

private:
    std::shared_ptr<PreferencePane> pane(std::shared_ptr<PreferencePane>& slot,
                                         const std::function<std::shared_ptr<PreferencePane>()>& make);

    PreferencesServices services_;
    std::shared_ptr<PreferencePane> general_, hotkey_, advanced_, experimental_, hotstring_, developer_, develop_;
    PaneList basic_;
    // Shared with the General pane, which asks for its length when its view loads.
    std::shared_ptr<PaneList> current_;
};

}  // namespace vandrel
