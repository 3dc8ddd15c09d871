#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <thread>
#include <tuple>

#include "core/file_helpers.h"
#include "hotkey_editor_fixture.h"
#include "ui/base/vd_modal.h"
#include "ui/prefs/hotkey_help_view_controller.h"
#include "ui/prefs/hotkeys_preference_view_controller.h"
#include "ui/prefs/vd_hotkey_setting_popup_window.h"
#include "ui/prefs/vd_key_scheme_manager_window.h"

using namespace vandrel;
using B = BuiltInVDAction;
using P = VDAtomicActionParam;

namespace {

class PaneTest : public test::HotkeyEditorTest {
protected:
    PaneTest()
    {
        HotkeysPreferenceViewController::Dependencies deps;
        deps.keyService = keyService;
        deps.debounceScheduler = mainQueue;
        deps.popup = popup;
        pane = std::make_unique<HotkeysPreferenceViewController>(services(), deps);
        pane->setModal(VDModal([this](QMessageBox& box) {
            questions.push_back(
                (box.text() + " | " + box.informativeText() + " | " + box.defaultButton()->text()).toStdString());
            questionLook = {box.windowTitle(), box.icon()};
            return answer;
        }));
        test::layOut(pane->view());
        runMainTurn();
        settle();
    }

    // Lets the pop-up's wait run out.
    void settle()
    {
        mainQueue->advanceBy(rx::milliseconds(HotkeysPreferenceViewController::popupDebounceMilliseconds));
    }

    std::vector<std::string> popupTexts() const
    {
        std::vector<std::string> texts;
        auto* popup = pane->schemePopup();
        for (int i = 0; i < popup->count(); ++i)
            texts.push_back(popup->itemData(i, Qt::AccessibleDescriptionRole).toString() == "separator"
                                ? "---"
                                : popup->itemText(i).toStdString());
        return texts;
    }
    std::string shownScheme() const { return pane->schemePopup()->currentText().toStdString(); }
    VDKeySchemeOutlineView* outline() const { return pane->hotkeysOutlineView(); }

    int rowOfKey(const VDKey& key, int nth = 0) const
    {
        const auto rows = outline()->visibleRows();
        for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
            auto s = outline()->dataSource()->keySetting(rows[r]);
            if (s && s->key() == key && nth-- == 0) return r;
        }
        return -1;
    }
    QPushButton* warningOfRow(int row) const
    {
        return qobject_cast<QPushButton*>(
            outline()->cellAt(VDKeySchemeOutlineViewDataSource::buttonColumn, outline()->indexOfRow(row)));
    }

    std::unique_ptr<HotkeysPreferenceViewController> pane;
    // What the removal question is answered with (0 Remove, 1 Cancel, -1 closed), and each question asked
    // with its default button.
    int answer = 0;
    std::vector<std::string> questions;
    std::pair<QString, QMessageBox::Icon> questionLook;
};

VDKeySettingPtr mv(int keycode)
{
    return VDKeySetting::make(VDKey(keycode, {57}), B::moveUpN());
}
VDKeySettingPtr sel(int keycode)
{
    return VDKeySetting::make(VDKey(keycode, {57}), B::selectUpN());
}
VDKeySettingPtr ed(int keycode)
{
    return VDKeySetting::make(VDKey(keycode, {57}), B::delete_());
}

}  // namespace

TEST_F(PaneTest, PopupListsBuiltInsThenTheOthersBetweenSeparatorsAndShowsTheActiveScheme)
{
    EXPECT_EQ(popupTexts(), (std::vector<std::string>{"Vandrel", "---", "Manage Hotkey Scheme..."}));
    EXPECT_EQ(shownScheme(), "Vandrel");

    addCustom("Work", {});
    addCustom("Home", {});
    keyService->activate(keyService->installedScheme("Work"));
    settle();
    EXPECT_EQ(popupTexts(),
              (std::vector<std::string>{"Vandrel", "---", "Work", "Home", "---", "Manage Hotkey Scheme..."}));
    EXPECT_EQ(shownScheme(), "Work");
}

