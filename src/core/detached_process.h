// Starts a program that lives on its own: in a session of its own, not our child (the process in between
// ends at once, so there is nothing to reap), holding only our standard input, output and error. What the
// desktop launcher and the login-item helper start. Thread-safe; the call returns once the program runs (its
// exec succeeded) or failed to start.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vandrel {

struct DetachedProcess {
    // argv[0] is the program, found on PATH when it has no '/'; workingDirectory empty: ours; environment
    // as "NAME=value" entries, absent: ours. The program's pid, or absent when it could not be started (no
    // such program, a working folder it cannot enter, no processes left): the reason is logged.
    static std::optional<std::int64_t> start(const std::vector<std::string>& argv,
                                             const std::string& workingDirectory = {},
                                             const std::optional<std::vector<std::string>>& environment = {});
};

}  // namespace vandrel
