#include "ui/prefs/key_scheme_list_views.h"

#include <gtest/gtest.h>

#include <QPointer>
#include <thread>

#include "hotkey_editor_fixture.h"
#include "ui/prefs/hotkey_setting_editor.h"
#include "ui/prefs/hotkeys_view_model.h"

using namespace vandrel;

namespace {

class ListViewsTest : public test::HotkeyEditorTest {};

std::vector<std::vector<std::string>> received(const rx::Observable<std::vector<std::string>>& names, bool* completed)
{
    std::vector<std::vector<std::string>> lists;
    rx::Observer<std::vector<std::string>> observer;
    observer.onNext = [&](const std::vector<std::string>& l) { lists.push_back(l); };
    observer.onCompleted = [&] { *completed = true; };
    names.subscribe(observer);
    return lists;
}

}  // namespace

TEST_F(ListViewsTest, TheViewModelGivesEachSubscriberTheNamesOfThatMomentOnce)
{
    HotkeysViewModel model(keyService);
    bool completed = false;
    EXPECT_EQ(received(model.keySchemeNames, &completed), std::vector<std::vector<std::string>>{{"Vandrel"}});
    EXPECT_TRUE(completed);
    addCustom("Work", {})->name.accept("Office");
    completed = false;
    EXPECT_EQ(received(model.keySchemeNames, &completed),
              (std::vector<std::vector<std::string>>{{"Vandrel", "Office"}}));

    HotkeysViewModel empty(nullptr);
    EXPECT_EQ(received(empty.keySchemeNames, &completed), std::vector<std::vector<std::string>>{{}});
}

TEST_F(ListViewsTest, TheCheckBoxesOfOneTableActAsRadioButtonsAndForgetBoxesThatAreGone)
{
    KeySchemeTableView table, other;
    auto first = std::make_unique<KeySchemeTableCellView>(&table);
    auto second = std::make_unique<KeySchemeTableCellView>(&table);
    auto third = std::make_unique<KeySchemeTableCellView>(&table);
    KeySchemeTableCellView elsewhere(&other);
    elsewhere.checkbox()->click();

    second->checkbox()->click();
    EXPECT_FALSE(first->checkbox()->isChecked());
    EXPECT_TRUE(second->checkbox()->isChecked());
    EXPECT_FALSE(third->checkbox()->isChecked());
    second->checkbox()->click();  // a box that is on stays on
    EXPECT_TRUE(second->checkbox()->isChecked());
    EXPECT_TRUE(elsewhere.checkbox()->isChecked());

    second.reset();
    EXPECT_EQ(table.checkboxGroup()->buttons().size(), 2);
    third->checkbox()->click();
    EXPECT_TRUE(third->checkbox()->isChecked());
    EXPECT_FALSE(first->checkbox()->isChecked());
}

TEST_F(ListViewsTest, TheHotkeyViewKeepsItsModifierColumnWideWhenEmpty)
{
    VDKeySchemeOutlineHotkeyView view;
    view.keyTextfiled()->setText("E");
    view.resize(300, 20);
    test::layOut(&view);
    EXPECT_EQ(view.modifierTextfiled()->width(), 120);
    EXPECT_GE(view.keyTextfiled()->x(), 120);
}

TEST_F(ListViewsTest, AnEditWhileTheEngineActivatesSchemesIsKeptAndNothingDeadlocks)
{
    auto mine = addCustom("Mine", {});
    HotkeySettingEditor editor(keyService, mine, nullptr);
    editor.chooseAction(BuiltInVDAction::moveDownN());
    std::atomic<bool> stop{false};
    std::thread engine([&] {
        while (!stop) {
            keyService->activate(factory());
            keyService->activate(mine);
        }
    });
    for (int keycode = 0; keycode < 20; ++keycode) {
        editor.setHotkey(caps(keycode));
        editor.commit();
    }
    stop = true;
    engine.join();
    const auto back = stored("Mine");
    ASSERT_TRUE(back);
    ASSERT_EQ(back->keySettings.value().size(), 1u);
    EXPECT_EQ(back->keySettings.value()[0]->key(), caps(19));
}
