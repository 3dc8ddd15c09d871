#include "platform/system_log.h"

#include <syslog.h>

#include <string>

namespace vandrel {

void systemLog(std::string_view message)
{
    const std::string text(message);
    ::syslog(LOG_USER | LOG_DEBUG, "%s", text.c_str());
}

}  // namespace vandrel
