#include "ui/prefs/hotkey_help_view_controller.h"

#include "ui/base/ui_constants.h"
#include "ui/base/view_componentized.h"
#include "ui/base/view_helpers.h"
#include "ui/prefs/setting_rows.h"

namespace vandrel {

HotkeyHelpViewController::HotkeyHelpViewController(QWidget* parent) : QWidget(parent)
{
    containerView_ = ViewComponentized::create<WindowContainerView>(this);
    contentStackView_ = addFullSizeStackView(containerView_, Qt::Vertical);
    contentStackView_->setSpacing(PreferencesUIConstants::basicGap);
    for (auto& row : createTextViewList(sentences()))
        contentStackView_->addArrangedSubview(row.release(), Qt::AlignLeft);
    contentStackView_->boxLayout()->addStretch(1);
    setMaximumSize(480, 200);
}

std::vector<QString> HotkeyHelpViewController::sentences()
{
    return {
        localizedText("Built-in hotkey scheme cannot be modified."),
        localizedText(
            "When you try to modify a built-in scheme, a copy scheme will be automatically created and modified."),
        localizedText("When there are conflicting settings, all conflicting hotkeys do not perform any action."),
        localizedText(
            "Click the warning button on the right of the conflicting setting to go to the next related one."),
    };
}

}  // namespace vandrel
