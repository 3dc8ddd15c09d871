#include "ui/prefs/hotkey_help_view_controller.h"

#include <QVBoxLayout>

#include "ui/base/ui_constants.h"
#include "ui/base/view_componentized.h"
#include "ui/base/view_helpers.h"
#include "ui/prefs/setting_rows.h"

namespace vandrel {

HotkeyHelpViewController::HotkeyHelpViewController(QWidget* parent) : QWidget(parent)
{
    // Laid out by layouts from a fixed width, so the height follows the wrapped sentences and nothing is cut.
    setFixedWidth(preferredWidth);
    setAutoFillBackground(true);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(PreferencesUIConstants::windowPadding, PreferencesUIConstants::basicGap,
                              PreferencesUIConstants::windowPadding, PreferencesUIConstants::basicGap);
    contentStackView_ = new StackView(Qt::Vertical);
    contentStackView_->setSpacing(PreferencesUIConstants::basicGap);
    outer->addWidget(contentStackView_);
    for (auto& row : createTextViewList(sentences())) contentStackView_->addArrangedSubview(row.release());
    setFixedHeight(outer->totalHeightForWidth(preferredWidth));
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
