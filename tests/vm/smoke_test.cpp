// Runs inside the test VM (see run-vm): the kernel input stack the Linux backend relies on, end to end.
#include <gtest/gtest.h>
#include <linux/input.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "harness/input_device.h"
#include "harness/key_log.h"
#include "harness/uinput_keyboard.h"

namespace vandrel::vmtest {
namespace {

using namespace std::chrono_literals;

constexpr auto kDeviceTimeout = 3000ms;
constexpr auto kEventTimeout = 2000ms;

// A keyboard plugged in for the test, and its evdev node opened the way the program under test opens keyboards.
class KernelInputStack : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::string name =
            std::string("Vandrel Smoke ") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        Result<UinputKeyboard> keyboard = UinputKeyboard::create(name);
        ASSERT_TRUE(keyboard) << keyboard.error();
        keyboard_.emplace(std::move(keyboard).value());
        Result<InputDevice> device = InputDevice::waitForName(name, kDeviceTimeout);
        ASSERT_TRUE(device) << device.error();
        device_.emplace(std::move(device).value());
    }

    std::optional<UinputKeyboard> keyboard_;
    std::optional<InputDevice> device_;
};

TEST(KernelInputDevices, UinputAndEvdevNodesExist)
{
    struct stat info {};
    ASSERT_EQ(stat("/dev/uinput", &info), 0) << "no /dev/uinput: is the uinput module loaded?";
    EXPECT_TRUE(S_ISCHR(info.st_mode));
    ASSERT_EQ(stat("/dev/input", &info), 0) << "no /dev/input: is the evdev module loaded?";
    EXPECT_TRUE(S_ISDIR(info.st_mode));
}

TEST_F(KernelInputStack, PluggedKeyboardAppearsWithItsIdentityAndKeys)
{
    EXPECT_EQ(device_->path(), keyboard_->devnode());
    EXPECT_EQ(device_->info().id.bustype, BUS_USB);
    EXPECT_EQ(device_->info().id.vendor, kTestKeyboardVendor);
    EXPECT_EQ(device_->info().id.product, kTestKeyboardProduct);
    for (int key : {KEY_ESC, KEY_A, KEY_CAPSLOCK, KEY_LEFTMETA, KEY_F19, KEY_KPENTER}) {
        EXPECT_TRUE(device_->hasKey(key)) << "key " << key;
    }
    EXPECT_FALSE(device_->hasKey(BTN_LEFT)) << "a keyboard must not look like a mouse";

    const std::vector<InputDeviceInfo> all = InputDevice::list();
    EXPECT_TRUE(std::any_of(all.begin(), all.end(), [&](const auto& info) { return info.path == device_->path(); }));

    Result<bool> grabbedElsewhere = device_->isGrabbedByOther();
    ASSERT_TRUE(grabbedElsewhere) << grabbedElsewhere.error();
    EXPECT_FALSE(*grabbedElsewhere);
}

TEST(KernelInputDevices, VirtualKeyboardIdentityIsFoundByBusVendorAndProduct)
{
    // A keyboard with the right name but another product must not be taken for it.
    const DeviceIdentity impostor{kVandrelVirtualKeyboard.name, BUS_USB, 0x5644, 0x0001};
    Result<UinputKeyboard> wrong = UinputKeyboard::create(impostor, {});
    ASSERT_TRUE(wrong) << wrong.error();
    Result<UinputKeyboard> keyboard = UinputKeyboard::create(kVandrelVirtualKeyboard, {});
    ASSERT_TRUE(keyboard) << keyboard.error();

    Result<InputDevice> device = InputDevice::waitForIdentity(kVandrelVirtualKeyboard, kDeviceTimeout);
    ASSERT_TRUE(device) << device.error();
    EXPECT_EQ(device->path(), keyboard->devnode());
    EXPECT_EQ(device->info().id.bustype, BUS_VIRTUAL);
}

TEST(KernelInputDevices, WaitingForAMissingDeviceGivesUpAndSaysWhatIsThere)
{
    Result<InputDevice> device = InputDevice::waitForName("No Such Keyboard", 100ms);
    ASSERT_FALSE(device);
    EXPECT_NE(device.error().find("No Such Keyboard"), std::string::npos) << device.error();
    EXPECT_NE(device.error().find("present:"), std::string::npos) << device.error();
}

