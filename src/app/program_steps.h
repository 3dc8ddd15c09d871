// The real program's start-up steps for AppDelegate: the Linux backend, the process's queues, the launch
// migrations, logging, the object database in the data folder, the usage session, the core object with the
// services above it (AppServices), the tray menu, the updater, the access help page and the first-launch
// dialog.
//
//   AppDelegate::Options options = programSteps();
//   options.arguments.assign(argv, argv + argc);
//   AppDelegate delegate(std::move(options));
//
// The steps share the services makeEngine makes: stopEngine drops them. Made on the GUI thread, after the
// application object exists.
#pragma once

#include "app/app_delegate.h"
#include "core/set_aside_files.h"

namespace vandrel {

AppDelegate::Options programSteps();

// Tells the user on screen what was set aside and where the copy is (a transient message).
void tellSetAside(const SetAsideFile& file);

}  // namespace vandrel
