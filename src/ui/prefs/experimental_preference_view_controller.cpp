#include "ui/prefs/experimental_preference_view_controller.h"

#include <utility>

#include "core/defaults_keys.h"
#include "ui/base/view_componentized.h"
#include "ui/prefs/setting_group_stack_view.h"
#include "ui/prefs/setting_item_stack_view.h"
#include "ui/prefs/setting_rows.h"

namespace vandrel {

ExperimentalPreferenceViewController::ExperimentalPreferenceViewController(PreferencesServices services)
    : PreferencesViewController(PreferencePaneIdentifier::experimental, std::move(services))
{
}

void ExperimentalPreferenceViewController::viewDidLoad()
{
    PreferencesViewController::viewDidLoad();
    settingsContainer_ = ViewComponentized::create<ExperimentalsContainerStackView>(container());
    onNextTurn([this] {
        installDescription();
        installHotstring();
    });
}

void ExperimentalPreferenceViewController::installDescription()
{
    auto* group = ViewComponentized::create<SettingGroupStackView>(settingsContainer_);
    for (const char* key :
         {"_experimental_description_0", "_experimental_description_1", "_experimental_description_2"}) {
        auto* row = ViewComponentized::create<SettingItemStackView>(group);
        auto* content = row->addOnlyContentStackView();
        content->addArrangedSubview(makeNoteLabel(localizedText(key)));
        if (!restart_) {
            restart_ = new QPushButton(localizedText("Restart Now"));
            QObject::connect(restart_, &QPushButton::clicked, restart_,
                             [this] { callService(services().restartApp, "Restart Now", "no restart is configured"); });
            content->addArrangedSubview(restart_);
        }
    }
}

void ExperimentalPreferenceViewController::installHotstring()
{
    auto* group = ViewComponentized::create<SettingGroupStackView>(settingsContainer_);
    auto* row = ViewComponentized::create<SettingItemStackView>(group);
    auto* content = row->addOnlyContentStackView();
    hotstring_ = makeSettingCheckbox(localizedText("Hotstring"), DefaultsKeys::experimental_hotstring, disposeBag());
    content->addArrangedSubview(hotstring_);
}

}  // namespace vandrel
