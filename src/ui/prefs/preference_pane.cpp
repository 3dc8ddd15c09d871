#include "ui/prefs/preference_pane.h"

#include <array>
#include <utility>

#include "core/localize.h"

namespace vandrel {

const PreferencePaneIdentifier PreferencePaneIdentifier::general{"general"};
const PreferencePaneIdentifier PreferencePaneIdentifier::hotkey{"hotkey"};
const PreferencePaneIdentifier PreferencePaneIdentifier::advanced{"advanced"};
const PreferencePaneIdentifier PreferencePaneIdentifier::experimental{"experimental"};
const PreferencePaneIdentifier PreferencePaneIdentifier::hotstring{"hotstring"};
const PreferencePaneIdentifier PreferencePaneIdentifier::developer{"developer"};
const PreferencePaneIdentifier PreferencePaneIdentifier::develop{"develop"};

namespace {

struct PaneFacts {
    const char* identifier;
    const char* titleKey;
    const char* icon;
};

constexpr std::array<PaneFacts, 7> paneFacts{{
    {"general", "General", "Switch-1"},
    {"hotkey", "Hotkey", "Hotkey"},
    {"advanced", "_advanced_setting", "settings-gear-64"},
    {"experimental", "_experimental_features", "lab"},
    {"hotstring", "Hotstring", "Note"},
    {"developer", "Developer", "quiet"},
    {"develop", "Develop", "transparent"},
}};

const PaneFacts* factsOf(const std::string& identifier)
{
    for (const auto& facts : paneFacts)
        if (identifier == facts.identifier) return &facts;
    return nullptr;
}

}  // namespace

std::string PreferencePaneIdentifier::titleKey() const
{
    const auto* facts = factsOf(rawValue);
    return facts ? facts->titleKey : rawValue;
}

ImageAsset PreferencePaneIdentifier::icon() const
{
    const auto* facts = factsOf(rawValue);
    return ImageAsset(facts ? facts->icon : rawValue);
}

PreferencePane::PreferencePane(PreferencePaneIdentifier identifier)
    : identifier_(std::move(identifier)),
      title_(QString::fromStdString(localized(identifier_.titleKey()))),
      icon_(identifier_.icon().image())
{
}

PreferencePane::~PreferencePane()
{
    // A view still shown by a window goes with the pane; the window's own pointer to it is a guarded one.
    delete view_.data();
}

QWidget* PreferencePane::view()
{
    if (!view_) {
        view_ = new QWidget();
        viewDidLoad();
    }
    return view_.data();
}

}  // namespace vandrel
