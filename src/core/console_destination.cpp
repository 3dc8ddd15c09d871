#include "core/console_destination.h"

#include <spdlog/details/log_msg.h>
#include <spdlog/sinks/stdout_sinks.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <string_view>

#include "core/log_line_format.h"

namespace vandrel {

namespace {

constexpr std::array<std::string_view, 5> kColours = {
    "\x1b[90m",  // verbose: grey
    "\x1b[36m",  // debug: cyan
    "\x1b[32m",  // info: green
    "\x1b[33m",  // warning: yellow
    "\x1b[31m",  // error: red
};
constexpr std::string_view kColourEnd = "\x1b[0m";

}  // namespace

ConsoleDestination::ConsoleDestination()
    : ConsoleDestination(std::make_shared<spdlog::sinks::stderr_sink_mt>(), isatty(fileno(stderr)) == 1)
{
}

ConsoleDestination::ConsoleDestination(std::shared_ptr<spdlog::sinks::sink> sink, bool useColours)
    : sink_(std::move(sink)), useColours_(useColours)
{
    sink_->set_pattern("%v");
    setMinLevel(LogLevel::debug);
    startAsync();
}

ConsoleDestination::~ConsoleDestination()
{
    stopAsync();
}

void ConsoleDestination::write(const LogRecord& record)
{
    const std::string line = useColours_
                                 ? LogLineFormat::render(record, LogLineFormat::consoleLabels,
                                                         kColours[static_cast<std::size_t>(record.level)], kColourEnd)
                                 : LogLineFormat::render(record, LogLineFormat::consoleLabels);
    const spdlog::details::log_msg message(spdlog::string_view_t("vandrel"), spdlog::level::info,
                                           spdlog::string_view_t(line.data(), line.size()));
    try {
        sink_->log(message);
    } catch (...) {
        // A closed or full standard error must not take the caller down.
    }
}

}  // namespace vandrel
