// Localized texts. Keys are English sentences or underscore keys ("_bind_window_first"); each language has a
// table <language>.json of key -> text in ProgramFolders' texts folder (the program's resources/texts). A key
// missing from the table reads as itself.
//
//   localized("No Action")
//   localized("_alert_window_binding", keyText, appName)   // fills "${0}", "${1}", ...
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace vandrel {

class Localize {
public:
    // The language texts are shown in: the one chosen with setCurrentLanguage(), else the first language
    // of the user's locale that has a table, else "en". Names as the tables are named ("en", "zh-Hans").
    static std::string currentLanguage();
    static void setCurrentLanguage(std::string language);
    static std::vector<std::string> availableLanguages();
    // The key's text in the current language, or the key itself.
    static std::string lookup(std::string_view key);

    // "zh_CN.UTF-8" -> "zh-Hans", "pt_BR" -> "pt-BR", "C" -> "".
    static std::string languageFromLocale(std::string_view locale);
};

// The text of key in the current language with "${0}".."${5}" replaced, in that order, by the arguments
// given; a placeholder without an argument stays as it is.
std::string localized(std::string_view key, std::string_view arg0 = "${0}", std::string_view arg1 = "${1}",
                      std::string_view arg2 = "${2}", std::string_view arg3 = "${3}", std::string_view arg4 = "${4}",
                      std::string_view arg5 = "${5}");

// Replaces every "${0}".."${5}" in text, one placeholder after the other over the text produced so far.
std::string fillPlaceholders(std::string text, std::string_view arg0 = "${0}", std::string_view arg1 = "${1}",
                             std::string_view arg2 = "${2}", std::string_view arg3 = "${3}",
                             std::string_view arg4 = "${4}", std::string_view arg5 = "${5}");

}  // namespace vandrel
