#include "core/localize.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>

#include "core/install_layout.h"
#include "core/log_capture.h"
#include "core/program_folders.h"

namespace vandrel {
namespace {

namespace fs = std::filesystem;

class LocalizeTest : public ::testing::Test {
protected:
    Installations folders_;
};

TEST_F(LocalizeTest, TheEnglishTableCoversTheUnderscoreKeysAndKeepsSentences)
{
    std::ifstream in(InstallLayout::resourcesFolder() / "texts" / "en.json");
    ASSERT_TRUE(in);
    const auto table = nlohmann::json::parse(in, nullptr, false);
    ASSERT_TRUE(table.is_object());
    for (const auto& [key, value] : table.items()) {
        ASSERT_TRUE(value.is_string()) << key;
        const std::string text = value.get<std::string>();
        // Keys are sentences or names: "_bind_window_first", "first_time_launch_modal_text_1".
        const bool named = key.starts_with("_") ||
                           (key.find('_') != std::string::npos && std::all_of(key.begin(), key.end(), [](char c) {
                                return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
                            }));
        if (named) {
            EXPECT_FALSE(text.empty()) << key;
            EXPECT_FALSE(text.starts_with("_")) << key;
        } else {
            EXPECT_EQ(text, key);
        }
        // A translation keeps the placeholders of its key.
        for (const char* placeholder : {"${0}", "${1}"}) {
            if (key.find(placeholder) != std::string::npos) {
                EXPECT_NE(text.find(placeholder), std::string::npos) << key;
            }
        }
    }
    for (const char* key : {"_tap_a_key", "_press_a_key", "_bind_window_first", "_alert_window_binding",
                            "_get_focused_window_fail", "_window_info_stored_in_log", "_start_login"}) {
        EXPECT_NE(localized(key), key) << key;
    }
}

TEST_F(LocalizeTest, PlaceholdersAreFilledInOrderAndMissingOnesStay)
{
    EXPECT_EQ(localized("No such key ${0} and ${1}"), "No such key ${0} and ${1}");
    EXPECT_EQ(localized("No such key ${0} and ${1}", "A"), "No such key A and ${1}");
    EXPECT_EQ(localized("No such key ${0} and ${1}", "A", "B"), "No such key A and B");
    // The first argument's own "${1}" is filled by the second argument.
    EXPECT_EQ(localized("${0}!", "x ${1}", "y"), "x y!");
    // A later placeholder in an argument stays when its own argument is left out.
    EXPECT_EQ(localized("${0}", "${2}", "b"), "${2}");
    EXPECT_EQ(localized("${5}${5}${0}", "a", "b", "c", "d", "e", "f"), "ffa");
    EXPECT_EQ(fillPlaceholders("\"${0}\"", "Work"), "\"Work\"");
    const std::string alert = localized("_alert_window_binding", "⌘1", "Terminal");
    EXPECT_NE(alert.find("⌘1"), std::string::npos) << alert;
    EXPECT_NE(alert.find("Terminal"), std::string::npos) << alert;
}

TEST_F(LocalizeTest, TheCurrentLanguageChoosesTheTable)
{
    QTemporaryDir dir;
    const fs::path folder = dir.path().toStdString();
    std::ofstream(folder / "en.json") << R"({"_hello": "Hello ${0}"})";
    std::ofstream(folder / "zh-Hans.json") << R"({"_hello": "你好 ${0}", "_number": 5})";
    std::ofstream(folder / "broken.json") << "{";
    auto folders = ProgramFolders::standard();
    folders.texts = folder;
    folders_.install(ProgramFolders::installed(), std::make_shared<const ProgramFolders>(folders));

    EXPECT_EQ(Localize::availableLanguages(), (std::vector<std::string>{"broken", "en", "zh-Hans"}));
    EXPECT_EQ(localized("_hello", "Ann"), "Hello Ann");
    Localize::setCurrentLanguage("zh-Hans");
    EXPECT_EQ(Localize::currentLanguage(), "zh-Hans");
    EXPECT_EQ(localized("_hello", "Ann"), "你好 Ann");
    EXPECT_EQ(localized("_number"), "_number");

    Localize::setCurrentLanguage("fr");  // no table: keys read as themselves
    EXPECT_EQ(localized("_hello"), "_hello");

    test::ScopedLogCapture logs;
    Localize::setCurrentLanguage("broken");
    EXPECT_EQ(localized("_hello"), "_hello");
    EXPECT_EQ(logs->count(LogLevel::error), 1u);

    // Once the folders go, the program's own tables are read again.
    folders_.clear();
    Localize::setCurrentLanguage("en");
    EXPECT_EQ(localized("_hello"), "_hello");
    EXPECT_NE(localized("_tap_a_key"), "_tap_a_key");
}

TEST_F(LocalizeTest, LocalesMapToTableNames)
{
    EXPECT_EQ(Localize::languageFromLocale("zh_CN.UTF-8"), "zh-Hans");
    EXPECT_EQ(Localize::languageFromLocale("zh_TW.UTF-8"), "zh-Hant");
    EXPECT_EQ(Localize::languageFromLocale("sr_RS@latin"), "sr-RS");
    EXPECT_EQ(Localize::languageFromLocale("C.UTF-8"), "");
}

}  // namespace
}  // namespace vandrel
