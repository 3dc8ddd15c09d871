// The older list of key schemes: a table whose rows hold a scheme's name and a check box, the check boxes
// of one list acting as radio buttons (exactly the clicked one is on), and the hotkey cell of the key-setting
// outline (modifier names in a right-aligned 120-wide column, then the key).
//
// The radio behaviour is a QButtonGroup the list owns: a check box leaves the group when it is destroyed, so
// the group never reaches a widget that is gone, and two lists never switch each other's boxes.
#pragma once

#include <QButtonGroup>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QTableWidget>
#include <QWidget>

namespace vandrel {

class KeySchemeTableView : public QTableWidget {
    Q_OBJECT
public:
    explicit KeySchemeTableView(QWidget* parent = nullptr);
    // The exclusive group of the check boxes of this table's rows.
    QButtonGroup* checkboxGroup() const { return checkboxGroup_; }

private:
    QButtonGroup* checkboxGroup_;  // a child of this table
};

class KeySchemeNameFiled : public QLineEdit {
    Q_OBJECT
public:
    using QLineEdit::QLineEdit;
};

// Clicking a box that is on leaves it on: the group turns the others off and none can be turned off alone.
class KeySchemeCheckbox : public QCheckBox {
    Q_OBJECT
public:
    // Joins group (may be null: then it is a plain check box).
    explicit KeySchemeCheckbox(QButtonGroup* group, QWidget* parent = nullptr);
};

class KeySchemeTableCellView : public QWidget {
    Q_OBJECT
public:
    // The cell's check box joins the table's group.
    explicit KeySchemeTableCellView(KeySchemeTableView* table, QWidget* parent = nullptr);
    KeySchemeNameFiled* name() const { return name_; }
    KeySchemeCheckbox* checkbox() const { return checkbox_; }

    // The action of the cell's check box: turns the sender on (and, through the group, every other off).
    void checkboxChecked(KeySchemeCheckbox* sender);

private:
    QPointer<KeySchemeNameFiled> name_;
    QPointer<KeySchemeCheckbox> checkbox_;
};

class VDKeySchemeOutlineHotkeyView : public QWidget {
    Q_OBJECT
public:
    static constexpr int modifierWidth = 120;

    explicit VDKeySchemeOutlineHotkeyView(QWidget* parent = nullptr);
    QLabel* modifierTextfiled() const { return modifierTextfiled_; }
    QLabel* keyTextfiled() const { return keyTextfiled_; }

private:
    QLabel* modifierTextfiled_;
    QLabel* keyTextfiled_;
};

}  // namespace vandrel
