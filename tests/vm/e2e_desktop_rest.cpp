// The program on the desktop, left alone: what it costs at rest with an X display, a window manager and a tray,
// and how soon after its exec it took the keyboard: on the suite's start (beside the X server, the window
// manager and the probe, all starting from a cold page cache) and on a start of its own after that.
#include <gtest/gtest.h>

#include "desktop_suite.h"
#include "rest_figures.h"

namespace vandrel::vmtest {
namespace {

class DesktopRest : public DesktopScenario {};

TEST_F(DesktopRest, TheProgramWakesRarelyAndTookTheKeyboardSoonAfterItsExec)
{
    const std::string grabLine = "Keyboard grabbed -> " + keyboard().name();
    const std::optional<double> firstGrab = secondsFromExecToLine(program().process().pid(), program().log(), grabLine);
    ASSERT_TRUE(firstGrab) << program().log();
    std::cout << "start beside the desktop's: keyboards grabbed " << *firstGrab << " s after exec" << std::endl;
    ASSERT_NO_FATAL_FAILURE(restartProgram());
    reportRestOf("X display, start of its own", program(), keyboard().name(), kProgramStartTimeout);
}

}  // namespace
}  // namespace vandrel::vmtest
