// The Advanced pane: whether the application of a bound window that is not running starts at the first
// press (windowBinding_isLaunchAppWithoutConfirmation) or only after a second one.
#pragma once

#include <QCheckBox>

#include "ui/prefs/preferences_view_controller.h"
#include "ui/prefs/settings_container_stack_view.h"

namespace vandrel {

class AdvancedPreferenceViewController : public PreferencesViewController {
public:
    explicit AdvancedPreferenceViewController(PreferencesServices services);

    const char* paneClassName() const override { return "AdvancedPreferenceViewController"; }

    SettingsContainerStackView* settingsContainer() const { return settingsContainer_; }
    // Present once the rows are built.
    QCheckBox* launchWithoutConfirmationCheckbox() const { return launchWithoutConfirmation_; }

protected:
    void viewDidLoad() override;

private:
    void installWindowBindingGroup();

    SettingsContainerStackView* settingsContainer_ = nullptr;
    QCheckBox* launchWithoutConfirmation_ = nullptr;
};

}  // namespace vandrel
