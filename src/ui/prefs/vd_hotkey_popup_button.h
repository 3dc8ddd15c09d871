// The action chooser of the key-setting sheet: a two-level pop-up button. Its items are the action groups;
// each group item opens a submenu with the settable built-in actions of that group.
//
// Each group's submenu (a VDHotkeyActionMenu) is also the menu of a hidden VDHotkeyPopupButton, the group's
// sub popup button, which keeps the selection inside the group. The chosen action is therefore found in
// three steps: the visible button's selected item; its represented object, the group's sub popup button;
// that button's selected item, whose represented object is the VDAction. The closed button shows the chosen
// action's title (VDHotkeyPopupButtonCell), not the group's.
//
//   auto* chooser = new VDHotkeyPopupButton(sheet);
//   chooser->installAllBuildInSetableActions();
//   chooser->addSeparator();
//   chooser->addItem(localizedText("None"))->setRepresentedObject(BuiltInVDAction::noAction());
//   chooser->selectItem(chooser->numberOfItems() - 1);
//   for (auto* menu : chooser->groupedActionMenus()) menu->changedItem.subscribe(...);
//
// A pop-up button here behaves as the platform's does elsewhere: one selected item at a time, shown in the on
// state; a pick selects the picked item; its menu is told of every item whose state changes. A pick emits the
// action once on its group's changedItem; one action is selected over all groups. Main thread only.
#pragma once

#include <QAction>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <variant>
#include <vector>

#include "model/vd_action.h"
#include "rx/rx.h"

namespace vandrel {

class VDHotkeyPopupButton;

// One item of a pop-up button's menu.
class VDHotkeyMenuItem : public QAction {
    Q_OBJECT
public:
    using RepresentedObject = std::variant<std::monostate, VDActionPtr, QPointer<VDHotkeyPopupButton>>;

    VDHotkeyMenuItem(const QString& title, QObject* parent);

    const RepresentedObject& representedObject() const { return representedObject_; }
    void setRepresentedObject(RepresentedObject object) { representedObject_ = std::move(object); }
    // The represented object if it is of that kind, else null.
    VDActionPtr representedAction() const;
    VDHotkeyPopupButton* representedPopupButton() const;

    int tag() const { return tag_; }
    void setTag(int tag) { tag_ = tag; }

    // Whether this is its button's selected item.
    bool isOn() const { return isOn_; }

private:
    friend class VDHotkeyPopupButton;
    void setOn(bool on);

    RepresentedObject representedObject_;
    int tag_ = 0;
    bool isOn_ = false;
};

// Computes the closed button's title from its control.
class VDHotkeyPopupButtonCell {
public:
    explicit VDHotkeyPopupButtonCell(const VDHotkeyPopupButton& control) : control_(control) {}
    // The selected action of the selected group (empty when the group has none), else the selected item's
    // own title (empty when nothing is selected).
    QString title() const;
    // The title is always computed: assigning one changes nothing.
    void setTitle(const QString&) {}

private:
    const VDHotkeyPopupButton& control_;
};

class VDHotkeyActionMenu;

class VDHotkeyPopupButton : public QPushButton {
    Q_OBJECT
public:
    static constexpr int minimumButtonWidth = 260;

    // superWindowController: the hosting sheet's controller; kept, not used. Null for sub popup buttons.
    explicit VDHotkeyPopupButton(QObject* superWindowController, QWidget* parent = nullptr);
    ~VDHotkeyPopupButton() override;

    QObject* superWindowController() const { return superWindowController_; }
    const std::vector<QPointer<VDHotkeyActionMenu>>& groupedActionMenus() const { return groupedActionMenus_; }

    // Fills the button with one item per settable group that has actions, in the catalogue's order.
    void installAllBuildInSetableActions();
    // Selects the action (matched by idName) in its group, as a pick by the user does; nothing when the
    // chooser does not offer it.
    void selectAction(const VDAction& action);
    // The title an action has in the chooser: its dynamic title for its default parameters, else its static
    // one.
    static QString menuTitle(const VDAction& action);

    // Per item, in item order: its sub popup button, or null (separators, host items).
    std::vector<VDHotkeyPopupButton*> subPopupButtons() const;
    VDHotkeyPopupButton* selectedSubPopupButton() const;

    // --- the pop-up button itself -------------------------------------------------------------------------
    QMenu* popupMenu() const { return menu_; }
    int numberOfItems() const;
    std::vector<VDHotkeyMenuItem*> itemArray() const;
    VDHotkeyMenuItem* itemAt(int index) const;
    VDHotkeyMenuItem* lastItem() const;
    int indexOfItem(const VDHotkeyMenuItem* item) const;
    int indexOfItemWithTitle(const QString& title) const;
    VDHotkeyMenuItem* addItem(const QString& title);
    VDHotkeyMenuItem* addSeparator();
    // Makes the item at index (-1: none) the selected one; the menu is told of each state change.
    void selectItem(int index);
    int indexOfSelectedItem() const { return selectedIndex_; }
    VDHotkeyMenuItem* selectedItem() const { return itemAt(selectedIndex_); }

    VDHotkeyPopupButtonCell& cell() { return cell_; }
    const VDHotkeyPopupButtonCell& cell() const { return cell_; }
    // Shows the cell's title.
    void refreshTitle();

private:
    friend class VDHotkeyActionMenu;
    void addSubPopupButton(const QString& name, VDHotkeyPopupButton* subPopupButton);
    // Replaces the button's menu (an action menu makes itself the menu of its sub popup button).
    void setPopupMenu(QMenu* menu);
    // A pick by the user, or selectAction.
    void choose(VDHotkeyMenuItem* item);

    QPointer<QObject> superWindowController_;
    std::vector<QPointer<VDHotkeyActionMenu>> groupedActionMenus_;
    QPointer<QMenu> menu_;
    int selectedIndex_ = -1;
    VDHotkeyPopupButtonCell cell_{*this};
};

// The submenu of one action group, and the menu of that group's sub popup button.
class VDHotkeyActionMenu : public QMenu {
    Q_OBJECT
public:
    // Becomes the menu of popupButton (and its child).
    VDHotkeyActionMenu(VDHotkeyPopupButton* popupButton, VDHotkeyPopupButton* superPopupButton);

    VDHotkeyPopupButton* popupButton() const { return popupButton_; }
    VDHotkeyPopupButton* superPopupButton() const { return superPopupButton_; }

    // An item of this menu changed its state. One that turned on is published, every other group loses its
    // selection, and the group's item becomes the visible button's selected item.
    void itemChanged(VDHotkeyMenuItem* item);

    // Each item of this menu that becomes the selected one.
    const rx::PublishSubject<VDHotkeyMenuItem*> changedItem;

private:
    QPointer<VDHotkeyPopupButton> popupButton_;
    QPointer<VDHotkeyPopupButton> superPopupButton_;
};

}  // namespace vandrel
