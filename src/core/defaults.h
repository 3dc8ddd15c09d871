// The process-wide settings stores: `Defaults()` is the user settings (settings.json), `GroupDefaults()` the
// suite shared with the login-item helper (group-settings.json). The app installs both at start-up; tests
// install stores over temporary folders. Without an installed store, first use opens the standard file.
//
//   if (Defaults()[DefaultsKeys::app_isAllowSendUsage]) ...
//   Defaults()[DefaultsKeys::app_launchedTimes] = times + 1;
#pragma once

#include <memory>

#include "core/settings_store.h"

namespace vandrel {

SettingsStore& Defaults();
SettingsStore& GroupDefaults();

// A replaced store stays alive until the process ends, so references handed out earlier stay valid.
void installDefaults(std::shared_ptr<SettingsStore> store);
void installGroupDefaults(std::shared_ptr<SettingsStore> store);

}  // namespace vandrel
