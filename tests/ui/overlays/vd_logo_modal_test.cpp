#include "ui/overlays/vd_logo_modal.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <optional>

#include "rx/virtual_time_scheduler.h"

using namespace vandrel;

namespace {

class LogoModalTest : public testing::Test {
protected:
    std::weak_ptr<VDLogoModal> showFirstLaunch()
    {
        return VDLogoModal::showModalForFirstTimeLaunched({[this] { ++tutorials; }, clock});
    }

    static std::vector<QWidget*> buttons(VDLogoModal& modal)
    {
        return modal.windowController().btnStack()->arrangedSubviews();
    }

    std::shared_ptr<rx::VirtualTimeScheduler> clock = rx::VirtualTimeScheduler::make();
    int tutorials = 0;
};

TEST_F(LogoModalTest, ReturnOpensTheTutorialClosesTheWindowAndTheDialogGoes)
{
    const auto weak = showFirstLaunch();
    auto modal = weak.lock();
    ASSERT_NE(modal, nullptr) << "a shown dialog keeps itself";
    QWidget* window = modal->windowController().window();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->objectName(), "modalForFirstTimeLaunchedContentView");
    EXPECT_EQ(buttons(*modal), (std::vector<QWidget*>{modal->cancelButton(), modal->okButton()}));
    EXPECT_EQ(modal->windowController().textStack()->arrangedSubviews().size(), 3u);
    modal.reset();

    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(window, &press);
    EXPECT_EQ(tutorials, 1);
    EXPECT_FALSE(weak.expired()) << "not inside its own click";
    clock->runDue();
    EXPECT_TRUE(weak.expired()) << "a closed dialog is not leaked";
}

TEST_F(LogoModalTest, CancelOnlyClosesAndADialogWithoutOkActionShowsOkAlone)
{
    // The Cancel button (no key), Escape and Ctrl+W.
    const std::optional<QKeyCombination> ways[] = {std::nullopt, Qt::Key_Escape, Qt::CTRL | Qt::Key_W};
    for (const auto& key : ways) {
        const auto weak = showFirstLaunch();
        if (key) {
            QKeyEvent press(QEvent::KeyPress, key->key(), key->keyboardModifiers());
            QApplication::sendEvent(weak.lock()->windowController().window(), &press);
        } else {
            weak.lock()->cancelButton()->click();
        }
        clock->runDue();
        EXPECT_TRUE(weak.expired()) << (key ? key->toCombined() : 0);
    }
    EXPECT_EQ(tutorials, 0);

    auto plain = VDLogoModal::make({"A line long enough to need more than one row inside the five hundred pixel "
                                    "wide text column of the logo window, so it has to wrap."},
                                   "OK", "Cancel", nullptr, nullptr, clock);
    plain->show();
    EXPECT_EQ(buttons(*plain), std::vector<QWidget*>{plain->okButton()});
    auto* line = qobject_cast<QLabel*>(plain->windowController().textStack()->arrangedSubviews().front());
    ASSERT_NE(line, nullptr);
    EXPECT_TRUE(line->wordWrap());
    EXPECT_LE(line->width(), 500);
    plain->okButton()->click();
    EXPECT_FALSE(plain->windowController().window()->isVisible());
}

}  // namespace
