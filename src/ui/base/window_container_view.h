// The padded content area of a window or pane: it fills its parent less the preferences window margins
// (24 at the top, 20 on the other sides).
#pragma once

#include <QWidget>

#include "ui/base/view_componentized.h"

namespace vandrel {

class WindowContainerView : public QWidget, public ViewComponentized {
    Q_OBJECT
public:
    WindowContainerView();
    void initConstraints() override;
};

}  // namespace vandrel
