#include "ui/prefs/settings_container_stack_view.h"

#include <QVBoxLayout>

#include "ui/base/ui_constants.h"

namespace vandrel {

SettingsContainerStackView::SettingsContainerStackView()
    : SettingsContainerStackView(PreferencesUIConstants::settingsContainerWidth)
{
}

SettingsContainerStackView::SettingsContainerStackView(int width) : StackView(Qt::Vertical), width_(width)
{
    setSpacing(2 * PreferencesUIConstants::basicGap);
}

void SettingsContainerStackView::initConstraints()
{
    setFixedWidth(width_);
    QWidget* parent = parentWidget();
    if (!parent) return;
    // Top edge on the parent's top, centred across it: the column never stretches with the pane.
    auto* layout = qobject_cast<QBoxLayout*>(parent->layout());
    if (!layout) {
        layout = new QVBoxLayout(parent);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
    }
    layout->addWidget(this, 0, Qt::AlignTop | Qt::AlignHCenter);
}

ExperimentalsContainerStackView::ExperimentalsContainerStackView()
    : SettingsContainerStackView(PreferencesUIConstants::experimentalsContainerWidth)
{
}

}  // namespace vandrel
