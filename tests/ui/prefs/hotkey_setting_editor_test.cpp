#include "ui/prefs/hotkey_setting_editor.h"

#include <gtest/gtest.h>

#include "hotkey_editor_fixture.h"

using namespace vandrel;
using B = BuiltInVDAction;
using P = VDAtomicActionParam;

namespace {

class EditorTest : public test::HotkeyEditorTest {
protected:
    VDKeySchemePtr mine = addCustom("Mine", {VDKeySetting::make(caps(38), B::moveDownN(), {P::times(30)})});

    std::vector<VDAtomicActionParam> storedParamsOf(const VDKey& key) const
    {
        auto scheme = stored("Mine");
        for (const auto& s : scheme->keySettings.value())
            if (s->key() == key) return s->paramSequence();
        ADD_FAILURE() << "no stored setting for " << key.description();
        return {};
    }
};

}  // namespace

TEST_F(EditorTest, ANewSettingIsADraftUntilCommittedThenAppendedOnce)
{
    HotkeySettingEditor editor(keyService, mine, nullptr);
    EXPECT_FALSE(editor.chooseAction(B::moveUpN()));  // no hotkey yet
    EXPECT_FALSE(editor.commit());
    EXPECT_TRUE(editor.setHotkey(caps(14)));
    EXPECT_TRUE(editor.updateParams(P::times(3), 0));
    EXPECT_TRUE(editor.setHotkey(caps(15)));
    EXPECT_EQ(mine->keySettings.value().size(), 1u);
    EXPECT_EQ(stored("Mine")->keySettings.value().size(), 1u);

    EXPECT_TRUE(editor.commit());
    const auto settings = stored("Mine")->keySettings.value();
    ASSERT_EQ(settings.size(), 2u);
    EXPECT_EQ(settings[1]->key(), caps(15));
    EXPECT_EQ(settings[1]->action(), B::moveUpN());
    EXPECT_EQ(settings[1]->paramSequence(), std::vector<P>{P::times(3)});
    EXPECT_EQ(mine->keySettings.value()[1], editor.keySetting.value());
}

TEST_F(EditorTest, ChangingOnlyTheHotkeyOrReChoosingTheActionKeepsTheSettingsOwnParameters)
{
    HotkeySettingEditor editor(keyService, mine, mine->keySettings.value().front());
    EXPECT_TRUE(editor.setHotkey(caps(40)));
    EXPECT_TRUE(editor.commit());
    EXPECT_EQ(storedParamsOf(caps(40)), std::vector<P>{P::times(30)});
    EXPECT_FALSE(editor.chooseAction(B::moveDownN()));  // the same setting: nothing to store
    EXPECT_EQ(editor.paramsToSet.value(), std::vector<P>{P::times(30)});

    // Another action starts from its defaults; back to the default count leaves the list empty.
    EXPECT_TRUE(editor.chooseAction(B::moveUpN()));
    EXPECT_TRUE(editor.commit());
    EXPECT_TRUE(storedParamsOf(caps(40)).empty());
    EXPECT_TRUE(editor.updateParams(P::times(4), 0));
    EXPECT_TRUE(editor.commit());
    EXPECT_EQ(storedParamsOf(caps(40)), std::vector<P>{P::times(4)});
    EXPECT_TRUE(editor.updateParams(P::times(1), 0));
    EXPECT_TRUE(editor.commit());
    EXPECT_TRUE(storedParamsOf(caps(40)).empty());
    EXPECT_EQ(mine->keySettings.value().size(), 1u);
}

TEST_F(EditorTest, ParametersAreComparedWithTheChosenActionsDefaultsByValue)
{
    auto fiveTimes =
        VDAction::make("fiveTimes", "Five", VDActionGroup::movement)->setDefaultParamSequence({P::times(5)});
    HotkeySettingEditor editor(keyService, mine, mine->keySettings.value().front());
    editor.chooseAction(fiveTimes);
    // 1 is moveDownN's default but not this action's: it is kept.
    editor.updateParams(P::times(1), 0);
    EXPECT_EQ(editor.paramsToSet.value(), std::vector<P>{P::times(1)});
    editor.updateParams(P::times(5), 0);
    EXPECT_TRUE(editor.paramsToSet.value().empty());

    // The same hash, another value: not the default.
    auto multi =
        VDAction::make("multi", "Multi", VDActionGroup::others)->setDefaultParamSequence({P::multiple({P::times(3)})});
    ASSERT_EQ(P::times(3).hashValue(), P::multiple({P::times(3)}).hashValue());
    editor.chooseAction(multi);
    editor.updateParams(P::times(3), 0);
    EXPECT_EQ(editor.paramsToSet.value(), std::vector<P>{P::times(3)});
}

