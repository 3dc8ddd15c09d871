#include "ui/overlays/cheat_sheet_columns.h"

#include <algorithm>
#include <cstdint>

#include "core/collection_helpers.h"
#include "core/log.h"
#include "ui/base/ui_constants.h"

namespace vandrel {

namespace {
constexpr int kColumnsWithoutScreen = 4;

std::string describe(const CheatSheetColumns& columns)
{
    std::string out;
    for (const auto& column : columns) {
        out += "[";
        for (std::size_t i = 0; i < column.size(); ++i) {
            if (i) out += ", ";
            out += std::string(column[i].rawValue());
        }
        out += "]";
    }
    return out;
}

// The container's padding on both sides, then each column and, between two, the separator with the
// container's spacing around it.
constexpr int kContainerPadding = 2 * PreferencesUIConstants::windowPadding;
constexpr int kBetweenColumns = 3 * CheatSheetUIConstants::basicGap;

double usableWidth(double visibleScreenWidth)
{
    return visibleScreenWidth * CheatSheetUIConstants::maxPercentOfFullVisibleScreen;
}
}  // namespace

int calculateMaxListCount(std::optional<double> visibleScreenWidth, int listWidth)
{
    if (!visibleScreenWidth) return kColumnsWithoutScreen;
    const double width = usableWidth(*visibleScreenWidth);
    const int fitting =
        static_cast<int>((width - kContainerPadding + kBetweenColumns) / (std::max(1, listWidth) + kBetweenColumns));
    log.debug("groupsOfListToDisplay maxListCount ->", std::vector<double>{width, double(listWidth), double(fitting)});
    // A screen narrower than one column still gets one; zero columns would leave nothing to merge into.
    return std::max(1, fitting);
}

bool listsFitWidth(double visibleScreenWidth, const std::vector<int>& listWidths)
{
    double needed = kContainerPadding;
    for (std::size_t i = 0; i < listWidths.size(); ++i) needed += listWidths[i] + (i ? kBetweenColumns : 0);
    return needed <= usableWidth(visibleScreenWidth);
}

int calculateMaxListCount(std::optional<double> visibleScreenWidth, int groupCount,
                          const std::function<std::vector<int>(int listCount)>& listWidthsFor)
{
    if (!visibleScreenWidth) return kColumnsWithoutScreen;
    int count = 1;
    for (int n = 2; n <= groupCount; ++n)
        if (listsFitWidth(*visibleScreenWidth, listWidthsFor(n))) count = n;
    log.debug("groupsOfListToDisplay maxListCount ->", std::vector<double>{*visibleScreenWidth, double(count)});
    return count;
}

int rowsOfList(const CheatSheetColumn& column, const GroupSettingsCount& counts)
{
    int rows = 0;
    for (const auto& group : column) {
        const auto it = counts.find(group);
        rows += (it == counts.end() ? 0 : it->second) + 2;
    }
    return rows - 1;
}

CheatSheetColumns rearrangementGroupsTo(const std::vector<VDActionGroup>& groups, int targetListCount,
                                        const GroupSettingsCount& counts)
{
    CheatSheetColumns result;
    for (const auto& group : groups) result.push_back({group});
    const auto target = static_cast<std::size_t>(std::max(1, targetListCount));
    while (result.size() > target) {
        std::vector<std::int64_t> rows;
        for (const auto& column : result) rows.push_back(rowsOfList(column, counts));
        const std::size_t i = indexOfMinVarienceFor(rows);
        auto& merged = result[i];
        merged.insert(merged.end(), result[i + 1].begin(), result[i + 1].end());
        result.erase(result.begin() + static_cast<std::ptrdiff_t>(i + 1));
        log.debug("settings count ->", rows);
        log.debug("result->", describe(result));
        log.debug("indexOfMinVarience ->", i);
    }
    return result;
}

CheatSheetColumns calcGroupsOfListToDisplay(const VDKeyScheme& scheme, int currentListCount)
{
    const auto groups = scheme.allSettingsGroups();
    GroupSettingsCount counts;
    for (const auto& [group, settings] : scheme.groupToSettingsDictionary())
        counts[group] = static_cast<int>(settings.size());
    const int target = std::min(static_cast<int>(groups.size()), currentListCount);
    log.debug("groupsOfListToDisplay listCount ->",
              std::vector<int>{static_cast<int>(groups.size()), currentListCount, target});
    auto result = rearrangementGroupsTo(groups, target, counts);
    log.debug("groupsOfListToDisplay ->", describe(result));
    return result;
}

}  // namespace vandrel
