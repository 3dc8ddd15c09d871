// The manual and the tutorial that the tray menu opens name keys of the default layout; every binding they
// mark must be the layout's own, so the pages never teach keys that do something else, and is written as the
// program writes hotkeys.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <regex>
#include <sstream>
#include <string>

#include "catalogue/build_in_vd_key_scheme.h"
#include "catalogue/built_in_vd_action.h"
#include "core/install_layout.h"
#include "model/key_kit.h"

namespace vandrel {
namespace {

// Key codes of the keys the pages name.
const std::map<std::string, int> kKeyCodes = {
    {"A", 0},  {"S", 1},  {"D", 2},  {"F", 3},       {"H", 4},      {"G", 5},          {"X", 7},  {"C", 8},
    {"V", 9},  {"B", 11}, {"W", 13}, {"E", 14},      {"R", 15},     {"T", 17},         {"1", 18}, {"O", 31},
    {"U", 32}, {"[", 33}, {"I", 34}, {"P", 35},      {"L", 37},     {"J", 38},         {"K", 40}, {";", 41},
    {",", 43}, {"/", 44}, {".", 47}, {"Return", 36}, {"Space", 49}, {"Backspace", 51},
};
const std::map<std::string, int> kModifiers = {
    {"Super", 55}, {"Shift", 56}, {"Caps Lock", 57}, {"Alt", 58}, {"Ctrl", 59}};

struct Binding {
    std::string action;
    std::string text;
    std::optional<VDKey> key;
    std::string written;  // the same hotkey as the program writes it
};

std::vector<Binding> bindingsOf(const char* page)
{
    std::ifstream in(InstallLayout::resourcesFolder() / page);
    std::stringstream html;
    html << in.rdbuf();
    const std::string text = html.str();
    std::vector<Binding> out;
    const std::regex span(R"re(<span data-action="([^"]+)">(.*?)</span>)re");
    const std::regex kbd(R"(<kbd>([^<]+)</kbd>)");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), span); it != std::sregex_iterator(); ++it) {
        const std::string keys = (*it)[2];
        ModifierSet modifiers;
        std::optional<int> code;
        std::string keyName;
        bool known = true;
        for (auto k = std::sregex_iterator(keys.begin(), keys.end(), kbd); k != std::sregex_iterator(); ++k) {
            const std::string name = (*k)[1];
            if (kModifiers.count(name))
                modifiers.insert(kModifiers.at(name));
            else if (kKeyCodes.count(name) && !code)
                code = kKeyCodes.at(name), keyName = name;
            else
                known = false;
        }
        out.push_back({(*it)[1], std::regex_replace(keys, std::regex("</?kbd>"), ""),
                       known && code ? std::optional(VDKey(*code, modifiers)) : std::nullopt,
                       KeyKit::modifiersToString(modifiers) + keyName});
    }
    return out;
}

TEST(BundledPages, EveryKeyTheManualAndTheTutorialNameDoesWhatTheySayInTheDefaultLayout)
{
    BuiltInVDAction::registerAll();
    const auto scheme = BuildInVDKeyScheme::vandrel_v20190601();
    const auto& windowKeys = BuildInVDKeyScheme::vandrelWindowBindingKeysList();
    for (const char* page : {"manual.html", "tutorial.html"}) {
        const auto bindings = bindingsOf(page);
        EXPECT_GE(bindings.size(), 12u) << page;
        for (const auto& b : bindings) {
            ASSERT_TRUE(b.key) << page << ": unknown keys " << b.text;
            EXPECT_EQ(b.text, b.written) << page;
            bool matches = false;
            if (b.action == "bindWindow" || b.action == "activateWindow") {
                for (const auto& w : windowKeys) matches |= (b.action == "bindWindow" ? w.bind : w.activate) == *b.key;
            } else {
                for (const auto& s : scheme->keySettings.value())
                    matches |= s->key() == *b.key && s->action()->idName() == b.action;
            }
            EXPECT_TRUE(matches) << page << ": " << b.text << " is not " << b.action << " in the default layout";
        }
    }
}

}  // namespace
}  // namespace vandrel
