#include "model/vd_action.h"

#include <gtest/gtest.h>

#include <thread>

#include "core/localize.h"
#include "core/log_capture.h"
#include "platform/sim/scenario.h"
#include "platform/sim/sim_platform.h"

namespace vandrel {
namespace {

using Json = nlohmann::ordered_json;
using P = VDAtomicActionParam;
using Texts = std::vector<std::string>;

struct VDActionTest : ::testing::Test {
    std::shared_ptr<SimPlatform> sim = SimPlatform::make();
    PlatformInstallation installed{sim};
    test::ScopedLogCapture logged;

    std::string posted()
    {
        auto text = Scenario::describe(sim->keyboard().postedEvents());
        sim->keyboard().clearEvents();
        return text;
    }
};

TEST_F(VDActionTest, FirstRegistrationOfANameWinsAlsoUnderRacingThreads)
{
    auto first = VDAction::make("test.first", "First", VDActionGroup::general)->appendToQueryDisc();
    auto second = VDAction::make("test.first", "Second", VDActionGroup::editing);
    EXPECT_EQ(second->appendToQueryDisc(), second);
    EXPECT_EQ(VDAction::registered("test.first"), first);
    EXPECT_TRUE(logged->contains(LogLevel::error, "Action is already exist!, idName ->"));
    EXPECT_EQ(logged->entries().back().context, "test.first");

    std::vector<VDActionPtr> racers;
    for (int i = 0; i < 8; ++i) racers.push_back(VDAction::make("test.race", "", VDActionGroup::general));
    std::vector<std::thread> threads;
    for (auto& r : racers) threads.emplace_back([r] { r->appendToQueryDisc(); });
    for (auto& t : threads) t.join();
    EXPECT_NE(std::find(racers.begin(), racers.end(), VDAction::registered("test.race")), racers.end());
    EXPECT_EQ(logged->count(LogLevel::error), 1u + 7u);

    const auto empty = VDAction::make();
    EXPECT_EQ(empty->idName(), "");
    EXPECT_EQ(empty->staticDescription(), "<no set>");
    EXPECT_TRUE(empty->paramSeqenceValidationCheck()({P::times(-5)}));
}

TEST_F(VDActionTest, ConditionalStepsRunFirstThenStepIGetsParameterIOrNone)
{
    Texts got;
    auto record = [&](const P& p) { got.push_back(p.description()); };
    bool firstApplies = false;
    auto action = VDAction::make("test.steps", "", VDActionGroup::general, {record, record, record});
    action->addConditionalAction([&] { return firstApplies; },
                                 [&](const VDAction::ParamSequence& params) {
                                     got.push_back("conditional " + std::to_string(params.size()));
                                     return false;
                                 });
    action->doWithParamSequence({P::times(2)});
    action->doWithParamSequence({P::times(1), P::keyId("39"), P::none(), P::times(9)});
    EXPECT_EQ(got, (Texts{"times(2)", "none", "none", "times(1)", "keyId(39)", "none"}));

    got.clear();
    firstApplies = true;
    action->doWithParamSequence({P::times(1)});
    EXPECT_EQ(got, (Texts{"conditional 1"}));

    got.clear();
    firstApplies = false;
    action->setDefaultParamSequence({P::interval(0.5)})->post();
    EXPECT_EQ(got, (Texts{"interval(0.5)", "none", "none"}));
    Texts lines;
    for (const auto& e : logged->entries())
        if (e.message.starts_with("post action")) lines.push_back(e.message + e.context);
    EXPECT_EQ(lines, (Texts{"post action 0->0", "post action 2->0", "post action 0->1", "post action 1->1",
                            "post action 0->2", "post action 1->2"}));
}

TEST_F(VDActionTest, KeyStepsPostTapsCombosAndRepeatedCombos)
{
    VDAction::make("test.tap", "", VDActionGroup::general)->addKeyTap(53)->doWithParamSequence({P::times(4)});
    EXPECT_EQ(posted(), "esc down, esc up");
    VDAction::make("test.combo", "", VDActionGroup::general)->addKeyCombo(123, {55, 56})->doWithParamSequence({});
    EXPECT_EQ(posted(), "cmd down, shift down, left down [shift+cmd], left up [shift+cmd], cmd up, shift up");
    VDAction::make("test.held", "", VDActionGroup::general)
        ->addKeyCombo(0, {55}, true, EventTapLocation::hid)
        ->doWithParamSequence({});
    EXPECT_EQ(posted(), "cmd down, hid a down [cmd], hid a up [cmd]");

    auto multi = VDAction::make("test.multi", "", VDActionGroup::general)->addMultiKeyCombo(126, {58}, 2);
    multi->doWithParamSequence({P::interval(0.5)});  // not a count: the default count
    EXPECT_EQ(posted(), "option down, up down [opt], up up [opt], up down [opt], up up [opt], option up");
    multi->doWithParamSequence({P::times(1)});
    EXPECT_EQ(posted(), "option down, up down [opt], up up [opt], option up");
    for (auto count : {0, -4}) {
        multi->doWithParamSequence({P::times(count)});
        EXPECT_EQ(posted(), "option down, option up") << count;
    }
}

TEST_F(VDActionTest, EmacsConditionsReplaceTheNormalStepsInTerminalLikeApplications)
{
    bool emacsApp = true;
    const auto isEmacsApp = [&] { return emacsApp; };
    Texts normal;
    auto action = VDAction::make("test.emacs", "", VDActionGroup::movement)
                      ->addStep([&](const P& p) { normal.push_back(p.description()); })
                      ->addEmacsLimitedCombo(isEmacsApp, {{33, {59}}, {11, {}}});
    auto quiet =
        VDAction::make("test.quiet", "", VDActionGroup::selection)->addKeyTap(126)->addNoActionWhenEmacs(isEmacsApp);

    const std::string once = "ctrl down, lbracket down [ctrl], lbracket up [ctrl], ctrl up, b down, b up";
    action->doWithParamSequence({P::times(3)});
    EXPECT_EQ(posted(), once + ", " + once + ", " + once);
    action->doWithParamSequence({P::keyId("24")});
    EXPECT_EQ(posted(), once);
    action->doWithParamSequence({P::times(0)});
    action->doWithParamSequence({P::times(-2)});
    quiet->doWithParamSequence({});
    EXPECT_EQ(posted(), "");
    EXPECT_TRUE(normal.empty());
    EXPECT_TRUE(logged->contains(LogLevel::info, "invoking emacs ->"));

    emacsApp = false;
    action->doWithParamSequence({P::times(3)});
    quiet->doWithParamSequence({});
    EXPECT_EQ(posted(), "up down, up up");
    EXPECT_EQ(normal, (Texts{"times(3)"}));
}

TEST_F(VDActionTest, OnlyActionsBuiltFromKeyStepsPostKeysOnly)
{
    EXPECT_TRUE(VDAction::make("keys", "", VDActionGroup::movement)
                    ->addKeyTap(126)
                    ->addKeyCombo(123, {55})
                    ->addMultiKeyCombo(125, {56}, 2)
                    ->addEmacsLimitedCombo([] { return false; }, {{33, {59}}})
                    ->addNoActionWhenEmacs([] { return false; })
                    ->addStep([](const VDAtomicActionParam&) {}, VDAction::StepKind::postsKeys)
                    ->postsKeysOnly());
    // A step or condition of unknown kind may show something: the whole action is not key-only.
    EXPECT_FALSE(VDAction::make("step", "", VDActionGroup::general)
                     ->addKeyTap(126)
                     ->addStep([](const VDAtomicActionParam&) {})
                     ->postsKeysOnly());
    EXPECT_FALSE(VDAction::make("condition", "", VDActionGroup::general)
                     ->addKeyTap(126)
                     ->addConditionalAction([] { return true; }, [](const VDAction::ParamSequence&) { return true; })
                     ->postsKeysOnly());
    EXPECT_FALSE(
        VDAction::make("given", "", VDActionGroup::general, {[](const VDAtomicActionParam&) {}})->postsKeysOnly());
    EXPECT_TRUE(VDAction::make()->postsKeysOnly());
}

TEST_F(VDActionTest, JsonHoldsTheIdNameOnlyAndDecodesToAStandIn)
{
    auto action = VDAction::make("test.json", "Title", VDActionGroup::editing)->addKeyTap(51)->appendToQueryDisc();
    EXPECT_EQ(action->toJson().dump(), R"({"idName":"test.json"})");
    auto known = VDAction::fromJson(Json::parse(R"({ "other": 1, "idName" : "test.json" })"));
    ASSERT_TRUE(known.ok());
    EXPECT_NE(known.value(), action);
    EXPECT_EQ(known.value()->staticDescription(), "Title");
    EXPECT_EQ(known.value()->group(), VDActionGroup::noGroup);
    EXPECT_TRUE(known.value()->actions().empty());

    // Before the catalogue registers "noAction" the stand-in still gets the no-action title.
    auto unknown = VDAction::fromJson(Json::parse(R"({"idName":"test.fromTheFuture"})"));
    ASSERT_TRUE(unknown.ok());
    EXPECT_EQ(unknown.value()->idName(), "test.fromTheFuture");
    EXPECT_EQ(unknown.value()->staticDescription(), localized("No Action"));
    EXPECT_EQ(VDAction::registered("test.fromTheFuture"), nullptr);
    VDAction::make("noAction", "Nothing at all", VDActionGroup::noGroup)->appendToQueryDisc();
    EXPECT_EQ(VDAction::placeholder("test.other")->staticDescription(), "Nothing at all");

    for (const char* bad : {R"({})", R"({"idName": 3})", R"(["idName"])"})
        EXPECT_FALSE(VDAction::fromJson(Json::parse(bad)).ok()) << bad;
}

}  // namespace
}  // namespace vandrel
