// Log tails for test output.
#pragma once

#include <deque>
#include <sstream>
#include <string>
#include <string_view>

namespace vandrel::vmtest {

// The last `count` lines of `text`, each with `indent` before it and a newline after it.
inline std::string lastLines(const std::string& text, std::size_t count, std::string_view indent = {})
{
    std::deque<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
        if (lines.size() > count) lines.pop_front();
    }
    std::string out;
    for (const std::string& line : lines) out += std::string(indent) + line + "\n";
    return out;
}

}  // namespace vandrel::vmtest
