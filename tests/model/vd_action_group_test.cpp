#include "model/vd_action_group.h"

#include <gtest/gtest.h>

namespace vandrel {
namespace {

TEST(VDActionGroupTest, TitlesReadBackExactlyAndNoGroupSortsBeforeHidden)
{
    EXPECT_EQ(VDActionGroup(VDActionGroup::multiClipboard).rawValue(), "Multiple Clipboard");
    EXPECT_EQ(VDActionGroup::fromRawValue("No Group"), VDActionGroup::noGroup);
    EXPECT_EQ(VDActionGroup::fromRawValue("Hidden"), std::nullopt);
    EXPECT_EQ(VDActionGroup::fromRawValue(""), std::nullopt);

    const auto& sorted = VDActionGroup::sortedGroups();
    ASSERT_EQ(sorted.size(), 10u);
    EXPECT_EQ(sorted[8], VDActionGroup::noGroup);
    EXPECT_EQ(sorted[9], VDActionGroup::hidden);
}

}  // namespace
}  // namespace vandrel
