#include "platform/linux/input/input_permission.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <sstream>

#include "core/install_layout.h"
#include "platform/linux/input/evdev_device_source.h"

namespace vandrel {

InputPermission::Status InputPermission::check(const std::string& inputDirectory, const std::string& uinputPath)
{
    Status status;
    EvdevDeviceSource source(inputDirectory);
    for (const auto& path : source.scan()) {
        if (::access(path.c_str(), R_OK) != 0) {
            status.unreadableNodes.push_back(path);
            continue;
        }
        if (EvdevDeviceSource::isReadableKeyboard(path)) status.readableKeyboards.push_back(path);
    }
    std::error_code ec;
    status.uinputExists = std::filesystem::exists(uinputPath, ec);
    status.uinputWritable = status.uinputExists && ::access(uinputPath.c_str(), W_OK) == 0;
    return status;
}

bool InputPermission::granted(const std::string& inputDirectory, const std::string& uinputPath)
{
    if (::access(uinputPath.c_str(), W_OK) != 0) return false;
    EvdevDeviceSource source(inputDirectory);
    for (const auto& path : source.scan())
        if (::access(path.c_str(), R_OK) == 0 && EvdevDeviceSource::isReadableKeyboard(path)) return true;
    return false;
}

std::vector<std::string> InputPermission::missing(const Status& status, const std::string& uinputPath)
{
    std::vector<std::string> lines;
    if (status.granted()) return lines;
    if (status.readableKeyboards.empty()) {
        if (!status.unreadableNodes.empty())
            lines.push_back("read access to the keyboards under /dev/input (" +
                            std::to_string(status.unreadableNodes.size()) + " input devices refuse this user)");
        else
            lines.push_back("a keyboard: none was found under /dev/input");
    }
    if (!status.uinputExists)
        lines.push_back("the virtual-keyboard device " + uinputPath +
                        ": it does not exist (the uinput module is not loaded)");
    else if (!status.uinputWritable)
        lines.push_back("write access to " + uinputPath + ", which makes the virtual keyboard");
    return lines;
}

std::string InputPermission::grantCommands(const Status& status, const std::string& rule)
{
    if (status.granted()) return {};
    // An installed rule comes with the file that loads uinput at every boot.
    const bool installed = InstallLayout::udevReadsRule(rule);
    std::ostringstream out;
    if (!status.uinputExists) {
        out << "sudo modprobe uinput\n";
        if (!installed) out << "echo uinput | sudo tee /etc/modules-load.d/uinput.conf\n";
    }
    if (!installed) out << "sudo cp " << rule << " /etc/udev/rules.d/\n";
    out << "sudo udevadm control --reload-rules && sudo udevadm trigger\n";
    return out.str();
}

std::string InputPermission::explain(const Status& status, const std::string& uinputPath)
{
    if (status.granted()) return {};
    std::ostringstream out;
    out << "Vandrel cannot use the keyboard. Missing:\n";
    for (const auto& line : missing(status, uinputPath)) out << "- " << line << "\n";
    out << "To grant it for whoever is logged in at this screen (applies at once, no new login):\n";
    std::istringstream commands(grantCommands(status));
    for (std::string command; std::getline(commands, command);) out << "    " << command << "\n";
    out << "Or add yourself to the \"input\" group (applies after a new login):\n"
        << "    sudo usermod -aG input $USER\n"
        << "Vandrel waits and starts as soon as it has access. Until then no keyboard is grabbed.\n"
        << "More: " << helpTextPath() << "\n";
    return out.str();
}

std::string InputPermission::udevRulePath()
{
    return InstallLayout::udevRule().string();
}

std::string InputPermission::helpTextPath()
{
    return (InstallLayout::resourcesFolder() / "linux" / "input-permission.txt").string();
}

}  // namespace vandrel
