// Views of the older key-settings list, kept for lists that name them: an outline and a table with nothing
// of their own, and a text field that shows its text in the small system font.
#pragma once

#include <QLineEdit>
#include <QTableView>
#include <QTreeView>

namespace vandrel {

class KeySettingsOutlineView : public QTreeView {
    Q_OBJECT
public:
    using QTreeView::QTreeView;
};

class KeySettingsTableView : public QTableView {
    Q_OBJECT
public:
    using QTableView::QTableView;
};

// The font is set once, when the field is made: setting it on every draw would draw again, for ever.
class VDTextField : public QLineEdit {
    Q_OBJECT
public:
    explicit VDTextField(QWidget* parent = nullptr);
};

}  // namespace vandrel
