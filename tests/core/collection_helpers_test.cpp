#include "core/collection_helpers.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "core/log_capture.h"

namespace vandrel {
namespace {

TEST(CollectionHelpersTest, UnshiftKeepsTheNewestWithinTheLimit)
{
    std::vector<std::string> items{"A", "B"};
    unshift(items, std::string("X"), 2);
    EXPECT_EQ(items, (std::vector<std::string>{"X", "A"}));

    std::vector<std::string> empty;
    unshift(empty, std::string("X"), 2);
    EXPECT_EQ(empty, (std::vector<std::string>{"X"}));

    // A limit below 1 keeps nothing instead of stopping the program.
    test::ScopedLogCapture logs;
    std::vector<int> none{1, 2};
    unshift(none, 9, 0);
    EXPECT_TRUE(none.empty());
    EXPECT_EQ(logs->count(LogLevel::error), 1u);
}

TEST(CollectionHelpersTest, CombinedWithPrefersTheOtherSide)
{
    const std::map<std::string, int> a{{"a", 1}, {"b", 2}};
    const std::map<std::string, int> b{{"b", 3}, {"c", 4}};
    EXPECT_EQ(combinedWith(a, b), (std::map<std::string, int>{{"a", 1}, {"b", 3}, {"c", 4}}));
    EXPECT_EQ(a.at("b"), 2);
}

TEST(CollectionHelpersTest, SplitIndexOfHeights)
{
    EXPECT_EQ(indexOfMinVarienceFor({}), 0u);
    EXPECT_EQ(indexOfMinVarienceFor({3, 1, 4, 1, 5}), 0u);
    EXPECT_EQ(indexOfMinVarienceFor({1, 1, 1, 1}), 0u);  // equal minima: the first
    EXPECT_EQ(indexOfMinVarienceFor({1, 10, 1, 1}), 2u);
    EXPECT_EQ(indexOfMinVarienceFor({INT64_MAX, INT64_MAX, 1}), 1u);  // no overflow
}

struct Unhashable {
    int value;
    bool operator==(const Unhashable&) const = default;
};

TEST(CollectionHelpersTest, RepeatsAreFoundAndRemoved)
{
    const std::vector<int> items{3, 1, 3, 2, 1, 3};
    EXPECT_EQ(duplicates(items), (std::vector<int>{3, 1}));
    EXPECT_EQ(withoutDuplicates(items), (std::vector<int>{3, 1, 2}));
    std::vector<int> copy = items;
    removeAll(copy, 3);
    EXPECT_EQ(copy, (std::vector<int>{1, 2, 1}));

    const std::vector<Unhashable> plain{{1}, {2}, {1}, {1}};
    EXPECT_EQ(duplicates(plain), (std::vector<Unhashable>{{1}}));
    EXPECT_EQ(withoutDuplicates(plain), (std::vector<Unhashable>{{1}, {2}}));
}

}  // namespace
}  // namespace vandrel
