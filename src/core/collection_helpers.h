// Collection helpers the models and services share.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <unordered_set>
#include <utility>
#include <vector>

#include "core/log.h"

namespace vandrel {

namespace collection_detail {
template <class T>
concept Hashable = requires(const T& value)
{
    {
        std::hash<T>{}(value)
        } -> std::convertible_to<std::size_t>;
};
}  // namespace collection_detail

// Puts element in front and keeps at most limitedSize elements, dropping the oldest (the back). A limit
// below 1 keeps nothing.
template <class T>
void unshift(std::vector<T>& items, T element, std::int64_t limitedSize)
{
    if (limitedSize < 1) {
        log.error("limitedSize must larger than or equals 1 ->", limitedSize);
        items.clear();
        return;
    }
    while (static_cast<std::int64_t>(items.size()) >= limitedSize) items.pop_back();
    items.insert(items.begin(), std::move(element));
}

// Every entry of base and of other; where both have a key, other's value.
template <class Map>
Map combinedWith(const Map& base, const Map& other)
{
    Map combined = base;
    for (const auto& [key, value] : other) combined.insert_or_assign(key, value);
    return combined;
}

// The elements that occur more than once, each once, in the order of their second occurrence.
template <class T>
std::vector<T> duplicates(const std::vector<T>& items)
{
    std::vector<T> repeated;
    if constexpr (collection_detail::Hashable<T>) {
        std::unordered_set<T> seen;
        std::unordered_set<T> reported;
        for (const auto& item : items) {
            if (!seen.insert(item).second && reported.insert(item).second) repeated.push_back(item);
        }
    } else {
        for (std::size_t i = 0; i < items.size(); ++i) {
            const auto begin = items.begin();
            if (std::find(begin, begin + static_cast<std::ptrdiff_t>(i), items[i]) ==
                begin + static_cast<std::ptrdiff_t>(i))
                continue;
            if (std::find(repeated.begin(), repeated.end(), items[i]) == repeated.end()) repeated.push_back(items[i]);
        }
    }
    return repeated;
}

// The elements with repeats left out; the first occurrence keeps its place.
template <class T>
std::vector<T> withoutDuplicates(const std::vector<T>& items)
{
    std::vector<T> unique;
    if constexpr (collection_detail::Hashable<T>) {
        std::unordered_set<T> seen;
        for (const auto& item : items) {
            if (seen.insert(item).second) unique.push_back(item);
        }
    } else {
        for (const auto& item : items) {
            if (std::find(unique.begin(), unique.end(), item) == unique.end()) unique.push_back(item);
        }
    }
    return unique;
}

// Removes every element equal to item.
template <class T>
void removeAll(std::vector<T>& items, const T& item)
{
    std::erase(items, item);
}

// Where to split a list of heights so that neighbouring pairs are even: the first index i whose pair sum
// items[i] + items[i + 1] lies closest to sum / (count - 1). 0 for fewer than two items.
std::size_t indexOfMinVarienceFor(const std::vector<std::int64_t>& items);

}  // namespace vandrel
