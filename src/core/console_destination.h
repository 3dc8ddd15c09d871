// The console destination: every line on standard error, in the shared line format with the console's
// five-character labels. ANSI colours only when standard error is a terminal. Lines logged through the logger
// are written on the destination's own thread (see log.h).
#pragma once

#include <memory>

#include "core/log.h"

namespace spdlog::sinks {
class sink;
}

namespace vandrel {

class ConsoleDestination final : public LogDestination {
public:
    ConsoleDestination();
    // A test or a capture can pass its own sink; colours are off then unless asked for.
    explicit ConsoleDestination(std::shared_ptr<spdlog::sinks::sink> sink, bool useColours = false);

    ~ConsoleDestination() override;

    void write(const LogRecord& record) override;
    bool usesColours() const { return useColours_; }

private:
    std::shared_ptr<spdlog::sinks::sink> sink_;
    bool useColours_;
};

}  // namespace vandrel
