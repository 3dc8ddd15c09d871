// The content of the Hotkeys pane's help popover: four bulleted sentences on the copy made when a built-in
// scheme is changed and on conflicting hotkeys, at most 480 x 200, wrapping long translations.
#pragma once

#include <QString>
#include <QWidget>
#include <vector>

#include "ui/base/stack_view.h"
#include "ui/base/window_container_view.h"

namespace vandrel {

class HotkeyHelpViewController : public QWidget {
    Q_OBJECT
public:
    explicit HotkeyHelpViewController(QWidget* parent = nullptr);

    // The sentences, localized, in display order.
    static std::vector<QString> sentences();

    WindowContainerView* containerView() const { return containerView_; }
    StackView* contentStackView() const { return contentStackView_; }

private:
    WindowContainerView* containerView_ = nullptr;
    StackView* contentStackView_ = nullptr;
};

}  // namespace vandrel
