#include "core/installed_instance.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace vandrel {
namespace {

// Records its name when it goes.
struct Named {
    Named(std::string n, std::vector<std::string>& g) : name(std::move(n)), gone(g) {}
    ~Named() { gone.push_back(name); }
    const std::string name;
    std::vector<std::string>& gone;
};

TEST(Installations, UndoesInReverseOrderAndLeavesAnInstanceInstalledSinceAlone)
{
    std::vector<std::string> gone;
    InstalledInstance<Named> first, second, replaced, madeOnUse;
    {
        Installations installations;
        installations.install(first, std::make_shared<Named>("first", gone));
        const auto afterFirst = installations.mark();
        installations.install(second, std::make_shared<Named>("second", gone));
        installations.install(replaced, std::make_shared<Named>("mine", gone));
        installations.emptyAtEnd(madeOnUse);
        madeOnUse.install(std::make_shared<Named>("made on use", gone));
        replaced.install(std::make_shared<Named>("someone else's", gone));
        EXPECT_EQ(gone, std::vector<std::string>{"mine"});
        gone.clear();
        // Back to a mark: what came after it goes, last first; what came before stays until the end.
        installations.clearTo(afterFirst);
        EXPECT_EQ(gone, (std::vector<std::string>{"made on use", "second"}));
        EXPECT_NE(first.get(), nullptr);
    }
    EXPECT_EQ(gone, (std::vector<std::string>{"made on use", "second", "first"}));
    EXPECT_EQ(first.get(), nullptr);
    EXPECT_EQ(second.get(), nullptr);
    ASSERT_NE(replaced.get(), nullptr);
    EXPECT_EQ(replaced.get()->name, "someone else's");
}

}  // namespace
}  // namespace vandrel
