// What the tray test asks of the X server, kept apart from the program's headers (Xlib's names and macros
// clash with them).
#pragma once

#include <memory>
#include <string>

namespace vandrel::test {

class TrayTestDisplay {
public:
    // Starts Xvfb and fluxbox; failure() says why when it could not.
    TrayTestDisplay();
    ~TrayTestDisplay();

    const std::string& failure() const;
    const std::string& display() const;

    // Embedded in the tray: inside another window, viewable, and not a window the manager manages.
    bool isEmbeddedInTray(unsigned long window);
    // The window manager has taken the window on (within a few seconds).
    bool waitUntilManaged(unsigned long window);

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace vandrel::test
