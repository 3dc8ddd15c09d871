#include "ui/prefs/vd_hotkey_setting_popup_window.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <algorithm>

#include "engine/key_event_deliver.h"
#include "hotkey_editor_fixture.h"
#include "ui/prefs/vd_hotkey_popup_button.h"
#include "ui/prefs/vd_hotkey_recorder.h"

using namespace vandrel;
using B = BuiltInVDAction;
using P = VDAtomicActionParam;

namespace {

class SheetTest : public test::HotkeyEditorTest {
protected:
    ~SheetTest() override { sheet.reset(); }

    VDHotkeySettingPopupWindow& open(VDKeySettingPtr setting)
    {
        sheet = VDHotkeySettingPopupWindow::make(&opener(), keyService, std::move(setting), mine);
        sheet->popup();
        return *sheet;
    }
    VDKeyScheme::KeySettings storedSettings() const { return stored("Mine")->keySettings.value(); }
    QComboBox* selector(std::size_t i) const
    {
        return qobject_cast<QComboBox*>(sheet->parameterSelectors().at(i).data());
    }

    VDKeySchemePtr mine = addCustom("Mine", {VDKeySetting::make(caps(38), B::moveDownN(), {P::times(30)}),
                                             VDKeySetting::make(caps(43), B::showPreferences())});
    std::unique_ptr<VDHotkeySettingPopupWindow> sheet;
};

}  // namespace

TEST_F(SheetTest, ANewSettingStartsOnNoneAndIsStoredOnceItsCapsHotkeyIsRecorded)
{
    EXPECT_EQ(VDHotkeySettingPopupWindow::make(nullptr, keyService, nullptr, mine), nullptr);
    auto& s = open(nullptr);
    EXPECT_TRUE(s.settingWindow()->isVisible());
    // The hint writes its example with the desktop's modifier names.
    const auto labels = s.settingWindow()->findChildren<QLabel*>();
    EXPECT_TRUE(std::any_of(labels.begin(), labels.end(), [](const QLabel* l) {
        return l->text() == "Please use a hotkey with Caps Lock key, for example, Super+Caps Lock+A.";
    }));
    EXPECT_EQ(s.actionPopupButton()->cell().title(), "None");
    EXPECT_TRUE(s.parameterSelectors().empty());

    s.pickAction(B::moveUpN());
    ASSERT_EQ(s.parameterSelectors().size(), 1u);
    EXPECT_EQ(selector(0)->currentText(), "1");
    EXPECT_EQ(storedSettings().size(), 2u);

    s.hotkeyRecorder()->flashTitle({56}, 14);  // no Caps Lock: shown, not recorded
    EXPECT_EQ(storedSettings().size(), 2u);
    s.hotkeyRecorder()->flashTitle({57}, 14);
    ASSERT_EQ(storedSettings().size(), 3u);
    EXPECT_EQ(storedSettings()[2]->key(), caps(14));

    selector(0)->setCurrentIndex(2);  // the list's 5
    emit selector(0)->activated(2);
    s.hotkeyRecorder()->recordedHotkey.accept(caps(15));
    ASSERT_EQ(storedSettings().size(), 3u);
    EXPECT_EQ(storedSettings()[2]->key(), caps(15));
    EXPECT_EQ(storedSettings()[2]->paramSequence(), std::vector<P>{P::times(5)});

    s.pickAction(B::noAction());
    EXPECT_EQ(storedSettings()[2]->action()->idName(), "noAction");
    EXPECT_TRUE(s.parameterSelectors().empty());
}

TEST_F(SheetTest, AnExistingSettingShowsItsOwnValuesAndKeepsThemWhenOnlyTheHotkeyChanges)
{
    auto& s = open(mine->keySettings.value()[0]);
    EXPECT_EQ(s.actionPopupButton()->cell().title(), "Move Down");
    ASSERT_EQ(s.parameterSelectors().size(), 1u);
    EXPECT_EQ(selector(0)->currentText(), "30");
    s.hotkeyRecorder()->recordedHotkey.accept(caps(40));
    ASSERT_EQ(storedSettings().size(), 2u);
    EXPECT_EQ(storedSettings()[0]->key(), caps(40));
    EXPECT_EQ(storedSettings()[0]->paramSequence(), std::vector<P>{P::times(30)});

    // Another action shows its own parameter; a window slot is stored once chosen.
    s.pickAction(B::activateWindow());
    ASSERT_EQ(s.parameterSelectors().size(), 1u);
    EXPECT_EQ(selector(0)->currentIndex(), -1);
    EXPECT_EQ(storedSettings()[0]->action(), B::moveDownN());
    selector(0)->setCurrentIndex(2);
    emit selector(0)->activated(2);
    EXPECT_EQ(storedSettings()[0]->action(), B::activateWindow());
    EXPECT_EQ(storedSettings()[0]->paramSequence(), std::vector<P>{P::windowBindingId(3)});

    s.doneButton()->click();
    EXPECT_FALSE(s.settingWindow()->isVisible());
}

TEST_F(SheetTest, AGeneralBindingOpensWithEveryControlDisabled)
{
    auto& s = open(mine->keySettings.value()[1]);
    EXPECT_FALSE(s.hotkeyRecorder()->isEnabled());
    EXPECT_FALSE(s.actionPopupButton()->isEnabled());
    EXPECT_TRUE(s.doneButton()->isEnabled());
}
