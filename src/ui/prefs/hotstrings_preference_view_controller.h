// The Hotstrings pane: an empty pane of the standard size, shown in development mode.
#pragma once

#include "ui/prefs/preferences_view_controller.h"

namespace vandrel {

class HotstringsPreferenceViewController : public PreferencesViewController {
public:
    explicit HotstringsPreferenceViewController(PreferencesServices services)
        : PreferencesViewController(PreferencePaneIdentifier::hotstring, std::move(services))
    {
    }
    const char* paneClassName() const override { return "HotstringsPreferenceViewController"; }
};

}  // namespace vandrel
