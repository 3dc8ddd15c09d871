// The content of the Hotkeys pane's help popover: four bulleted sentences on the copy made when a built-in
// scheme is changed and on conflicting hotkeys, 420 wide and as tall as the wrapped sentences need.
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
    static constexpr int preferredWidth = 420;

    explicit HotkeyHelpViewController(QWidget* parent = nullptr);

    // The sentences, localized, in display order.
    static std::vector<QString> sentences();

    StackView* contentStackView() const { return contentStackView_; }

private:
    StackView* contentStackView_ = nullptr;
};

}  // namespace vandrel
