// The Developer pane: an empty pane of the standard size, shown in development mode.
#pragma once

#include "ui/prefs/preferences_view_controller.h"

namespace vandrel {

class DeveloperPreferenceViewController : public PreferencesViewController {
public:
    explicit DeveloperPreferenceViewController(PreferencesServices services)
        : PreferencesViewController(PreferencePaneIdentifier::developer, std::move(services))
    {
    }
    const char* paneClassName() const override { return "DeveloperPreferenceViewController"; }
};

}  // namespace vandrel
