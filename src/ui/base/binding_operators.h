// Two-way binding of check-box style buttons to Boolean settings and streams.
//
//   bindSettingToButton(DefaultsKeys::cheatSheet_isWindowPined, pinBox).disposed(bag);
//   bindButtonToAction(pinBox, [](bool on) { Defaults()[DefaultsKeys::cheatSheet_isWindowPined] = on; })
//       .disposed(bag);
//
// The button's state is always set on the main thread. A destroyed button is simply no longer updated.
#pragma once

#include <QAbstractButton>
#include <functional>
#include <optional>

#include "core/defaults.h"
#include "core/defaults_key.h"
#include "rx/rx.h"

namespace vandrel {

// The button shows the setting: checked for true. It starts with the key's value as read now (its default
// when nothing is stored) and follows every later write; writing the same value again changes nothing.
rx::Disposable bindSettingToButton(const DefaultsKey<bool>& key, QAbstractButton* button,
                                   SettingsStore& store = Defaults());

// Calls action with the new checked state for every click made after binding (not for the state set by
// binding, nor for states set by code).
rx::Disposable bindButtonToAction(QAbstractButton* button, std::function<void(bool)> action);

// The button follows the stream: absent values and errors are dropped, a value equal to the previous
// one is ignored.
rx::Disposable bindStreamToButton(const rx::Observable<std::optional<bool>>& stream, QAbstractButton* button);

}  // namespace vandrel
