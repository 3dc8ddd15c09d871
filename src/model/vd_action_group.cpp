#include "model/vd_action_group.h"

namespace vandrel {

namespace {

constexpr std::string_view kTitles[] = {"No Group", "Vandrel General",    "General",        "Movement", "Selection",
                                        "Editing",  "Multiple Clipboard", "Window Binding", "Others",   "hidden"};

}  // namespace

std::string_view VDActionGroup::rawValue() const
{
    return kTitles[value_];
}

std::optional<VDActionGroup> VDActionGroup::fromRawValue(std::string_view title)
{
    for (int i = 0; i <= hidden; ++i)
        if (kTitles[i] == title) return VDActionGroup(static_cast<Value>(i));
    return std::nullopt;
}

const std::vector<VDActionGroup>& VDActionGroup::sortedGroups()
{
    static const std::vector<VDActionGroup> groups{vandrelGeneral, general,       movement, selection, editing,
                                                   multiClipboard, windowBinding, others,   noGroup,   hidden};
    return groups;
}

}  // namespace vandrel
