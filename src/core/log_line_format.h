// The line format shared by the console and the file destination:
//
//   YY.MM.dd HH:mm:ss.SSS <C>|<label>| <c><thread> <C>| <file>.<function>:<line>\t|<c> <message> <C><context><c>
//
// <C> and <c> open and close the level's colour; the file passes empty colours.
#pragma once

#include <array>
#include <chrono>
#include <source_location>
#include <string>
#include <string_view>

#include "core/log.h"

namespace vandrel {

class LogLineFormat {
public:
    using Labels = std::array<std::string_view, 5>;

    // Five characters wide; the warning label starts with U+FE0F.
    static const Labels consoleLabels;
    // Three characters wide; the warning label starts with U+FE0F.
    static const Labels fileLabels;

    static std::string render(const LogRecord& record, const Labels& labels, std::string_view colourStart = {},
                              std::string_view colourEnd = {});

    // Local time as "YY.MM.dd HH:mm:ss.SSS" with the calendar year.
    static std::string dateText(std::chrono::system_clock::time_point time);
    // The source file's name without folder and extension.
    static std::string_view fileName(const std::source_location& location);
    // The bare name of the calling function: "initLogger" for "void vandrel::LogManager::initLogger()".
    static std::string_view functionName(const std::source_location& location);
};

}  // namespace vandrel
