#include "ui/overlays/keyboard_map_window_controller.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QVBoxLayout>
#include <QWindow>

#include "core/localize.h"
#include "core/log.h"
#include "ui/base/vd_window_controller.h"
#include "ui/base/window_close_keys.h"
#include "ui/base/window_title.h"
#include "ui/overlays/shared_window_controller.h"

namespace vandrel {

namespace {

constexpr int kFadeMilliseconds = 200;

constexpr const char* kWhat = "The keyboard map";

}  // namespace

// The window: tells the controller when it appears and goes, and where the pointer is over it or its
// title strip.
class KeyboardMapWindowController::Window : public QWidget {
public:
    Window() : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::Tool)
    {
        setAttribute(Qt::WA_TranslucentBackground);
        setMouseTracking(true);
    }

    std::function<void(bool)> onVisible;
    std::function<void(int)> onMouseY;
    std::function<void()> onLeave;

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::MouseMove) {
            const auto* move = static_cast<QMouseEvent*>(event);
            if (auto* widget = qobject_cast<QWidget*>(watched))
                if (onMouseY) onMouseY(widget->mapTo(this, move->position().toPoint()).y());
        }
        return QWidget::eventFilter(watched, event);
    }

protected:
    void showEvent(QShowEvent* event) override
    {
        QWidget::showEvent(event);
        if (onVisible) onVisible(true);
    }
    void hideEvent(QHideEvent* event) override
    {
        QWidget::hideEvent(event);
        if (onVisible) onVisible(false);
    }
    void mouseMoveEvent(QMouseEvent* event) override
    {
        if (onMouseY) onMouseY(event->position().toPoint().y());
    }
    void leaveEvent(QEvent*) override
    {
        if (onLeave) onLeave();
    }
};

// The title strip: a drag handle for the frameless window.
namespace {
class TitleStrip : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void mousePressEvent(QMouseEvent* event) override
    {
        if (event->button() == Qt::LeftButton && window()->windowHandle()) window()->windowHandle()->startSystemMove();
    }
};
}  // namespace

KeyboardMapWindowController::Dependencies KeyboardMapWindowController::dependenciesOf(const InputObserver& observer,
                                                                                      rx::SchedulerPtr mainScheduler)
{
    Dependencies d;
    d.keydown = observer.keydown.asObservable();
    d.capsDown = observer.capsDown.asObservable();
    d.keyup = observer.keyup.asObservable();
    d.capsUp = observer.capsUp.asObservable();
    d.mainScheduler = std::move(mainScheduler);
    return d;
}

InstalledInstance<KeyboardMapWindowController::Shared>& KeyboardMapWindowController::installed()
{
    static InstalledInstance<Shared> slot;
    return slot;
}

std::shared_ptr<KeyboardMapWindowController> KeyboardMapWindowController::make(Dependencies dependencies)
{
    auto controller = std::make_shared<KeyboardMapWindowController>(Passkey(), std::move(dependencies));
    std::weak_ptr<KeyboardMapWindowController> weak = controller;
    controller->window_->onVisible = [weak](bool visible) {
        auto self = weak.lock();
        if (!self) return;
        if (visible)
            self->viewController_->viewDidAppear();
        else
            self->viewController_->viewDidDisappear();
    };
    controller->window_->onMouseY = [weak](int y) {
        if (auto self = weak.lock()) self->mouseMoved(y);
    };
    controller->window_->onLeave = [weak] {
        if (auto self = weak.lock()) self->hideTitlebar();
    };
    return controller;
}

