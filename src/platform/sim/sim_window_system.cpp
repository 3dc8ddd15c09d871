#include "platform/sim/sim_window_system.h"

#include <algorithm>

namespace vandrel {

namespace {

// A window element that looks its window up on every call, so it sees later changes and reports a closed
// window as gone.
class SimWindowElement final : public WindowElement {
public:
    SimWindowElement(std::weak_ptr<SimWindowSystem::State> state, std::uint32_t number)
        : state_(std::move(state)), number_(number)
    {
    }

    std::optional<std::int32_t> processIdentifier() const override
    {
        return read([](const SimWindowSystem::WindowState& w) { return w.pid; });
    }
    std::optional<std::uint32_t> windowNumber() const override
    {
        return read([](const SimWindowSystem::WindowState& w) { return w.number; });
    }
    std::optional<std::string> title() const override
    {
        return read([](const SimWindowSystem::WindowState& w) { return w.title; });
    }
    std::optional<std::string> role() const override
    {
        return read([](const SimWindowSystem::WindowState& w) { return w.role; });
    }
    std::optional<bool> isMinimized() const override
    {
        return read([](const SimWindowSystem::WindowState& w) { return w.minimized; });
    }
    std::optional<bool> isFullscreen() const override
    {
        return read([](const SimWindowSystem::WindowState& w) { return w.fullscreen; });
    }

    int raise() override
    {
        auto state = state_.lock();
        if (!state) return AccessibilityError::invalidUIElement;
        std::lock_guard lock(state->mutex);
        auto* w = state->find(number_);
        if (!w) return AccessibilityError::invalidUIElement;
        if (w->raiseResult != AccessibilityError::success) return w->raiseResult;
        w->minimized = false;
        state->focused[w->pid] = number_;
        state->raised.push_back(number_);
        return AccessibilityError::success;
    }

    int setMinimized(bool minimized) override
    {
        auto state = state_.lock();
        if (!state) return AccessibilityError::invalidUIElement;
        std::lock_guard lock(state->mutex);
        auto* w = state->find(number_);
        if (!w) return AccessibilityError::invalidUIElement;
        w->minimized = minimized;
        if (minimized && state->focused.count(w->pid) && state->focused[w->pid] == number_) {
            state->focused.erase(w->pid);
            for (const auto& other : state->windows) {
                if (other.pid == w->pid && !other.minimized) {
                    state->focused[w->pid] = other.number;
                    break;
                }
            }
        }
        return AccessibilityError::success;
    }

private:
    template <class F>
    auto read(F f) const -> std::optional<decltype(f(std::declval<const SimWindowSystem::WindowState&>()))>
    {
        auto state = state_.lock();
        if (!state) return std::nullopt;
        std::lock_guard lock(state->mutex);
        auto* w = state->find(number_);
        if (!w) return std::nullopt;
        return f(*w);
    }

