#include "ui/prefs/vd_hotkey_popup_button.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "catalogue/built_in_vd_action.h"
#include "core/localize.h"
#include "prefs_fixture.h"

namespace vandrel::test {
namespace {

class ActionChooser : public PrefsTest {
protected:
    ActionChooser()
    {
        BuiltInVDAction::registerAll();
        // As the key-setting sheet builds it.
        chooser.installAllBuildInSetableActions();
        chooser.addSeparator();
        VDHotkeyMenuItem* none = chooser.addItem("None");
        none->setTag(-1);
        none->setRepresentedObject(BuiltInVDAction::noAction());
        for (VDHotkeyActionMenu* menu : menus()) {
            const std::string group =
                chooser.itemAt(chooser.indexOfItemWithTitle(groupTitleOf(menu)))->text().toStdString();
            menu->changedItem
                .subscribe([this, group](VDHotkeyMenuItem* item) {
                    emitted.push_back(group + ":" + item->representedAction()->idName());
                })
                .disposed(bag);
        }
    }

    QString groupTitleOf(const VDHotkeyActionMenu* menu) const
    {
        for (auto* item : chooser.itemArray())
            if (item->menu() == menu) return item->text();
        return {};
    }
    std::vector<VDHotkeyActionMenu*> menus() const
    {
        std::vector<VDHotkeyActionMenu*> all;
        for (const auto& menu : chooser.groupedActionMenus()) all.push_back(menu);
        return all;
    }
    VDHotkeyPopupButton* group(const char* title) const
    {
        return chooser.itemAt(chooser.indexOfItemWithTitle(title))->representedPopupButton();
    }
    // Picks the action in the group's submenu, as a click on it does.
    void pick(const char* groupTitle, const char* actionTitle)
    {
        VDHotkeyPopupButton* g = group(groupTitle);
        g->itemAt(g->indexOfItemWithTitle(actionTitle))->trigger();
    }
    int groupsWithSelection() const
    {
        int n = 0;
        for (auto* g : chooser.subPopupButtons())
            if (g && g->selectedItem()) ++n;
        return n;
    }
    std::string shown() const { return chooser.text().toStdString(); }

    VDHotkeyPopupButton chooser{nullptr};
    std::vector<std::string> emitted;
};

TEST_F(ActionChooser, OffersEachGroupWithActionsInCatalogueOrderThenTheHostItems)
{
    std::vector<std::string> titles;
    for (auto* item : chooser.itemArray()) titles.push_back(item->isSeparator() ? "-" : item->text().toStdString());
    // "Others" holds only the experimental hotstring action, which is off.
    EXPECT_EQ(titles, (std::vector<std::string>{"General", "Movement", "Selection", "Editing", "Window Binding",
                                                "Multiple Clipboard", "-", "None"}));
    const auto subs = chooser.subPopupButtons();
    ASSERT_EQ(subs.size(), 8u);
    EXPECT_EQ(subs[6], nullptr);
    EXPECT_EQ(subs[7], nullptr);
    ASSERT_EQ(chooser.groupedActionMenus().size(), 6u);
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(chooser.itemAt(static_cast<int>(i))->menu(), chooser.groupedActionMenus()[i].data());
        EXPECT_EQ(subs[i]->popupMenu(), chooser.groupedActionMenus()[i].data());
        EXPECT_EQ(subs[i]->selectedItem(), nullptr);
        EXPECT_FALSE(subs[i]->isVisible());
    }
    const auto& movement = BuiltInVDAction::SettableActions::actionsOfGroup().at(VDActionGroup::movement);
    const auto items = group("Movement")->itemArray();
    ASSERT_EQ(items.size(), movement.size());
    for (std::size_t i = 0; i < items.size(); ++i) EXPECT_EQ(items[i]->representedAction(), movement[i]);
    EXPECT_EQ(items[0]->text().toStdString(), "Move Up");
    // Its dynamic title needs a window slot the default parameters do not name.
    EXPECT_GE(group("Window Binding")->indexOfItemWithTitle("Bind Window"), 0);
    EXPECT_GE(chooser.minimumWidth(), 260);
}

TEST_F(ActionChooser, APickIsTheOneSelectionShownAndEmittedOnceOnItsGroup)
{
    chooser.selectItem(0);
    EXPECT_EQ(shown(), "");
    pick("Movement", "Move Up");
    pick("Editing", "Delete Line");
    EXPECT_EQ(emitted, (std::vector<std::string>{"Movement:moveUpN", "Editing:deleteLine"}));
    EXPECT_EQ(groupsWithSelection(), 1);
    EXPECT_EQ(chooser.selectedSubPopupButton(), group("Editing"));
    EXPECT_EQ(shown(), "Delete Line");
    // The action already chosen: nothing new.
    pick("Editing", "Delete Line");
    EXPECT_EQ(emitted.size(), 2u);
    EXPECT_TRUE(group("Editing")->selectedItem()->isChecked());
}

TEST_F(ActionChooser, AHostItemShowsItsOwnTitleAndPickingTheEarlierActionAgainChoosesIt)
{
    pick("Movement", "Move Up");
    chooser.selectItem(chooser.numberOfItems() - 1);
    EXPECT_EQ(shown(), "None");
    EXPECT_EQ(chooser.selectedItem()->representedAction(), BuiltInVDAction::noAction());
    pick("Movement", "Move Up");
    EXPECT_EQ(shown(), "Move Up");
    EXPECT_EQ(emitted, (std::vector<std::string>{"Movement:moveUpN", "Movement:moveUpN"}));
}

TEST_F(ActionChooser, SelectActionFindsTheActionByItsIdNameAndEmitsLikeAPick)
{
    chooser.selectItem(chooser.numberOfItems() - 1);
    // A setting read from a stored scheme carries a stand-in of the action, with its idName.
    chooser.selectAction(*VDAction::placeholder("moveDownN"));
    EXPECT_EQ(shown(), "Move Down");
    EXPECT_EQ(emitted, (std::vector<std::string>{"Movement:moveDownN"}));
    chooser.selectAction(*VDAction::placeholder("noSuchAction"));
    EXPECT_EQ(shown(), "Move Down");
    EXPECT_EQ(emitted.size(), 1u);
}

TEST_F(ActionChooser, TheClosedTitleIsComputedNeverAssigned)
{
    pick("Selection", "Select Up");
    chooser.cell().setTitle("something else");
    chooser.refreshTitle();
    EXPECT_EQ(shown(), "Select Up");
}

}  // namespace
}  // namespace vandrel::test
