// The window of the program's small logo windows (the input-access guide, the first-launch dialog): an
// ordinary window with the window manager's frame and title, that the user may also move by dragging its
// background.
//
//   std::unique_ptr<QWidget> window = VDWindowMaker::makeBlankWindow(628, 370);
//
// The window is at least width x height and grows with its content (WindowFit), so no text is cut off
// whatever the fonts and the scale. It is never kept above other windows: it comes to the front when it is
// shown, and a window the user turns to or opens later goes in front of it, so it never takes the focus
// back. Nothing about it changes Qt's window flags after it is made (that would make a new native window).
// Main thread only.
#pragma once

#include <QWidget>
#include <memory>

namespace vandrel {

class VDWindowMaker {
public:
    static std::unique_ptr<QWidget> makeBlankWindow(int width, int height);
    // Lets the user move the window by dragging its background (a press no child took).
    static void makeMovableByBackground(QWidget& window);
};

}  // namespace vandrel
