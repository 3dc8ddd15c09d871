#include "ui/base/vd_modal.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QDir>
#include <QPushButton>
#include <vector>

#include "core/localize.h"

using namespace vandrel;

namespace {

struct SeenBox {
    QString text;
    QString informative;
    QMessageBox::Icon icon;
    std::vector<QString> buttons;
    QString defaultButton;
};

// Answers every box with the scripted button index and remembers what the box showed.
class ScriptedAnswers : public testing::Test {
protected:
    VDModal scripted()
    {
        return VDModal([this](QMessageBox& box) {
            SeenBox seen{box.text(), box.informativeText(), box.icon(), {}, {}};
            for (auto* button : box.buttons()) seen.buttons.push_back(button->text());
            if (box.defaultButton()) seen.defaultButton = box.defaultButton()->text();
            if (!screenshot.isEmpty()) {
                box.show();
                QDir().mkpath(VANDREL_SCREENSHOT_DIR);
                box.grab().save(QString(VANDREL_SCREENSHOT_DIR) + "/" + screenshot);
                box.hide();
            }
            seenBoxes.push_back(seen);
            return answer;
        });
    }

    int answer = 0;
    QString screenshot;
    std::vector<SeenBox> seenBoxes;
};

bool sameButtons(std::vector<QString> a, std::vector<QString> b)
{
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    return a == b;
}

}  // namespace

TEST_F(ScriptedAnswers, ConfirmIsTrueOnlyForTheFirstButton)
{
    VDModal modal = scripted();
    answer = 0;
    EXPECT_TRUE(modal.confirm("Delete the scheme?", "It cannot be undone.", "Delete", "Cancel"));
    answer = 1;
    EXPECT_FALSE(modal.confirm("Delete the scheme?", "It cannot be undone.", "Delete", "Cancel"));
    answer = -1;
    EXPECT_FALSE(modal.confirm("Delete the scheme?", "It cannot be undone.", "Delete", "Cancel"));

    ASSERT_EQ(seenBoxes.size(), 3u);
    // One fresh box per call: the buttons of earlier calls never pile up.
    for (const auto& seen : seenBoxes) {
        EXPECT_TRUE(sameButtons(seen.buttons, {"Delete", "Cancel"}));
        EXPECT_EQ(seen.defaultButton, "Delete");
    }
}

TEST_F(ScriptedAnswers, AlertHasOneButtonAndWarningsAreCritical)
{
    screenshot = "alert.png";
    VDModal modal = scripted();
    EXPECT_TRUE(modal.alert("Scheme saved", "The scheme \"Mine\" is active now.", "OK"));
    screenshot.clear();
    modal.warning("Cannot rename", "", "OK");
    modal.warningToContactUs("Something went wrong", "", "OK");

    ASSERT_EQ(seenBoxes.size(), 3u);
    EXPECT_EQ(seenBoxes[0].buttons, std::vector<QString>{"OK"});
    EXPECT_EQ(seenBoxes[0].icon, QMessageBox::Information);
    EXPECT_EQ(seenBoxes[1].icon, QMessageBox::Critical);
    EXPECT_EQ(seenBoxes[2].icon, QMessageBox::Critical);
    EXPECT_EQ(seenBoxes[2].informative,
              "\n\n" + QString::fromStdString(localized("_some_ploblem_contact_us_with_info_above")));
}

TEST_F(ScriptedAnswers, AnswererCanPressTheRealButton)
{
    VDModal modal([](QMessageBox& box) {
        // Pressing Return takes the default button, as the user would.
        box.defaultButton()->click();
        const auto buttons = box.buttons();
        for (int i = 0; i < buttons.size(); ++i) {
            if (box.clickedButton() == buttons[i] && buttons[i]->text() == "Go") return 0;
        }
        return -1;
    });
    EXPECT_TRUE(modal.confirm("Start?", "", "Go", "Stop"));
}