TEST_F(PaneTest, TwoListChangesWithinTheWaitRebuildThePopupOnceWithTheLaterList)
{
    auto* popup = pane->schemePopup();
    popup->setItemText(0, "unchanged");
    addCustom("One", {});
    mainQueue->advanceBy(rx::milliseconds(50));
    addCustom("Two", {});
    mainQueue->advanceBy(rx::milliseconds(99));
    EXPECT_EQ(popup->itemText(0), "unchanged");
    mainQueue->advanceBy(rx::milliseconds(1));
    EXPECT_EQ(popupTexts(),
              (std::vector<std::string>{"Vandrel", "---", "One", "Two", "---", "Manage Hotkey Scheme..."}));
    popup->setItemText(0, "unchanged");
    mainQueue->advanceBy(rx::milliseconds(500));
    EXPECT_EQ(popup->itemText(0), "unchanged");
}

TEST_F(PaneTest, ARenameRetitlesItsItemAtOnceAndChoicesGoByTheItemsScheme)
{
    auto work = addCustom("Work", {});
    settle();
    auto* popup = pane->schemePopup();
    popup->setItemText(0, "unchanged");
    work->name.accept("Office");
    EXPECT_EQ(popupTexts()[2], "Office");
    EXPECT_EQ(popup->itemText(0), "unchanged");

    // A title no scheme has any more still activates the item's scheme.
    keyService->activate(factory());
    popup->setItemText(2, "stale");
    pane->hotkeysOutlineSelectedKeySettings.accept({mv(1)});
    pane->chooseSchemeItem(2);
    EXPECT_EQ(active(), work);
    EXPECT_TRUE(pane->hotkeysOutlineSelectedKeySettings.value().empty());
    // An item without a scheme leaves the active one.
    pane->chooseSchemeItem(1);
    EXPECT_EQ(active(), work);
    EXPECT_EQ(popup->currentIndex(), 2);
}

TEST_F(PaneTest, ManageOpensOneManagerAndKeepsTheActiveSchemeShown)
{
    const int manage = pane->schemePopup()->count() - 1;
    pane->chooseSchemeItem(manage);
    auto* manager = pane->keySchemeManagerWindow();
    ASSERT_NE(manager, nullptr);
    EXPECT_TRUE(manager->window()->isVisible());
    EXPECT_EQ(shownScheme(), "Vandrel");
    manager->window()->close();
    pane->chooseSchemeItem(manage);
    EXPECT_EQ(pane->keySchemeManagerWindow(), manager);
    EXPECT_TRUE(manager->window()->isVisible());
    EXPECT_EQ(active(), factory());
}

TEST_F(PaneTest, OutlineShowsGroupsInDisplayOrderWithTheirSettingsAndOnlySelectableSettingsSelect)
{
    auto scheme = addCustom("Mine", {ed(2), mv(3), VDKeySetting::make(VDKey::tapCapslock(), B::tapCapsSendInputEsc()),
                                     mv(4), VDKeySetting::make(VDKey(43, {57}), B::showPreferences())});
    auto* source = outline()->dataSource();
    EXPECT_EQ(source->keyScheme(), scheme);
    std::vector<std::string> texts;
    for (const auto& index : outline()->visibleRows()) texts.push_back(source->data(index).toString().toStdString());
    const auto rows = outline()->visibleRows();
    ASSERT_EQ(rows.size(), 8u);  // the Caps tap binding is a general one too
    EXPECT_EQ(texts[0], "Vandrel General");
    EXPECT_EQ(texts[3], "Movement");
    EXPECT_EQ(texts[4], "Move Up");
    EXPECT_EQ(texts[6], "Editing");
    EXPECT_EQ(source->keySetting(rows[5])->key(), VDKey(4, {57}));

    // Groups, general bindings and the Caps tap are not selectable.
    outline()->selectRows({0, 1, 2, 3, 4, 5, 7}, false);
    EXPECT_EQ(pane->hotkeysOutlineSelectedIndexes.value(), (std::vector<int>{4, 5, 7}));
    const auto selected = pane->hotkeysOutlineSelectedKeySettings.value();
    ASSERT_EQ(selected.size(), 3u);
    EXPECT_EQ(selected[0]->key(), VDKey(3, {57}));
    EXPECT_EQ(selected[2]->key(), VDKey(2, {57}));
    EXPECT_TRUE(pane->addRemoveButtons()->segment(1)->isEnabled());
    outline()->selectRows({}, false);
    EXPECT_FALSE(pane->addRemoveButtons()->segment(1)->isEnabled());
    EXPECT_TRUE(pane->addRemoveButtons()->segment(0)->isEnabled());

    // The hotkey column shows modifier names and key; only conflicting rows have a warning.
    auto* cell = qobject_cast<ProgrammaticTableHotkeyCellView*>(
        outline()->cellAt(VDKeySchemeOutlineViewDataSource::keyColumn, rows[4]));
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(cell->modifiersTextFiled()->text().toStdString(), "Caps Lock+");
    EXPECT_EQ(warningOfRow(4), nullptr);
}