    std::weak_ptr<SimWindowSystem::State> state_;
    std::uint32_t number_;
};

}  // namespace

SimWindowSystem::WindowState* SimWindowSystem::State::find(std::uint32_t number)
{
    auto it = std::find_if(windows.begin(), windows.end(), [&](const WindowState& w) { return w.number == number; });
    return it == windows.end() ? nullptr : &*it;
}

SimWindowSystem::SimWindowSystem(std::shared_ptr<SimWorkspace> workspace)
    : workspace_(std::move(workspace)), state_(std::make_shared<State>())
{
}

std::shared_ptr<WindowElement> SimWindowSystem::element(std::uint32_t number)
{
    return std::make_shared<SimWindowElement>(state_, number);
}

bool SimWindowSystem::hasApplicationElement(std::int32_t processIdentifier)
{
    {
        std::lock_guard lock(state_->mutex);
        if (state_->noElement.count(processIdentifier)) return false;
    }
    return workspace_->runningApplication(processIdentifier).has_value();
}

std::shared_ptr<WindowElement> SimWindowSystem::focusedWindow()
{
    auto front = workspace_->frontmostApplication();
    if (!front) return nullptr;
    auto number = focusedWindowNumber(front->processIdentifier);
    return number ? element(*number) : nullptr;
}

std::vector<std::shared_ptr<WindowElement>> SimWindowSystem::windowsOfApplication(std::int32_t processIdentifier,
                                                                                  std::size_t maxCount)
{
    std::vector<std::uint32_t> numbers;
    {
        std::lock_guard lock(state_->mutex);
        if (state_->noElement.count(processIdentifier)) return {};
        for (const auto& w : state_->windows)
            if (w.pid == processIdentifier && numbers.size() < maxCount) numbers.push_back(w.number);
    }
    std::vector<std::shared_ptr<WindowElement>> out;
    for (auto n : numbers) out.push_back(element(n));
    return out;
}

std::shared_ptr<WindowElement> SimWindowSystem::mainWindowOfApplication(std::int32_t processIdentifier)
{
    if (auto focused = focusedWindowNumber(processIdentifier)) return element(*focused);
    return nullptr;
}

bool SimWindowSystem::bringProcessToFront(std::int32_t processIdentifier, bool)
{
    if (!workspace_->runningApplication(processIdentifier)) return false;
    workspace_->activate(processIdentifier);
    return true;
}

std::string SimWindowSystem::fileBrowserBundleId()
{
    std::lock_guard lock(state_->mutex);
    return state_->fileBrowser;
}

std::uint32_t SimWindowSystem::addWindow(std::int32_t pid, std::string title, std::string role)
{
    std::lock_guard lock(state_->mutex);
    WindowState w;
    w.number = state_->nextNumber++;
    w.pid = pid;
    w.title = std::move(title);
    w.role = std::move(role);
    state_->windows.push_back(w);
    state_->focused[pid] = w.number;
    return w.number;
}

void SimWindowSystem::closeWindow(std::uint32_t number)
{
    std::lock_guard lock(state_->mutex);
    auto* w = state_->find(number);
    if (!w) return;
    const auto pid = w->pid;
    std::erase_if(state_->windows, [&](const WindowState& x) { return x.number == number; });
    if (state_->focused.count(pid) && state_->focused[pid] == number) state_->focused.erase(pid);
}

void SimWindowSystem::setTitle(std::uint32_t number, std::string title)
{
    std::lock_guard lock(state_->mutex);
    if (auto* w = state_->find(number)) w->title = std::move(title);
}

void SimWindowSystem::setFullscreen(std::uint32_t number, bool fullscreen)
{
    std::lock_guard lock(state_->mutex);
    if (auto* w = state_->find(number)) w->fullscreen = fullscreen;
}

void SimWindowSystem::focusWindow(std::uint32_t number)
{
    std::int32_t pid;
    {
        std::lock_guard lock(state_->mutex);
        auto* w = state_->find(number);
        if (!w) return;
        w->minimized = false;
        pid = w->pid;
        state_->focused[pid] = number;
    }
    workspace_->activate(pid);
}

void SimWindowSystem::setRaiseResult(std::uint32_t number, int code)
{
    std::lock_guard lock(state_->mutex);
    if (auto* w = state_->find(number)) w->raiseResult = code;
}

void SimWindowSystem::setApplicationElementUnavailable(std::int32_t pid, bool unavailable)
{
    std::lock_guard lock(state_->mutex);
    if (unavailable)
        state_->noElement.insert(pid);
    else
        state_->noElement.erase(pid);
}

void SimWindowSystem::setFileBrowserBundleId(std::string id)
{
    std::lock_guard lock(state_->mutex);
    state_->fileBrowser = std::move(id);
}

std::optional<bool> SimWindowSystem::isWindowMinimized(std::uint32_t number) const
{
    std::lock_guard lock(state_->mutex);
    if (auto* w = state_->find(number)) return w->minimized;
    return std::nullopt;
}

std::optional<std::uint32_t> SimWindowSystem::focusedWindowNumber(std::int32_t pid) const
{
    std::lock_guard lock(state_->mutex);
    auto it = state_->focused.find(pid);
    if (it == state_->focused.end()) return std::nullopt;
    return it->second;
}

std::vector<std::uint32_t> SimWindowSystem::raisedWindows() const
{
    std::lock_guard lock(state_->mutex);
    return state_->raised;
}

}  // namespace vandrel
