#include "core/collection_helpers.h"

#include <numeric>

namespace vandrel {

std::size_t indexOfMinVarienceFor(const std::vector<std::int64_t>& items)
{
    if (items.size() < 2) return 0;
    // In floating point: large heights must not overflow the sums.
    const double sum = std::accumulate(items.begin(), items.end(), 0.0, [](double total, std::int64_t item) {
        return total + static_cast<double>(item);
    });
    const double mean = sum / static_cast<double>(items.size() - 1);
    std::vector<double> variences;
    variences.reserve(items.size() - 1);
    for (std::size_t i = 0; i + 1 < items.size(); ++i) {
        const double pairSum = static_cast<double>(items[i]) + static_cast<double>(items[i + 1]);
        const double varience = (pairSum - mean) * (pairSum - mean);
        log.debug("subIAndNext, varience ->", std::vector<double>{pairSum, varience});
        variences.push_back(varience);
    }
    const auto minimum = std::min_element(variences.begin(), variences.end());
    const auto index = static_cast<std::size_t>(minimum - variences.begin());
    log.debug("variences, variences.min(), indexOf ->",
              logText(variences) + ", " + logText(*minimum) + ", " + logText(index));
    return index;
}

}  // namespace vandrel
