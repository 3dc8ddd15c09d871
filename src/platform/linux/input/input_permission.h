// Whether this process may watch and rewrite keyboard input on Linux: it must read the keyboards
// (/dev/input/event*) and write /dev/uinput. When it may not, explain() says exactly what is missing and
// how to grant it (the udev rule that comes with the program, whose "uaccess" tag applies at once, or the input
// group, which needs a new login).
#pragma once

#include <string>
#include <vector>

namespace vandrel {

class InputPermission {
public:
    struct Status {
        std::vector<std::string> readableKeyboards;
        std::vector<std::string> unreadableNodes;  // event nodes we may not open
        bool uinputExists = false;
        bool uinputWritable = false;

        bool granted() const { return !readableKeyboards.empty() && uinputWritable; }
    };

    static Status check(const std::string& inputDirectory = "/dev/input",
                        const std::string& uinputPath = "/dev/uinput");
    // check(...).granted(), stopping at the first readable keyboard: it opens one device where check() opens
    // every one (each open costs on a slow machine, and the start-up waits for this answer).
    static bool granted(const std::string& inputDirectory = "/dev/input",
                        const std::string& uinputPath = "/dev/uinput");

    // Empty when granted; otherwise what is missing and the steps to grant it.
    static std::string explain(const Status& status, const std::string& uinputPath = "/dev/uinput");
    // What is missing, one line each ("read access to the keyboards ..."); empty when granted.
    static std::vector<std::string> missing(const Status& status, const std::string& uinputPath = "/dev/uinput");
    // The shell commands that grant it through the udev rule at `rule`, one per line; empty when granted. A rule
    // installed where udev reads it needs only the reload; one elsewhere is copied to /etc/udev/rules.d first.
    static std::string grantCommands(const Status& status, const std::string& rule = udevRulePath());

    // The udev rule that comes with the program (the installed one, else the resources' copy) and the help text.
    static std::string udevRulePath();
    static std::string helpTextPath();
};

}  // namespace vandrel
