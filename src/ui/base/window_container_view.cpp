#include "ui/base/window_container_view.h"

#include "ui/base/ui_constants.h"
#include "ui/base/view_helpers.h"

namespace vandrel {

WindowContainerView::WindowContainerView() : QWidget(nullptr) {}

void WindowContainerView::initConstraints()
{
    pinToParentEdges(this, QMargins(PreferencesUIConstants::windowPadding, PreferencesUIConstants::windowPaddingTop,
                                    PreferencesUIConstants::windowPadding, PreferencesUIConstants::windowPadding));
}

}  // namespace vandrel
