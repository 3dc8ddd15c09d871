#include "core/settings_store.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <thread>

#include "core/defaults.h"
#include "core/defaults_keys.h"
#include "core/log_capture.h"

namespace vandrel {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

class SettingsStoreTest : public ::testing::Test {
protected:
    fs::path folder() const { return fs::path(dir_.path().toStdString()) / "Vandrel"; }
    fs::path file() const { return folder() / "settings.json"; }

    void writeFile(const std::string& text) const
    {
        fs::create_directories(folder());
        std::ofstream(file(), std::ios::binary) << text;
    }

    static std::string read(const fs::path& path)
    {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    std::vector<fs::path> asideFiles() const
    {
        std::vector<fs::path> found;
        for (const auto& entry : fs::directory_iterator(folder())) {
            if (entry.path().filename().string().starts_with("settings.json.corrupt-")) found.push_back(entry.path());
        }
        return found;
    }

    QTemporaryDir dir_;
};

TEST_F(SettingsStoreTest, FreshStoreReadsTheTableDefaultsAndWritesNothing)
{
    SettingsStore store(folder());
    EXPECT_TRUE(store.get(DefaultsKeys::cheatSheet_isWindowPined));
    EXPECT_EQ(store.get(DefaultsKeys::clip_thumbnailWidth), 100);
    EXPECT_FALSE(store.object("cheatSheet_isWindowPined").has_value());
    EXPECT_FALSE(fs::exists(file())) << "reading must not write defaults back";
}

TEST_F(SettingsStoreTest, AccessorsWithOtherKeyStringsReadTheirStoredKeyOnly)
{
    writeFile(R"({"app_launchedTimes": 99, "app_launchTimes": 7,
                  "app_fileLogMinLevel": "error", "app_fileMinLogLevel": "verbose",
                  "hotkey_currentKeyScheme": "Wrong", "hotkey_currentKeyscheme": "Work"})");
    SettingsStore store(folder());
    EXPECT_EQ(store.get(DefaultsKeys::app_launchedTimes), 7);
    EXPECT_EQ(store.get(DefaultsKeys::app_fileLogMinLevel), "verbose");
    EXPECT_EQ(store.get(DefaultsKeys::hotkey_currentKeyScheme), "Work");
}

TEST_F(SettingsStoreTest, WrongTypesReadAsDefaultsWhileTheRestOfTheFileIsUsedAndKept)
{
    writeFile(R"({"hotkey_customKeySchemeNames": 5, "hotkey_allCustomKeySchemes": ["a"],
                  "clip_thumbnailWidth": "wide", "clip_thumbnailHeight": 18446744073709551615,
                  "app_isAllowSendUsage": 1, "cheatSheet_isWindowPined": false,
                  "feedback_email": "a@b.c", "hotkey_currentKeyscheme": ["x"]})");
    test::ScopedLogCapture logs;
    SettingsStore store(folder());
    EXPECT_TRUE(store.get(DefaultsKeys::hotkey_customKeySchemeNames).empty());
    EXPECT_EQ(store.get(DefaultsKeys::clip_thumbnailWidth), 100);
    EXPECT_EQ(store.get(DefaultsKeys::clip_thumbnailHeight), 32);
    EXPECT_FALSE(store.get(DefaultsKeys::app_isAllowSendUsage));
    EXPECT_FALSE(store.get(DefaultsKeys::cheatSheet_isWindowPined));
    EXPECT_EQ(store.get(DefaultsKeys::feedback_email), "a@b.c");
    EXPECT_EQ(logs->count(LogLevel::error), 0u);
    EXPECT_TRUE(asideFiles().empty());

    // A write of another key keeps the mistyped values as they were.
    store.set(DefaultsKeys::clip_isPastePlainText, true);
    const json saved = json::parse(read(file()));
    EXPECT_EQ(saved["hotkey_customKeySchemeNames"], 5);
    EXPECT_EQ(saved["clip_thumbnailWidth"], "wide");
    EXPECT_EQ(saved["clip_isPastePlainText"], true);
    EXPECT_EQ(saved["feedback_email"], "a@b.c");
}

