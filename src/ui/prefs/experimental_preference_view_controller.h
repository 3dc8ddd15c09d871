// The Experimental pane: what experimental features are, a button that restarts the program (they take
// effect after a restart), and the hotstring switch (experimental_hotstring).
#pragma once

#include <QCheckBox>
#include <QPushButton>

#include "ui/prefs/preferences_view_controller.h"
#include "ui/prefs/settings_container_stack_view.h"

namespace vandrel {

class ExperimentalPreferenceViewController : public PreferencesViewController {
public:
    explicit ExperimentalPreferenceViewController(PreferencesServices services);

    const char* paneClassName() const override { return "ExperimentalPreferenceViewController"; }

    SettingsContainerStackView* settingsContainer() const { return settingsContainer_; }
    // Present once the rows are built.
    QPushButton* restartButton() const { return restart_; }
    QCheckBox* hotstringCheckbox() const { return hotstring_; }

protected:
    void viewDidLoad() override;

private:
    void installDescription();
    void installHotstring();

    SettingsContainerStackView* settingsContainer_ = nullptr;
    QPushButton* restart_ = nullptr;
    QCheckBox* hotstring_ = nullptr;
};

}  // namespace vandrel
