// What /proc tells of a running process: its executable, its name and when it started (which tells a process
// from a later one that got the same pid).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vandrel {

struct DesktopProcess {
    std::int32_t pid = 0;
    std::string executablePath;  // empty when it cannot be read (another user's process)
    std::string comm;
    std::uint64_t startTime = 0;  // clock ticks after boot

    // Absent when there is no such process.
    static std::optional<DesktopProcess> read(std::int32_t pid);
    // Only the start time; absent when there is no such process.
    static std::optional<std::uint64_t> startTimeOf(std::int32_t pid);
};

}  // namespace vandrel
