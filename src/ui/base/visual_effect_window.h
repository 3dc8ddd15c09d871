// A borderless, translucent top-level window for overlays and transient messages. Content added to
// contentView() lies above the translucent backdrop.
//
// show() and hide() are this window's own operations (they hide QWidget's slots of the same names on
// purpose): subclasses replace them, as the message box fades on hide().
#pragma once

#include <QRect>
#include <QWidget>

namespace vandrel {

class VisualEffectWindow : public QWidget {
    Q_OBJECT
public:
    explicit VisualEffectWindow(const QRect& contentRect, Qt::WindowFlags extraFlags = {});

    QWidget* contentView() const { return contentView_; }

    // Shows the window above others and raises it.
    virtual void show();
    // Takes the window off screen.
    virtual void hide();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QWidget* contentView_;  // a child of this window, filling it
};

}  // namespace vandrel
