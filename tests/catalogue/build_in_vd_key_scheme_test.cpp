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

// One or two rows of every group of the default layout; the layout walk drives every row through the keys.
const std::vector<Row> sampleRows{
    {57, {}, &B::tapCapsSendInputEsc, {}},       {43, {caps, shift}, &B::showPreferences, {}},
    {44, {caps, shift}, &B::showCheatSheet, {}}, {49, {caps}, &B::sendInput, {P::keyId("24")}},
    {14, {caps}, &B::moveUpN, times(1)},         {1, {caps, cmd}, &B::moveLeftN, times(5)},
    {17, {caps, cmd}, &B::moveUpN, times(30)},   {5, {caps, cmd}, &B::moveRightNWords, times(3)},
    {41, {caps, cmd}, &B::moveToPageEnd, {}},    {37, {caps}, &B::selectRightN, times(1)},
    {45, {caps}, &B::selectDownN, times(10)},    {43, {caps, cmd}, &B::selectCurrentLine, {}},
    {31, {caps}, &B::selectToLineEnd, {}},       {13, {caps, cmd}, &B::deleteWord, {}},
    {33, {caps}, &B::deleteToLineBeginning, {}}, {51, {caps, cmd}, &B::deleteAll, {}},
    {36, {caps}, &B::insertLineBelow, {}},       {18, {caps}, &B::activateWindow, slot(1)},
    {29, {caps}, &B::activateWindow, slot(10)},  {29, {caps, opt}, &B::bindWindow, slot(10)},
    {7, {caps}, &B::extraPasteboard1Cut, {}},    {9, {caps, opt, cmd}, &B::extraPasteboard2PastePlainText, {}},
};

VDKeySettingPtr find(const VDKeyScheme& scheme, const VDKey& key)
{
    for (const auto& s : scheme.keySettings.value())
        if (s->key() == key) return s;
    return nullptr;
}

void expectSampleRows(const VDKeyScheme& scheme)
{
    for (const auto& row : sampleRows) {
        const auto setting = find(scheme, VDKey(row.keycode, row.modifiers));
        ASSERT_NE(setting, nullptr) << row.keycode;
        SCOPED_TRACE(setting->description());
        EXPECT_EQ(setting->action(), row.action());  // the catalogue's own object
        EXPECT_EQ(setting->paramSequence(), row.params);
        EXPECT_TRUE(setting->action()->paramSeqenceValidationCheck()(setting->paramSequence()));
    }
}

using BuildInVDKeySchemeTest = test::CatalogueTest;

TEST_F(BuildInVDKeySchemeTest, TheDefaultLayoutHasItsRowsAndNoKeyTwice)
{
    const auto scheme = BuildInVDKeyScheme::vandrel_v20190601();
    EXPECT_EQ(scheme->name.value(), "Vandrel");
    EXPECT_EQ(scheme->type(), VDKeySchemeType::builtIn);
    ASSERT_EQ(scheme->keySettings.value().size(), 85u);
    expectSampleRows(*scheme);

    std::set<std::int64_t> keybits;
    for (const auto& setting : scheme->keySettings.value())
        EXPECT_TRUE(keybits.insert(setting->key().keybit()).second) << setting->description();
    EXPECT_TRUE(scheme->conflictingKeySettings.value().empty());
    EXPECT_EQ(keybits.count(VDKey(48, {caps}).keybit()), 0u);  // no hotstring key while the setting is off

    // The Caps Lock tap arrives alone, as keybit 57, first; Caps+Space sends Return's key id.
    EXPECT_EQ(scheme->keySettings.value().front()->key().keybit(), 57);
    EXPECT_EQ(scheme->keySettings.value()[3]->paramSequence(), Params{P::keyId(VDKey(36, {}).id())});
}

TEST_F(BuildInVDKeySchemeTest, EveryReadIsANewSchemeAndTheHotstringRowFollowsTheSetting)
{
    const auto first = BuildInVDKeyScheme::vandrel_v20190601();
    const auto second = BuildInVDKeyScheme::vandrel_v20190601();
    EXPECT_NE(first, second);
    EXPECT_TRUE(*first == *second);
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
    EXPECT_EQ(B::hotstring()->staticDescription(), "Hotstring");

    // The hotstring row comes last, after the rows as they were.
    const auto withHotstring = BuildInVDKeyScheme::vandrel_v20190601();
    const auto rows = withHotstring->keySettings.value();
    ASSERT_EQ(rows.size(), 86u);
    const auto without = second->keySettings.value();  // a scheme read earlier keeps the setting as it was then
    ASSERT_EQ(without.size(), 85u);
    for (std::size_t i = 0; i < without.size(); ++i) EXPECT_TRUE(*rows[i] == *without[i]) << i;
    EXPECT_EQ(rows.back()->key(), VDKey(48, {caps}));
    EXPECT_EQ(rows.back()->action(), B::hotstring());
    EXPECT_TRUE(rows.back()->paramSequence().empty());
    EXPECT_TRUE(withHotstring->conflictingKeySettings.value().empty());

    Defaults()[DefaultsKeys::experimental_hotstring] = false;
    EXPECT_EQ(BuildInVDKeyScheme::vandrel_v20190601()->keySettings.value().size(), 85u);
    EXPECT_EQ(logged->count(LogLevel::error), 0u);
}

TEST_F(BuildInVDKeySchemeTest, TheBasicSchemeSharesTheGeneralSettings)
{
    const auto& basic = BuildInVDKeyScheme::basic();
    EXPECT_EQ(&basic, &BuildInVDKeyScheme::basic());
    EXPECT_EQ(basic->name.value(), "Basic");
    EXPECT_EQ(basic->type(), VDKeySchemeType::builtIn);
    const auto layout = BuildInVDKeyScheme::vandrel_v20190601()->keySettings.value();
    ASSERT_EQ(basic->keySettings.value().size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(basic->keySettings.value()[i], layout[i]);
    EXPECT_EQ(layout[2]->action(), B::showCheatSheet());
}

TEST_F(BuildInVDKeySchemeTest, WindowSlotsSitOnTheDigitKeysWithSlotTenOnZero)
{
    const auto& list = BuildInVDKeyScheme::vandrelWindowBindingKeysList();
    ASSERT_EQ(list.size(), 10u);
    const int digits[] = {18, 19, 20, 21, 23, 22, 26, 28, 25, 29};
    for (std::size_t i = 0; i < 10; ++i) {
        SCOPED_TRACE("slot " + std::to_string(i + 1));
        EXPECT_EQ(list[i].bind, VDKey(digits[i], {caps, opt}));
        EXPECT_EQ(list[i].activate, VDKey(digits[i], {caps}));
    }
    EXPECT_EQ(list[9].activate.keybit(), 29 + 0x10000);
    EXPECT_EQ(list[9].bind.id(), "9001d");
}

}  // namespace
}  // namespace vandrel
