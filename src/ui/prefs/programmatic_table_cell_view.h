// A code-built table cell: one read-only, borderless text field of 200 x 16 in the small font. Tables of
// the hotkey editor put one per key-setting row.
#pragma once

#include <QLabel>
#include <QRect>
#include <QWidget>

namespace vandrel {

class ProgrammaticTableCellView : public QWidget {
    Q_OBJECT
public:
    // The text field's frame, the same for every cell.
    static constexpr QRect textFieldFrame{0, 0, 200, 16};

    explicit ProgrammaticTableCellView(const QRect& frame = {}, QWidget* parent = nullptr);
    QLabel* textField() const { return textField_; }

private:
    QLabel* textField_;  // a child of this cell
};

// The platform's small control font (the system font one step down).
QFont smallSystemFont();

}  // namespace vandrel
