#include "ui/prefs/setting_group_stack_view.h"

#include "ui/base/ui_constants.h"

namespace vandrel {

SettingGroupStackView::SettingGroupStackView() : StackView(Qt::Vertical)
{
    setSpacing(PreferencesUIConstants::basicGap / 2);
}

}  // namespace vandrel
