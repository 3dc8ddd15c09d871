// Starting the program at login. The default is an XDG autostart entry (XdgAutostartLoginItem); AppInfo
// goes through this interface so tests and other desktops can supply their own.
#pragma once

#include <optional>
#include <string>

namespace vandrel {

class LoginItemService {
public:
    virtual ~LoginItemService() = default;
    // Registers (true) or unregisters (false) the login item; the error's description on failure.
    virtual std::optional<std::string> setStartAtLogin(bool enabled) = 0;
};

}  // namespace vandrel
