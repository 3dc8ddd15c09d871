#include "ui/overlays/vd_cheat_sheet_views.h"

#include <gtest/gtest.h>

#include <QLabel>

#include "model/vd_action.h"
#include "model/vd_key_setting.h"
#include "ui/base/ui_constants.h"
#include "ui/overlays/cheat_sheet_fixture.h"

namespace vandrel::test {
namespace {

using G = VDActionGroup;

struct CheatSheetViews : CheatSheetTest {
    StackView container{Qt::Horizontal};
    GroupViews groupViews;

    static VDKeySettingPtr setting(int keyCode, ModifierSet modifiers, VDActionPtr action,
                                   std::vector<VDAtomicActionParam> params = {})
    {
        return VDKeySetting::make(VDKey(keyCode, std::move(modifiers)), std::move(action), std::move(params));
    }

    // The texts of a group view's rows: the key part's labels (right to left) and the text, as "keys|text".
    static std::vector<std::string> rows(VDCheatSheetGroup* group)
    {
        std::vector<std::string> out;
        for (QWidget* row : group->arrangedSubviews()) {
            auto parts = static_cast<StackView*>(row)->arrangedSubviews();
            std::string keys;
            for (QWidget* label : static_cast<StackView*>(parts[0])->arrangedSubviews())
                keys = static_cast<QLabel*>(label)->text().toStdString() + keys;
            const auto* text = static_cast<QLabel*>(static_cast<StackView*>(parts[1])->arrangedSubviews()[0]);
            out.push_back(keys + "|" + text->text().toStdString() + (text->font().bold() ? " (bold)" : ""));
        }
        return out;
    }
};

TEST_F(CheatSheetViews, RowsShowModifiersKeyAndTheDescriptionUnderABoldTitle)
{
    const auto repeat = VDAction::make("viewsTestRepeat", "Repeat", G::movement, {}, {},
                                       [](const VDAction::ParamSequence& params) -> std::optional<std::string> {
                                           if (params.empty()) return std::nullopt;
                                           return "Repeat " + std::to_string(params[0].timesValue().value_or(0));
                                       });
    const auto scheme =
        VDKeyScheme::make("views", "", VDKeySchemeType::custom,
                          {setting(14, {57}, repeat, {VDAtomicActionParam::times(3)}), setting(2, {57, 56}, repeat)});
    drawCheatSheet(container, *scheme, {{G::movement}}, groupViews);
    ASSERT_EQ(groupViews.size(), 1u);
    EXPECT_EQ(rows(groupViews.at(G::movement)),
              (std::vector<std::string>{"|Movement (bold)", "Caps Lock+E|Repeat 3", "Shift+Caps Lock+D|Repeat"}));
}

TEST_F(CheatSheetViews, EachColumnIsAsWideAsItsOwnHotkeysAndTextsNeed)
{
    const auto move = VDAction::make("viewsTestMove", "Move", G::movement);
    const auto edit = VDAction::make("viewsTestEdit", "Edit", G::editing);
    const auto scheme = VDKeyScheme::make("keys", "", VDKeySchemeType::custom,
                                          {setting(51, {57, 55, 56, 58, 59}, move), setting(14, {57}, edit)});
    drawCheatSheet(container, *scheme, {{G::movement}, {G::editing}}, groupViews);
    const auto keyPartOf = [this](G group) {
        const auto* row = static_cast<StackView*>(groupViews.at(group)->arrangedSubviews()[1]);
        return row->arrangedSubviews()[0]->minimumWidth();
    };
    EXPECT_GT(keyPartOf(G::movement), keyPartOf(G::editing));
    const auto columns = container.arrangedSubviews();
    EXPECT_GT(columns[0]->minimumWidth(), columns[2]->minimumWidth());
}

TEST_F(CheatSheetViews, SeparatorsStandOnlyBetweenColumns)
{
    auto& s = makeSheet();
    const auto views = s.containerStackView()->arrangedSubviews();
    ASSERT_GE(views.size(), 5u);
    ASSERT_EQ(views.size() % 2, 1u);
    for (std::size_t i = 0; i < views.size(); ++i)
        EXPECT_EQ(qobject_cast<VDCheatSheetSeparator*>(views[i]) != nullptr, i % 2 == 1) << i;

    const auto one =
        VDKeyScheme::make("one", "", VDKeySchemeType::custom, {setting(38, {57}, BuiltInVDAction::showCheatSheet())});
    drawCheatSheet(container, *one, {{G::vandrelGeneral}}, groupViews);
    EXPECT_EQ(container.arrangedSubviews().size(), 1u);
}

TEST_F(CheatSheetViews, AGroupWithoutSettingsIsSkippedAndTheRestDrawn)
{
    const auto scheme =
        VDKeyScheme::make("skip", "", VDKeySchemeType::custom, {setting(38, {57}, BuiltInVDAction::showCheatSheet())});
    drawCheatSheet(container, *scheme, {{G::editing, G::vandrelGeneral}, {G::others}}, groupViews);
    EXPECT_EQ(groupViews.size(), 1u);
    EXPECT_EQ(listStackSubviewCount(container), 2);
    EXPECT_EQ(groupViews.at(G::vandrelGeneral)->parentWidget(), container.arrangedSubviews()[0]);
}

TEST_F(CheatSheetViews, ALongDescriptionIsCutWithAnEllipsisInsideItsColumn)
{
    const std::string longText(300, 'x');
    const auto action = VDAction::make("viewsTestLong", longText, G::editing);
    const auto scheme = VDKeyScheme::make("long", "", VDKeySchemeType::custom, {setting(14, {57}, action)});
    drawCheatSheet(container, *scheme, {{G::editing}}, groupViews);
    container.adjustSize();
    const auto row = groupViews.at(G::editing)->arrangedSubviews()[1];
    auto* text = static_cast<ElidedLabel*>(
        static_cast<StackView*>(static_cast<StackView*>(row)->arrangedSubviews()[1])->arrangedSubviews()[0]);
    container.show();
    EXPECT_TRUE(text->displayedText().endsWith(QChar(0x2026)));
    EXPECT_LT(text->displayedText().size(), 300);
    // It gets the room a column of the usual width leaves a description, inside its column.
    EXPECT_EQ(text->width(), CheatSheetUIConstants::listWidth - 2 * PreferencesUIConstants::windowPadding -
                                 CheatSheetUIConstants::keyViewWidth - PreferencesUIConstants::basicGap);
    EXPECT_LE(text->mapTo(&container, QPoint(text->width(), 0)).x(), container.width());
}

TEST_F(CheatSheetViews, GrowingAndShrinkingMovesTheExistingGroupViews)
{
    const auto scheme = activeKeyScheme.value();
    drawCheatSheet(container, *scheme, calcGroupsOfListToDisplay(*scheme, 2), groupViews);
    const auto built = groupViews;

    const auto three = calcGroupsOfListToDisplay(*scheme, 3);
    changeColumnCount(container, three, groupViews);
    EXPECT_EQ(listStackSubviewCount(container), 3);
    EXPECT_EQ(container.arrangedSubviews().size(), 5u);
    EXPECT_EQ(groupViews, built);
    const auto columnsNow = container.arrangedSubviews();
    for (std::size_t c = 0; c < three.size(); ++c)
        for (const auto& group : three[c]) EXPECT_EQ(groupViews.at(group)->parentWidget(), columnsNow[2 * c]);

    const auto one = calcGroupsOfListToDisplay(*scheme, 1);
    changeColumnCount(container, one, groupViews);
    EXPECT_EQ(container.arrangedSubviews().size(), 1u);
    for (const auto& [group, view] : groupViews) EXPECT_EQ(view->parentWidget(), container.arrangedSubviews()[0]);
}

}  // namespace
}  // namespace vandrel::test