TEST_F(SettingsStoreTest, WritesAreStoredAtOnceAndReadBackByANewStore)
{
    {
        SettingsStore store(folder());
        store[DefaultsKeys::cheatSheet_isWindowPined] = false;
        store[DefaultsKeys::app_launchedTimes] = std::int64_t{42};
        store[DefaultsKeys::hotkey_currentKeyScheme] = "Work";
        store.set(DefaultsKeys::hotkey_customKeySchemeNames, {"A", "B"});
        store.set(DefaultsKeys::hotkey_allCustomKeySchemes, {{"A", "{}"}});
        // On disk before the store goes away: no flush is needed.
        const json saved = json::parse(read(file()));
        EXPECT_EQ(saved["cheatSheet_isWindowPined"], false);
        EXPECT_EQ(saved["app_launchTimes"], 42);
        EXPECT_FALSE(saved.contains("app_launchedTimes"));
    }
    SettingsStore reopened(folder());
    EXPECT_FALSE(reopened.get(DefaultsKeys::cheatSheet_isWindowPined));
    EXPECT_EQ(reopened.get(DefaultsKeys::app_launchedTimes), 42);
    EXPECT_EQ(reopened.get(DefaultsKeys::hotkey_currentKeyScheme), "Work");
    EXPECT_EQ(reopened.get(DefaultsKeys::hotkey_customKeySchemeNames), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(reopened.get(DefaultsKeys::hotkey_allCustomKeySchemes).at("A"), "{}");
}

TEST_F(SettingsStoreTest, UnreadableFilesAreMovedAsideWithOneErrorAndNeverOverwritten)
{
    const std::vector<std::string> broken = {
        "{not json",                                    // not JSON
        R"({"app_launchTimes": 3, "clip_thumbnailWi)",  // truncated
        R"([1, 2, 3])",                                 // JSON, but not an object of settings
        "",                                             // empty
    };
    for (const auto& text : broken) {
        SCOPED_TRACE(text);
        fs::remove_all(folder());
        writeFile(text);
        test::ScopedLogCapture logs;
        SettingsStore store(folder());
        EXPECT_EQ(logs->count(LogLevel::error), 1u);
        EXPECT_EQ(store.get(DefaultsKeys::app_launchedTimes), 0);
        const auto aside = asideFiles();
        ASSERT_EQ(aside.size(), 1u);
        EXPECT_EQ(read(aside.front()), text);

        store.set(DefaultsKeys::app_launchedTimes, std::int64_t{5});
        EXPECT_EQ(json::parse(read(file()))["app_launchTimes"], 5);
        EXPECT_EQ(read(aside.front()), text);
    }
}

TEST_F(SettingsStoreTest, AnUnwritableFolderLogsOnceAndKeepsValuesInMemory)
{
    // A regular file where the folder's parent should be: no one, root included, can create the folder.
    const fs::path blocker = fs::path(dir_.path().toStdString()) / "blocker";
    std::ofstream(blocker) << "x";
    test::ScopedLogCapture logs;
    SettingsStore store(blocker / "Vandrel");
    store.set(DefaultsKeys::clip_thumbnailWidth, std::int64_t{120});
    store.set(DefaultsKeys::clip_thumbnailWidth, std::int64_t{130});
    store.set(DefaultsKeys::feedback_username, std::string("me"));
    EXPECT_EQ(store.get(DefaultsKeys::clip_thumbnailWidth), 130);
    EXPECT_EQ(store.get(DefaultsKeys::feedback_username), "me");
    EXPECT_EQ(logs->count(LogLevel::error), 1u);
    EXPECT_FALSE(store.synchronize());
}

TEST_F(SettingsStoreTest, ConcurrentWritersLeaveAValidFileWithTheLastValues)
{
    SettingsStore store(folder());
    constexpr int threads = 8;
    constexpr int writes = 12;
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&store, t] {
            const DefaultsKey<std::int64_t> key("thread_" + std::to_string(t), -1);
            for (int i = 0; i < writes; ++i) {
                store.set(key, std::int64_t{i});
                store.set(DefaultsKeys::feedback_username, "thread " + std::to_string(t));
            }
        });
    }
    for (auto& w : workers) w.join();

    const json saved = json::parse(read(file()));
    for (int t = 0; t < threads; ++t) EXPECT_EQ(saved["thread_" + std::to_string(t)], writes - 1);
    EXPECT_EQ(saved["feedback_username"], store.get(DefaultsKeys::feedback_username));
    for (const auto& entry : fs::directory_iterator(folder())) EXPECT_EQ(entry.path().filename(), "settings.json");
}

