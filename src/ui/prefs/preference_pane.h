// What the preferences window needs of a pane: its identifier, title and toolbar icon, fixed when the pane
// is made, and its view, made on first use. The window tells the pane when its view comes on screen and
// when it leaves.
//
// The seven panes of the program, with their titles and icons:
//
//   identifier      title key                   icon                 pane
//   general         "General"                   "Switch-1"           GeneralPreferenceViewController
//   hotkey          "Hotkey"                    "Hotkey"             the hotkey editor's pane
//   advanced        "_advanced_setting"         "settings-gear-64"   AdvancedPreferenceViewController
//   experimental    "_experimental_features"    "lab"                ExperimentalPreferenceViewController
//   hotstring       "Hotstring"                 "Note"               HotstringsPreferenceViewController
//   developer       "Developer"                 "quiet"              DeveloperPreferenceViewController
//   develop         "Develop"                   "transparent"        DevelopPreferenceViewController
//
// Main thread only.
#pragma once

#include <QImage>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <memory>
#include <string>

#include "ui/base/image_asset.h"

namespace vandrel {

struct PreferencePaneIdentifier {
    std::string rawValue;

    friend bool operator==(const PreferencePaneIdentifier&, const PreferencePaneIdentifier&) = default;

    static const PreferencePaneIdentifier general;
    static const PreferencePaneIdentifier hotkey;
    static const PreferencePaneIdentifier advanced;
    static const PreferencePaneIdentifier experimental;
    static const PreferencePaneIdentifier hotstring;
    static const PreferencePaneIdentifier developer;
    static const PreferencePaneIdentifier develop;

    // The localization key of the pane's title and its icon's asset name.
    std::string titleKey() const;
    ImageAsset icon() const;
};

class PreferencePane {
public:
    explicit PreferencePane(PreferencePaneIdentifier identifier);
    virtual ~PreferencePane();
    PreferencePane(const PreferencePane&) = delete;
    PreferencePane& operator=(const PreferencePane&) = delete;

    const PreferencePaneIdentifier& preferencePaneIdentifier() const { return identifier_; }
    const QString& preferencePaneTitle() const { return title_; }
    const QImage& toolbarItemIcon() const { return icon_; }

    // The pane's view; the first call makes it and runs viewDidLoad(). A window that shows the view
    // becomes its parent, and gives it back (setParent(nullptr)) before the window goes: the pane owns it.
    QWidget* view();
    bool isViewLoaded() const { return !view_.isNull(); }
    // The class name the window remembers the pane's size under: two panes of one class share it.
    virtual const char* paneClassName() const = 0;

    virtual void viewWillAppear() {}
    virtual void viewDidAppear() {}
    virtual void viewWillDisappear() {}

protected:
    // Builds the view's content; runs once, right after the view is made.
    virtual void viewDidLoad() {}

private:
    PreferencePaneIdentifier identifier_;
    QString title_;
    QImage icon_;
    QPointer<QWidget> view_;
};

}  // namespace vandrel
