// States of a top-level window that belong to the window manager: kept above ordinary windows, left out of
// task bars and pagers. Qt can change such a state only through the window's flags, which makes a new native
// window (the old one goes, its id changes, the manager maps the new one and may give it the focus); here the
// window stays the same one.
//
//   WindowStates::setSkipTaskbar(*toast);          // before it is shown
//   WindowStates::setKeptAbove(*sheet, pinned);   // any time, shown or not
//
// On X11 the states go to the window manager as EWMH's _NET_WM_STATE: written on the window each time it is
// about to be mapped, and asked of the manager by a client message while it is shown. On other platforms
// they are only recorded. Main thread only.
#pragma once

#include <QWidget>

namespace vandrel {

struct WindowStates {
    static void setKeptAbove(QWidget& window, bool above);
    static bool isKeptAbove(const QWidget& window);
    // Out of task bars and pagers, for good.
    static void setSkipTaskbar(QWidget& window);
    static bool skipsTaskbar(const QWidget& window);
};

}  // namespace vandrel
