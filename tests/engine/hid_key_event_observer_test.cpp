#include "engine/hid_key_event_observer.h"

#include <gtest/gtest.h>

#include "core/log_capture.h"
#include "engine/key_remap.h"
#include "platform/hid_usage.h"
#include "platform/sim/scenario.h"
#include "platform/sim/sim_platform.h"

namespace vandrel {
namespace {

struct HIDKeyEventObserverTest : ::testing::Test {
    std::shared_ptr<SimPlatform> sim = SimPlatform::make();
    HIDKeyEventObserver observer{sim};
    std::vector<bool> caps;
    std::vector<bool> shift;
    rx::DisposeBag bag;

    void SetUp() override
    {
        observer.isCapsDown.subscribe([this](bool v) { caps.push_back(v); }).disposed(bag);
        observer.isShiftDown.subscribe([this](bool v) { shift.push_back(v); }).disposed(bag);
        caps.clear();
        shift.clear();
    }
};

TEST_F(HIDKeyEventObserverTest, FollowsThePhysicalKeysBeneathTheMapping)
{
    Scenario(*sim).run("capslock down");  // not observing yet
    EXPECT_TRUE(caps.empty());
    Scenario(*sim).run("capslock up");
    KeyRemap::remap(*sim);
    observer.startObserving();
    observer.startObserving();  // once only: no doubled reports
    Scenario(*sim).run("capslock down, capslock up, a tap, shift down, rshift down, shift up, rshift up");
    EXPECT_EQ(caps, (std::vector<bool>{true, false}));
    EXPECT_EQ(shift, (std::vector<bool>{true, true, false, false}));

    // Reports off the keyboard page are ignored; a repeated report still emits.
    observer.ioHIDInputValueCallbackHandler({1, HidUsage::capsLock, 1});
    observer.ioHIDInputValueCallbackHandler({HidUsage::keyboardPage, HidUsage::capsLock, 0});
    EXPECT_EQ(caps, (std::vector<bool>{true, false, false}));
}

TEST_F(HIDKeyEventObserverTest, UnreadableKeyboardIsLoggedAndNothingMoves)
{
    test::ScopedLogCapture logs;
    sim->keyboard().setKeyObserverOpenFails(true);
    observer.startObserving();
    EXPECT_TRUE(logs->contains(LogLevel::error, "Looks like can't open HID?, but all thing work during teting..."));
    Scenario(*sim).run("capslock tap");
    EXPECT_TRUE(caps.empty());

    HIDKeyEventObserver without(nullptr);
    without.startObserving();
    EXPECT_TRUE(logs->contains(LogLevel::error, "Can't create manager"));
}

}  // namespace
}  // namespace vandrel
