// The line protocol between a desktop test and its probe application (tests/vm/probe): one request line from
// the test, one reply line from the probe, in order. Texts travel escaped so that a reply is always one line.
//
//   hello <pid>                                  probe -> test, once, when its window is shown
//   focus <edit|line>                      -> ok | error <why>      the widget has Qt's and X's keyboard focus
//   set <edit|line> <anchor> <cursor> <text> -> ok                  text, then the selection from anchor to cursor
//   state <edit|line>                      -> ok <fields> text=<text>
//   keys                                   -> ok [+Name|-Name ...]  what X delivered since the last "keys"
//   clipboard                              -> ok text=<text>        the text of X's clipboard
//   clipboard-set <text>                   -> ok                    the probe takes X's clipboard with the text
//
// State fields: focus=<edit|line|none> active=<0|1> xfocus=<0|1: X's input focus is the window> sentinels=<F12 releases
// the text widgets received> quits=<times the Quit shortcut fired> anchor=<n> cursor=<n> (positions in UTF-16 units, as
// Qt counts them).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vandrel::vmtest {

// Backslash, newline, carriage return and tab become two-character escapes; everything else stays.
inline std::string escapeLine(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                out += c;
        }
    }
    return out;
}

// The reverse of escapeLine; nothing for a dangling or unknown escape.
inline std::optional<std::string> unescapeLine(std::string_view line)
{
    std::string out;
    out.reserve(line.size());
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] != '\\') {
            out += line[i];
            continue;
        }
        if (++i == line.size()) return std::nullopt;
        switch (line[i]) {
            case '\\':
                out += '\\';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            default:
                return std::nullopt;
        }
    }
    return out;
}

// The value of "name=" in a reply of space-separated fields. "text" is the last field and runs to the end of the
// line (it may hold spaces and even "x=" of its own), so the other fields are looked up only before it.
inline std::optional<std::string_view> replyField(std::string_view reply, std::string_view name)
{
    std::size_t textAt = reply.substr(0, 5) == "text=" ? 0 : reply.find(" text=");
    if (textAt != std::string_view::npos && textAt != 0) ++textAt;
    if (name == "text") {
        if (textAt == std::string_view::npos) return std::nullopt;
        return reply.substr(textAt + 5);
    }
    std::string_view head = reply.substr(0, textAt);
    while (!head.empty()) {
        const std::size_t end = head.find(' ');
        const std::string_view field = head.substr(0, end);
        if (field.size() > name.size() && field.substr(0, name.size()) == name && field[name.size()] == '=')
            return field.substr(name.size() + 1);
        if (end == std::string_view::npos) break;
        head.remove_prefix(end + 1);
    }
    return std::nullopt;
}

}  // namespace vandrel::vmtest
