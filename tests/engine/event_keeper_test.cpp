#include "engine/event_keeper.h"

#include <gtest/gtest.h>

#include <set>

#include "core/popup_msg.h"
#include "engine/engine_fixture.h"

namespace vandrel::test {
namespace {

using B = BuiltInVDAction;
using P = VDAtomicActionParam;

struct EventKeeperTest : EngineTest {
    std::vector<std::string> messages;
    PopupPresenter popup = [this](const std::string& m, double) { messages.push_back(m); };

    static std::set<std::string> ids(const EventKeeper& table)
    {
        std::set<std::string> out;
        for (const auto& [id, entry] : table.keyActions) out.insert(id);
        return out;
    }
};

const std::set<std::string> hiddenIds{"30039",  "1f000d", "1f000e", "1f0000", "1f0001",
                                      "1f0002", "1f0003", "1f0028", "1f0025"};

TEST_F(EventKeeperTest, EveryTableCarriesTheNineHiddenKeysUnderLowerCaseIds)
{
    const auto empty = VDKeyScheme::make("Empty", "", VDKeySchemeType::custom, {});
    const EventKeeper table(*empty);
    EXPECT_EQ(ids(table), hiddenIds);
    EXPECT_EQ(ids(EventKeeper()), hiddenIds);
    EXPECT_EQ(table.keyActions.count("1F000D"), 0u);
    EXPECT_EQ(table.keyActions.at("30039").action, B::toggleCapslock());
    for (const auto& [id, entry] : table.keyActions) {
        EXPECT_TRUE(entry.paramSequence.empty()) << id;
        if (id != "30039") {
            EXPECT_EQ(entry.action->idName(), "") << id;
        }
    }
}

TEST_F(EventKeeperTest, LaterSettingsWinAndConflictingKeysLeaveTheDeliveredTable)
{
    const VDKey capsD(2, {57});
    const auto scheme = VDKeyScheme::make(
        "S", "", VDKeySchemeType::custom,
        {VDKeySetting::make(capsD, B::moveDownN(), {P::times(1)}),
         VDKeySetting::make(EventKeeper::allModifiers_W(), B::moveUpN(), {P::times(2)}),
         VDKeySetting::make(capsD, B::moveUpN(), {P::times(3)}), VDKeySetting::make(VDKey(1, {57}), B::moveLeftN(), {}),
         VDKeySetting::make(EventKeeper::allModifiers_K(), B::noAction(), {}),
         VDKeySetting::make(EventKeeper::allModifiers_K(), B::noAction(), {})});
    const auto table = std::make_shared<const EventKeeper>(*scheme);
    EXPECT_EQ(table->keyActions.at("10002").action, B::moveUpN());
    EXPECT_EQ(table->keyActions.at("1f000d").action, B::moveUpN());  // replaces the hidden key

    const auto delivered = EventKeeper::withoutConflicting(table, scheme);
    ASSERT_NE(delivered, nullptr);
    EXPECT_EQ(delivered->keyActions.count("10002"), 0u);
    EXPECT_EQ(delivered->keyActions.count("1f0028"), 0u);  // a hidden key bound twice goes too
    EXPECT_EQ(delivered->keyActions.at("1f000d").action, B::moveUpN());
    EXPECT_EQ(delivered->keyActions.count("10001"), 1u);
    EXPECT_EQ(table->keyActions.count("10002"), 1u);  // the source table is untouched

    EXPECT_EQ(EventKeeper::withoutConflicting(nullptr, scheme), nullptr);
    EXPECT_EQ(EventKeeper::withoutConflicting(table, nullptr), nullptr);
}

TEST_F(EventKeeperTest, HiddenWindowInfoAndKeyboardMapKeys)
{
    const EventKeeper table({}, popup);
    // Nothing focused: only the message.
    table.keyActions.at("1f000d").action->doWithParamSequence({});
    EXPECT_EQ(messages, std::vector<std::string>{localized("_get_focused_window_fail")});
    EXPECT_FALSE(logged->contains(LogLevel::warning, "Focused window's info get by all_modifiers_W ->\n"));

    int shown = 0;
    EventKeeper(*VDKeyScheme::make("Empty", "", VDKeySchemeType::custom, {}), [&] { ++shown; })
        .keyActions.at("1f0028")
        .action->doWithParamSequence({});
    EXPECT_EQ(shown, 1);
    table.keyActions.at("1f0028").action->doWithParamSequence({});
    EXPECT_TRUE(logged->contains(LogLevel::warning, "The keyboard map is not available in this build, nothing shown"));

    // The core object's tables open the map on its main queue.
    VandrelServices services;
    services.showKeyboardMap = [&] { ++shown; };
    makeCore(services).keyService->setUpAtLaunch();
    core->keyService->currentEventKeeper.value()->keyActions.at("1f0028").action->doWithParamSequence({});
    EXPECT_EQ(shown, 1);  // queued on the main queue
    clock->runDue();
    EXPECT_EQ(shown, 2);
}

}  // namespace
}  // namespace vandrel::test
