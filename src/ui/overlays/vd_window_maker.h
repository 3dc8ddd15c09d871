// The blank window of the program's small logo windows (the input-access guide, the first-launch dialog): no
// title bar and no close button, above ordinary windows, moved by dragging its background.
//
//   std::unique_ptr<QWidget> window = VDWindowMaker::makeBlankWindow(628, 370);
//
// The window is at least width x height; it grows downwards when its content needs more height, so no text
// is cut off (fonts differ between desktops). Main thread only.
#pragma once

#include <QWidget>
#include <memory>

namespace vandrel {

class VDWindowMaker {
public:
    static std::unique_ptr<QWidget> makeBlankWindow(int width, int height);
    // Lets the user move the window by dragging its background (a press no child took).
    static void makeMovableByBackground(QWidget& window);

    // Keeps window above ordinary windows (the level of modal panels) or lets others come in front of it.
    // A visible window stays visible.
    static void setFloating(QWidget& window, bool floating);
    static bool isFloating(const QWidget& window);
};

}  // namespace vandrel
