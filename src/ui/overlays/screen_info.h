// Where the overlays learn about screens: the main screen's visible area (the desktop less panels and
// docks) and the visible area of the screen a window is on. The program uses the system's screens; tests
// install fixed ones.
#pragma once

#include <QRect>
#include <memory>
#include <optional>

class QWidget;

namespace vandrel {

class ScreenInfo {
public:
    virtual ~ScreenInfo() = default;

    // The visible area of the main screen; none when there is no screen.
    virtual std::optional<QRect> mainScreenVisibleFrame() const = 0;
    // The visible area of the screen that shows most of the window (the main screen when it is on none).
    virtual std::optional<QRect> visibleFrameOf(const QWidget& window) const = 0;

    // The screens of the Qt application (its primary screen is the main screen). Main thread.
    static std::shared_ptr<ScreenInfo> system();
};

// One screen of a fixed visible area, or no screen at all.
class FixedScreenInfo final : public ScreenInfo {
public:
    explicit FixedScreenInfo(std::optional<QRect> visibleFrame) : frame_(visibleFrame) {}
    void setVisibleFrame(std::optional<QRect> visibleFrame) { frame_ = visibleFrame; }

    std::optional<QRect> mainScreenVisibleFrame() const override { return frame_; }
    std::optional<QRect> visibleFrameOf(const QWidget&) const override { return frame_; }

private:
    std::optional<QRect> frame_;
};

}  // namespace vandrel
