// Runs inside the test VM on the real desktop (see desktop_suite.h): a hotstring typed into the probe's
// QLineEdit and expanded with Caps+Tab, through the real X clipboard.
#include <gtest/gtest.h>

#include "desktop_suite.h"

namespace vandrel::vmtest {
namespace {

class DesktopHotstring : public DesktopScenario {};

TEST_F(DesktopHotstring, CapsTabAppendsTheResultOfTheTypedExpression)
{
    put(ProbeWidget::line, "|");
    type(ProbeWidget::line, "12*3 =");
    capsChord({}, KEY_TAB);
    // Select, copy, then the paste once the copy was read and evaluated.
    EXPECT_TRUE(waitForProgramStrokes(KEY_V)) << "no paste stroke came";
    const ProbeState state = settle(ProbeWidget::line);
    EXPECT_EQ(state.text, TextState::marked("12*3 =36|")) << "X received: " << ::testing::PrintToString(newKeyLog());
}

}  // namespace
}  // namespace vandrel::vmtest
