#include "core/localize.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>

#include "core/log.h"
#include "core/program_folders.h"
#include "core/string_helpers.h"

namespace vandrel {

namespace fs = std::filesystem;

namespace {

struct Tables {
    std::mutex mutex;
    // The folders the loaded tables and the default language come from.
    std::shared_ptr<const ProgramFolders> folders;
    fs::path folder;
    std::optional<std::string> chosenLanguage;
    std::optional<std::string> defaultLanguage;
    std::map<std::string, std::map<std::string, std::string, std::less<>>, std::less<>> loaded;
};

Tables& tables()
{
    static Tables instance;
    return instance;
}

// Locks the tables, forgetting what was read from another texts folder than the current one.
std::unique_lock<std::mutex> lockCurrent(Tables& t)
{
    auto folders = ProgramFolders::current();
    std::unique_lock lock(t.mutex);
    if (t.folders != folders) {
        t.folder = folders->texts;
        t.folders = std::move(folders);
        t.loaded.clear();
        t.defaultLanguage.reset();
    }
    return lock;
}

std::vector<std::string> availableLocked(const Tables& t)
{
    std::vector<std::string> languages;
    std::error_code ec;
    for (fs::directory_iterator it(t.folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (it->path().extension() == ".json") languages.push_back(it->path().stem().string());
    }
    std::sort(languages.begin(), languages.end());
    return languages;
}

std::string defaultLanguageLocked(Tables& t)
{
    if (t.defaultLanguage) return *t.defaultLanguage;
    const auto available = availableLocked(t);
    std::vector<std::string> preferred;
    if (const char* list = std::getenv("LANGUAGE"); list && *list) {
        std::string_view rest = list;
        while (!rest.empty()) {
            const auto colon = rest.find(':');
            preferred.push_back(Localize::languageFromLocale(rest.substr(0, colon)));
            rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
        }
    }
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        if (const char* value = std::getenv(name); value && *value) {
            preferred.push_back(Localize::languageFromLocale(value));
            break;
        }
    }
    std::string chosen = "en";
    for (const auto& language : preferred) {
        if (language.empty()) continue;
        const auto base = language.substr(0, language.find('-'));
        if (std::find(available.begin(), available.end(), language) != available.end()) {
            chosen = language;
            break;
        }
        if (std::find(available.begin(), available.end(), base) != available.end()) {
            chosen = base;
            break;
        }
    }
    t.defaultLanguage = chosen;
    return chosen;
}

const std::map<std::string, std::string, std::less<>>& tableLocked(Tables& t, const std::string& language)
{
    if (const auto it = t.loaded.find(language); it != t.loaded.end()) return it->second;
    auto& table = t.loaded[language];
    const fs::path file = t.folder / (language + ".json");
    const auto read = readWholeFile(file);
    if (!read) return table;  // no table: every key reads as itself
    const std::string& text = *read;
    const auto json = nlohmann::json::parse(text, nullptr, false);
    if (json.is_discarded() || !json.is_object()) {
        log.error("text table is not a JSON object; texts show their keys ->", file.string());
        return table;
    }
    for (const auto& [key, value] : json.items()) {
        if (value.is_string()) table.emplace(key, value.get<std::string>());
    }
    return table;
}

void replaceAll(std::string& text, std::string_view placeholder, std::string_view value)
{
    if (placeholder == value) return;
    for (std::size_t at = text.find(placeholder); at != std::string::npos;
         at = text.find(placeholder, at + value.size())) {
        text.replace(at, placeholder.size(), value);
    }
}

}  // namespace

std::string Localize::languageFromLocale(std::string_view locale)
{
    locale = locale.substr(0, locale.find_first_of(".@"));
    if (locale.empty() || locale == "C" || locale == "POSIX") return {};
    const auto underscore = locale.find('_');
    const std::string language(locale.substr(0, underscore));
    const std::string region(underscore == std::string_view::npos ? std::string_view() : locale.substr(underscore + 1));
    if (language == "zh") {
        if (region == "TW" || region == "HK" || region == "MO" || region == "Hant") return "zh-Hant";
        return "zh-Hans";
    }
    return region.empty() ? language : language + "-" + region;
}

std::string Localize::currentLanguage()
{
    auto& t = tables();
    const auto lock = lockCurrent(t);
    return t.chosenLanguage ? *t.chosenLanguage : defaultLanguageLocked(t);
}

void Localize::setCurrentLanguage(std::string language)
{
    auto& t = tables();
    const auto lock = lockCurrent(t);
    t.chosenLanguage = std::move(language);
}

std::vector<std::string> Localize::availableLanguages()
{
    auto& t = tables();
    const auto lock = lockCurrent(t);
    return availableLocked(t);
}

std::string Localize::lookup(std::string_view key)
{
    auto& t = tables();
    const auto lock = lockCurrent(t);
    const std::string language = t.chosenLanguage ? *t.chosenLanguage : defaultLanguageLocked(t);
    const auto& table = tableLocked(t, language);
    if (const auto it = table.find(key); it != table.end()) return it->second;
    return std::string(key);
}

std::string fillPlaceholders(std::string text, std::string_view arg0, std::string_view arg1, std::string_view arg2,
                             std::string_view arg3, std::string_view arg4, std::string_view arg5)
{
    static constexpr std::array<std::string_view, 6> placeholders = {"${0}", "${1}", "${2}", "${3}", "${4}", "${5}"};
    const std::array<std::string_view, 6> args = {arg0, arg1, arg2, arg3, arg4, arg5};
    for (std::size_t i = 0; i < placeholders.size(); ++i) replaceAll(text, placeholders[i], args[i]);
    return text;
}

std::string localized(std::string_view key, std::string_view arg0, std::string_view arg1, std::string_view arg2,
                      std::string_view arg3, std::string_view arg4, std::string_view arg5)
{
    return fillPlaceholders(Localize::lookup(key), arg0, arg1, arg2, arg3, arg4, arg5);
}

}  // namespace vandrel