KeyboardMapWindowController::KeyboardMapWindowController(Passkey, Dependencies dependencies)
    : window_(std::make_unique<Window>())
{
    window_->setWindowTitle(productWindowTitle(QString::fromStdString(localized("Keyboard Map"))));
    auto* layout = new QVBoxLayout(window_.get());
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    WindowCloseKeys::install(*window_, [w = window_.get()] { w->hide(); });
    titlebar_ = new TitleStrip(window_.get());
    titlebar_->setFixedHeight(titlebarHeight);
    // Painted opaque: without a compositor the window's translucent parts are black, and so would be a
    // strip that lets them through, hiding the close button on it.
    titlebar_->setAutoFillBackground(true);
    titlebar_->setBackgroundRole(QPalette::Window);
    titlebar_->setMouseTracking(true);
    auto* titleRow = new QHBoxLayout(titlebar_);
    titleRow->setContentsMargins(12, 0, 12, 0);
    auto* closeButton = new QToolButton(titlebar_);
    closeButton->setObjectName("closeButton");
    closeButton->setText(QStringLiteral("✕"));
    closeButton->setForegroundRole(QPalette::WindowText);
    closeButton->setAutoRaise(true);
    closeButton->setToolTip(QString::fromStdString(localized("Close")));
    closeButton->setMouseTracking(true);
    QObject::connect(closeButton, &QToolButton::clicked, window_.get(), [w = window_.get()] { w->hide(); });
    titleRow->addWidget(closeButton);
    titleRow->addStretch();
    titlebarOpacity_ = new QGraphicsOpacityEffect(titlebar_);
    titlebarOpacity_->setOpacity(0);
    titlebar_->setGraphicsEffect(titlebarOpacity_);
    titlebar_->installEventFilter(window_.get());
    closeButton->installEventFilter(window_.get());

    view_ = new KeyboardMapView(window_.get());
    view_->setMouseTracking(true);
    view_->installEventFilter(window_.get());
    layout->addWidget(titlebar_);
    layout->addWidget(view_, 0, Qt::AlignHCenter);

    viewController_ = KeyboardMapViewController::make(std::move(dependencies), view_);
    // The page is ours and always there: it is ready at once.
    viewController_->pageDidFinish();
    window_->adjustSize();
}

KeyboardMapWindowController::~KeyboardMapWindowController()
{
    if (window_) {
        window_->onVisible = nullptr;
        window_->onMouseY = nullptr;
        window_->onLeave = nullptr;
    }
}

std::shared_ptr<KeyboardMapWindowController> KeyboardMapWindowController::shared()
{
    return Shared::from(installed(), kWhat);
}

void KeyboardMapWindowController::installShared(std::function<Dependencies()> makeDependencies)
{
    Shared::install(installed(), kWhat, std::move(makeDependencies));
}

void KeyboardMapWindowController::showWindow()
{
    window_->adjustSize();
    window_->show();
    if (!placed_) {
        centerWindowOnScreen(window_.get());
        placed_ = true;
    }
    window_->raise();
    window_->activateWindow();
}

void KeyboardMapWindowController::close()
{
    window_->hide();
}

QWidget* KeyboardMapWindowController::window() const
{
    return window_.get();
}

bool KeyboardMapWindowController::isVisible() const
{
    return window_->isVisible();
}

void KeyboardMapWindowController::mouseMoved(int y)
{
    if (y < titlebarRevealDistance)
        showTitlebar();
    else
        hideTitlebar();
}

void KeyboardMapWindowController::showTitlebar()
{
    fadeTitlebar(1);
}

void KeyboardMapWindowController::hideTitlebar()
{
    fadeTitlebar(0);
}

void KeyboardMapWindowController::fadeTitlebar(double opacity)
{
    const bool show = opacity > 0;
    if (show == titlebarShown_ && (fade_ || titlebarOpacity_->opacity() == opacity)) return;
    titlebarShown_ = show;
    if (fade_) fade_->stop();
    fade_ = new QPropertyAnimation(titlebarOpacity_, "opacity", titlebarOpacity_);
    fade_->setDuration(kFadeMilliseconds);
    fade_->setEndValue(opacity);
    fade_->start(QAbstractAnimation::DeleteWhenStopped);
}

}  // namespace vandrel
