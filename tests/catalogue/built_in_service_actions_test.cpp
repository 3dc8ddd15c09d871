#include <gtest/gtest.h>

#include <vector>

#include "catalogue/built_in_vd_action.h"
#include "catalogue/catalogue_fixture.h"

namespace vandrel {
namespace {

using B = BuiltInVDAction;
using Params = VDAction::ParamSequence;
using P = VDAtomicActionParam;

// Records what the service actions hand over, and on which call.
struct ServiceActionsTest : test::CatalogueTest {
    std::vector<std::string> calls;

    void installRecorders()
    {
        VandrelServices s;
        s.showPreferences = [this] { calls.push_back("preferences"); };
        s.showCheatSheet = [this] { calls.push_back("cheat sheet"); };
        s.bindWindow = [this](const P& p) { calls.push_back("bind " + p.description()); };
        s.activateWindow = [this](const P& p) { calls.push_back("activate " + p.description()); };
        s.copyToExtraClipboard = [this](int clipboard, bool isCut) {
            calls.push_back((isCut ? "cut to " : "copy to ") + std::to_string(clipboard));
        };
        s.pasteLastFromExtraClipboard = [this](int clipboard, bool isPastePlainText) {
            calls.push_back((isPastePlainText ? "paste plain text from " : "paste from ") + std::to_string(clipboard));
        };
        s.expandHotstring = [this] { calls.push_back("hotstring"); };
        installServices(std::move(s));
    }
};

TEST_F(ServiceActionsTest, ServiceActionsHandTheirWorkToTheInstalledServicesOnTheirQueues)
{
    installRecorders();
    using Strings = std::vector<std::string>;

    // Called at once, on the running thread.
    B::showPreferences()->doWithParamSequence({});
    B::bindWindow()->doWithParamSequence({P::windowBindingId(3)});
    B::activateWindow()->doWithParamSequence({P::windowBindingId(0)});  // fails the check, passed on anyway
    B::hotstring()->doWithParamSequence({});
    EXPECT_EQ(calls, (Strings{"preferences", "bind " + P::windowBindingId(3).description(),
                              "activate " + P::windowBindingId(0).description(), "hotstring"}));
    EXPECT_TRUE(logged->contains(LogLevel::debug, "Show Preferences"));
    EXPECT_TRUE(logged->contains(LogLevel::debug, "bind window~"));
    EXPECT_TRUE(logged->contains(LogLevel::debug, "activate window~"));

    // The extra clipboards work where the action runs (the deliverer runs them on the main queue), so their
    // copy and paste strokes come out before the keys typed after them.
    calls.clear();
    for (auto* action : {&B::extraPasteboard1Cut, &B::extraPasteboard1Copy, &B::extraPasteboard1Paste,
                         &B::extraPasteboard1PastePlainText, &B::extraPasteboard2Cut, &B::extraPasteboard2Copy,
                         &B::extraPasteboard2Paste, &B::extraPasteboard2PastePlainText})
        action()->post();
    EXPECT_EQ(calls, (Strings{"cut to 1", "copy to 1", "paste from 1", "paste plain text from 1", "cut to 2",
                              "copy to 2", "paste from 2", "paste plain text from 2"}));

    // Queued on the main queue, so the key engine gets control back at once.
    calls.clear();
    B::showCheatSheet()->doWithParamSequence({});
    EXPECT_TRUE(logged->contains(LogLevel::debug, "Show Cheat Sheet"));
    EXPECT_TRUE(calls.empty());
    drainMainQueue();
    EXPECT_EQ(calls, (Strings{"cheat sheet"}));
    EXPECT_EQ(posted(), "");
    EXPECT_EQ(logged->count(LogLevel::warning), 0u);
}

TEST_F(ServiceActionsTest, AServiceNotYetAvailableIsLoggedAndNothingHappens)
{
    for (auto* action : {&B::showPreferences, &B::showCheatSheet, &B::bindWindow, &B::activateWindow,
                         &B::extraPasteboard1Cut, &B::extraPasteboard2Paste, &B::hotstring})
        action()->doWithParamSequence({P::windowBindingId(2)});
    drainMainQueue();
    EXPECT_EQ(logged->count(LogLevel::warning), 7u);
    EXPECT_EQ(logged->count(LogLevel::error), 0u);
    EXPECT_EQ(posted(), "");

    // Services installed later are found by the next run.
    installRecorders();
    B::bindWindow()->doWithParamSequence({P::windowBindingId(2)});
    EXPECT_EQ(calls.size(), 1u);
}

TEST_F(ServiceActionsTest, WindowActionsNameOneSlotAndTitleIt)
{
    const auto& bind = B::bindWindow();
    const auto& activate = B::activateWindow();
    EXPECT_EQ(bind->dynamicDescription()({P::windowBindingId(3)}), "Window 3 - Bind");
    EXPECT_EQ(activate->dynamicDescription()({P::windowBindingId(10)}), "Window 10 - Activate");
    for (const Params& untitled : {Params{}, Params{P::windowBindingId(-1)}, Params{P::windowBindingId(0)},
                                   Params{P::times(3)}, bind->defaultParamSequence()}) {
        SCOPED_TRACE(logText(untitled));
        EXPECT_EQ(bind->dynamicDescription()(untitled), std::nullopt);
        EXPECT_EQ(activate->dynamicDescription()(untitled), std::nullopt);
    }

    for (const auto* action : {&bind, &activate}) {
        const auto& check = (*action)->paramSeqenceValidationCheck();
        EXPECT_TRUE(check({P::windowBindingId(3)}));
        EXPECT_TRUE(check({P::windowBindingId(10)}));
        EXPECT_FALSE(check((*action)->defaultParamSequence()));  // a setting must name its slot
        EXPECT_FALSE(check({P::windowBindingId(0)}));
        EXPECT_FALSE(check({}));
        EXPECT_FALSE(check({P::times(1)}));
        EXPECT_FALSE(check({P::windowBindingId(3), P::windowBindingId(4)}));
    }
    // Every other action accepts any sequence.
    EXPECT_TRUE(B::moveUpN()->paramSeqenceValidationCheck()({P::keyId("24"), P::none()}));
    EXPECT_TRUE(B::hotstring()->paramSeqenceValidationCheck()({P::windowBindingId(-1)}));
}

TEST_F(ServiceActionsTest, SettableActionsComeInTheirGroupsAndOrder)
{
    using G = VDActionGroup;
    // Off at first use: the table has no hotstring, and switching it on later changes nothing until a restart.
    ASSERT_FALSE(Defaults()[DefaultsKeys::experimental_hotstring]);
    const auto& table = B::SettableActions::actionsOfGroup();
    Defaults()[DefaultsKeys::experimental_hotstring] = true;

    EXPECT_EQ(B::SettableActions::groups(), (std::vector<G>{G::general, G::movement, G::selection, G::editing,
                                                            G::windowBinding, G::multiClipboard, G::others}));
    auto idNames = [&](G group) {
        std::vector<std::string> names;
        for (const auto& action : B::SettableActions::actionsOfGroup().at(group)) names.push_back(action->idName());
        return names;
    };
    using Names = std::vector<std::string>;
    EXPECT_EQ(idNames(G::vandrelGeneral), (Names{"sendInputEsc", "showPreferences", "showCheatSheet"}));
    EXPECT_EQ(idNames(G::general), (Names{"sendInput"}));
    EXPECT_EQ(idNames(G::movement),
              (Names{"moveUpN", "moveDownN", "moveLeftN", "moveRightN", "moveLeftNWords", "moveRightNWords",
                     "moveToLineBeginning", "moveToLineEnd", "moveToPageBeginning", "moveToPageEnd"}));
    EXPECT_EQ(idNames(G::selection),
              (Names{"selectUpN", "selectDownN", "selectLeftN", "selectRightN", "selectCurrentWord",
                     "selectCurrentLine", "selectLeftNWords", "selectRightNWords", "selectToLineBeginning",
                     "selectToLineEnd", "selectToPageBeginning", "selectToPageEnd"}));
    EXPECT_EQ(idNames(G::editing), (Names{"delete", "forwardDelete", "deleteWord", "forwardDeleteWord",
                                          "deleteToLineBeginning", "deleteToLineEnd", "deleteToPageBeginning",
                                          "deleteToPageEnd", "deleteLine", "deleteAll", "insertLineBelow"}));
    EXPECT_EQ(idNames(G::windowBinding), (Names{"bindWindow", "activateWindow"}));
    EXPECT_EQ(idNames(G::multiClipboard),
              (Names{"extraPasteboard1Cut", "extraPasteboard1Copy", "extraPasteboard1Paste",
                     "extraPasteboard1PastePlainText", "extraPasteboard2Cut", "extraPasteboard2Copy",
                     "extraPasteboard2Paste", "extraPasteboard2PastePlainText"}));
    EXPECT_EQ(idNames(G::others), Names{});
    EXPECT_EQ(table.size(), 8u);
    EXPECT_EQ(&B::SettableActions::actionsOfGroup(), &table);

    // They are the catalogue's own objects, registered by building the table.
    for (const auto& [group, actions] : table)
        for (const auto& action : actions) {
            EXPECT_EQ(action->group(), group);
            EXPECT_EQ(VDAction::registered(action->idName()), action);
        }
}

}  // namespace
}  // namespace vandrel
