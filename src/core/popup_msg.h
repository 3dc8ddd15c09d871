// Transient on-screen messages. Any code, on any thread, calls popupMsg(); the UI library installs the
// presenter that shows the box on the main queue. Until one is installed the message is logged.
#pragma once

#include <functional>
#include <string>

namespace vandrel {

using PopupPresenter = std::function<void(const std::string& message, double seconds)>;

// Shows message for the given number of seconds. Returns at once.
void popupMsg(const std::string& message, double time);

// Installs the presenter (the UI's message box, or a recorder in tests); an empty function removes it.
// Returns the previous presenter.
PopupPresenter setPopupPresenter(PopupPresenter presenter);

}  // namespace vandrel
