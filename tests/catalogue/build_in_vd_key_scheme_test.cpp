#include "catalogue/build_in_vd_key_scheme.h"

#include <gtest/gtest.h>

#include <set>

#include "catalogue/built_in_vd_action.h"
#include "catalogue/catalogue_fixture.h"

namespace vandrel {
namespace {

using B = BuiltInVDAction;
using Params = VDAction::ParamSequence;
using P = VDAtomicActionParam;
using Accessor = const VDActionPtr& (*)();

constexpr int cmd = 55;
constexpr int shift = 56;
constexpr int caps = 57;
constexpr int opt = 58;

struct Row {
    int keycode;
    ModifierSet modifiers;
    Accessor action;
    Params params;
};

Params times(std::int64_t n)
{
    return {P::times(n)};
}

Params slot(std::int64_t n)
{
    return {P::windowBindingId(n)};
}

const std::vector<Row>& defaultRows()
{
    static const std::vector<Row> rows = [] {
        std::vector<Row> r{
            {57, {}, &B::tapCapsSendInputEsc, {}},
            {43, {caps, shift}, &B::showPreferences, {}},
            {44, {caps, shift}, &B::showCheatSheet, {}},
            {49, {caps}, &B::sendInput, {P::keyId("24")}},
            {14, {caps}, &B::moveUpN, times(1)},
            {2, {caps}, &B::moveDownN, times(1)},
            {1, {caps}, &B::moveLeftN, times(1)},
            {3, {caps}, &B::moveRightN, times(1)},
            {14, {caps, cmd}, &B::moveUpN, times(3)},
            {2, {caps, cmd}, &B::moveDownN, times(3)},
            {1, {caps, cmd}, &B::moveLeftN, times(5)},
            {3, {caps, cmd}, &B::moveRightN, times(5)},
            {17, {caps}, &B::moveUpN, times(10)},
            {11, {caps}, &B::moveDownN, times(10)},
            {17, {caps, cmd}, &B::moveUpN, times(30)},
            {11, {caps, cmd}, &B::moveDownN, times(30)},
            {0, {caps}, &B::moveLeftNWords, times(1)},
            {5, {caps}, &B::moveRightNWords, times(1)},
            {0, {caps, cmd}, &B::moveLeftNWords, times(3)},
            {5, {caps, cmd}, &B::moveRightNWords, times(3)},
            {35, {caps}, &B::moveToLineBeginning, {}},
            {41, {caps}, &B::moveToLineEnd, {}},
            {35, {caps, cmd}, &B::moveToPageBeginning, {}},
            {41, {caps, cmd}, &B::moveToPageEnd, {}},
            {34, {caps}, &B::selectUpN, times(1)},
            {40, {caps}, &B::selectDownN, times(1)},
            {38, {caps}, &B::selectLeftN, times(1)},
            {37, {caps}, &B::selectRightN, times(1)},
            {34, {caps, cmd}, &B::selectUpN, times(3)},
            {40, {caps, cmd}, &B::selectDownN, times(3)},
            {38, {caps, cmd}, &B::selectLeftN, times(5)},
            {37, {caps, cmd}, &B::selectRightN, times(5)},
            {16, {caps}, &B::selectUpN, times(10)},
            {45, {caps}, &B::selectDownN, times(10)},
            {16, {caps, cmd}, &B::selectUpN, times(30)},
            {45, {caps, cmd}, &B::selectDownN, times(30)},
            {4, {caps}, &B::selectLeftNWords, times(1)},
            {47, {caps}, &B::selectRightNWords, times(1)},
            {4, {caps, cmd}, &B::selectLeftNWords, times(3)},
            {47, {caps, cmd}, &B::selectRightNWords, times(3)},
            {43, {caps}, &B::selectCurrentWord, {}},
            {43, {caps, cmd}, &B::selectCurrentLine, {}},
            {32, {caps}, &B::selectToLineBeginning, {}},
            {31, {caps}, &B::selectToLineEnd, {}},
            {32, {caps, cmd}, &B::selectToPageBeginning, {}},
            {31, {caps, cmd}, &B::selectToPageEnd, {}},
            {13, {caps}, &B::delete_, {}},
            {15, {caps}, &B::forwardDelete, {}},
            {13, {caps, cmd}, &B::deleteWord, {}},
            {15, {caps, cmd}, &B::forwardDeleteWord, {}},
            {33, {caps}, &B::deleteToLineBeginning, {}},
            {44, {caps}, &B::deleteToLineEnd, {}},
            {33, {caps, cmd}, &B::deleteToPageBeginning, {}},
            {44, {caps, cmd}, &B::deleteToPageEnd, {}},
            {51, {caps}, &B::deleteLine, {}},
            {51, {caps, cmd}, &B::deleteAll, {}},
            {36, {caps}, &B::insertLineBelow, {}},
        };
        // Window slots 1..10 on the digits 1..9, 0.
        const int digits[] = {18, 19, 20, 21, 23, 22, 26, 28, 25, 29};
        for (int i = 0; i < 10; ++i) {
            r.push_back({digits[i], {caps, opt}, &B::bindWindow, slot(i + 1)});
            r.push_back({digits[i], {caps}, &B::activateWindow, slot(i + 1)});
        }
        const std::vector<Row> clipboards{
            {7, {caps}, &B::extraPasteboard1Cut, {}},
            {8, {caps}, &B::extraPasteboard1Copy, {}},
            {9, {caps}, &B::extraPasteboard1Paste, {}},
            {9, {caps, opt}, &B::extraPasteboard1PastePlainText, {}},
            {7, {caps, cmd}, &B::extraPasteboard2Cut, {}},
            {8, {caps, cmd}, &B::extraPasteboard2Copy, {}},
            {9, {caps, cmd}, &B::extraPasteboard2Paste, {}},
            {9, {caps, opt, cmd}, &B::extraPasteboard2PastePlainText, {}},
        };
        r.insert(r.end(), clipboards.begin(), clipboards.end());
        return r;
    }();
    return rows;
}

struct BuildInVDKeySchemeTest : test::CatalogueTest {
    static void expectRows(const VDKeyScheme& scheme, const std::vector<Row>& rows)
    {
        const auto settings = scheme.keySettings.value();
        ASSERT_EQ(settings.size(), rows.size());
        for (std::size_t i = 0; i < rows.size(); ++i) {
            SCOPED_TRACE("row " + std::to_string(i + 1) + ": " + settings[i]->description());
            EXPECT_EQ(settings[i]->key(), VDKey(rows[i].keycode, rows[i].modifiers));
            EXPECT_EQ(settings[i]->key().modifiers(), rows[i].modifiers);
            EXPECT_EQ(settings[i]->action(), rows[i].action());  // the catalogue's own object
            EXPECT_EQ(settings[i]->paramSequence(), rows[i].params);
        }
    }
};

TEST_F(BuildInVDKeySchemeTest, TheDefaultLayoutHasItsRowsInOrderAndNoKeyTwice)
{
    const auto scheme = BuildInVDKeyScheme::vandrel_v20190601();
    EXPECT_EQ(scheme->name.value(), "Vandrel");
    EXPECT_EQ(scheme->desc(), "The default scheme of Vandrel.");
    EXPECT_EQ(scheme->type(), VDKeySchemeType::builtIn);
    EXPECT_TRUE(scheme->forAppBundleIds().empty());
    ASSERT_EQ(defaultRows().size(), 85u);
    expectRows(*scheme, defaultRows());

    std::set<std::int64_t> keybits;
    for (const auto& setting : scheme->keySettings.value())
        EXPECT_TRUE(keybits.insert(setting->key().keybit()).second) << setting->description();
    EXPECT_TRUE(scheme->conflictingKeySettings.value().empty());
    EXPECT_EQ(keybits.count(VDKey(48, {caps}).keybit()), 0u);  // no hotstring key while the setting is off

    // The Caps Lock tap arrives alone, as keybit 57; Caps+Space sends Return's key id.
    EXPECT_EQ(scheme->keySettings.value().front()->key().keybit(), 57);
    EXPECT_EQ(scheme->keySettings.value()[3]->paramSequence(), Params{P::keyId(VDKey(36, {}).id())});
}

TEST_F(BuildInVDKeySchemeTest, EveryReadIsANewSchemeAndTheHotstringRowFollowsTheSetting)
{
    const auto first = BuildInVDKeyScheme::vandrel_v20190601();
    const auto second = BuildInVDKeyScheme::vandrel_v20190601();
    EXPECT_NE(first, second);
    EXPECT_TRUE(*first == *second);
    const auto a = first->keySettings.value();
    const auto b = second->keySettings.value();
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i) EXPECT_TRUE(*a[i] == *b[i]) << i;
    EXPECT_EQ(first->toJson(), second->toJson());
    // Renaming one leaves the other as it was.
    first->name.accept("Renamed");
    EXPECT_EQ(second->name.value(), "Vandrel");

