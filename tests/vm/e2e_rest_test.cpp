// Runs inside the test VM: the real program without a display, started with a keyboard plugged in and then
// left alone. Prints what it costs at rest and how soon after its exec it took the keyboard.
#include <gtest/gtest.h>

#include "e2e_support.h"
#include "rest_figures.h"

namespace vandrel::vmtest {
namespace {

class ProgramAtRest : public ProgramSuite<ProgramAtRest> {};

TEST_F(ProgramAtRest, WakesRarelyAndTookTheKeyboardSoonAfterItsExec)
{
    const std::string grabLine = "Keyboard grabbed -> " + keyboard().name();
    ASSERT_TRUE(run().waitForOutputCount(grabLine, 1)) << run().log();
    // Start-up's deferred work (after the grab) is over once its summary is logged.
    ASSERT_TRUE(run().waitForOutputCount("Start-up steps ->", 1, kProgramStartTimeout)) << run().log();
    reportRest("no display", run().process().pid(), run().log(), grabLine);
    const std::string log = run().log();
    if (const auto at = log.find("Start-up steps ->"); at != std::string::npos)
        std::cout << log.substr(at, log.find('\n', at) - at) << std::endl;
}

}  // namespace
}  // namespace vandrel::vmtest
