// The base of the program's small logo windows: a window (VDWindowMaker) with the product logo at the top,
// a column of text lines under it and a row of buttons in the bottom-right corner.
//
//   PureWithLogoWindowController w(628, 370, 64, true);
//   w.window()->setWindowTitle(productWindowTitle("Welcome"));
//   w.textStack()->addArrangedSubview(new QLabel("..."));
//   w.addButtons({cancel, ok});
//   w.setDefaultButton(ok);          // Return presses it
//   w.showWindow();
//
// The window is at least width x height. The text column is width - 2 * paddingX wide (500 for the 628-wide
// windows), wider when a line that cannot wrap needs it; the window is as tall as its text needs at that
// width. On a screen too small for that the window is capped to the screen's available area and the logo
// and text scroll above the buttons. Escape and Ctrl+W close the window (closeFromKeyboard()). Main thread only.
#pragma once

#include <QLabel>
#include <QObject>
#include <QPointer>
#include <QPushButton>
#include <QWidget>
#include <memory>
#include <vector>

#include "ui/base/content_scroll_area.h"
#include "ui/base/stack_view.h"
#include "ui/base/window_container_view.h"

namespace vandrel {

class PureWithLogoWindowController : public QObject {
    Q_OBJECT
public:
    static constexpr int logoSize = 84;
    static constexpr int contentSpacing = 24;
    static constexpr int textSpacing = 16;
    static constexpr int textToButtonsGap = 32;

    PureWithLogoWindowController(int width, int height, int paddingX, bool hasLogo);
    ~PureWithLogoWindowController() override;

    QWidget* window() const { return window_.get(); }
    WindowContainerView* containerView() const { return containerView_; }
    StackView* contentStack() const { return contentStack_; }
    // Null when built without the logo.
    QLabel* logoView() const { return logoView_; }
    StackView* btnStack() const { return btnStack_; }
    StackView* textStack() const { return textStack_; }
    // Holds the logo and the text column.
    ContentScrollArea* scrollArea() const { return scrollArea_; }

    // Appends the buttons to the button row, in order; the row grows to the left.
    void addButtons(const std::vector<QWidget*>& buttons);
    // The button that Return (or Enter) presses anywhere in the window; null: none.
    void setDefaultButton(QPushButton* button) { defaultButton_ = button; }
    QPushButton* defaultButton() const { return defaultButton_; }

    // Gives the window the size its content needs now (after its texts changed), within the screen.
    void fitToContent();
    // Brings the window to the front, sized to its content and centred on its screen.
    virtual void showWindow();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Escape or Ctrl+W: closes the window.
    virtual void closeFromKeyboard();

private:
    const int width_;
    const int height_;
    const int paddingX_;
    std::unique_ptr<QWidget> window_;
    WindowContainerView* containerView_ = nullptr;
    ContentScrollArea* scrollArea_ = nullptr;
    StackView* contentStack_ = nullptr;
    QLabel* logoView_ = nullptr;
    StackView* btnStack_ = nullptr;
    StackView* textStack_ = nullptr;
    QPointer<QPushButton> defaultButton_;
};

}  // namespace vandrel
