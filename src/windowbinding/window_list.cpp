#include "windowbinding/window_list.h"

#include <algorithm>
#include <cctype>

#include "platform/platform.h"

namespace vandrel {

namespace {

std::string lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

}  // namespace

const std::set<std::string>& WindowList::defaultSkippedApplicationIds()
{
    // Helper processes whose windows are no one's to bind: input-method and notification daemons, screen
    // savers, compositor and panel helpers.
    static const std::set<std::string> ids{"ibus-ui-gtk3",
                                           "fcitx",
                                           "xfce4-notifyd",
                                           "notify-osd",
                                           "dunst",
                                           "xscreensaver",
                                           "gnome-screensaver",
                                           "plank",
                                           "xfce4-panel",
                                           "org.gnome.shell.extensions"};
    return ids;
}

WindowList::WindowList(rx::SchedulerPtr clock, std::set<std::string> skipped) : clock_(std::move(clock))
{
    for (const auto& id : skipped) skipped_.insert(lower(id));
}

bool WindowList::isSkipped(const std::string& bundleId) const
{
    return skipped_.count(lower(bundleId)) > 0;
}

std::vector<std::shared_ptr<Window>> WindowList::getAllWindows()
{
    const auto now = clock_->now();
    {
        std::lock_guard lock(mutex_);
        if (cached_ && now < deadline_) return cache_;
    }
    std::vector<std::shared_ptr<Window>> windows;
    auto platform = Platform::shared();
    const std::string fileBrowser = platform ? platform->windowSystem().fileBrowserBundleId() : std::string();
    for (const auto& app : VDApplication::getAllRunningApplications()) {
        if (app->kind() < 0) continue;
        const auto all = app->getAllWindows();
        if (app->bundleId && *app->bundleId == fileBrowser) {
            for (const auto& w : all)
                if (w->getRole() == "AXWindow") windows.push_back(w);
        } else if (!app->bundleId || !isSkipped(*app->bundleId)) {
            windows.insert(windows.end(), all.begin(), all.end());
        }
    }
    std::lock_guard lock(mutex_);
    cache_ = windows;
    cached_ = true;
    deadline_ = now + rx::seconds(kCacheSeconds);
    return windows;
}

std::shared_ptr<Window> WindowList::findByWinid(std::uint32_t winid)
{
    for (const auto& w : getAllWindows())
        if (w->window && w->window->windowNumber().value_or(0) == winid) return w;
    return nullptr;
}

std::shared_ptr<Window> WindowList::findByTitle(const std::string& title)
{
    for (const auto& w : getAllWindows())
        if (w->getTitle() == title) return w;
    return nullptr;
}

std::shared_ptr<Window> WindowList::findByTitle(const std::string& title, const std::string& appBundleId)
{
    for (const auto& w : getAllWindows())
        if (w->getTitle() == title && w->app && w->app->bundleId == appBundleId) return w;
    return nullptr;
}

}  // namespace vandrel
