// Every binding of the default layout through the whole engine on the simulated platform: hold Caps, press
// the key with its modifiers, and what reaches the output must be what the bound action posts when run
// directly with the setting's parameters.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "catalogue/build_in_vd_key_scheme.h"
#include "catalogue/built_in_vd_action.h"
#include "catalogue/catalogue_fixture.h"
#include "core/defaults_keys.h"

namespace vandrel::test {
namespace {

using B = BuiltInVDAction;

constexpr int kCapsLock = 57;

struct DefaultLayoutWalkTest : EngineTest, TestApplications {
    DefaultLayoutWalkTest()
    {
        settings->set(DefaultsKeys::experimental_hotstring, true);  // the layout then carries its hotstring row
        addTo(sim->workspace());
        bringToFront(editorId);
    }

    void bringToFront(const std::string& id)
    {
        TestApplications::bringToFront(sim->workspace(), id);
        clock->runDue();
    }

    // The Scenario steps that press the setting's key the way a user does: Caps held (or tapped alone), the
    // other modifier keys around the key.
    static std::string stepsFor(const VDKey& key)
    {
        if (key.keycode() == kCapsLock && key.modifiers().empty()) return "capslock tap";
        std::string down = "capslock down";
        std::string up;
        for (const int modifier : key.modifiers()) {
            if (modifier == kCapsLock) continue;
            const std::string name = Scenario::nameOfKeyCode(static_cast<std::uint16_t>(modifier));
            down += ", " + name + " down";
            up = name + " up, " + up;
        }
        return down + ", " + Scenario::nameOfKeyCode(static_cast<std::uint16_t>(key.keycode())) + " tap, wait 0.01, " +
               up + "capslock up";
    }

    // Through the engine: keys in, strokes out, with whatever the actions queued on the main queue. Nothing
    // may reach the applications.
    std::string pressed(const VDKey& key)
    {
        scenario.clear();
        scenario.run(stepsFor(key));
        clock->runDue();
        drainMainQueue();
        EXPECT_EQ(scenario.passed(), "") << stepsFor(key);
        return scenario.posted();
    }

    // The action's own body with the setting's parameters, on the main queue as the engine runs it.
    std::string direct(const VDKeySetting& setting)
    {
        scenario.clear();
        setting.action()->doWithParamSequence(setting.paramSequence());
        drainMainQueue();
        return scenario.posted();
    }

    std::size_t unavailableWarnings(const std::string& idName) const
    {
        std::size_t n = 0;
        for (const auto& e : logged->entries())
            if (e.level == LogLevel::warning && e.message == "The service of this action is not available yet ->" &&
                e.context == idName)
                ++n;
        return n;
    }
};

// The actions that hand their work to a service of a higher layer instead of typing.
bool isServiceAction(const VDActionPtr& action)
{
    const auto group = action->group();
    return group == VDActionGroup::windowBinding || group == VDActionGroup::multiClipboard ||
           group == VDActionGroup::others || action == B::showPreferences() || action == B::showCheatSheet();
}

TEST_F(DefaultLayoutWalkTest, EveryKeyOfTheDefaultLayoutPostsWhatItsActionPosts)
{
    makeCore().start();
    clock->runDue();
    const auto scheme = core->keyService->activeKeyScheme.value();
    ASSERT_NE(scheme, nullptr);
    ASSERT_EQ(scheme->name.value(), "Vandrel");
    const auto settingsOfScheme = scheme->keySettings.value();
    ASSERT_EQ(settingsOfScheme.size(), 86u);
    ASSERT_TRUE(scheme->conflictingKeySettings.value().empty());

    std::size_t strokeRows = 0;
    std::size_t serviceRows = 0;
    for (const char* app : {editorId, emulatorId, systemTerminalId}) {
        bringToFront(app);
        for (const auto& setting : settingsOfScheme) {
            SCOPED_TRACE(std::string(app) + ": " + stepsFor(setting->key()) + " -> " + setting->description());
            const auto& action = setting->action();
            logged->clear();
            const std::string viaKeys = pressed(setting->key());
            EXPECT_EQ(logged->count(LogLevel::error), 0u);
            EXPECT_EQ(core->state->lastExecAction(), action);
            if (isServiceAction(action)) {
                // No service is installed in this run: a warning, nothing typed.
                EXPECT_EQ(viaKeys, "");
                EXPECT_EQ(unavailableWarnings(action->idName()), 1u);
                ++serviceRows;
                continue;
            }
            EXPECT_EQ(logged->count(LogLevel::warning), 0u);
            const std::string body = direct(*setting);
            EXPECT_EQ(viaKeys, body);
            if (std::string(app) == editorId) {
                EXPECT_NE(viaKeys, "");  // every stroke row types in an editor
            }
            ++strokeRows;
        }
    }
    EXPECT_EQ(serviceRows, 3u * (2 + 20 + 8 + 1));
    EXPECT_EQ(strokeRows, 3u * (86 - 31));

    // A few rows spelled out, so a body and its binding cannot drift together unnoticed.
    bringToFront(editorId);
    EXPECT_EQ(pressed(VDKey(kCapsLock, {})), "esc down, esc up");
    EXPECT_EQ(pressed(VDKey(49, {kCapsLock})), "return down, return up");
    EXPECT_EQ(pressed(VDKey(14, {kCapsLock, 55})), "up down, up up, up down, up up, up down, up up");
    EXPECT_EQ(pressed(VDKey(35, {kCapsLock})), "cmd down, left down [cmd], left up [cmd], cmd up");
    // The engine's working environment follows the front application: there its terminal variants.
    bringToFront(emulatorId);
    EXPECT_EQ(pressed(VDKey(35, {kCapsLock})), "ctrl down, a down [ctrl], a up [ctrl], ctrl up");
    bringToFront(systemTerminalId);
    EXPECT_EQ(pressed(VDKey(33, {kCapsLock})), "u down [ctrl], u up [ctrl]");
}

}  // namespace
}  // namespace vandrel::test
