#include "ui/base/vd_msgbox.h"

#include <QApplication>
#include <QCursor>
#include <QGraphicsOpacityEffect>
#include <QPixmap>
#include <QScreen>
#include <cmath>
#include <vector>

#include "core/log.h"
#include "core/main_queue.h"
#include "core/popup_msg.h"
#include "ui/base/image_asset.h"
#include "ui/base/vd_window_controller.h"
#include "ui/base/window_states.h"
#include "ui/base/window_title.h"

namespace vandrel {

namespace {

constexpr int kMaxTextWidth = 720;
constexpr double kLogoScale = 0.8;
constexpr double kLogoAlpha = 0.16;
constexpr int kLogoOverhangRight = 17;
constexpr int kLogoDropDown = 6;
constexpr auto kFadeFrame = std::chrono::milliseconds(16);
// A generous ceiling for the timed hide, so any finite time fits the scheduler's clock.
constexpr double kLongestShowMilliseconds = 1e12;

// The box on screen now (main thread only). Never keeps a box alive.
std::weak_ptr<VDMsgbox>& msgboxDisplaying()
{
    static std::weak_ptr<VDMsgbox> box;
    return box;
}

// The screen the user works on: the one under the pointer, else the primary one.
QScreen* workingScreen()
{
    if (QScreen* screen = QGuiApplication::screenAt(QCursor::pos())) return screen;
    return QGuiApplication::primaryScreen();
}

rx::SchedulerPtr& presenterScheduler()
{
    static rx::SchedulerPtr scheduler;
    return scheduler;
}

}  // namespace

const VMsgboxStyle& VMsgboxStyle::defaultStyle()
{
    static const VMsgboxStyle style;
    return style;
}

std::shared_ptr<VDMsgbox> VDMsgbox::create(const QString& text, const VMsgboxStyle& style, rx::SchedulerPtr scheduler)
{
    // Qt deletes widgets safely only from its event loop, and the last reference may go from a timer job.
    return std::shared_ptr<VDMsgbox>(new VDMsgbox(text, style, std::move(scheduler)),
                                     [](VDMsgbox* box) { box->deleteLater(); });
}

VDMsgbox::VDMsgbox(const QString& text, const VMsgboxStyle& style, rx::SchedulerPtr scheduler)
    : VisualEffectWindow(
          QRect(), Qt::Tool | Qt::WindowStaysOnTopHint | Qt::WindowTransparentForInput | Qt::WindowDoesNotAcceptFocus),
      style_(style),
      scheduler_(std::move(scheduler)),
      label_(new QLabel(contentView()))
{
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    // A tool window of the program's, never an entry of the task bar.
    setWindowTitle(productWindowTitle());
    WindowStates::setSkipTaskbar(*this);

    label_->setTextFormat(Qt::PlainText);
    label_->setText(text);
    label_->setAutoFillBackground(false);
    label_->setTextInteractionFlags(Qt::NoTextInteraction);
    QFont font = QApplication::font();
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(style_.fontSize))));
    label_->setFont(font);

    // A long text wraps at a width that reads well and leaves the box on the screen.
    const int paddingX = static_cast<int>(std::lround(style_.paddingLeft + style_.paddingRight));
    const QScreen* screen = workingScreen();
    const int wrapAt = wrapWidth(screen ? screen->availableGeometry().width() : kMaxTextWidth + paddingX) - paddingX;
    QSize fitting = label_->sizeHint();
    if (fitting.width() > wrapAt) {
        label_->setWordWrap(true);
        fitting = QSize(wrapAt, label_->heightForWidth(wrapAt));
    }
    const int width = fitting.width() + static_cast<int>(std::lround(style_.paddingLeft + style_.paddingRight));
    const int height = fitting.height() + static_cast<int>(std::lround(style_.paddingTop + style_.paddingBottom));
    resize(width, height);
    label_->setGeometry((width - fitting.width()) / 2, (height - fitting.height()) / 2, fitting.width(),
                        fitting.height());

    const QImage image = Asset::simpleLogo.image();
    if (!image.isNull()) {
        const QSize logoSize(static_cast<int>(std::lround(image.width() * kLogoScale)),
                             static_cast<int>(std::lround(image.height() * kLogoScale)));
        log.debug("icon size ->", std::vector<int>{logoSize.width(), logoSize.height()});
        logo_ = new QLabel(contentView());
        logo_->setPixmap(QPixmap::fromImage(image.scaled(logoSize, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
        auto* opacity = new QGraphicsOpacityEffect(logo_);
        opacity->setOpacity(kLogoAlpha);
        logo_->setGraphicsEffect(opacity);
        // Runs past the right edge, where the box cuts it off, and sits a little below the middle.
        logo_->setGeometry(width + kLogoOverhangRight - logoSize.width(),
                           height / 2 + kLogoDropDown - logoSize.height() / 2, logoSize.width(), logoSize.height());
        logo_->raise();
    }
}

int VDMsgbox::wrapWidth(int screenWidth)
{
    return std::max(1, std::min(kMaxTextWidth, screenWidth * 2 / 3));
}

void VDMsgbox::show(double time)
{
    if (QScreen* screen = workingScreen()) {
        // Centred on the user's screen, one third of the spare height above, never past an edge.
        const QRect area = screen->availableGeometry();
        const int x = area.left() + std::max(0, (area.width() - width()) / 2);
        const int y = area.top() + std::max(0, (area.height() - height()) / 3);
        move(x, y);
    }
    setWindowOpacity(1.0);
    VisualEffectWindow::show();
    repaint();

    double milliseconds = std::isnan(time) ? 0.0 : std::trunc(time * 1000.0);
    milliseconds = std::clamp(milliseconds, 0.0, kLongestShowMilliseconds);
    scheduler_->scheduleAfter(rx::milliseconds(static_cast<long long>(milliseconds)),
                              [box = shared_from_this()] { box->hide(); });
}

void VDMsgbox::hide()
{
    if (fading_ || closed_) return;
    fading_ = true;
    keepAliveWhileFading_ = shared_from_this();
    fadeStart_ = scheduler_->now();
    std::weak_ptr<VDMsgbox> weak = keepAliveWhileFading_;
    fadeTimer_ = scheduler_->schedulePeriodic(kFadeFrame, [weak] {
        if (auto box = weak.lock()) box->fadeStep();
    });
}

void VDMsgbox::fadeStep()
{
    const double elapsed = std::chrono::duration<double>(scheduler_->now() - fadeStart_).count();
    if (elapsed < fadeSeconds) {
        setWindowOpacity(1.0 - elapsed / fadeSeconds);
        return;
    }
    fadeTimer_.dispose();
    setWindowOpacity(0.0);
    close();
    fading_ = false;
    closed_ = true;
    log.verbose("A DrawingWindow instance is closed.");
    keepAliveWhileFading_.reset();
}

std::shared_ptr<VDMsgbox> VDMsgbox::present(const std::string& message, double time, rx::SchedulerPtr scheduler)
{
    auto box = create(QString::fromStdString(message), VMsgboxStyle::defaultStyle(), std::move(scheduler));
    if (auto shown = msgboxDisplaying().lock()) shown->hide();
    msgboxDisplaying() = box;
    box->show(time);
    return box;
}

std::shared_ptr<VDMsgbox> VDMsgbox::displaying()
{
    return msgboxDisplaying().lock();
}

void VDMsgbox::installAsPresenter(rx::SchedulerPtr scheduler)
{
    presenterScheduler() = scheduler ? std::move(scheduler) : MainQueue::shared();
    setPopupPresenter([](const std::string& message, double time) {
        QCoreApplication* app = QCoreApplication::instance();
        if (!app) {
            log.warning("no application to show a message in ->", message);
            return;
        }
        // Always queued, also from the main thread: the box appears on the next turn of the main queue.
        QMetaObject::invokeMethod(
            app,
            [message, time] {
                rx::SchedulerPtr scheduler = presenterScheduler();
                present(message, time, scheduler);
            },
            Qt::QueuedConnection);
    });
}

}  // namespace vandrel
