// The windows of every running application, for the window-binding lookups, in the workspace's order of
// applications and each application's own order of windows. A list younger than one second is reused, so a
// burst of lookups (every stored binding restored at start-up) walks the applications once.
//
// Left out: background (prohibited) applications, the applications of the skip list (outside helper
// processes that own windows nobody binds, matched case-insensitively by identity: desktop id or WM_CLASS),
// and the file browser's desktop (only its ordinary windows count). Thread-safe.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/window.h"
#include "rx/scheduler.h"

namespace vandrel {

class WindowList {
public:
    static constexpr double kCacheSeconds = 1.0;
    static const std::set<std::string>& defaultSkippedApplicationIds();

    // clock gives "now" for the cache; skipped holds identities, compared case-insensitively.
    explicit WindowList(rx::SchedulerPtr clock, std::set<std::string> skipped = defaultSkippedApplicationIds());

    std::vector<std::shared_ptr<Window>> getAllWindows();
    // The first window whose number, read afresh, is winid.
    std::shared_ptr<Window> findByWinid(std::uint32_t winid);
    // The first window whose title is exactly title (an empty title matches an unreadable one).
    std::shared_ptr<Window> findByTitle(const std::string& title);
    std::shared_ptr<Window> findByTitle(const std::string& title, const std::string& appBundleId);

private:
    bool isSkipped(const std::string& bundleId) const;

    const rx::SchedulerPtr clock_;
    std::set<std::string> skipped_;  // lower case
    std::mutex mutex_;
    std::vector<std::shared_ptr<Window>> cache_;
    rx::TimePoint deadline_{};
    bool cached_ = false;
};

}  // namespace vandrel
