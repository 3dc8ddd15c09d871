#include "platform/linux/input/key_code_table.h"

#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

#include <set>
#include <tuple>

#include "platform/hid_usage.h"
#include "platform/key_event.h"

namespace vandrel {
namespace {

TEST(KeyCodeTable, EveryEntryTranslatesBothWaysAndNoCodeRepeats)
{
    std::set<std::uint16_t> evdev;
    std::set<std::uint16_t> virtualCodes;
    for (const auto& entry : KeyCodeTable::entries()) {
        EXPECT_TRUE(evdev.insert(entry.evdevCode).second) << "evdev " << entry.evdevCode;
        EXPECT_TRUE(virtualCodes.insert(entry.virtualKeyCode).second) << "virtual " << entry.virtualKeyCode;
        EXPECT_EQ(KeyCodeTable::virtualKeyCode(entry.evdevCode), entry.virtualKeyCode);
        EXPECT_EQ(KeyCodeTable::evdevCode(entry.virtualKeyCode), entry.evdevCode);
    }
    EXPECT_EQ(KeyCodeTable::virtualKeyCode(KEY_PRINT), std::nullopt);
    EXPECT_EQ(KeyCodeTable::virtualKeyCode(KEY_CNT + 5), std::nullopt);
    EXPECT_EQ(KeyCodeTable::evdevCode(313), std::nullopt);  // the Caps-held pseudo key
}

TEST(KeyCodeTable, CoversEveryKeyOfTheKeyboardPageAndTheNamedKeys)
{
    for (std::uint32_t usage = 0; usage < 0x100; ++usage) {
        const auto code = HidUsage::keyCodeForUsage(usage);
        if (!code) continue;
        EXPECT_TRUE(KeyCodeTable::evdevCode(*code)) << "usage " << usage << " key code " << *code;
    }
    // Keys the program names beyond the keyboard page: Fn and the volume keys.
    for (std::uint16_t code : {63, 72, 73, 74}) EXPECT_TRUE(KeyCodeTable::evdevCode(code)) << code;
    EXPECT_EQ(KeyCodeTable::evdevCode(57), KEY_CAPSLOCK);
    EXPECT_EQ(KeyCodeTable::evdevCode(80), KEY_F19);
    EXPECT_EQ(KeyCodeTable::evdevCode(55), KEY_LEFTMETA);
    EXPECT_EQ(KeyCodeTable::evdevCode(58), KEY_LEFTALT);
    EXPECT_EQ(KeyCodeTable::virtualKeyCode(KEY_A), 0);
    EXPECT_EQ(KeyCodeTable::virtualKeyCode(KEY_ENTER), 36);
}

TEST(KeyCodeTable, ModifierFlagsOfBothSides)
{
    // Left and right keys of a modifier set the same flag.
    for (const auto& [left, right, flag] :
         {std::tuple{55, 54, EventFlags::maskCommand}, std::tuple{56, 60, EventFlags::maskShift},
          std::tuple{58, 61, EventFlags::maskAlternate}, std::tuple{59, 62, EventFlags::maskControl}}) {
        EXPECT_EQ(KeyCodeTable::modifierFlag(left), flag) << left;
        EXPECT_EQ(KeyCodeTable::modifierFlag(right), flag) << right;
    }
    EXPECT_EQ(KeyCodeTable::modifierFlag(63), EventFlags::maskSecondaryFn);
    EXPECT_EQ(KeyCodeTable::modifierFlag(57), 0u);
    EXPECT_EQ(KeyCodeTable::modifierFlag(0), 0u);
}

}  // namespace
}  // namespace vandrel
