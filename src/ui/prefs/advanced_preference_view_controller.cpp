#include "ui/prefs/advanced_preference_view_controller.h"

#include <QLabel>
#include <utility>

#include "core/defaults_keys.h"
#include "core/log.h"
#include "ui/base/view_componentized.h"
#include "ui/prefs/setting_group_stack_view.h"
#include "ui/prefs/setting_rows.h"

namespace vandrel {

AdvancedPreferenceViewController::AdvancedPreferenceViewController(PreferencesServices services)
    : PreferencesViewController(PreferencePaneIdentifier::advanced, std::move(services))
{
}

void AdvancedPreferenceViewController::viewDidLoad()
{
    log.verbose("Advanced preferences did load");
    PreferencesViewController::viewDidLoad();
    settingsContainer_ = ViewComponentized::create<SettingsContainerStackView>(container());
    onNextTurn([this] { installWindowBindingGroup(); });
}

void AdvancedPreferenceViewController::installWindowBindingGroup()
{
    auto* group = ViewComponentized::create<SettingGroupStackView>(settingsContainer_);
    {
        auto [title, content] = addTitledRow(group);
        auto* heading = new QLabel("Window Binding");
        QFont bold = heading->font();
        bold.setBold(true);
        heading->setFont(bold);
        content->addArrangedSubview(heading);
    }
    {
        auto [title, content] = addTitledRow(group);
        title->addArrangedSubview(makeTitleLabel("Launch app:"));
        launchWithoutConfirmation_ = makeSettingCheckbox(
            "without confirmation", DefaultsKeys::windowBinding_isLaunchAppWithoutConfirmation, disposeBag());
        content->addArrangedSubview(launchWithoutConfirmation_);
    }
}

}  // namespace vandrel
