// Windows that take the size their text needs at any scale (Qt's scale factor, the font resolution) and stay
// inside the screen's available area (the screen less panels and task bars).
//
//   WindowFit::fit(*window, QSize(628, 370));   // at least that size, as tall as its text at its width
//   centerWindowOnScreen(window);               // vd_window_controller.h
//
// The height is the layout's height for the window's width, word-wrapped labels included (a layout's own
// minimum size leaves them out), never less than asked for and never more than the available area less the
// window manager's frame. A window capped so has its content scroll (ContentScrollArea) or shrink.
// Main thread only.
#pragma once

#include <QMargins>
#include <QRect>
#include <QSize>
#include <QWidget>

namespace vandrel {

struct WindowFit {
    // The area of the window's screen (the primary screen when it is on none) that windows may use; empty
    // without a screen.
    static QRect availableArea(const QWidget& window);
    // The frame around the window: as the platform knows it, estimated (a title bar and thin borders) while an
    // X11 window manager has not framed the window yet.
    static QMargins frameMargins(const QWidget& window);
    // The largest client area a window may have: the available area less the frame.
    static QSize maximumSize(const QWidget& window);
    // Brings every layout of the window up to date with its widgets' texts and sizes now. Qt passes such
    // changes up the widget tree by events, and only in a window that has been shown: what is measured before
    // is stale.
    static void settleLayouts(QWidget& window);
    // The height the window's layout needs at that width (at least its minimum).
    static int heightForWidth(QWidget& window, int width);
    // Gives the window the fixed size of its content as described above; its width is the larger of minimum's
    // and the layout's minimum, capped to the available width. Called again, it works the size out afresh.
    static void fit(QWidget& window, QSize minimum = {});
    // Moves the window so that its frame lies inside the available area (its top-left corner wins when it
    // is larger).
    static void keepInside(QWidget& window);

    // At a fractional scale factor Qt asks the window manager for a base size of -2 pixels, which some
    // managers (fluxbox) turn into a window tens of thousands of pixels wide. Installed once on the
    // application: every window is shown with a base size of 0.
    static void installBaseSizeFix();
};

}  // namespace vandrel
