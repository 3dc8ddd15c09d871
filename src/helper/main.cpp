// The login-item helper: the XDG autostart entry runs it when the desktop session starts. It starts the
// program unless the program runs already, and ends.
#include "helper/vandrel_app_controller.h"

int main()
{
    vandrel::VandrelAppController::shared().runAtLogin();
    return 0;
}
