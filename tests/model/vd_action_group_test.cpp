#include "model/vd_action_group.h"

#include <gtest/gtest.h>

#include <unordered_set>

namespace vandrel {
namespace {

TEST(VDActionGroupTest, TitlesReadBackExactly)
{
    EXPECT_EQ(VDActionGroup(VDActionGroup::multiClipboard).rawValue(), "Multiple Clipboard");
    EXPECT_EQ(VDActionGroup(VDActionGroup::vandrelGeneral).rawValue(), "Vandrel General");
    EXPECT_EQ(VDActionGroup::fromRawValue("hidden"), VDActionGroup::hidden);
    EXPECT_EQ(VDActionGroup::fromRawValue("Hidden"), std::nullopt);
    EXPECT_EQ(VDActionGroup::fromRawValue("No Group"), VDActionGroup::noGroup);
    EXPECT_EQ(VDActionGroup::fromRawValue(""), std::nullopt);
}

TEST(VDActionGroupTest, DisplayOrderPutsNoGroupBeforeHidden)
{
    const auto& sorted = VDActionGroup::sortedGroups();
    ASSERT_EQ(sorted.size(), 10u);
    EXPECT_EQ(sorted[0], VDActionGroup::vandrelGeneral);
    EXPECT_EQ(sorted[7], VDActionGroup::others);
    EXPECT_EQ(sorted[8], VDActionGroup::noGroup);
    EXPECT_EQ(sorted[9], VDActionGroup::hidden);

    std::unordered_set<VDActionGroup> all(sorted.begin(), sorted.end());
    EXPECT_EQ(all.size(), 10u);
    EXPECT_EQ(std::hash<VDActionGroup>{}(VDActionGroup::editing), std::hash<VDActionGroup>{}(VDActionGroup::editing));
    EXPECT_NE(VDActionGroup(VDActionGroup::editing), VDActionGroup::selection);
}

}  // namespace
}  // namespace vandrel
