// The program on the desktop, left alone: what it costs at rest with an X display, a window manager and a tray,
// and how soon after its exec it took the keyboard.
#include <gtest/gtest.h>

#include "desktop_suite.h"
#include "rest_figures.h"

namespace vandrel::vmtest {
namespace {

class DesktopRest : public DesktopScenario {};

TEST_F(DesktopRest, TheProgramWakesRarelyAndTookTheKeyboardSoonAfterItsExec)
{
    reportRestOf("X display", program(), keyboard().name(), kProgramStartTimeout);
}

}  // namespace
}  // namespace vandrel::vmtest
