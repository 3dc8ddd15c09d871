#include "core/settings_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <thread>

#include "core/defaults.h"
#include "core/defaults_keys.h"
#include "core/failing_write_calls.h"
#include "core/file_helpers.h"
#include "core/json_limits.h"
#include "core/log_capture.h"
#include "core/set_aside_files.h"

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

// A settings value nested `depth` lists deep.
std::string nestedValue(int depth)
{
    return std::string(static_cast<std::size_t>(depth), '[') + "1" + std::string(static_cast<std::size_t>(depth), ']');
}

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
        EXPECT_EQ(SetAsideFiles::reported().back().copy, aside.front());
        EXPECT_EQ(SetAsideFiles::reported().back().original, file());

        store.set(DefaultsKeys::app_launchedTimes, std::int64_t{5});
        EXPECT_EQ(json::parse(read(file()))["app_launchTimes"], 5);
        EXPECT_EQ(read(aside.front()), text);
    }

    // The one who tells the user hears of what was set aside before it came, then of each later one.
    std::vector<fs::path> heard;
    SetAsideFiles::setListener([&heard](const SetAsideFile& f) { heard.push_back(f.copy); });
    writeFile("{,}");
    SettingsStore again(folder());
    SetAsideFiles::setListener({});
    EXPECT_EQ(heard.size(), SetAsideFiles::reported().size());
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

TEST_F(SettingsStoreTest, AFolderOrPipeInPlaceOfEitherFileIsMovedAsideAndTheStoreStarts)
{
    for (const char* name : {SettingsStore::standardFileName, SettingsStore::groupFileName}) {
        for (const bool pipe : {false, true}) {
            SCOPED_TRACE(std::string(name) + (pipe ? " pipe" : " folder"));
            fs::remove_all(folder());
            fs::create_directories(folder());
            const fs::path path = folder() / name;
            if (pipe) {
                ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);  // opening it for reading must not wait for a writer
            } else {
                fs::create_directories(path);
                std::ofstream(path / "inside") << "kept";
            }
            test::ScopedLogCapture logs;
            SettingsStore store(folder(), name);
            EXPECT_EQ(logs->count(LogLevel::error), 1u);
            EXPECT_EQ(store.get(DefaultsKeys::clip_thumbnailWidth), 100);

            std::vector<fs::path> aside;
            for (const auto& entry : fs::directory_iterator(folder()))
                if (entry.path().filename().string().starts_with(std::string(name) + ".corrupt-"))
                    aside.push_back(entry.path());
            ASSERT_EQ(aside.size(), 1u);
            if (!pipe) {
                EXPECT_EQ(read(aside.front() / "inside"), "kept");
            }

            store.set(DefaultsKeys::clip_thumbnailWidth, std::int64_t{90});
            EXPECT_TRUE(fs::is_regular_file(path));
            EXPECT_EQ(SettingsStore(folder(), name).get(DefaultsKeys::clip_thumbnailWidth), 90);
        }
    }
}

TEST_F(SettingsStoreTest, AFileNestedDeeperThanTheLimitIsMovedAsideAndTheStoreWrites)
{
    // The file's object is one level, so a value may hold kMaxJsonNesting - 1 more.
    writeFile(R"({"deep": )" + nestedValue(kMaxJsonNesting - 1) + R"(, "clip_thumbnailWidth": 80})");
    {
        SettingsStore store(folder());
        EXPECT_EQ(store.get(DefaultsKeys::clip_thumbnailWidth), 80);
        store.set(DefaultsKeys::clip_thumbnailWidth, std::int64_t{81});
        EXPECT_TRUE(asideFiles().empty());
    }

    for (const int depth : {kMaxJsonNesting, 100000}) {
        SCOPED_TRACE(depth);
        fs::remove_all(folder());
        const std::string text = R"({"clip_thumbnailWidth": 80, "deep": )" + nestedValue(depth) + "}";
        writeFile(text);
        test::ScopedLogCapture logs;
        SettingsStore store(folder());
        EXPECT_EQ(logs->count(LogLevel::error), 1u);
        EXPECT_EQ(store.get(DefaultsKeys::clip_thumbnailWidth), 100);
        store.set(DefaultsKeys::feedback_username, std::string("me"));  // the write that used to overflow
        EXPECT_TRUE(store.synchronize());
        ASSERT_EQ(asideFiles().size(), 1u);
        EXPECT_EQ(read(asideFiles().front()), text);
        for (const auto& entry : logs->entries()) EXPECT_LT(entry.context.size(), 1000u) << "no message quotes it all";
    }
}

