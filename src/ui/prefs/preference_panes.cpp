#include "ui/prefs/preference_panes.h"

#include <utility>

#include "core/defaults.h"
#include "core/defaults_keys.h"
#include "core/log.h"
#include "ui/prefs/advanced_preference_view_controller.h"
#include "ui/prefs/develop_preference_view_controller.h"
#include "ui/prefs/developer_preference_view_controller.h"
#include "ui/prefs/experimental_preference_view_controller.h"
#include "ui/prefs/general_preference_view_controller.h"
#include "ui/prefs/hotstrings_preference_view_controller.h"

namespace vandrel {

PreferencePanes::PreferencePanes(PreferencesServices services)
    : services_(std::move(services)), current_(std::make_shared<PaneList>())
{
}

PreferencePanes::~PreferencePanes() = default;

std::shared_ptr<PreferencePane> PreferencePanes::pane(std::shared_ptr<PreferencePane>& slot,
                                                      const std::function<std::shared_ptr<PreferencePane>()>& make)
{
    if (!slot) slot = make();
    return slot;
}

const PreferencePanes::PaneList& PreferencePanes::basicPreferencePanes()
{
    if (basic_.empty()) {
        basic_.push_back(pane(general_, [this] {
            std::weak_ptr<PaneList> current = current_;
            return std::make_shared<GeneralPreferenceViewController>(services_, [current] {
                // Until a list is set, the window's list is the basic one: General alone.
                const auto list = current.lock();
                return list && !list->empty() ? list->size() : std::size_t(1);
            });
        }));
    }
    return basic_;
}

const PreferencePanes::PaneList& PreferencePanes::preferencePanes()
{
    if (current_->empty()) *current_ = basicPreferencePanes();
    return *current_;
}

const PreferencePanes::PaneList& PreferencePanes::updatePreferencePanes()
{
    PaneList list = basicPreferencePanes();
    if (services_.makeHotkeyPane) {
        if (auto hotkey = pane(hotkey_, services_.makeHotkeyPane))
            list.push_back(hotkey);
        else
            log.warning("the Hotkey pane could not be made");
    }
    list.push_back(pane(advanced_, [this] { return std::make_shared<AdvancedPreferenceViewController>(services_); }));
    list.push_back(
        pane(experimental_, [this] { return std::make_shared<ExperimentalPreferenceViewController>(services_); }));
    if (Defaults()[DefaultsKeys::app_isDevelopMode]) {
        list.push_back(
            pane(hotstring_, [this] { return std::make_shared<HotstringsPreferenceViewController>(services_); }));
        list.push_back(
            pane(developer_, [this] { return std::make_shared<DeveloperPreferenceViewController>(services_); }));
        list.push_back(pane(develop_, [this] { return std::make_shared<DevelopPreferenceViewController>(services_); }));
    }
    *current_ = std::move(list);
    return *current_;
}

InstalledInstance<PreferencePanes>& PreferencePanes::installed()
{
    static InstalledInstance<PreferencePanes> slot;
    return slot;
}

PreferencePanes& PreferencePanes::shared()
{
    auto panes = installed().get();
    if (!panes) {
        log.warning("the preferences were built before the program gave them their services");
        panes = std::make_shared<PreferencePanes>(PreferencesServices{});
        installed().install(panes);
    }
    return *panes;
}

void PreferencePanes::install(std::shared_ptr<PreferencePanes> panes)
{
    installed().install(std::move(panes));
}

}  // namespace vandrel
