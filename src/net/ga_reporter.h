// The program's usage-reporting session: start() when the program starts, stop() when it quits. Both send
// only with the user's consent, and only in a build that has a tracker id and a collection address;
// otherwise one debug line says why nothing was sent.
#pragma once

#include <string>

#include "net/google_reporter.h"

namespace vandrel {

class GAReporter {
public:
    // The tracker id this build was made with (empty unless configured at build time).
    static std::string defaultTrackerId();

    static GAReporter& shared();

    explicit GAReporter(std::string trackerId = defaultTrackerId(),
                        GoogleReporter& reporter = GoogleReporter::shared());

    const std::string& trackerId() const { return trackerId_; }

    // Hands the tracker id to the sender, then sends the session-start hit.
    void start();
    // Sends the session-end hit.
    void stop();

private:
    bool isConfigured() const;

    std::string trackerId_;
    GoogleReporter& ggReporter_;
};

}  // namespace vandrel