TEST_F(SettingsStoreTest, ObserversHearTheirKeyOnly)
{
    SettingsStore store(folder());
    std::vector<bool> pinned;
    std::vector<std::optional<json>> raw;
    std::vector<std::string> keys;
    auto a =
        store.observe(DefaultsKeys::cheatSheet_isWindowPined).subscribe([&](const bool& v) { pinned.push_back(v); });
    auto b = store.observeObject("cheatSheet_isWindowPined").subscribe([&](const std::optional<json>& v) {
        raw.push_back(v);
    });
    auto c = store.changedKeys().subscribe([&](const std::string& k) { keys.push_back(k); });

    store.set(DefaultsKeys::cheatSheet_isWindowPined, false);
    store.set(DefaultsKeys::clip_isPastePlainText, true);
    store.setObject("not a bool", "cheatSheet_isWindowPined");
    store.removeObject("cheatSheet_isWindowPined");
    a.dispose();
    store.set(DefaultsKeys::cheatSheet_isWindowPined, false);

    EXPECT_EQ(pinned, (std::vector<bool>{true, false, true, true}));
    ASSERT_EQ(raw.size(), 5u);
    EXPECT_FALSE(raw[0].has_value());
    EXPECT_EQ(*raw[1], false);
    EXPECT_EQ(*raw[2], "not a bool");
    EXPECT_FALSE(raw[3].has_value());
    EXPECT_EQ(keys,
              (std::vector<std::string>{"cheatSheet_isWindowPined", "clip_isPastePlainText", "cheatSheet_isWindowPined",
                                        "cheatSheet_isWindowPined", "cheatSheet_isWindowPined"}));
}

TEST_F(SettingsStoreTest, ClientIdentifierIsMadeOnceAndWrittenAtOnce)
{
    std::string first;
    {
        SettingsStore store(folder());
        EXPECT_FALSE(store.string(DefaultsKeys::googleReporter_uniqueUserIdentifier).has_value());
        bool created = false;
        first = store.uniqueUserIdentifier(&created);
        EXPECT_TRUE(created);
        EXPECT_TRUE(std::regex_match(first, std::regex("[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}")))
            << first;
        EXPECT_EQ(json::parse(read(file()))["googleReporter_uniqueUserIdentifier"], first);
        EXPECT_EQ(store.uniqueUserIdentifier(&created), first);
        EXPECT_FALSE(created);
    }
    SettingsStore reopened(folder());
    EXPECT_EQ(reopened.string(DefaultsKeys::googleReporter_uniqueUserIdentifier), first);
    EXPECT_EQ(reopened.uniqueUserIdentifier(), first);
}

TEST_F(SettingsStoreTest, TextThatIsNotUtf8DoesNotBreakTheFile)
{
    SettingsStore store(folder());
    store.set(DefaultsKeys::feedback_username, std::string("bad \xff byte"));
    store.set(DefaultsKeys::clip_thumbnailWidth, std::int64_t{90});
    const json saved = json::parse(read(file()));
    EXPECT_EQ(saved["clip_thumbnailWidth"], 90);
}

TEST_F(SettingsStoreTest, InstalledDefaultsServeTheSubscriptForm)
{
    auto store = std::make_shared<SettingsStore>(folder());
    installDefaults(store);
    EXPECT_EQ(&Defaults(), store.get());
    Defaults()[DefaultsKeys::experimental_hotstring] = true;
    EXPECT_TRUE(store->get(DefaultsKeys::experimental_hotstring));
    const bool value = Defaults()[DefaultsKeys::experimental_hotstring];
    EXPECT_TRUE(value);

    auto group = std::make_shared<SettingsStore>(folder(), SettingsStore::groupFileName);
    installGroupDefaults(group);
    GroupDefaults().setObject(1234, "app_theVandrelCurrentPID");
    EXPECT_TRUE(fs::exists(folder() / "group-settings.json"));
    EXPECT_FALSE(Defaults().object("app_theVandrelCurrentPID").has_value());
}

}  // namespace
}  // namespace vandrel
