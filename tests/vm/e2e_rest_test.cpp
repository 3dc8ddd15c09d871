// Runs inside the test VM: the real program without a display, started with a keyboard plugged in and then
// left alone. Prints what it costs at rest and how soon after its exec it took the keyboard: on the first start
// after boot (its libraries read from disk) and on the next one (libraries in the page cache, as after any
// earlier start).
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
    const std::optional<double> firstGrab = secondsFromExecToLine(run().process().pid(), run().log(), grabLine);
    ASSERT_TRUE(firstGrab) << run().log();
    std::cout << "first start after boot: keyboards grabbed " << *firstGrab << " s after exec" << std::endl;
    run().process().signal(SIGTERM);
    ASSERT_TRUE(run().process().wait(kProgramStartTimeout)) << "still running after SIGTERM";

    std::optional<ProgramRun> again = ProgramRun::start();
    ASSERT_TRUE(again);
    reportRestOf("no display, second start", *again, keyboard().name(), kProgramStartTimeout);
}

}  // namespace
}  // namespace vandrel::vmtest
