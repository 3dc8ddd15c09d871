// The program's item in the desktop's tray: an icon by image name and a menu. The menu logic talks only to
// this seam; SystemTrayStatusItem puts it on the desktop, tests record what it was given.
#pragma once

#include <string>

class QMenu;

namespace vandrel {

class StatusItem {
public:
    virtual ~StatusItem() = default;
    // Shows the named image of the program's images ("MenubarIcon", "MenubarIcon-alert"). Until the first
    // image the item is not shown. Main thread.
    virtual void setImage(const std::string& name) = 0;
    // The menu the item opens; owned by the caller, which keeps it alive while the item has it. Main thread.
    virtual void setMenu(QMenu* menu) = 0;
};

}  // namespace vandrel
