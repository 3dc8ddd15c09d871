// The older preferences window: a window whose close button only hides it, so the controller and the
// window's state stay for the next showing. make() builds it with a TabViewController whose one tab is the
// GeneralViewController.
#pragma once

#include <QObject>
#include <QWidget>
#include <functional>
#include <memory>

namespace vandrel {

class PreferencesWindowControllerOld : public QObject {
    Q_OBJECT
public:
    // Takes the window (its content already built).
    explicit PreferencesWindowControllerOld(std::unique_ptr<QWidget> window);
    ~PreferencesWindowControllerOld() override;

    static std::unique_ptr<PreferencesWindowControllerOld> make(std::function<void()> checkForUpdates);

    QWidget* window() const { return window_.get(); }
    void showWindow();

    // Hides the window and answers false: it is never closed.
    bool windowShouldClose();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::unique_ptr<QWidget> window_;
};

}  // namespace vandrel
