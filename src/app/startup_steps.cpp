#include "app/startup_steps.h"

#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <sstream>

#include "core/string_helpers.h"

namespace vandrel {

StartupSteps::StartupSteps(rx::SchedulerPtr clock) : clock_(std::move(clock)) {}

rx::TimePoint StartupSteps::now() const
{
    return clock_ ? clock_->now() : std::chrono::time_point_cast<rx::Duration>(std::chrono::steady_clock::now());
}

void StartupSteps::add(std::string name, rx::Duration duration)
{
    steps_.push_back({std::move(name), duration});
}

void StartupSteps::markSinceExec(std::string name)
{
    if (const auto since = sinceExec()) add(std::move(name), *since);
}

std::string StartupSteps::summary() const
{
    std::string text;
    for (const auto& step : steps_) {
        char number[32];
        std::snprintf(number, sizeof number, "%.1f", std::chrono::duration<double, std::milli>(step.duration).count());
        if (!text.empty()) text += ", ";
        text += step.name + " " + number + " ms";
    }
    return text;
}

std::optional<rx::Duration> StartupSteps::sinceExec()
{
    // Field 22 of /proc/self/stat: the start time in clock ticks after boot. The command name (field 2) may
    // hold spaces, so the fields are counted from its closing parenthesis.
    std::istringstream file(readWholeFile("/proc/self/stat").value_or(std::string()));
    std::string stat;
    if (!std::getline(file, stat)) return std::nullopt;
    const auto close = stat.rfind(')');
    if (close == std::string::npos) return std::nullopt;
    std::istringstream fields(stat.substr(close + 2));
    std::string field;
    for (int i = 3; i < 22 && fields >> field; ++i) {
    }
    unsigned long long ticks = 0;
    if (!(fields >> ticks)) return std::nullopt;
    const long perSecond = ::sysconf(_SC_CLK_TCK);
    timespec boot{};
    if (perSecond <= 0 || ::clock_gettime(CLOCK_BOOTTIME, &boot) != 0) return std::nullopt;
    const auto sinceBoot = std::chrono::seconds(boot.tv_sec) + std::chrono::nanoseconds(boot.tv_nsec);
    const auto startedAt = std::chrono::duration<double>(static_cast<double>(ticks) / static_cast<double>(perSecond));
    const auto since = std::chrono::duration_cast<rx::Duration>(sinceBoot - startedAt);
    return since < rx::Duration::zero() ? rx::Duration::zero() : since;
}

}  // namespace vandrel