TEST_F(PaneTest, WarningButtonsWalkToTheNextRowOfTheSameHotkeyAndWrap)
{
    // Rows: 0 Movement, 1-4 settings (3 is Caps+X); 5 Selection, 6-8 settings (7 is Caps+X).
    addCustom("Pair", {mv(18), mv(19), mv(7), mv(21), sel(23), sel(7), sel(26)});
    ASSERT_EQ(rowOfKey(VDKey(7, {57})), 3);
    ASSERT_EQ(rowOfKey(VDKey(7, {57}), 1), 7);
    ASSERT_NE(warningOfRow(3), nullptr);
    EXPECT_EQ(warningOfRow(2), nullptr);
    warningOfRow(3)->click();
    EXPECT_EQ(outline()->selectedRows(), std::vector<int>{7});
    warningOfRow(7)->click();
    EXPECT_EQ(outline()->selectedRows(), std::vector<int>{3});

    // With the partner's group collapsed the walk stays on the clicked row.
    outline()->collapse(outline()->indexOfRow(5));
    warningOfRow(3)->click();
    EXPECT_EQ(outline()->selectedRows(), std::vector<int>{3});

    // Three rows of one hotkey: 2 -> 5 -> 9 -> 2.
    addCustom("Three", {mv(18), mv(7), mv(19), sel(7), sel(21), ed(23), ed(7)});
    ASSERT_EQ(rowOfKey(VDKey(7, {57})), 2);
    ASSERT_EQ(rowOfKey(VDKey(7, {57}), 1), 5);
    ASSERT_EQ(rowOfKey(VDKey(7, {57}), 2), 9);
    for (int expected : {5, 9, 2}) {
        warningOfRow(outline()->selectedRows().empty() ? 2 : outline()->selectedRows().front())->click();
        EXPECT_EQ(outline()->selectedRows(), std::vector<int>{expected});
    }
}

TEST_F(PaneTest, RemovingFromTheBuiltInSchemeMakesAnActiveCustomCopyAndLeavesTheBuiltInIntact)
{
    const auto before = factory()->keySettings.value();
    const int row = rowOfKey(VDKey(14, {57}));
    ASSERT_GE(row, 0);
    outline()->selectRows({row}, false);
    ASSERT_TRUE(pane->addRemoveButtons()->segment(1)->isEnabled());
    pane->addRemoveButtons()->segment(1)->click();

    EXPECT_EQ(factory()->keySettings.value(), before);
    const auto copy = active();
    ASSERT_NE(copy, factory());
    EXPECT_EQ(copy->name.value(), "Custom");
    EXPECT_EQ(copy->keySettings.value().size(), before.size() - 1);
    EXPECT_EQ(outline()->dataSource()->keyScheme(), copy);
    EXPECT_EQ(rowOfKey(VDKey(14, {57})), -1);
    settle();
    EXPECT_EQ(shownScheme(), "Custom");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messageSeconds[0], 6);
    ASSERT_TRUE(stored("Custom"));
    EXPECT_EQ(stored("Custom")->keySettings.value().size(), before.size() - 1);
}

TEST_F(PaneTest, RemovingFromACustomSchemeIsStoredAndSurvivesAReloadOfTheSettings)
{
    addCustom("Mine", {mv(2), mv(3), mv(3)});
    // Two identical bindings: the one chosen goes, the other stays.
    outline()->selectRows({rowOfKey(VDKey(3, {57}))}, false);
    pane->removeHotkeySettingsSelecting();
    EXPECT_EQ(stored("Mine")->keySettings.value().size(), 2u);
    EXPECT_EQ(rowOfKey(VDKey(3, {57})), 2);

    auto reloaded = makeKeyService();
    const auto mine = reloaded->installedScheme("Mine");
    ASSERT_TRUE(mine);
    EXPECT_EQ(reloaded->resolveInstalled(reloaded->activeKeyScheme.value()), mine);
    EXPECT_EQ(mine->keySettings.value().size(), 2u);
}

