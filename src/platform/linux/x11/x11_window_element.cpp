#include "platform/linux/x11/x11_window_element.h"

namespace vandrel {

namespace {

int errorCode(X11RequestResult result)
{
    switch (result) {
        case X11RequestResult::ok:
            return AccessibilityError::success;
        case X11RequestResult::gone:
            return AccessibilityError::invalidUIElement;
        case X11RequestResult::failed:
            break;
    }
    return AccessibilityError::cannotComplete;
}

}  // namespace

X11WindowElement::X11WindowElement(std::shared_ptr<X11Desktop> desktop, X11WindowId window,
                                   std::function<void(std::int32_t, X11WindowId)> onRaised)
    : desktop_(std::move(desktop)), window_(window), onRaised_(std::move(onRaised))
{
}

std::optional<std::int32_t> X11WindowElement::processIdentifier() const
{
    return desktop_->windowPid(window_);
}

std::optional<std::uint32_t> X11WindowElement::windowNumber() const
{
    if (!desktop_->windowExists(window_)) return std::nullopt;
    return static_cast<std::uint32_t>(window_);
}

std::optional<std::string> X11WindowElement::title() const
{
    return desktop_->windowTitle(window_);
}

std::optional<std::string> X11WindowElement::role() const
{
    auto type = desktop_->windowType(window_);
    if (!type) return std::nullopt;
    return roleOf(*type);
}

std::optional<bool> X11WindowElement::isMinimized() const
{
    auto state = desktop_->windowState(window_);
    if (!state) return std::nullopt;
    return state->minimized;
}

std::optional<bool> X11WindowElement::isFullscreen() const
{
    auto state = desktop_->windowState(window_);
    if (!state) return std::nullopt;
    return state->fullscreen;
}

int X11WindowElement::raise()
{
    const auto result = desktop_->activate(window_);
    if (result == X11RequestResult::ok && onRaised_) {
        if (auto pid = desktop_->windowPid(window_)) onRaised_(*pid, window_);
    }
    return errorCode(result);
}

int X11WindowElement::setMinimized(bool minimized)
{
    return errorCode(minimized ? desktop_->iconify(window_) : desktop_->deiconify(window_));
}

std::string X11WindowElement::roleOf(X11WindowType type)
{
    switch (type) {
        case X11WindowType::desktop:
            return "AXScrollArea";
        case X11WindowType::dock:
            return "AXMenuBar";
        default:
            return "AXWindow";
    }
}

}  // namespace vandrel
