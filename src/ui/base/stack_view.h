// A view that lays its arranged subviews out in one row or one column with a fixed spacing.
#pragma once

#include <QBoxLayout>
#include <QWidget>
#include <vector>

namespace vandrel {

class StackView : public QWidget {
    Q_OBJECT
public:
    explicit StackView(Qt::Orientation orientation = Qt::Vertical, QWidget* parent = nullptr);

    // Appends view after the existing arranged views; the stack becomes its parent.
    void addArrangedSubview(QWidget* view, Qt::Alignment alignment = {});
    std::vector<QWidget*> arrangedSubviews() const;

    Qt::Orientation orientation() const { return orientation_; }
    void setSpacing(int spacing) { layout_->setSpacing(spacing); }
    int spacing() const { return layout_->spacing(); }
    QBoxLayout* boxLayout() const { return layout_; }

private:
    Qt::Orientation orientation_;
    QBoxLayout* layout_;  // owned by this widget
};

}  // namespace vandrel