TEST_F(EditorTest, AParameterBeyondTheEndIsPaddedWithTheDefaults)
{
    auto two = VDAction::make("two", "Two", VDActionGroup::others)->setDefaultParamSequence({P::times(1), P::times(2)});
    HotkeySettingEditor editor(keyService, mine, nullptr);
    editor.setHotkey(caps(16));
    editor.chooseAction(two);
    editor.updateParams(P::times(7), 1);
    EXPECT_EQ(editor.paramsToSet.value(), (std::vector<P>{P::times(1), P::times(7)}));
    editor.updateParams(P::times(9), 0);
    EXPECT_EQ(editor.paramsToSet.value(), (std::vector<P>{P::times(9), P::times(7)}));
    editor.updateParams(P::times(2), 1);
    EXPECT_EQ(editor.paramsToSet.value(), std::vector<P>{P::times(9)});
    // A place the action has no default for keeps what comes before it.
    editor.updateParams(P::times(4), 3);
    EXPECT_EQ(editor.paramsToSet.value(), (std::vector<P>{P::times(9), P::times(2), P::none(), P::times(4)}));
    EXPECT_EQ(HotkeySettingEditor::selectorValues(two, {}), (std::vector<P>{P::times(1), P::times(2)}));
}

TEST_F(EditorTest, NoneStoresNoActionAndAWindowSlotIsNeededBeforeActivateWindowIsStored)
{
    HotkeySettingEditor editor(keyService, mine, nullptr);
    editor.setHotkey(caps(17));
    EXPECT_FALSE(editor.chooseAction(B::activateWindow()));
    EXPECT_EQ(mine->keySettings.value().size(), 1u);
    EXPECT_TRUE(editor.updateParams(P::windowBindingId(4), 0));
    EXPECT_TRUE(editor.commit());
    EXPECT_EQ(storedParamsOf(caps(17)), std::vector<P>{P::windowBindingId(4)});

    EXPECT_TRUE(editor.chooseAction(B::noAction()));
    EXPECT_TRUE(editor.commit());
    const auto settings = stored("Mine")->keySettings.value();
    ASSERT_EQ(settings.size(), 2u);
    EXPECT_EQ(settings[1]->action()->idName(), "noAction");
}

TEST_F(EditorTest, AChangeToABuiltInSchemeGoesToOneCustomCopyThatBecomesActive)
{
    keyService->activate(factory());
    const auto original = factory()->keySettings.value();
    const auto capsE =
        *std::find_if(original.begin(), original.end(), [](const VDKeySettingPtr& s) { return s->key() == caps(14); });
    HotkeySettingEditor editor(keyService, factory(), capsE);
    EXPECT_TRUE(editor.chooseAction(B::moveDownN()));
    EXPECT_TRUE(editor.commit());
    const auto copy = editor.keyScheme();
    ASSERT_NE(copy, factory());
    EXPECT_EQ(copy->name.value(), "Custom");
    EXPECT_EQ(active(), copy);
    EXPECT_EQ(factory()->keySettings.value(), original);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "☝️ New hotkey scheme \"Custom\" has been created for modification");

    // Later changes go to the same copy, which is stored each time.
    EXPECT_TRUE(editor.updateParams(P::times(2), 0));
    EXPECT_TRUE(editor.commit());
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_EQ(keyService->availableKeySchemes.value().size(), 3u);
    const auto back = stored("Custom");
    ASSERT_TRUE(back);
    const auto backSettings = back->keySettings.value();
    EXPECT_EQ(backSettings.size(), original.size());
    const auto it = std::find_if(backSettings.begin(), backSettings.end(),
                                 [](const VDKeySettingPtr& s) { return s->key() == caps(14); });
    ASSERT_NE(it, backSettings.end());
    EXPECT_EQ((*it)->action()->idName(), "moveDownN");
    EXPECT_EQ((*it)->paramSequence(), std::vector<P>{P::times(2)});
}

TEST_F(EditorTest, AnEditOfASettingRemovedMeanwhileIsAppendedNotLost)
{
    const auto held = mine->keySettings.value().front();
    HotkeySettingEditor editor(keyService, mine, held);
    mine->keySettings.accept({});
    EXPECT_TRUE(editor.setHotkey(caps(41)));
    EXPECT_TRUE(editor.commit());
    ASSERT_EQ(stored("Mine")->keySettings.value().size(), 1u);
    EXPECT_EQ(stored("Mine")->keySettings.value()[0]->key(), caps(41));
}
