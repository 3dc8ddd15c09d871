#include "net/ga_reporter.h"

#include "core/log.h"

// The analytics property of this program ("UA-<account>-<property>"); a build setting, empty unless defined.
#ifndef VANDREL_GA_TRACKER_ID
#define VANDREL_GA_TRACKER_ID ""
#endif

namespace vandrel {

std::string GAReporter::defaultTrackerId()
{
    return VANDREL_GA_TRACKER_ID;
}

GAReporter& GAReporter::shared()
{
    static GAReporter reporter;
    return reporter;
}

GAReporter::GAReporter(std::string trackerId, GoogleReporter& reporter)
    : trackerId_(std::move(trackerId)), ggReporter_(reporter)
{
}

bool GAReporter::isConfigured() const
{
    if (!trackerId_.empty() && !ggReporter_.collectionBaseUrl().empty()) return true;
    log.debug("Usage reporting is not set up in this build (no tracker id or collection address); nothing is sent.");
    return false;
}

void GAReporter::start()
{
    if (!isConfigured()) return;
    ggReporter_.configure(trackerId_);
    ggReporter_.session(true);
}

void GAReporter::stop()
{
    if (!isConfigured()) return;
    ggReporter_.session(false);
}

}  // namespace vandrel
