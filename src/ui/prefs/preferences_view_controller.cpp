#include "ui/prefs/preferences_view_controller.h"

#include <utility>

#include "core/log.h"
#include "ui/base/ui_constants.h"
#include "ui/base/view_componentized.h"

namespace vandrel {

void callService(const std::function<void()>& service, const char* what, const char* missing)
{
    if (service)
        service();
    else
        log.warning(std::string(what) + ": " + missing);
}

PreferencesViewController::PreferencesViewController(PreferencePaneIdentifier identifier, PreferencesServices services)
    : PreferencePane(std::move(identifier)), services_(std::move(services))
{
}

void PreferencesViewController::viewDidLoad()
{
    view()->resize(PreferencesUIConstants::windowMinSize);
    container_ = ViewComponentized::create<WindowContainerView>(view());
}

void PreferencesViewController::onNextTurn(std::function<void()> work)
{
    if (!services_.mainQueue) {
        work();
        return;
    }
    // The bag drops the job with the pane, so it never runs on a pane that is gone.
    services_.mainQueue->schedule(std::move(work)).disposed(disposeBag_);
}

}  // namespace vandrel
