#include "ui/prefs/vd_hotkey_setting_popup_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <algorithm>
#include <functional>
#include <tuple>

#include "core/file_helpers.h"
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

    VDHotkeySettingPopupWindow& open(VDKeySettingPtr setting, VDKeySchemePtr scheme = nullptr)
    {
        sheet = VDHotkeySettingPopupWindow::make(&opener(), keyService, std::move(setting), scheme ? scheme : mine);
        sheet->popup();
        return *sheet;
    }
    void press(Qt::Key key) const
    {
        QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(sheet->settingWindow(), &event);
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

TEST_F(SheetTest, ANewSettingStartsOnNoneAndIsStoredWhenReturnIsPressed)
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

    s.hotkeyRecorder()->flashTitle({56}, 14);  // no Caps Lock: shown, not recorded
    EXPECT_FALSE(s.editor().hotkeyToSet.value());
    s.hotkeyRecorder()->flashTitle({57}, 14);
    EXPECT_EQ(s.editor().hotkeyToSet.value(), caps(14));

    selector(0)->setCurrentIndex(2);  // the list's 5
    emit selector(0)->activated(2);
    s.hotkeyRecorder()->recordedHotkey.accept(caps(15));
    press(Qt::Key_Return);
    ASSERT_EQ(storedSettings().size(), 3u);
    EXPECT_EQ(storedSettings()[2]->key(), caps(15));
    EXPECT_EQ(storedSettings()[2]->paramSequence(), std::vector<P>{P::times(5)});

    s.pickAction(B::noAction());
    EXPECT_TRUE(s.parameterSelectors().empty());
}

TEST_F(SheetTest, AnExistingSettingShowsItsOwnValuesAndKeepsThemWhenOnlyTheHotkeyChanges)
{
    auto& s = open(mine->keySettings.value()[0]);
    EXPECT_EQ(s.actionPopupButton()->cell().title(), "Move Down");
    ASSERT_EQ(s.parameterSelectors().size(), 1u);
    EXPECT_EQ(selector(0)->currentText(), "30");
    s.hotkeyRecorder()->recordedHotkey.accept(caps(40));
    EXPECT_EQ(s.editor().paramsToSet.value(), std::vector<P>{P::times(30)});

    // Another action shows its own parameter; a window slot is stored once chosen.
    s.pickAction(B::activateWindow());
    ASSERT_EQ(s.parameterSelectors().size(), 1u);
    EXPECT_EQ(selector(0)->currentIndex(), -1);
    selector(0)->setCurrentIndex(2);
    emit selector(0)->activated(2);

    s.doneButton()->click();
    EXPECT_FALSE(s.settingWindow()->isVisible());
    EXPECT_EQ(storedSettings()[0]->key(), caps(40));
    EXPECT_EQ(storedSettings()[0]->action(), B::activateWindow());
    EXPECT_EQ(storedSettings()[0]->paramSequence(), std::vector<P>{P::windowBindingId(3)});
}

TEST_F(SheetTest, EveryWayOutButDoneLeavesTheSchemeAndTheStoredSettingsAsTheyWere)
{
    const auto builtIns = factory()->keySettings.value();
    const auto capsE = *std::find_if(builtIns.begin(), builtIns.end(), [](auto& s) { return s->key() == caps(14); });
    // Escape after recording, Cancel on a new binding, closing the window over the built-in scheme.
    const std::tuple<VDKeySchemePtr, VDKeySettingPtr, std::function<void()>> rows[] = {
        {mine, mine->keySettings.value()[0], [this] { press(Qt::Key_Escape); }},
        {mine, nullptr, [this] { sheet->cancelButton()->click(); }},
        {factory(), capsE, [this] { sheet->settingWindow()->close(); }},
    };
    for (const auto& [scheme, opened, leave] : rows) {
        const auto before = scheme->keySettings.value();
        const auto fileBefore = test::readFile(settings->filePath());
        open(opened, scheme).pickAction(B::moveUpN());
        sheet->hotkeyRecorder()->flashTitle({57}, 40);
        leave();
        EXPECT_FALSE(sheet->settingWindow()->isVisible());
        EXPECT_EQ(scheme->keySettings.value(), before);
        EXPECT_EQ(test::readFile(settings->filePath()), fileBefore);
    }
    EXPECT_EQ(keyService->availableKeySchemes.value().size(), 2u);  // no copy of the built-in scheme
}

TEST_F(SheetTest, DoneOnWhatCannotBeStoredKeepsTheSheetOpenAndSaysWhatIsMissing)
{
    // What is chosen before Done (a hotkey of this key, this action), and what the note then says.
    const std::tuple<int, VDActionPtr, const char*> rows[] = {
        {-1, B::moveUpN(), "Not stored yet: record a hotkey with Caps Lock first."},
        {40, nullptr, "Not stored yet: choose an action for this hotkey first."},
        {40, B::activateWindow(), "Not stored yet: choose a value in each of the action's rows first."},
    };
    for (const auto& [key, action, reason] : rows) {
        SCOPED_TRACE(reason);
        auto& s = open(nullptr);
        if (key >= 0) s.hotkeyRecorder()->flashTitle({57}, key);
        if (action) s.pickAction(action);
        press(Qt::Key_Return);
        EXPECT_TRUE(s.settingWindow()->isVisible());
        ASSERT_TRUE(s.doneNote()->isVisibleTo(s.settingWindow()));
        EXPECT_EQ(s.doneNote()->text(), reason);
    }
    // The note follows the choices: it goes once the setting is whole.
    sheet->pickAction(B::moveUpN());
    EXPECT_FALSE(sheet->doneNote()->isVisibleTo(sheet->settingWindow()));
}

TEST_F(SheetTest, AHotkeyAnotherCommandUsesIsFlaggedUnderTheFieldBeforeAnythingIsStored)
{
    auto& s = open(nullptr);
    s.hotkeyRecorder()->flashTitle({57}, 38);
    ASSERT_TRUE(s.conflictNote()->isVisibleTo(s.settingWindow()));
    EXPECT_EQ(s.conflictNote()->text(),
              "\u26a0 Also used by \"Move Down 30 Times\": while two commands share a hotkey, neither runs.");
    s.hotkeyRecorder()->recordedHotkey.accept(caps(39));
    EXPECT_FALSE(s.conflictNote()->isVisibleTo(s.settingWindow()));
    // The setting opened is no other command.
    EXPECT_FALSE(open(mine->keySettings.value()[0]).conflictNote()->isVisibleTo(sheet->settingWindow()));
}

TEST_F(SheetTest, AGeneralBindingOpensWithEveryControlDisabled)
{
    auto& s = open(mine->keySettings.value()[1]);
    EXPECT_FALSE(s.hotkeyRecorder()->isEnabled());
    EXPECT_FALSE(s.actionPopupButton()->isEnabled());
    EXPECT_TRUE(s.doneButton()->isEnabled());
}
