// Transient on-screen messages: a translucent box of large text in the middle of the screen that floats
// above other windows, lets clicks through, never takes focus, never shows in a task bar, and fades away by
// itself.
//
// The app calls VDMsgbox::installAsPresenter() once at start-up; from then on popupMsg(text, seconds) from
// any thread shows a box on the next turn of the main queue. A new message replaces the box on screen,
// which fades out while the new one shows.
#pragma once

#include <QLabel>
#include <QString>
#include <memory>
#include <string>

#include "rx/rx.h"
#include "ui/base/visual_effect_window.h"

namespace vandrel {

// Layout numbers of a message box, in pixels.
struct VMsgboxStyle {
    double radius = 5;  // kept for callers; the box is drawn square
    double paddingTop = 8;
    double paddingRight = 12;
    double paddingBottom = 8;
    double paddingLeft = 12;
    double fontSize = 28;

    static const VMsgboxStyle& defaultStyle();
};

class VDMsgbox : public VisualEffectWindow, public std::enable_shared_from_this<VDMsgbox> {
    Q_OBJECT
public:
    // How long the fade-out takes.
    static constexpr double fadeSeconds = 0.25;

    // The widest a box gets on a screen that wide: 720 pixels, at most two thirds of the screen.
    static int wrapWidth(int screenWidth);

    // A hidden box sized to text plus the style's paddings; a text wider than wrapWidth() wraps. Timers (the timed
    // hide, the fade) run on scheduler, which must run its work on the main thread. Deleted (later) with its last
    // reference.
    static std::shared_ptr<VDMsgbox> create(const QString& text, const VMsgboxStyle& style, rx::SchedulerPtr scheduler);

    const VMsgboxStyle& style() const { return style_; }
    void setStyle(const VMsgboxStyle& style) { style_ = style; }
    QString text() const { return label_->text(); }

    using VisualEffectWindow::show;
    // Centres the box on the screen, shows it at full opacity and hides it after time seconds (a time of
    // 0, a negative time or NaN hides it on the next turn). The timer keeps the box alive until then.
    virtual void show(double time);
    // Fades the box out and closes it. Does nothing once the box is fading or closed.
    void hide() override;

    bool isFading() const { return fading_; }
    bool isClosed() const { return closed_; }

    // The main-queue half of popupMsg: a new box for message that replaces the one displayed.
    static std::shared_ptr<VDMsgbox> present(const std::string& message, double time, rx::SchedulerPtr scheduler);
    // The box shown last while something still holds it.
    static std::shared_ptr<VDMsgbox> displaying();
    // Makes popupMsg show message boxes, posting each to the Qt main thread; timers run on scheduler
    // (the main queue when none is given).
    static void installAsPresenter(rx::SchedulerPtr scheduler = {});

private:
    VDMsgbox(const QString& text, const VMsgboxStyle& style, rx::SchedulerPtr scheduler);
    void fadeStep();

    VMsgboxStyle style_;
    rx::SchedulerPtr scheduler_;
    QLabel* label_;  // children of the content view
    QLabel* logo_ = nullptr;
    bool fading_ = false;
    bool closed_ = false;
    rx::TimePoint fadeStart_{};
    rx::Disposable fadeTimer_;
    std::shared_ptr<VDMsgbox> keepAliveWhileFading_;
};

}  // namespace vandrel
