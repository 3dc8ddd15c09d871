// How the cheat sheet splits the action groups of a scheme into side-by-side columns: how many columns, each
// as wide as its own texts need, fit the screen, and a greedy merge of neighbouring groups into that many runs of
// roughly even height. Pure functions; the window controller applies the result to its views.
//
//   calcGroupsOfListToDisplay(scheme, calculateMaxListCount(screen.visibleWidth, groups, widthsOfTheSplit))
//     -> [[General, Movement], [Selection, Editing], [Multiple Clipboard, Window Binding]]
//
// Groups are never reordered: the concatenation of the columns is always the scheme's group list.
#pragma once

#include <functional>
#include <optional>
#include <unordered_map>
#include <vector>

#include "model/vd_action_group.h"
#include "model/vd_key_scheme.h"
#include "ui/base/ui_constants.h"

namespace vandrel {

using CheatSheetColumn = std::vector<VDActionGroup>;
using CheatSheetColumns = std::vector<CheatSheetColumn>;
// Number of key settings of each group; an absent group counts 0.
using GroupSettingsCount = std::unordered_map<VDActionGroup, int>;

// Columns of listWidth that fit a visible screen width (95 % of it), with the container's padding and the
// separators between them. Never below 1, so a narrow screen still shows one (scrolling) column; 4 without
// a screen.
int calculateMaxListCount(std::optional<double> visibleScreenWidth, int listWidth = CheatSheetUIConstants::listWidth);

// Whether columns of these widths, side by side, fit a visible screen width (95 % of it) with the container's
// padding and the separators between them.
bool listsFitWidth(double visibleScreenWidth, const std::vector<int>& listWidths);

// The columns a scheme's groups take on a visible width: the most, up to groupCount, whose own widths fit it
// (listWidthsFor(count) gives the width of each column of that split), so that a column of long texts costs
// only its own room. At least 1; 4 without a screen.
int calculateMaxListCount(std::optional<double> visibleScreenWidth, int groupCount,
                          const std::function<std::vector<int>(int listCount)>& listWidthsFor);

// Rows one column takes: each group's settings plus 2 (its title and the gap), less 1. An empty column is -1.
int rowsOfList(const CheatSheetColumn& column, const GroupSettingsCount& counts);

// Splits groups into at most targetListCount columns: one column per group, then, while there are too
// many, the neighbouring pair whose joined height lies closest to the mean height of one column fewer is
// merged (the leftmost pair on a tie). A target below 1 counts as 1; no groups give no columns.
CheatSheetColumns rearrangementGroupsTo(const std::vector<VDActionGroup>& groups, int targetListCount,
                                        const GroupSettingsCount& counts);

// The columns to draw for a scheme: its groups in use, split into min(groups, currentListCount) columns.
CheatSheetColumns calcGroupsOfListToDisplay(const VDKeyScheme& scheme, int currentListCount);

}  // namespace vandrel
