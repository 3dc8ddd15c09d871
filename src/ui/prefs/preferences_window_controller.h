// The preferences window: a toolbar with one checkable item per pane (icon and title; hidden when there is
// a single pane) above the pane shown. The window is not resizable by the user: it takes each pane's size,
// keeping its top edge (PreferencesTabViewController). A pane's size is its least: it grows to what its text
// needs at any font size and scale, and the window stays within the screen's available area (a pane whose
// content can shrink shrinks, any other scrolls). Its title is "Vandrel — Preferences — <pane>", its
// minimized title "Vandrel — Preferences". Closing it only hides it; Escape and Ctrl+W close it, Ctrl+Tab and
// Ctrl+PageDown go to the next pane, Ctrl+Shift+Tab and Ctrl+PageUp to the previous one (wrapping).
//
// The program has one for the whole run:
//
//   showPreferences();                          // builds it on first use and shows it
//   PreferencesWindowController::rebuildShared(); // the development mode changed: close, build afresh
//
// A rebuilt window is not shown; the next showPreferences() shows it. The pane objects outlive the windows
// (PreferencePanes): a window gives their views back before it goes. Main thread only.
#pragma once

#include <QAction>
#include <QObject>
#include <QToolBar>
#include <QWidget>
#include <memory>
#include <optional>
#include <vector>

#include "core/installed_instance.h"
#include "ui/base/content_scroll_area.h"
#include "ui/prefs/preference_pane.h"
#include "ui/prefs/preferences_tab_view_controller.h"

namespace vandrel {

class PreferencesWindowController : public QObject {
    Q_OBJECT
public:
    explicit PreferencesWindowController(std::vector<std::shared_ptr<PreferencePane>> panes,
                                         bool hidesToolbarForSingleItem = true);
    ~PreferencesWindowController() override;

    // Shows the window with the given pane; without one, with the pane shown last (the first at first).
    // An identifier the window does not have is logged and treated as none.
    void show(const std::optional<PreferencePaneIdentifier>& pane = std::nullopt);
    void close();
    // The pane step panes after the shown one, wrapping (-1: the one before).
    void selectNeighbour(int step);

    QWidget* window() const { return window_.get(); }
    QToolBar* toolbar() const { return toolbar_; }
    PreferencesTabViewController* tabViewController() const { return tabs_; }
    const std::vector<std::shared_ptr<PreferencePane>>& panes() const { return panes_; }
    PreferencePane* selectedPane() const { return selected_; }

    // The one controller of the run: the installed one, built with createShared() on first use.
    static PreferencesWindowController& shared();
    static InstalledInstance<PreferencesWindowController>& installed();
    static void setShared(std::shared_ptr<PreferencesWindowController> controller);
    static bool hasShared();
    // A new controller over the pane list of PreferencePanes::shared(), set afresh from the current
    // development mode.
    static std::unique_ptr<PreferencesWindowController> createShared();
    // Closes the shared window and replaces its controller with a new one, not shown.
    static void rebuildShared();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void select(PreferencePane& pane);
    // Sizes the pane to its content and the window to the screen.
    void fitPane(PreferencePane& pane);

    std::vector<std::shared_ptr<PreferencePane>> panes_;
    std::unique_ptr<QWidget> window_;
    QToolBar* toolbar_ = nullptr;                   // a child of window_
    PreferencesTabViewController* tabs_ = nullptr;  // inside paneArea_
    ContentScrollArea* paneArea_ = nullptr;         // a child of window_
    std::vector<QAction*> actions_;                 // children of toolbar_, one per pane
    PreferencePane* selected_ = nullptr;
    bool everShown_ = false;
    bool fitPending_ = false;
};

// Opens the preferences window (the program's "Preferences..." and its built-in action). Main thread.
void showPreferences();

}  // namespace vandrel
