// The keys that close a secondary window on Linux desktops: Escape and Ctrl+W (the platform's Close
// sequence). They act when no control in the window took the key first (a text field, a recorder), so a
// key the focused control needs is never lost.
//
//   WindowCloseKeys::install(*window, [window] { window->close(); });
#pragma once

#include <QObject>
#include <QWidget>
#include <functional>

namespace vandrel {

class WindowCloseKeys final : public QObject {
public:
    // Owned by the window.
    static void install(QWidget& window, std::function<void()> close);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    WindowCloseKeys(QWidget& window, std::function<void()> close);

    QWidget* window_;
    std::function<void()> close_;
};

}  // namespace vandrel
