#include "ui/base/window_close_keys.h"

#include <QKeyEvent>
#include <QKeySequence>

namespace vandrel {

void WindowCloseKeys::install(QWidget& window, std::function<void()> close)
{
    window.installEventFilter(new WindowCloseKeys(window, std::move(close)));
}

WindowCloseKeys::WindowCloseKeys(QWidget& window, std::function<void()> close)
    : QObject(&window), window_(&window), close_(std::move(close))
{
}

bool WindowCloseKeys::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != window_ || event->type() != QEvent::KeyPress) return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    const bool escape = key->key() == Qt::Key_Escape && key->modifiers() == Qt::NoModifier;
    if (!escape && !key->matches(QKeySequence::Close)) return false;
    if (close_) close_();
    return true;
}

}  // namespace vandrel
