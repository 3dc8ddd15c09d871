#include "ui/base/control_helpers.h"

#include "ui/base/ui_constants.h"

namespace vandrel {

void beMinimalLimited(QAbstractButton* button, int /*limitedWidth*/)
{
    if (button) button->setMinimumWidth(UIConstants::buttonMinWidth);
}

std::set<int> toVdModifiers(Qt::KeyboardModifiers flags, bool capsLock)
{
    std::set<int> codes;
    if (capsLock) codes.insert(57);
    if (flags & Qt::MetaModifier) codes.insert(55);
    if (flags & Qt::AltModifier) codes.insert(58);
    if (flags & Qt::ShiftModifier) codes.insert(56);
    if (flags & Qt::ControlModifier) codes.insert(59);
    return codes;
}

}  // namespace vandrel
