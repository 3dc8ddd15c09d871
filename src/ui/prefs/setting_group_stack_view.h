// One group of setting rows: a vertical stack as wide as the column it stands in, rows 4 apart.
#pragma once

#include "ui/base/stack_view.h"
#include "ui/base/view_componentized.h"

namespace vandrel {

class SettingGroupStackView : public StackView, public ViewComponentized {
    Q_OBJECT
public:
    SettingGroupStackView();
    // The width follows the parent stack's (a vertical stack gives its views its full width).
    void initConstraints() override {}
};

}  // namespace vandrel
