// The General pane: start at login, update checks (automatic, beta versions, "Check Now") and permission to
// send usage statistics, each a checkbox that writes its setting at once, and the program's version.
//
// A checkbox shows its setting as stored, also when something else changes it; opening the pane writes
// nothing. Start at login goes through the login item (AppInfo::switchStartAtLogin): when that fails the
// checkbox goes back to the stored value instead of showing a login item that is not there, and a message
// says why (the folder and the system's reason).
#pragma once

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <cstddef>
#include <functional>

#include "ui/prefs/preferences_view_controller.h"
#include "ui/prefs/settings_container_stack_view.h"

namespace vandrel {

class GeneralPreferenceViewController : public PreferencesViewController {
public:
    // paneCount: how many panes the window shows; with one (no toolbar) the settings start lower.
    GeneralPreferenceViewController(PreferencesServices services, std::function<std::size_t()> paneCount);

    const char* paneClassName() const override { return "GeneralPreferenceViewController"; }

    // Present once the rows are built (a turn after the view was made).
    QCheckBox* startAtLoginCheckbox() const { return startAtLogin_; }
    QCheckBox* autoCheckUpdatesCheckbox() const { return autoCheckUpdates_; }
    QCheckBox* betaVersionCheckbox() const { return betaVersion_; }
    QPushButton* checkNowButton() const { return checkNow_; }
    QCheckBox* sendUsageCheckbox() const { return sendUsage_; }
    // The sentences shown under disabled controls; null while their controls work.
    QLabel* updatesUnavailableNote() const { return updatesNote_; }
    QLabel* usageUnavailableNote() const { return usageNote_; }
    QLabel* versionLabel() const { return versionLabel_; }
    SettingsContainerStackView* settingsContainer() const { return settingsContainer_; }

    // "1.4.2(131)": the short version, then the build in parentheses.
    static std::string versionText();

protected:
    void viewDidLoad() override;

private:
    void installLaunchGroup();
    void switchStartAtLogin(bool on);
    void installUpdatesGroup();
    void installUsageGroup();
    void installVersionLabel();

    std::function<std::size_t()> paneCount_;
    SettingsContainerStackView* settingsContainer_ = nullptr;
    QCheckBox* startAtLogin_ = nullptr;
    QCheckBox* autoCheckUpdates_ = nullptr;
    QCheckBox* betaVersion_ = nullptr;
    QPushButton* checkNow_ = nullptr;
    QCheckBox* sendUsage_ = nullptr;
    QLabel* updatesNote_ = nullptr;
    QLabel* usageNote_ = nullptr;
    QLabel* versionLabel_ = nullptr;
};

}  // namespace vandrel
