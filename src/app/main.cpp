// Vandrel's entry point. Sets up logging and reports what started.
#include <QCoreApplication>

#include "foundation/log.h"

#include <cstdio>

namespace {
class ConsoleDestination : public vandrel::LogDestination {
public:
    void write(const vandrel::LogRecord& r) override
    {
        std::fprintf(stderr, "%.*s %.*s\n", int(r.message.size()), r.message.data(), int(r.context.size()),
                     r.context.data());
    }
};
}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    vandrel::log.addDestination(std::make_shared<ConsoleDestination>());
    vandrel::log.info("Vandrel started: foundation only, no keyboard engine yet");
    return 0;
}
