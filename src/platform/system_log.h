// The system log (syslog on Linux), for the diagnostics of the thin window and application wrappers, which
// are the desktop's business rather than the program's own log.
#pragma once

#include <string_view>

namespace vandrel {

void systemLog(std::string_view message);

}  // namespace vandrel