TEST_F(SettingsStoreTest, AValueNestedDeeperThanTheLimitIsNotStored)
{
    SettingsStore store(folder());
    test::ScopedLogCapture logs;
    store.setObject(json::parse(nestedValue(kMaxJsonNesting)), "deep");  // the file would be one deeper
    EXPECT_FALSE(store.object("deep").has_value());
    EXPECT_EQ(logs->count(LogLevel::error), 1u);
    store.setObject(json::parse(nestedValue(kMaxJsonNesting - 1)), "deep");
    EXPECT_TRUE(store.object("deep").has_value());
    EXPECT_TRUE(SettingsStore(folder()).object("deep").has_value());
}

TEST_F(SettingsStoreTest, AFailedWriteAtAnyStepKeepsTheFileLogsOnceAndReportsTheFailure)
{
    using Step = test::FailingWriteCalls::Step;
    for (const Step step :
         {Step::create, Step::write, Step::partialWrite, Step::fsync, Step::shortFile, Step::close, Step::rename}) {
        SCOPED_TRACE(static_cast<int>(step));
        fs::remove_all(folder());
        const std::string stored = R"({"hotkey_customKeySchemeNames": ["Mine"], "hotkey_allCustomKeySchemes": )"
                                   R"({"Mine": ")" +
                                   std::string(9000, 'k') + R"("}})";
        writeFile(stored);
        auto calls = std::make_shared<test::FailingWriteCalls>();
        calls->failAt(step, EACCES);
        SettingsStore store(folder(), SettingsStore::standardFileName, WholeFileWriter(calls));
        test::ScopedLogCapture logs;
        store.set(DefaultsKeys::clip_thumbnailWidth, std::int64_t{90});
        store.set(DefaultsKeys::clip_thumbnailWidth, std::int64_t{91});
        EXPECT_FALSE(store.synchronize());
        const auto told = store.writeFailure().value_or("");
        EXPECT_TRUE(told.starts_with("the settings file cannot be written: ")) << told;
        if (step != Step::shortFile) {
            EXPECT_TRUE(told.ends_with(": permission denied")) << told;
        }
        EXPECT_EQ(read(file()), stored);
        EXPECT_EQ(logs->count(LogLevel::error), 1u);
        EXPECT_EQ(store.get(DefaultsKeys::clip_thumbnailWidth), 91);
        std::size_t entries = 0;
        for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder())) ++entries;
        EXPECT_EQ(entries, 1u) << "no temporary file stays";

        calls->failAt(Step::none);  // writable again
        EXPECT_TRUE(store.synchronize());
        EXPECT_FALSE(store.writeFailure());
        EXPECT_EQ(logs->count(LogLevel::info), 1u) << "the recovery is told";
        const json saved = json::parse(read(file()));
        EXPECT_EQ(saved["clip_thumbnailWidth"], 91);
        EXPECT_EQ(saved["hotkey_customKeySchemeNames"], json::array({"Mine"}));
    }
}

TEST_F(SettingsStoreTest, TheFolderAndFileAreTheOwnersOnlyWhateverTheUmask)
{
    const mode_t before = ::umask(022);
    {
        SettingsStore store(folder());
        store.set(DefaultsKeys::clip_thumbnailWidth, std::int64_t{90});
    }
    writeFile("{}");
    ::chmod(file().c_str(), 0644);
    SettingsStore(folder()).set(DefaultsKeys::clip_thumbnailWidth, std::int64_t{91});
    ::umask(before);
    EXPECT_EQ(test::modeOf(folder()), 0700u);
    EXPECT_EQ(test::modeOf(file()), 0600u) << "each write makes the file the owner's only";
}

}  // namespace
}  // namespace vandrel
