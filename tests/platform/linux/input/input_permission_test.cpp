#include "platform/linux/input/input_permission.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "core/log_capture.h"
#include "platform/linux/input/evdev_device_source.h"

namespace vandrel {
namespace {

TEST(InputPermission, SaysWhatIsMissingAndHowToGrantIt)
{
    const auto dir = std::filesystem::temp_directory_path() / ("vandrel-input-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const auto status = InputPermission::check(dir.string(), (dir / "uinput").string());
    EXPECT_FALSE(status.granted());
    EXPECT_TRUE(status.readableKeyboards.empty());
    EXPECT_FALSE(status.uinputExists);
    // A writable virtual-keyboard node is not enough without a keyboard, nor a node that is no keyboard.
    std::ofstream(dir / "uinput").put('\n');
    std::ofstream(dir / "event0").put('\n');
    EXPECT_FALSE(InputPermission::granted(dir.string(), (dir / "uinput").string()));
    std::filesystem::remove(dir / "uinput");
    std::filesystem::remove(dir / "event0");
    const auto text = InputPermission::explain(status, (dir / "uinput").string());
    EXPECT_NE(text.find("none was found under /dev/input"), std::string::npos);
    EXPECT_NE(text.find("modprobe uinput"), std::string::npos);
    EXPECT_NE(text.find("70-vandrel-input.rules"), std::string::npos);

    InputPermission::Status refused;
    refused.unreadableNodes = {"/dev/input/event0"};
    refused.uinputExists = true;
    const auto refusedText = InputPermission::explain(refused);
    EXPECT_NE(refusedText.find("usermod -aG input"), std::string::npos);
    EXPECT_NE(refusedText.find("write access to /dev/uinput"), std::string::npos);
    EXPECT_EQ(refusedText.find("modprobe"), std::string::npos);
    // The guide shows the same, line by line, and copies the commands.
    EXPECT_EQ(InputPermission::missing(refused).size(), 2u);
    EXPECT_EQ(InputPermission::grantCommands(refused).find("sudo cp " + InputPermission::udevRulePath()), 0u);
    EXPECT_NE(InputPermission::grantCommands(refused).find("udevadm trigger"), std::string::npos);
    // A rule installed where udev reads it needs no copy, only the reload.
    InputPermission::Status noUinput = refused;
    noUinput.uinputExists = false;
    for (const auto& [rule, commands] : std::vector<std::pair<std::string, std::string>>{
             {"/usr/lib/udev/rules.d/70-vandrel-input.rules",
              "sudo modprobe uinput\nsudo udevadm control --reload-rules && sudo udevadm trigger\n"},
             {"/opt/v/share/vandrel/linux/70-vandrel-input.rules",
              "sudo modprobe uinput\necho uinput | sudo tee /etc/modules-load.d/uinput.conf\n"
              "sudo cp /opt/v/share/vandrel/linux/70-vandrel-input.rules /etc/udev/rules.d/\n"
              "sudo udevadm control --reload-rules && sudo udevadm trigger\n"}})
        EXPECT_EQ(InputPermission::grantCommands(noUinput, rule), commands) << rule;
    InputPermission::Status readOnly = refused;
    readOnly.readableKeyboards = {"/dev/input/event3"};
    EXPECT_EQ(InputPermission::missing(readOnly),
              (std::vector<std::string>{"write access to /dev/uinput, which makes the virtual keyboard"}));

    InputPermission::Status granted;
    granted.readableKeyboards = {"/dev/input/event3"};
    granted.uinputExists = granted.uinputWritable = true;
    EXPECT_TRUE(InputPermission::explain(granted).empty());
    EXPECT_TRUE(InputPermission::missing(granted).empty());
    EXPECT_TRUE(InputPermission::grantCommands(granted).empty());
    EXPECT_TRUE(std::filesystem::exists(InputPermission::udevRulePath()));
    EXPECT_TRUE(std::filesystem::exists(InputPermission::helpTextPath()));
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace vandrel

namespace vandrel {
namespace {

// The access guide polls while access is missing: a folder that cannot be listed is reported once, and again
// only after it could be listed in between.
TEST(EvdevDeviceSource, AListingFailureIsReportedOnceUntilItChanges)
{
    const auto dir = std::filesystem::temp_directory_path() / ("vandrel-missing-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    EvdevDeviceSource source(dir.string());
    test::ScopedLogCapture logged;
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(EvdevDeviceSource(dir.string()).scan().empty());
    EXPECT_EQ(logged->count(LogLevel::error), 1u);
    std::filesystem::create_directories(dir);
    EXPECT_TRUE(source.scan().empty());
    std::filesystem::remove_all(dir);
    source.scan();
    EXPECT_EQ(logged->count(LogLevel::error), 2u);
}

}  // namespace
}  // namespace vandrel
