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
    const std::string grabLine = "Keyboard grabbed -> " + keyboard().name();
    ASSERT_TRUE(program().waitForOutputCount(grabLine, 1)) << program().log();
    ASSERT_TRUE(program().waitForOutputCount("Start-up steps ->", 1, kProgramStartTimeout)) << program().log();
    reportRest("X display", program().process().pid(), program().log(), grabLine);
    const std::string log = program().log();
    if (const auto at = log.find("Start-up steps ->"); at != std::string::npos)
        std::cout << log.substr(at, log.find('\n', at) - at) << std::endl;
}

}  // namespace
}  // namespace vandrel::vmtest