    // Nothing read hotstring so far, so a stored binding of it resolves to nothing yet.
    B::registerAll();
    EXPECT_EQ(VDAction::registered("hotstring"), nullptr);

    Defaults()[DefaultsKeys::experimental_hotstring] = true;
    B::registerAll();
    EXPECT_EQ(VDAction::registered("hotstring"), B::hotstring());
    EXPECT_EQ(B::hotstring()->idName(), "hotstring");
    EXPECT_EQ(B::hotstring()->group(), VDActionGroup::others);
    EXPECT_EQ(B::hotstring()->staticDescription(), "Hotstring");
    EXPECT_TRUE(B::hotstring()->defaultParamSequence().empty());
    EXPECT_FALSE(B::hotstring()->dynamicDescription());

    auto rows = defaultRows();
    rows.push_back({48, {caps}, &B::hotstring, {}});
    const auto withHotstring = BuildInVDKeyScheme::vandrel_v20190601();
    expectRows(*withHotstring, rows);
    EXPECT_TRUE(withHotstring->conflictingKeySettings.value().empty());
    // A scheme read earlier keeps the setting as it was then.
    EXPECT_EQ(second->keySettings.value().size(), 85u);

    Defaults()[DefaultsKeys::experimental_hotstring] = false;
    EXPECT_EQ(BuildInVDKeyScheme::vandrel_v20190601()->keySettings.value().size(), 85u);
    EXPECT_EQ(logged->count(LogLevel::error), 0u);
}

TEST_F(BuildInVDKeySchemeTest, TheBasicSchemeSharesTheGeneralSettings)
{
    const auto& basic = BuildInVDKeyScheme::basic();
    EXPECT_EQ(&basic, &BuildInVDKeyScheme::basic());
    EXPECT_EQ(basic->name.value(), "Basic");
    EXPECT_EQ(basic->desc(), "The basic scheme of Vandrel.");
    EXPECT_EQ(basic->type(), VDKeySchemeType::builtIn);
    EXPECT_TRUE(basic->forAppBundleIds().empty());
    const std::vector<Row> general(defaultRows().begin(), defaultRows().begin() + 3);
    expectRows(*basic, general);
    const auto layout = BuildInVDKeyScheme::vandrel_v20190601()->keySettings.value();
    for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(basic->keySettings.value()[i], layout[i]);
}

TEST_F(BuildInVDKeySchemeTest, WindowSlotsSitOnTheDigitKeysWithSlotTenOnZero)
{
    const auto& list = BuildInVDKeyScheme::vandrelWindowBindingKeysList();
    EXPECT_EQ(&list, &BuildInVDKeyScheme::vandrelWindowBindingKeysList());
    ASSERT_EQ(list.size(), 10u);
    const int digits[] = {18, 19, 20, 21, 23, 22, 26, 28, 25, 29};
    for (std::size_t i = 0; i < 10; ++i) {
        SCOPED_TRACE("slot " + std::to_string(i + 1));
        EXPECT_EQ(list[i].bind.keycode(), digits[i]);
        EXPECT_EQ(list[i].bind.modifiers(), (ModifierSet{caps, opt}));
        EXPECT_EQ(list[i].activate.keycode(), digits[i]);
        EXPECT_EQ(list[i].activate.modifiers(), (ModifierSet{caps}));
    }
    EXPECT_EQ(list[9].activate.keybit(), 29 + 0x10000);
    EXPECT_EQ(list[9].bind.id(), "9001d");

    // In the layout: Caps+0 activates slot 10 and Caps+Option+0 binds it.
    const auto settings = BuildInVDKeyScheme::vandrel_v20190601()->keySettings.value();
    auto find = [&](const VDKey& key) {
        for (const auto& s : settings)
            if (s->key() == key) return s;
        return VDKeySettingPtr{};
    };
    const auto activateTen = find(VDKey(29, {caps}));
    const auto bindTen = find(VDKey(29, {caps, opt}));
    ASSERT_TRUE(activateTen && bindTen);
    EXPECT_EQ(activateTen->action(), B::activateWindow());
    EXPECT_EQ(activateTen->paramSequence(), slot(10));
    EXPECT_EQ(bindTen->action(), B::bindWindow());
    EXPECT_EQ(bindTen->paramSequence(), slot(10));
    EXPECT_TRUE(bindTen->action()->paramSeqenceValidationCheck()(bindTen->paramSequence()));
}

}  // namespace
}  // namespace vandrel