TEST_F(PaneTest, RemovalAsksFirstNamingEachHotkeyAndOnlyRemoveTakesTheSettingsLeavingNoneSelected)
{
    const std::vector<int> fKeys = {122, 120, 99, 118, 96, 97, 98, 100, 101, 109, 103};  // F1 to F11
    VDKeyScheme::KeySettings list = {mv(123), mv(124), mv(125), mv(126), sel(115)};
    for (int key : fKeys) list.push_back(ed(key));
    const auto mine = addCustom("Mine", list);
    QKeyEvent deleteKey(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
    const std::string one = "Remove the hotkey \"Caps Lock+";
    const std::string undone = "This cannot be undone. | Cancel";
    const std::string two = "Remove the 2 selected hotkeys? | Caps Lock+Right: Move Up\nCaps Lock+Up: Move Up\n\n";
    std::string elevenOf = "Remove the 11 selected hotkeys? | ";
    for (int n = 1; n <= 9; ++n) elevenOf += "Caps Lock+F" + std::to_string(n) + ": Delete\n";
    // The "-" segment or Delete on the outline, on the settings of these keys (and of one selected, then
    // hidden by collapsing its group: Home); answered Cancel (1), closed (-1) or Remove (0).
    const std::tuple<bool, std::vector<int>, bool, int, std::string> rows[] = {
        {false, {123}, false, 1, one + "Left\" for \"Move Up\"? | " + undone},
        {true, {123}, false, -1, one + "Left\" for \"Move Up\"? | " + undone},
        {true, {123}, false, 0, one + "Left\" for \"Move Up\"? | " + undone},
        {false, {124, 126}, false, 0, two + undone},
        {false, {125}, true, 0, one + "Down\" for \"Move Up\"? | " + undone},
        {true, fKeys, false, 0, elevenOf + "and 2 more\n\n" + undone}};
    std::size_t left = list.size();
    for (const auto& [byKey, keys, hideHome, reply, question] : rows) {
        SCOPED_TRACE(question);
        std::vector<int> selected;
        for (int key : keys) selected.push_back(rowOfKey(VDKey(key, {57})));
        if (hideHome) selected.push_back(rowOfKey(VDKey(115, {57})));
        outline()->selectRows(selected, false);
        if (hideHome) outline()->collapse(outline()->indexOfRow(selected.back()).parent());
        const auto fileBefore = test::readFile(settings->filePath());
        answer = reply;
        byKey ? (void)QApplication::sendEvent(outline(), &deleteKey) : pane->addRemoveButtons()->segment(1)->click();
        ASSERT_FALSE(questions.empty());
        EXPECT_EQ(questions.back(), question);
        EXPECT_EQ(questionLook, std::make_pair(QString("Vandrel \u2014 Hotkey"), QMessageBox::Warning));
        if (reply != 0) {
            EXPECT_EQ(test::readFile(settings->filePath()), fileBefore);
            EXPECT_EQ(outline()->selectedRows(), selected);
        } else {
            left -= keys.size();
            // What moved up into the removed rows is not selected, so a second "-" has nothing to remove.
            EXPECT_TRUE(outline()->selectedRows().empty());
            EXPECT_FALSE(pane->addRemoveButtons()->segment(1)->isEnabled());
        }
        EXPECT_EQ(mine->keySettings.value().size(), left);
        EXPECT_EQ(stored("Mine")->keySettings.value().size(), left);
    }
    EXPECT_EQ(rowOfKey(VDKey(115, {57})), 1);  // the hidden one stayed, under "Selection"
}

TEST_F(PaneTest, DoubleClickEditsASettingButOnlyAnnouncesThatGeneralBindingsCannotChange)
{
    addCustom("Mine", {VDKeySetting::make(VDKey(43, {57}), B::showPreferences()), mv(3)});
    outline()->doubleClicked(outline()->indexOfRow(1));
    EXPECT_EQ(pane->hotkeySettingPopupWindow(), nullptr);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "☝️ The action of the \"Vandrel General\" group cannot be modified");
    EXPECT_EQ(messageSeconds[0], 3);

    outline()->doubleClicked(outline()->indexOfRow(2));  // a group row
    EXPECT_EQ(pane->hotkeySettingPopupWindow(), nullptr);
    // A double click (no key), or Return, F2 or Space on the current row: each opens a sheet of its own.
    outline()->setCurrentIndex(outline()->indexOfRow(3));
    for (const auto key : {Qt::Key_unknown, Qt::Key_Return, Qt::Key_F2, Qt::Key_Space}) {
        const auto* before = pane->hotkeySettingPopupWindow();
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        key == Qt::Key_unknown ? outline()->doubleClicked(outline()->indexOfRow(3))
                               : (void)QApplication::sendEvent(outline(), &press);
        ASSERT_NE(pane->hotkeySettingPopupWindow(), before) << key;
        EXPECT_TRUE(pane->hotkeySettingPopupWindow()->settingWindow()->isVisible());
        EXPECT_EQ(pane->hotkeySettingPopupWindow()->editor().keySetting.value()->key(), VDKey(3, {57}));
    }
}

