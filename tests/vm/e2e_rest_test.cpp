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
    reportRestOf("no display", run(), keyboard().name(), kProgramStartTimeout);
}

}  // namespace
}  // namespace vandrel::vmtest
