#include "ui/overlays/screen_info.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace vandrel {

namespace {
class SystemScreenInfo final : public ScreenInfo {
public:
    std::optional<QRect> mainScreenVisibleFrame() const override
    {
        const QScreen* screen = QGuiApplication::primaryScreen();
        if (!screen) return std::nullopt;
        return screen->availableGeometry();
    }

    std::optional<QRect> visibleFrameOf(const QWidget& window) const override
    {
        const QScreen* screen = window.screen();
        if (!screen) return mainScreenVisibleFrame();
        return screen->availableGeometry();
    }
};
}  // namespace

std::shared_ptr<ScreenInfo> ScreenInfo::system()
{
    static const auto info = std::make_shared<SystemScreenInfo>();
    return info;
}

}  // namespace vandrel
