#include "ui/prefs/vd_hotkey_popup_button.h"

#include "catalogue/built_in_vd_action.h"
#include "core/log.h"
#include "ui/prefs/setting_rows.h"

namespace vandrel {

VDHotkeyMenuItem::VDHotkeyMenuItem(const QString& title, QObject* parent) : QAction(title, parent) {}

VDActionPtr VDHotkeyMenuItem::representedAction() const
{
    const auto* action = std::get_if<VDActionPtr>(&representedObject_);
    return action ? *action : nullptr;
}

VDHotkeyPopupButton* VDHotkeyMenuItem::representedPopupButton() const
{
    const auto* button = std::get_if<QPointer<VDHotkeyPopupButton>>(&representedObject_);
    return button ? button->data() : nullptr;
}

void VDHotkeyMenuItem::setOn(bool on)
{
    isOn_ = on;
}

QString VDHotkeyPopupButtonCell::title() const
{
    const VDHotkeyMenuItem* selected = control_.selectedItem();
    if (!selected) return {};
    if (const VDHotkeyPopupButton* group = selected->representedPopupButton()) {
        const VDHotkeyMenuItem* action = group->selectedItem();
        return action ? action->text() : QString();
    }
    return selected->text();
}

VDHotkeyPopupButton::VDHotkeyPopupButton(QObject* superWindowController, QWidget* parent)
    : QPushButton(parent), superWindowController_(superWindowController)
{
    setPopupMenu(new QMenu(this));
    setMinimumWidth(minimumButtonWidth);
}

VDHotkeyPopupButton::~VDHotkeyPopupButton() = default;

void VDHotkeyPopupButton::setPopupMenu(QMenu* menu)
{
    QMenu* previous = menu_;
    menu_ = menu;
    setMenu(menu);
    if (previous && previous != menu) delete previous;
}

QString VDHotkeyPopupButton::menuTitle(const VDAction& action)
{
    if (const auto& dynamic = action.dynamicDescription()) {
        const auto title = dynamic(action.defaultParamSequence());
        if (title && !title->empty()) return QString::fromStdString(*title);
    }
    return QString::fromStdString(action.staticDescription());
}

void VDHotkeyPopupButton::installAllBuildInSetableActions()
{
    const auto& actionsOfGroup = BuiltInVDAction::SettableActions::actionsOfGroup();
    for (const VDActionGroup& group : BuiltInVDAction::SettableActions::groups()) {
        const auto actions = actionsOfGroup.find(group);
        if (actions == actionsOfGroup.end() || actions->second.empty()) continue;
        auto* subPopupButton = new VDHotkeyPopupButton(nullptr, this);
        subPopupButton->hide();
        addSubPopupButton(localizedText(group.rawValue()), subPopupButton);
        for (const VDActionPtr& action : actions->second) {
            if (!action) continue;
            subPopupButton->addItem(menuTitle(*action));
            subPopupButton->lastItem()->setRepresentedObject(action);
        }
        subPopupButton->selectItem(-1);
    }
}

void VDHotkeyPopupButton::addSubPopupButton(const QString& name, VDHotkeyPopupButton* subPopupButton)
{
    addItem(name);
    auto* menu = new VDHotkeyActionMenu(subPopupButton, this);
    VDHotkeyMenuItem* groupItem = lastItem();
    if (!groupItem) return;
    groupItem->setMenu(menu);
    groupedActionMenus_.emplace_back(menu);
    groupItem->setRepresentedObject(QPointer<VDHotkeyPopupButton>(subPopupButton));
}

void VDHotkeyPopupButton::selectAction(const VDAction& action)
{
    for (VDHotkeyPopupButton* group : subPopupButtons()) {
        if (!group) continue;
        for (VDHotkeyMenuItem* item : group->itemArray()) {
            const VDActionPtr offered = item->representedAction();
            if (offered && offered->idName() == action.idName()) {
                group->choose(item);
                return;
            }
        }
    }
    log.debug("The action is not offered by the chooser ->", action.idName());
}

void VDHotkeyPopupButton::choose(VDHotkeyMenuItem* item)
{
    const int index = indexOfItem(item);
    if (index < 0) return;
    const bool wasOn = item->isOn();
    selectItem(index);
    if (!wasOn) return;
    // Already its group's selection, but a host item (such as "None") may be shown: the pick makes it the
    // chooser's choice again.
    auto* menu = qobject_cast<VDHotkeyActionMenu*>(menu_.data());
    if (menu && menu->superPopupButton() && menu->superPopupButton()->selectedSubPopupButton() != this)
        menu->itemChanged(item);
}

std::vector<VDHotkeyPopupButton*> VDHotkeyPopupButton::subPopupButtons() const
{
    std::vector<VDHotkeyPopupButton*> buttons;
    for (const VDHotkeyMenuItem* item : itemArray()) buttons.push_back(item->representedPopupButton());
    return buttons;
}

VDHotkeyPopupButton* VDHotkeyPopupButton::selectedSubPopupButton() const
{
    const VDHotkeyMenuItem* item = selectedItem();
    return item ? item->representedPopupButton() : nullptr;
}

std::vector<VDHotkeyMenuItem*> VDHotkeyPopupButton::itemArray() const
{
    std::vector<VDHotkeyMenuItem*> items;
    if (!menu_) return items;
    for (QAction* action : menu_->actions())
        if (auto* item = qobject_cast<VDHotkeyMenuItem*>(action)) items.push_back(item);
    return items;
}

int VDHotkeyPopupButton::numberOfItems() const
{
    return static_cast<int>(itemArray().size());
}

VDHotkeyMenuItem* VDHotkeyPopupButton::itemAt(int index) const
{
    const auto items = itemArray();
    if (index < 0 || index >= static_cast<int>(items.size())) return nullptr;
    return items[static_cast<std::size_t>(index)];
}

VDHotkeyMenuItem* VDHotkeyPopupButton::lastItem() const
{
    const auto items = itemArray();
    return items.empty() ? nullptr : items.back();
}

int VDHotkeyPopupButton::indexOfItem(const VDHotkeyMenuItem* item) const
{
    const auto items = itemArray();
    for (std::size_t i = 0; i < items.size(); ++i)
        if (items[i] == item) return static_cast<int>(i);
    return -1;
}

int VDHotkeyPopupButton::indexOfItemWithTitle(const QString& title) const
{
    const auto items = itemArray();
    for (std::size_t i = 0; i < items.size(); ++i)
        if (!items[i]->isSeparator() && items[i]->text() == title) return static_cast<int>(i);
    return -1;
}

VDHotkeyMenuItem* VDHotkeyPopupButton::addItem(const QString& title)
{
    auto* item = new VDHotkeyMenuItem(title, menu_);
    item->setCheckable(true);
    menu_->addAction(item);
    connect(item, &QAction::triggered, this, [this, item] { choose(item); });
    return item;
}

VDHotkeyMenuItem* VDHotkeyPopupButton::addSeparator()
{
    auto* item = new VDHotkeyMenuItem(QString(), menu_);
    item->setSeparator(true);
    menu_->addAction(item);
    return item;
}

void VDHotkeyPopupButton::selectItem(int index)
{
    const auto items = itemArray();
    if (index < -1 || index >= static_cast<int>(items.size())) index = -1;
    const int previous = selectedIndex_;
    selectedIndex_ = index;
    // A triggered item toggled its own check mark; the marks always follow the selection.
    for (std::size_t i = 0; i < items.size(); ++i) items[i]->setChecked(static_cast<int>(i) == index);
    if (previous != index) {
        auto* menu = qobject_cast<VDHotkeyActionMenu*>(menu_.data());
        if (VDHotkeyMenuItem* old = itemAt(previous)) {
            old->setOn(false);
            if (menu) menu->itemChanged(old);
        }
        if (VDHotkeyMenuItem* now = itemAt(index)) {
            now->setOn(true);
            if (menu) menu->itemChanged(now);
        }
    }
    refreshTitle();
    if (auto* menu = qobject_cast<VDHotkeyActionMenu*>(menu_.data()); menu && menu->superPopupButton())
        menu->superPopupButton()->refreshTitle();
}

void VDHotkeyPopupButton::refreshTitle()
{
    setText(cell_.title());
}

VDHotkeyActionMenu::VDHotkeyActionMenu(VDHotkeyPopupButton* popupButton, VDHotkeyPopupButton* superPopupButton)
    : QMenu(popupButton), popupButton_(popupButton), superPopupButton_(superPopupButton)
{
    if (popupButton) popupButton->setPopupMenu(this);
}

void VDHotkeyActionMenu::itemChanged(VDHotkeyMenuItem* item)
{
    if (!item || !item->isOn()) return;
    changedItem.onNext(item);
    VDHotkeyPopupButton* visible = superPopupButton_;
    VDHotkeyPopupButton* own = popupButton_;
    if (!visible || !own) {
        log.error("get properties of item fail");
        return;
    }
    const auto groups = visible->itemArray();
    int groupIndex = -1;
    for (std::size_t i = 0; i < groups.size(); ++i)
        if (groups[i]->menu() == this) groupIndex = static_cast<int>(i);
    if (groupIndex < 0) return;
    for (VDHotkeyPopupButton* other : visible->subPopupButtons())
        if (other && other != own) other->selectItem(-1);
    visible->selectItem(groupIndex);
    log.debug("itemChanged item ->",
              groups[static_cast<std::size_t>(groupIndex)]->text().toStdString() + " / " + item->text().toStdString());
}

}  // namespace vandrel
