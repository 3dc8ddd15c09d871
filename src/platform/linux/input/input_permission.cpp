#include "platform/linux/input/input_permission.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <sstream>

#include "platform/linux/input/evdev_device_source.h"

#ifndef VANDREL_RESOURCES_DIR
#define VANDREL_RESOURCES_DIR "resources"
#endif

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

std::string InputPermission::explain(const Status& status, const std::string& uinputPath)
{
    if (status.granted()) return {};
    std::ostringstream out;
    out << "Vandrel cannot use the keyboard:\n";
    if (status.readableKeyboards.empty()) {
        if (!status.unreadableNodes.empty())
            out << "- the keyboards under /dev/input cannot be read (" << status.unreadableNodes.size()
                << " input devices refuse this user); add yourself to the \"input\" group:\n"
                << "    sudo usermod -aG input $USER\n";
        else
            out << "- no keyboard was found under /dev/input\n";
    }
    if (!status.uinputExists) {
        out << "- " << uinputPath << " does not exist; load the uinput module:\n"
            << "    sudo modprobe uinput\n"
            << "  (to load it at every start: echo uinput | sudo tee /etc/modules-load.d/uinput.conf)\n";
    }
    if (!status.uinputWritable) {
        out << "- " << uinputPath << " cannot be written; install the udev rule that gives it to the \"input\" group:\n"
            << "    sudo cp " << udevRulePath() << " /etc/udev/rules.d/\n"
            << "    sudo udevadm control --reload-rules && sudo udevadm trigger\n";
    }
    out << "Then log out and in again so the group takes effect. Until then no keyboard is grabbed.\n"
        << "More: " << helpTextPath() << "\n";
    return out.str();
}

std::string InputPermission::udevRulePath()
{
    return std::string(VANDREL_RESOURCES_DIR) + "/linux/70-vandrel-uinput.rules";
}

std::string InputPermission::helpTextPath()
{
    return std::string(VANDREL_RESOURCES_DIR) + "/linux/input-permission.txt";
}

}  // namespace vandrel
