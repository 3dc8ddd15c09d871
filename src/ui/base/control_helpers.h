// Small conveniences for buttons and modifier flags.
#pragma once

#include <QAbstractButton>
#include <Qt>
#include <set>

namespace vandrel {

// Gives the button the shared minimum width (UIConstants::buttonMinWidth); the argument does not change
// that minimum.
void beMinimalLimited(QAbstractButton* button, int limitedWidth);

// The modifier key codes (55 Command, 56 Shift, 57 Caps Lock, 58 Option, 59 Control) of a set of Qt
// modifier flags. On Linux the Super (Meta) key is Command, Alt is Option. Qt carries no Caps Lock flag,
// so the caller says whether Caps Lock is held.
std::set<int> toVdModifiers(Qt::KeyboardModifiers flags, bool capsLock = false);

}  // namespace vandrel
