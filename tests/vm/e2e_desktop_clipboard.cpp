// Runs inside the test VM on a real desktop (see desktop_suite.h): the extra clipboards through X's clipboard.
// Caps+C copies the QTextEdit's selection into extra clipboard 1, Caps+V pastes it into the QLineEdit, and X's
// clipboard holds what the user had put there before, each time.
#include <gtest/gtest.h>

#include <string>

#include "desktop_suite.h"
#include "harness/probe_protocol.h"

namespace vandrel::vmtest {
namespace {

class DesktopExtraClipboard : public DesktopScenario {
protected:
    std::string clipboard()
    {
        const auto reply = probe().request("clipboard");
        if (!reply) return "<no reply: " + reply.error() + ">";
        const auto text = replyField(*reply, "text");
        if (!text) return "<no text>";
        return unescapeLine(*text).value_or("<bad text>");
    }

    std::size_t logged(const std::string& line)
    {
        const std::string log = program().log();
        std::size_t n = 0;
        for (auto at = log.find(line); at != std::string::npos; at = log.find(line, at + line.size())) ++n;
        return n;
    }

    // Waits until the program has put X's clipboard back once more than before.
    bool restoredAfter(std::size_t restoresBefore)
    {
        return eventually([&] { return logged("restore done") > restoresBefore; }, kDesktopTimeout);
    }
};

TEST_F(DesktopExtraClipboard, CopyIntoExtraClipboardOneAndPasteElsewhereKeepTheUsersClipboard)
{
    const std::size_t storedBefore = logged("store clip to transfer clipboard");
    ASSERT_TRUE(probe().request("clipboard-set the user's text"));
    // The program has taken the user's content into its history (its poll runs every 250 ms).
    ASSERT_TRUE(eventually([&] { return logged("store clip to transfer clipboard") > storedBefore; }, kDesktopTimeout));

    put(ProbeWidget::edit, "alpha ^beta| gamma");
    std::size_t restores = logged("restore done");
    capsChord({}, KEY_C);
    ASSERT_TRUE(restoredAfter(restores)) << program().log();
    EXPECT_EQ(clipboard(), "the user's text");
    EXPECT_EQ(settle(ProbeWidget::edit).text.toMarked(), "alpha ^beta| gamma");

    put(ProbeWidget::line, "one |two");
    restores = logged("restore done");
    capsChord({}, KEY_V);
    EXPECT_EQ(settle(ProbeWidget::line).text.toMarked(), "one beta|two");
    ASSERT_TRUE(restoredAfter(restores)) << program().log();
    EXPECT_EQ(clipboard(), "the user's text");
}

}  // namespace
}  // namespace vandrel::vmtest
