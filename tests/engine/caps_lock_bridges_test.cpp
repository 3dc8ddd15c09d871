// KeyRemap, ObjcHelper and VdrCore: the Caps Lock mapping, the lock state and the access check.
#include <gtest/gtest.h>

#include "engine/key_remap.h"
#include "engine/objc_helper.h"
#include "engine/vdr_core.h"
#include "platform/sim/scenario.h"
#include "platform/sim/sim_platform.h"

namespace vandrel {
namespace {

const KeyMappingEntry kToF19{0x700000039, 0x70000006E};
const KeyMappingEntry kIdentity{0x700000039, 0x700000039};

TEST(KeyRemap, RemapSendsF19AndUnremapRestoresCapsLock)
{
    auto sim = SimPlatform::make();
    PlatformInstallation installed(sim);
    KeyRemap::unremap();  // alone, as the removal switch does
    EXPECT_EQ(sim->keyboard().userKeyMapping(), std::vector<KeyMappingEntry>{kIdentity});

    KeyRemap::remap();
    KeyRemap::remap();
    EXPECT_EQ(KeyRemap::remapList(), std::vector<KeyMappingEntry>{kToF19});
    EXPECT_EQ(sim->keyboard().userKeyMappingApplyCount(), 3);
    Scenario s(*sim);
    EXPECT_EQ(s.run("capslock tap").passed(), "f19 down, f19 up");

    KeyRemap::unremap();
    EXPECT_EQ(KeyRemap::remapList(), std::vector<KeyMappingEntry>{kIdentity});
    s.clear();
    EXPECT_EQ(s.run("capslock down").passed(), "capslock flags [caps]");
}

TEST(ObjcHelper, QueriesSetsAndTogglesTheLock)
{
    auto sim = SimPlatform::make();
    auto& hid = sim->keyboard();
    hid.setCapsLockLockState(true);
    EXPECT_EQ(ObjcHelper::capslockState(*sim, 9), 1);
    EXPECT_EQ(ObjcHelper::capslockState(*sim, 0), 0);
    EXPECT_EQ(ObjcHelper::capslockState(*sim, 9), 0);
    EXPECT_EQ(ObjcHelper::capslockState(*sim, -1), 0);
    EXPECT_EQ(hid.capsLockLockState(), true);
    EXPECT_EQ(ObjcHelper::capslockState(*sim, -1), 0);
    EXPECT_EQ(hid.capsLockLockState(), false);
    EXPECT_EQ(ObjcHelper::capslockState(*sim, 1), 0);
    EXPECT_EQ(ObjcHelper::capslockState(*sim, 5), 0);
    EXPECT_EQ(hid.capsLockLockState(), true);

    // A failure is an error code that is never taken for "on".
    hid.setCapsLockStateFails(true);
    for (int request : {9, -1, 0, 1}) {
        const auto result = ObjcHelper::capslockState(*sim, request);
        EXPECT_NE(result, 0);
        EXPECT_NE(result, 1);
    }
    EXPECT_EQ(ObjcHelper::capslockState(9), 0);  // no platform installed
}

TEST(VdrCore, AccessCheckGoesThroughThePlatform)
{
    EXPECT_FALSE(VdrCore::hasAXPermission());  // no platform installed
    auto sim = SimPlatform::make();
    PlatformInstallation installed(sim);
    EXPECT_TRUE(VdrCore::hasAXPermission());
    sim->setInputAccessTrusted(false);
    EXPECT_FALSE(VdrCore::hasAXPermission());
    EXPECT_EQ(sim->trustPromptCount(), 0);
    VdrCore::promptToGetAXPermission();
    EXPECT_EQ(sim->trustPromptCount(), 1);
    VdrCore::postKeyEventWithVKeyCode(38, true);
    EXPECT_EQ(Scenario::describe(sim->keyboard().postedEvents()), "j down");
}

}  // namespace
}  // namespace vandrel