TEST_F(PaneTest, BeforeKeyboardAccessItListsTheSchemesButRecordsNothingAndSaysWhy)
{
    rx::BehaviorRelay<bool> access{false};
    auto waiting = services();
    waiting.keyboardAccess = [&] { return access.asObservable(); };
    HotkeysPreferenceViewController::Dependencies deps;
    deps.keyService = keyService;
    deps.debounceScheduler = mainQueue;
    HotkeysPreferenceViewController pane(waiting, deps);
    test::layOut(pane.view());
    runMainTurn();
    settle();
    addCustom("Mine", {mv(3)});

    EXPECT_GT(pane.schemePopup()->count(), 0);
    EXPECT_FALSE(pane.addRemoveButtons()->segment(0)->isEnabled());
    EXPECT_TRUE(pane.keyboardAccessNote()->isVisibleTo(pane.view()));
    pane.startToAddHotkeySetting();
    pane.hotkeysOutlineView()->doubleClicked(pane.hotkeysOutlineView()->indexOfRow(1));
    EXPECT_EQ(pane.hotkeySettingPopupWindow(), nullptr);

    access.accept(true);
    EXPECT_TRUE(pane.addRemoveButtons()->segment(0)->isEnabled());
    EXPECT_FALSE(pane.keyboardAccessNote()->isVisibleTo(pane.view()));
    pane.startToAddHotkeySetting();
    EXPECT_NE(pane.hotkeySettingPopupWindow(), nullptr);
}

TEST_F(PaneTest, AnEditInTheSheetReloadsTheOutlineKeepingTheSelection)
{
    addCustom("Mine", {mv(2), mv(3)});
    outline()->selectRows({2}, false);
    pane->startToAddHotkeySetting();
    auto* sheet = pane->hotkeySettingPopupWindow();
    ASSERT_NE(sheet, nullptr);
    sheet->editor().chooseAction(B::selectUpN());
    sheet->editor().setHotkey(VDKey(5, {57}));
    sheet->doneButton()->click();
    EXPECT_EQ(outline()->visibleRows().size(), 5u);
    EXPECT_EQ(outline()->selectedRows(), std::vector<int>{2});
    EXPECT_EQ(pane->hotkeysOutlineSelectedKeySettings.value().front()->key(), VDKey(3, {57}));
}

TEST_F(PaneTest, HelpPopoverShowsFourSentencesOnce)
{
    ASSERT_NE(pane->helpButton(), nullptr);
    pane->helpButton()->click();
    ASSERT_TRUE(pane->helpPopover()->isVisible());
    const auto pos = pane->helpPopover()->pos();
    pane->showHelpPopover();
    EXPECT_EQ(pane->helpPopover()->pos(), pos);
    auto* help = pane->helpPopover()->findChild<HotkeyHelpViewController*>();
    ASSERT_NE(help, nullptr);
    EXPECT_EQ(help->contentStackView()->arrangedSubviews().size(), 4u);
    EXPECT_EQ(HotkeyHelpViewController::sentences()[0], "Built-in hotkey scheme cannot be modified.");
    // Every sentence gets the height its wrapped lines need, and the popover shows the whole help.
    int bottom = 0;
    for (QWidget* row : help->contentStackView()->arrangedSubviews()) {
        auto* label = row->findChildren<QLabel*>().back();
        EXPECT_GE(label->height(), label->heightForWidth(label->width())) << label->text().toStdString();
        EXPECT_GE(row->y(), bottom) << "rows do not overlap";
        bottom = row->y() + row->height();
    }
    EXPECT_LE(bottom, help->contentStackView()->height());
    EXPECT_TRUE(pane->helpPopover()->rect().contains(help->geometry()));
}

TEST_F(PaneTest, AnActivationOnTheEnginesThreadReachesTheOutlineOnTheGuiThread)
{
    auto mine = VDKeyScheme::make("Mine", "", VDKeySchemeType::custom, {mv(2)});
    keyService->install(mine);
    std::thread([&] { keyService->activate(mine); }).join();
    EXPECT_EQ(outline()->dataSource()->keyScheme(), factory());
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(outline()->dataSource()->keyScheme(), mine);
    settle();
    EXPECT_EQ(shownScheme(), "Mine");
}
