// Views that build themselves into a parent: make the view, add it to the parent (a plain view or a stack
// view), then let it install its own layout against that parent.
//
//   auto* container = ViewComponentized::create<WindowContainerView>(window);
//   auto* row = ViewComponentized::create<SettingItemStackView>(groupStack);   // appended to the stack
//
// The parent owns the view (Qt parent-child ownership); the returned pointer is non-owning.
#pragma once

#include <QWidget>

#include "core/log.h"
#include "ui/base/stack_view.h"

namespace vandrel {

class ViewComponentized {
public:
    virtual ~ViewComponentized() = default;

    // Installs the view's layout against its parent; called once the view has been added to the parent.
    virtual void initConstraints() = 0;

    template <class V>
    static V* create(QWidget* superView)
    {
        auto* view = new V();
        log.verbose("NSView ViewComponentized Init");
        view->setParent(superView);
        if (superView && superView->isVisible()) view->show();
        view->initConstraints();
        return view;
    }

    template <class V>
    static V* create(StackView* superView)
    {
        auto* view = new V();
        log.verbose("NSStackView ViewComponentized Init");
        superView->addArrangedSubview(view);
        view->initConstraints();
        return view;
    }
};

}  // namespace vandrel
