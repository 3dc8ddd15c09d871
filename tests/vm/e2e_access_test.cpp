// Runs inside the test VM: the real program started as an ordinary user who may read the keyboards but not write
// /dev/uinput. It says what is missing and touches no keyboard; once the test grants the access, the engine starts
// in the same run and typing passes through it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <iostream>

#include "e2e_support.h"

namespace vandrel::vmtest {
namespace {

constexpr uid_t kUser = 1000;
constexpr gid_t kGroup = 1000;
constexpr const char* kUinput = "/dev/uinput";

class InputAccess : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(plugKeyboardWithNode(keyboard_, node_));
        // The keyboards are readable for everyone (as for a member of the input group), uinput is root's.
        for (const auto& entry : std::filesystem::directory_iterator("/dev/input"))
            if (entry.path().filename().string().starts_with("event")) ::chmod(entry.path().c_str(), 0644);
        ASSERT_EQ(::chmod(kUinput, 0600), 0);
    }

    void TearDown() override
    {
        ::chmod(kUinput, 0600);
        if (HasFailure() && run_) std::cout << "program output:\n" << run_->log() << std::endl;
    }

    bool physicalGrabbed()
    {
        Result<bool> grabbed = node_->isGrabbedByOther();
        EXPECT_TRUE(grabbed) << grabbed.error();
        return grabbed && grabbed.value();
    }

    static bool outputKeyboardExists()
    {
        for (const InputDeviceInfo& device : InputDevice::list())
            if (kVandrelVirtualKeyboard.matches(device.name, device.id)) return true;
        return false;
    }

    std::optional<UinputKeyboard> keyboard_;
    std::optional<InputDevice> node_;
    std::optional<ProgramRun> run_;
};

TEST_F(InputAccess, WithoutUinputTheGuideSaysSoAndTheGrantStartsTheEngineWithoutARestart)
{
    run_ = ProgramRun::launch(
        {}, {},
        {"/usr/bin/setpriv", "--reuid=" + std::to_string(kUser), "--regid=" + std::to_string(kGroup), "--clear-groups"},
        std::make_pair(kUser, kGroup));
    ASSERT_TRUE(run_);
    ASSERT_TRUE(run_->process().waitForErrorOutput("Input access guide:", kProgramStartTimeout)) << run_->log();
    EXPECT_TRUE(run_->waitForOutputCount("write access to /dev/uinput, which makes the virtual keyboard", 1))
        << run_->log();
    EXPECT_TRUE(run_->waitForOutputCount("sudo udevadm control --reload-rules && sudo udevadm trigger", 1));
    EXPECT_EQ(run_->log().find("read access to the keyboards"), std::string::npos) << "the keyboards are readable";

    // Typing reaches applications straight from the keyboard, nothing is grabbed or made.
    ASSERT_TRUE(keyboard_->typeText("x"));
    EXPECT_EQ(keysOf(node_->readKeyEvents(2, kKeyTimeout)), expectedKeys("x"));
    EXPECT_FALSE(physicalGrabbed());
    EXPECT_FALSE(outputKeyboardExists());
    EXPECT_EQ(run_->log().find("Keyboard engine started"), std::string::npos);
    EXPECT_TRUE(run_->process().running());

    ASSERT_EQ(::chmod(kUinput, 0666), 0);
    ASSERT_TRUE(run_->waitForEngine());
    EXPECT_TRUE(run_->waitForOutputCount("Input access granted; starting", 1));
    ASSERT_TRUE(run_->waitForOutputCount("Keyboard grabbed -> " + keyboard_->name(), 1)) << run_->log();
    EXPECT_TRUE(physicalGrabbed());
    ASSERT_TRUE(keyboard_->typeText("typed"));
    EXPECT_EQ(run_->keysBeforeSentinel(*keyboard_), expectedKeys("typed"));

    run_->process().signal(SIGTERM);
    const std::optional<ExitStatus> status = run_->process().wait(kProgramStartTimeout);
    ASSERT_TRUE(status) << "still running after SIGTERM";
    EXPECT_TRUE(status->exitedWith(0)) << status->describe();
    EXPECT_FALSE(physicalGrabbed());
}

}  // namespace
}  // namespace vandrel::vmtest
