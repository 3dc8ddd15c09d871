#include "core/log_line_format.h"

#include <cstdio>
#include <ctime>

namespace vandrel {

const LogLineFormat::Labels LogLineFormat::consoleLabels = {"VERB ", "DEBUG", "INFO ", "\xEF\xB8\x8FWARN ", "ERROR"};
const LogLineFormat::Labels LogLineFormat::fileLabels = {"VER", "DEB", "INF", "\xEF\xB8\x8FWRN", "ERR"};

std::string LogLineFormat::dateText(std::chrono::system_clock::time_point time)
{
    const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    std::tm local{};
    localtime_r(&seconds, &local);
    long long millis = std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count() % 1000;
    if (millis < 0) millis += 1000;
    char text[48];
    // %y: the calendar year's last two digits (not the week-based year, which is wrong around New Year).
    const std::size_t n = std::strftime(text, sizeof text, "%y.%m.%d %H:%M:%S", &local);
    std::string out(text, n);
    char ms[8];
    std::snprintf(ms, sizeof ms, ".%03lld", millis);
    return out + ms;
}

std::string_view LogLineFormat::fileName(const std::source_location& location)
{
    std::string_view path = location.file_name();
    if (const auto slash = path.find_last_of('/'); slash != std::string_view::npos) path.remove_prefix(slash + 1);
    if (const auto dot = path.find_last_of('.'); dot != std::string_view::npos && dot > 0) path = path.substr(0, dot);
    return path;
}

std::string_view LogLineFormat::functionName(const std::source_location& location)
{
    std::string_view text = location.function_name();
    if (const auto with = text.find(" [with "); with != std::string_view::npos) text = text.substr(0, with);
    // A lambda is named after the function around it.
    if (const auto lambda = text.find("::<lambda"); lambda != std::string_view::npos) text = text.substr(0, lambda);
    while (!text.empty() && text.back() != ')') text.remove_suffix(1);  // " const", " &&", ...
    if (text.empty()) return location.function_name();
    // The parameter list: walk back from the last ')' to its '('.
    int depth = 0;
    std::size_t open = std::string_view::npos;
    for (std::size_t i = text.size(); i-- > 0;) {
        if (text[i] == ')') ++depth;
        if (text[i] == '(' && --depth == 0) {
            open = i;
            break;
        }
    }
    if (open == std::string_view::npos) return location.function_name();
    text = text.substr(0, open);
    // Drop the qualifiers and return type, skipping template arguments.
    int angle = 0;
    for (std::size_t i = text.size(); i-- > 0;) {
        const char c = text[i];
        if (c == '>') ++angle;
        if (c == '<') --angle;
        if (angle == 0 && (c == ':' || c == ' ' || c == '*' || c == '&')) return text.substr(i + 1);
    }
    return text;
}

std::string LogLineFormat::render(const LogRecord& record, const Labels& labels, std::string_view colourStart,
                                  std::string_view colourEnd)
{
    const std::string_view label = labels[static_cast<std::size_t>(record.level)];
    const std::string_view file = fileName(record.location);
    const std::string_view function = functionName(record.location);
    const std::string lineNumber = std::to_string(record.location.line());
    const std::string date = dateText(record.time);

    std::string line;
    line.reserve(64 + date.size() + record.threadLabel.size() + file.size() + function.size() + record.message.size() +
                 record.context.size() + 4 * colourStart.size());
    line += date;
    line += ' ';
    line += colourStart;
    line += '|';
    line += label;
    line += "| ";
    line += colourEnd;
    line += record.threadLabel;
    line += ' ';
    line += colourStart;
    line += "| ";
    line += file;
    line += '.';
    line += function;
    line += ':';
    line += lineNumber;
    line += '\t';
    line += '|';
    line += colourEnd;
    line += ' ';
    line += record.message;
    line += ' ';
    line += colourStart;
    line += record.context;
    line += colourEnd;
    return line;
}

}  // namespace vandrel
