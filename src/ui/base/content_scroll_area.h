// A scroll area for a window's content that asks for the content's whole height at its width (word-wrapped
// labels included), so a window sized to its content (WindowFit) shows all of it without a scroll bar; the
// content scrolls only when the window is capped to the screen.
//
//   auto* column = new QWidget;                  // with a layout
//   layout->addWidget(new ContentScrollArea(column), 1);
//
// It takes ownership of the content and draws no frame and no background of its own. Its minimum width is the
// content's: when a capped window shows the vertical scroll bar, content that cannot wrap scrolls sideways
// rather than being cut. Main thread only.
#pragma once

#include <QScrollArea>

namespace vandrel {

class ContentScrollArea : public QScrollArea {
    Q_OBJECT
public:
    explicit ContentScrollArea(QWidget* content, QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

    // Whether the content is taller (or wider) than what is shown of it.
    bool scrolls() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int contentMinimumWidth() const;
};

}  // namespace vandrel
