// The base of the code-built setting panes: the pane's padded container, the dispose bag its bindings live
// in, and the queue its rows are built on. A pane makes its container in viewDidLoad() and builds its rows
// on the next turn of that queue.
#pragma once

#include <functional>

#include "rx/disposable.h"
#include "rx/scheduler.h"
#include "ui/base/window_container_view.h"
#include "ui/prefs/preference_pane.h"
#include "ui/prefs/preferences_services.h"

namespace vandrel {

class PreferencesViewController : public PreferencePane {
public:
    PreferencesViewController(PreferencePaneIdentifier identifier, PreferencesServices services);

    // Empty until viewDidLoad() made it.
    WindowContainerView* container() const { return container_; }

protected:
    // Gives the view the standard pane size (800 x 340) and makes the container inside it.
    void viewDidLoad() override;
    // Runs work on the next turn of the main queue (at once without one); dropped when the pane goes.
    void onNextTurn(std::function<void()> work);

    const PreferencesServices& services() const { return services_; }
    rx::DisposeBag& disposeBag() { return disposeBag_; }

private:
    PreferencesServices services_;
    WindowContainerView* container_ = nullptr;  // a child of view()
    rx::DisposeBag disposeBag_;
};

}  // namespace vandrel