TEST_F(KernelInputStack, GrabbedKeyboardDeliversTypedKeysInOrderOnlyToTheGrabber)
{
    Result<InputDevice> bystander = InputDevice::open(device_->path());
    ASSERT_TRUE(bystander) << bystander.error();

    ASSERT_TRUE(device_->grab()) << "grab failed";
    Result<bool> seenByBystander = bystander->isGrabbedByOther();
    ASSERT_TRUE(seenByBystander) << seenByBystander.error();
    EXPECT_TRUE(*seenByBystander);

    // Short enough for the kernel's per-reader buffer (64 events); a longer burst needs a reader that keeps up.
    const std::string text = "Hi, Vm!\n";
    ASSERT_TRUE(keyboard_->typeText(text));
    const std::vector<Key> expected = expectedKeys(text);
    const std::vector<input_event> events = device_->readKeyEvents(expected.size(), kEventTimeout);
    EXPECT_EQ(keysOf(events), expected);
    EXPECT_EQ(device_->droppedEvents(), 0);
    for (std::size_t i = 1; i < events.size(); ++i) {
        const auto earlier = events[i - 1].input_event_sec * 1'000'000 + events[i - 1].input_event_usec;
        const auto later = events[i].input_event_sec * 1'000'000 + events[i].input_event_usec;
        EXPECT_LE(earlier, later) << "event " << i << " is timestamped before its predecessor";
    }

    // A modifier chord arrives wrapped around its key.
    ASSERT_TRUE(keyboard_->chord({KEY_LEFTCTRL, KEY_LEFTALT}, KEY_T));
    const std::vector<Key> chord{{KEY_LEFTCTRL, 1}, {KEY_LEFTALT, 1}, {KEY_T, 1},
                                 {KEY_T, 0},        {KEY_LEFTALT, 0}, {KEY_LEFTCTRL, 0}};
    EXPECT_EQ(keysOf(device_->readKeyEvents(chord.size(), kEventTimeout)), chord);

    ASSERT_TRUE(device_->ungrab());
    seenByBystander = bystander->isGrabbedByOther();
    ASSERT_TRUE(seenByBystander) << seenByBystander.error();
    EXPECT_FALSE(*seenByBystander);

    // After the grab the bystander gets keys again, and none of those typed during it.
    ASSERT_TRUE(keyboard_->tap(KEY_Z));
    const std::vector<Key> afterGrab{{KEY_Z, 1}, {KEY_Z, 0}};
    EXPECT_EQ(keysOf(bystander->readKeyEvents(afterGrab.size(), kEventTimeout)), afterGrab);
    EXPECT_EQ(keysOf(device_->readKeyEvents(afterGrab.size(), kEventTimeout)), afterGrab);
}

TEST_F(KernelInputStack, EachKeyEventIsFollowedBySynReport)
{
    ASSERT_TRUE(keyboard_->press(KEY_Q));
    std::optional<input_event> key = device_->readEvent(kEventTimeout);
    std::optional<input_event> syn = device_->readEvent(kEventTimeout);
    ASSERT_TRUE(key && syn);
    EXPECT_EQ(key->type, EV_KEY);
    EXPECT_EQ(syn->type, EV_SYN);
    EXPECT_EQ(syn->code, SYN_REPORT);
    ASSERT_TRUE(keyboard_->release(KEY_Q));
}

TEST_F(KernelInputStack, HeldKeysShowInTheKernelKeyStateForEveryReader)
{
    Result<InputDevice> other = InputDevice::open(device_->path());
    ASSERT_TRUE(other) << other.error();
    ASSERT_TRUE(device_->grab());

    ASSERT_TRUE(keyboard_->press(KEY_LEFTCTRL));
    ASSERT_TRUE(keyboard_->press(KEY_A));
    ASSERT_EQ(device_->readKeyEvents(2, kEventTimeout).size(), 2u);
    Result<std::vector<int>> held = device_->pressedKeys();
    ASSERT_TRUE(held) << held.error();
    EXPECT_EQ(*held, (std::vector<int>{KEY_LEFTCTRL, KEY_A}));
    // The key state is the device's, so a reader shut out by the grab still sees it (how a grabber checks that no
    // key is down before it takes a keyboard).
    EXPECT_TRUE(other->isKeyDown(KEY_A));

    ASSERT_TRUE(keyboard_->release(KEY_A));
    ASSERT_TRUE(keyboard_->release(KEY_LEFTCTRL));
    ASSERT_EQ(device_->readKeyEvents(2, kEventTimeout).size(), 2u);
    held = device_->pressedKeys();
    ASSERT_TRUE(held) << held.error();
    EXPECT_TRUE(held->empty());
    EXPECT_FALSE(other->isKeyDown(KEY_A));
}

TEST_F(KernelInputStack, UnpluggedKeyboardEndsItsReadersAndLeavesTheList)
{
    const std::string path = device_->path();
    keyboard_.reset();
    // The removed device wakes its readers with an error instead of leaving them waiting.
    EXPECT_FALSE(device_->readEvent(kEventTimeout).has_value());
    const std::vector<InputDeviceInfo> all = InputDevice::list();
    EXPECT_FALSE(std::any_of(all.begin(), all.end(),
                             [&](const auto& info) { return info.path == path && info.name == device_->name(); }));
}

TEST_F(KernelInputStack, KeyRoundTripLatency)
{
    // 10,000 events: what the kernel adds between a write to uinput and a grabbed reader seeing it. Printed only;
    // the figure depends on the machine and the emulator.
    constexpr int kEvents = 10'000;
    ASSERT_TRUE(device_->grab());
    const KeyLatency latency = measureKeyLatency(*keyboard_, *device_, kEvents, kEventTimeout);
    ASSERT_EQ(latency.lost, 0) << "events missing or out of order";
    const double median = latency.median();
    const double p99 = latency.p99();
    std::cout << "uinput -> evdev round trip over " << latency.micros.size() << " events: median " << median
              << " us, p99 " << p99 << " us, max " << latency.max() << " us" << std::endl;
    RecordProperty("latency_median_us", std::to_string(median));
    RecordProperty("latency_p99_us", std::to_string(p99));
}

}  // namespace
}  // namespace vandrel::vmtest
