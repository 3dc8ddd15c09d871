// The display groups of actions, whose titles head the bindings in the cheat sheet and the hotkey editor.
#pragma once

#include <functional>
#include <optional>
#include <string_view>
#include <vector>

namespace vandrel {

class VDActionGroup {
public:
    // Declaration order.
    enum Value {
        noGroup,
        vandrelGeneral,
        general,
        movement,
        selection,
        editing,
        multiClipboard,
        windowBinding,
        others,
        hidden
    };

    constexpr VDActionGroup(Value v) : value_(v) {}

    // The display title ("hidden" is written in lower case).
    std::string_view rawValue() const;
    // The group whose title is exactly the text.
    static std::optional<VDActionGroup> fromRawValue(std::string_view title);
    // Display order: like declaration order, but noGroup comes after others.
    static const std::vector<VDActionGroup>& sortedGroups();

    constexpr Value value() const { return value_; }
    constexpr bool operator==(const VDActionGroup&) const = default;

private:
    Value value_;
};

}  // namespace vandrel

template <>
struct std::hash<vandrel::VDActionGroup> {
    std::size_t operator()(const vandrel::VDActionGroup& g) const noexcept
    {
        return std::hash<std::string_view>{}(g.rawValue());
    }
};
