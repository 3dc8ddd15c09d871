#include "ui/overlays/cheat_sheet_columns.h"

#include <gtest/gtest.h>

#include <numeric>
#include <tuple>

#include "model/vd_action.h"
#include "model/vd_key_setting.h"

namespace vandrel {
namespace {

using G = VDActionGroup;

// The groups of the default layout with their numbers of settings.
const std::vector<VDActionGroup> kGroups{G::general, G::movement,       G::selection,
                                         G::editing, G::multiClipboard, G::windowBinding};
const GroupSettingsCount kCounts{{G::general, 3}, {G::movement, 12},      {G::selection, 10},
                                 {G::editing, 8}, {G::multiClipboard, 4}, {G::windowBinding, 5}};

CheatSheetColumns columns(std::initializer_list<std::initializer_list<VDActionGroup>> lists)
{
    CheatSheetColumns out;
    for (const auto& list : lists) out.emplace_back(list);
    return out;
}

TEST(CheatSheetColumns, WorkedExampleMergesTheEvenestPairsIntoThreeColumns)
{
    const auto result = rearrangementGroupsTo(kGroups, 3, kCounts);
    EXPECT_EQ(result,
              columns({{G::general, G::movement}, {G::selection, G::editing}, {G::multiClipboard, G::windowBinding}}));
    std::vector<int> rows;
    for (const auto& column : result) rows.push_back(rowsOfList(column, kCounts));
    EXPECT_EQ(rows, (std::vector<int>{18, 21, 12}));
}

TEST(CheatSheetColumns, ATieMergesTheLeftmostPair)
{
    const GroupSettingsCount even{{G::general, 3}, {G::movement, 3}, {G::selection, 3}};
    EXPECT_EQ(rearrangementGroupsTo({G::general, G::movement, G::selection}, 2, even),
              columns({{G::general, G::movement}, {G::selection}}));
}

TEST(CheatSheetColumns, FewOrNoGroupsKeepOneColumnEach)
{
    EXPECT_EQ(rearrangementGroupsTo({G::general, G::movement}, 4, kCounts), columns({{G::general}, {G::movement}}));
    EXPECT_EQ(rearrangementGroupsTo({G::editing}, 3, kCounts), columns({{G::editing}}));
    EXPECT_TRUE(rearrangementGroupsTo({}, 3, kCounts).empty());
    EXPECT_TRUE(rearrangementGroupsTo({}, 0, kCounts).empty());
}

TEST(CheatSheetColumns, ATargetBelowOneStillGivesOneColumnOfEveryGroup)
{
    const auto result = rearrangementGroupsTo(kGroups, 0, kCounts);
    EXPECT_EQ(result, CheatSheetColumns{kGroups});
    EXPECT_EQ(rearrangementGroupsTo(kGroups, -5, kCounts), CheatSheetColumns{kGroups});
}

TEST(CheatSheetColumns, ConcatenationIsAlwaysTheGroupListInOrder)
{
    for (int target = 1; target <= 7; ++target) {
        const auto result = rearrangementGroupsTo(kGroups, target, kCounts);
        EXPECT_EQ(static_cast<int>(result.size()), std::min(target, 6));
        std::vector<VDActionGroup> joined;
        for (const auto& column : result) joined.insert(joined.end(), column.begin(), column.end());
        EXPECT_EQ(joined, kGroups) << "target " << target;
    }
}

TEST(CheatSheetColumns, RowsCountTitlesAndGaps)
{
    EXPECT_EQ(rowsOfList({}, kCounts), -1);
    EXPECT_EQ(rowsOfList({G::general}, kCounts), 4);
    EXPECT_EQ(rowsOfList({G::others}, kCounts), 1);  // a group without settings counts 0
}

TEST(CheatSheetColumns, ColumnCountFollowsTheVisibleWidth)
{
    EXPECT_EQ(calculateMaxListCount(1920.0), 4);
    EXPECT_EQ(calculateMaxListCount(1440.0), 3);
    EXPECT_EQ(calculateMaxListCount(1920.0, 460), 3);  // wider columns, fewer of them
    EXPECT_EQ(calculateMaxListCount(std::nullopt), 4);
    EXPECT_EQ(calculateMaxListCount(300.0), 1);
    EXPECT_EQ(calculateMaxListCount(0.0), 1);
}

TEST(CheatSheetColumns, AsManyColumnsAsTheirOwnWidthsFitAtAnyScale)
{
    // The widths of each split of the default layout, as its texts need them: a column of long texts takes
    // more room than the others, but only its own.
    const auto widthsOfSplit = [](int count) {
        static const std::vector<int> splits[] = {
            {}, {600}, {389, 451}, {384, 389, 451}, {384, 389, 451, 284}, {280, 384, 389, 451, 284}};
        return splits[count];
    };
    // Logical widths: a 1920 px screen at scale 1, 1.5 and 2; 1366 and 300 at scale 1; no screen.
    const std::pair<std::optional<double>, int> rows[] = {{1920.0, 4}, {1280.0, 2}, {960.0, 2},
                                                          {1366.0, 2}, {300.0, 1},  {std::nullopt, 4}};
    for (const auto& [visible, count] : rows)
        EXPECT_EQ(calculateMaxListCount(visible, 5, widthsOfSplit), count) << visible.value_or(-1);
}

TEST(CheatSheetColumns, SchemeSplitUsesItsGroupsInUseAndTheCurrentCount)
{
    auto action = [](const char* id, VDActionGroup group) { return VDAction::make(id, id, group); };
    const auto moveA = action("columnsTestMove", G::movement);
    const auto editA = action("columnsTestEdit", G::editing);
    const auto selectA = action("columnsTestSelect", G::selection);
    VDKeyScheme::KeySettings settings;
    for (int code = 0; code < 6; ++code) settings.push_back(VDKeySetting::make(VDKey(code, {57}), moveA));
    settings.push_back(VDKeySetting::make(VDKey(10, {57}), editA));
    settings.push_back(VDKeySetting::make(VDKey(11, {57}), selectA));
    const auto scheme = VDKeyScheme::make("columns", "", VDKeySchemeType::custom, settings);

    EXPECT_EQ(calcGroupsOfListToDisplay(*scheme, 4), columns({{G::movement}, {G::selection}, {G::editing}}));
    EXPECT_EQ(calcGroupsOfListToDisplay(*scheme, 2), columns({{G::movement}, {G::selection, G::editing}}));
    const auto empty = VDKeyScheme::make("empty", "", VDKeySchemeType::custom, {});
    EXPECT_TRUE(calcGroupsOfListToDisplay(*empty, 4).empty());
}

}  // namespace
}  // namespace vandrel
