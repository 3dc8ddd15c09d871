// The column that holds a pane's setting groups: a vertical stack of fixed width, at the top of its parent
// and centred across it, however wide the parent is.
//
//   auto* settings = ViewComponentized::create<SettingsContainerStackView>(container);
//   auto* group = ViewComponentized::create<SettingGroupStackView>(settings);
//
// The Experimental pane uses the narrower ExperimentalsContainerStackView. Neither draws anything.
#pragma once

#include "ui/base/stack_view.h"
#include "ui/base/view_componentized.h"

namespace vandrel {

class SettingsContainerStackView : public StackView, public ViewComponentized {
    Q_OBJECT
public:
    SettingsContainerStackView();
    void initConstraints() override;

protected:
    explicit SettingsContainerStackView(int width);

private:
    int width_;
};

class ExperimentalsContainerStackView : public SettingsContainerStackView {
    Q_OBJECT
public:
    ExperimentalsContainerStackView();
};

}  // namespace vandrel
