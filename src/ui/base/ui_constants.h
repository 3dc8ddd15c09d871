// Layout constants of the user interface, in device-independent pixels.
#pragma once

#include <QSize>

namespace vandrel {

struct UIConstants {
    // Margins of the key-scheme manager's table and of the feedback form's content.
    static constexpr int windowPadding = 20;
    // Minimum width of the buttons of the key-setting sheet and the key-scheme manager.
    static constexpr int buttonMinWidth = 81;
};

struct PreferencesUIConstants {
    static constexpr int windowMinWidth = 800;
    static constexpr int windowMinHeight = 340;
    // The view size of the general, advanced, experimental, hotstrings and developer panes.
    static constexpr QSize windowMinSize{windowMinWidth, windowMinHeight};
    // Left, bottom and right margin of WindowContainerView; margins of panes and sheets.
    static constexpr int windowPadding = 20;
    // Top margin of WindowContainerView.
    static constexpr int windowPaddingTop = 24;
    static constexpr int tabHeight = 78;
    static constexpr int settingsContainerWidth = 580;
    // Width of the title column of setting rows.
    static constexpr int titleViewWidth = 200;
    static constexpr int experimentalsContainerWidth = 494;
    // Spacing between rows and stacked views of panes and sheets.
    static constexpr int basicGap = 8;
};

struct CheatSheetUIConstants {
    static constexpr int listWidth = 420;
    static constexpr int lockIconSize = 16;
    static constexpr int basicGap = 8;
    static constexpr int keyViewWidth = 80;
    // The share of the visible screen area the cheat sheet may fill.
    static constexpr double maxPercentOfFullVisibleScreen = 0.95;
};

}  // namespace vandrel
