#include "model/key_scheme_store.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>

#include "core/defaults.h"
#include "core/defaults_keys.h"
#include "core/failing_write_calls.h"
#include "core/log_capture.h"
#include "core/popup_msg.h"

namespace vandrel {
namespace {

using nlohmann::json;
using Names = std::vector<std::string>;
using Texts = std::map<std::string, std::string>;

std::string schemeText(const std::string& name, const std::string& settings = "", const char* version = "v20190601")
{
    return std::string(R"({"version":")") + version + R"(","name":")" + name +
           R"(","desc":"","type":"Custom","keySettings":[)" + settings + R"(],"forAppBundleIds":[]})";
}

struct KeySchemeStoreTest : ::testing::Test {
    QTemporaryDir dir;
    std::shared_ptr<SettingsStore> settings = std::make_shared<SettingsStore>(dir.path().toStdString());
    SettingsStore& store = *settings;
    test::ScopedLogCapture logged;
    int popups = 0;
    std::string lastMessage;
    const PopupPresenter popup = [this](const std::string& message, double) {
        ++popups;
        lastMessage = message;
    };

    // Writes as the key service does, telling the user of a failure through the test's presenter.
    bool write(const VDKeyScheme& scheme, SettingsStore& target)
    {
        return KeySchemeStore::write(scheme, target, popup);
    }

    Names names() const { return store.get(DefaultsKeys::hotkey_customKeySchemeNames); }
    Texts texts() const { return store.get(DefaultsKeys::hotkey_allCustomKeySchemes); }
    void storeRaw(Names n, Texts t)
    {
        store.set(DefaultsKeys::hotkey_customKeySchemeNames, n);
        store.set(DefaultsKeys::hotkey_allCustomKeySchemes, t);
    }
    static VDKeySchemePtr custom(const std::string& name)
    {
        return VDKeyScheme::make(name, "", VDKeySchemeType::custom, {});
    }
};

TEST_F(KeySchemeStoreTest, OnlyCustomSchemesAreWrittenAndRepeatedNamesGo)
{
    EXPECT_FALSE(write(*VDKeyScheme::make("B", "", VDKeySchemeType::builtIn, {}), store));
    EXPECT_FALSE(write(*VDKeyScheme::make("F", "", VDKeySchemeType::forApp, {}, {"x"}), store));
    EXPECT_FALSE(store.object("hotkey_customKeySchemeNames"));
    EXPECT_FALSE(store.object("hotkey_allCustomKeySchemes"));

    storeRaw({"A", "B", "A"}, {{"A", "a"}, {"B", schemeText("Before")}});
    auto b = custom("B");
    EXPECT_TRUE(write(*b, store));
    EXPECT_EQ(names(), (Names{"A", "B"}));
    EXPECT_EQ(texts(), (Texts{{"A", "a"}, {"B", schemeText("B")}}));

    installDefaults(settings);
    EXPECT_TRUE(custom("C")->writeIntoUserDefaults());
    EXPECT_TRUE(custom("C")->writeIntoUserDefaults());
    EXPECT_EQ(names(), (Names{"A", "B", "C"}));
    EXPECT_EQ(popups, 0);
}

TEST_F(KeySchemeStoreTest, AnEncodingFailureIsReportedAndLosesNothingStored)
{
    write(*custom("Good"), store);
    const auto namesBefore = store.object("hotkey_customKeySchemeNames");
    const auto textsBefore = store.object("hotkey_allCustomKeySchemes");
    EXPECT_FALSE(write(*custom("Good\xc3"), store));
    EXPECT_EQ(logged->count(LogLevel::error), 1u);
    EXPECT_TRUE(logged->contains(LogLevel::error, "Cannot save the key scheme ->"));
    EXPECT_EQ(popups, 1);
    EXPECT_EQ(store.object("hotkey_customKeySchemeNames"), namesBefore);
    EXPECT_EQ(store.object("hotkey_allCustomKeySchemes"), textsBefore);
}

TEST_F(KeySchemeStoreTest, WritesAndRemovalsTheDiskRefusesAreReportedAsNotSaved)
{
    auto calls = std::make_shared<test::FailingWriteCalls>();
    SettingsStore failing(dir.filePath("failing").toStdString(), SettingsStore::standardFileName,
                          WholeFileWriter(calls));
    calls->failAt(test::FailingWriteCalls::Step::create, EACCES);
    EXPECT_FALSE(write(*custom("Lost"), failing));
    EXPECT_TRUE(logged->contains(LogLevel::error, "Cannot save the key scheme ->"));
    EXPECT_EQ(lastMessage,
              "Failed to save hotkey scheme \"Lost\": the settings file cannot be written: permission "
              "denied. The change stays in effect until Vandrel quits.");

    // The unsaved scheme is still listed in memory; removing it cannot be saved either.
    EXPECT_FALSE(KeySchemeStore::remove("Lost", failing, popup));
    EXPECT_EQ(lastMessage,
              "Failed to remove hotkey scheme \"Lost\": the settings file cannot be written: permission "
              "denied. It comes back when Vandrel starts again.");
    EXPECT_TRUE(KeySchemeStore::remove("Lost", store, popup));
}

TEST_F(KeySchemeStoreTest, StoredValuesOfAnotherShapeAreNeitherLostNorOverwritten)
{
    // Elements this build cannot read (a newer version's, say) stay through writes and are skipped on reading.
    store.setObject(json{{"Odd", {{"future", true}}}, {"Empty", schemeText("Empty")}}, "hotkey_allCustomKeySchemes");
    store.setObject(json{"Odd", 7, "Empty"}, "hotkey_customKeySchemeNames");
    ASSERT_TRUE(write(*custom("New"), store));
    EXPECT_EQ(*store.object("hotkey_customKeySchemeNames"), (json{"Odd", 7, "Empty", "New"}));
    EXPECT_EQ((*store.object("hotkey_allCustomKeySchemes"))["Odd"], (json{{"future", true}}));
    EXPECT_EQ(KeySchemeStore::readAll(store).size(), 2u);
    EXPECT_EQ(logged->count(LogLevel::error), 2u);

    // A value that is no map at all is refused, not replaced.
    store.setObject(json("not a map"), "hotkey_allCustomKeySchemes");
    EXPECT_FALSE(write(*custom("Another"), store));
    KeySchemeStore::remove("Empty", store);
    EXPECT_EQ(*store.object("hotkey_allCustomKeySchemes"), json("not a map"));
    EXPECT_EQ(popups, 1);
}

TEST_F(KeySchemeStoreTest, ReadingSkipsEachBadSchemeWithOneErrorAndWritesNothing)
{
    auto setting = [](const char* id, const char* params) {
        return std::string(R"({"key":{"id":")") + id + R"("},"action":{"idName":"a"},"paramSequence":[)" + params +
               "]}";
    };
    const Texts stored{
        {"Good", schemeText("Good", setting("10026", R"({"times":2})"))},
        {"NotJson", "{\"version\":"},
        {"Missing", R"({"version":"v20190601","name":"Missing","desc":"","type":"Custom","keySettings":[]})"},
        {"Kind", schemeText("Kind", setting("26", R"({"color":1})"))},
        {"NoDigit", schemeText("NoDigit", setting("zz", ""))},
        {"Huge", schemeText("Huge", setting("8000000000000000", ""))},
        {"Version", schemeText("Version", "", "v2")},
        {"Later", schemeText("Inside")},
    };
    const Names listed{"NotJson", "Good", "Missing", "Kind", "Absent", "NoDigit", "Huge", "Version", "Good", "Later"};
    storeRaw(listed, stored);
    int writes = 0;
    rx::DisposeBag bag;
    store.changedKeys().subscribe([&](const std::string&) { ++writes; }).disposed(bag);

    Names unreadable;
    const auto read = KeySchemeStore::readAll(store, &unreadable);
    EXPECT_EQ(unreadable, (Names{"NotJson", "Missing", "Kind", "NoDigit", "Huge", "Version"}));
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(read[0].storedName, "Good");
    EXPECT_EQ(read[0].scheme->keySettings.value().size(), 1u);
    EXPECT_EQ(read[1].storedName, "Later");
    EXPECT_EQ(read[1].scheme->name.value(), "Inside");
    // One line per bad scheme; "Good", listed twice, is read once.
    EXPECT_EQ(logged->count(LogLevel::error), 7u);
    for (const auto& e : logged->entries()) {
        if (e.level == LogLevel::error) {
            EXPECT_EQ(e.message, "A stored custom scheme cannot be read, skipped ->");
        }
    }
    EXPECT_EQ(writes, 0);
    EXPECT_EQ(texts(), stored);
    EXPECT_EQ(names(), listed);

    // Nothing is stored over an entry that cannot be read, nor removes it; "Absent" has none to keep.
    EXPECT_FALSE(write(*custom("NotJson"), store));
    EXPECT_EQ(popups, 1);
    EXPECT_TRUE(KeySchemeStore::remove("Kind", store));
    EXPECT_EQ(texts(), stored);
    EXPECT_EQ(names(), listed);
    EXPECT_TRUE(write(*custom("Absent"), store));
}

TEST_F(KeySchemeStoreTest, UnknownActionsSurviveAReadAndWriteCycleAndRemoveDropsTheName)
{
    const std::string text =
        schemeText("Future", R"({"key":{"id":"10026"},"action":{"idName":"store.notInThisBuild"},"paramSequence":[]})");
    storeRaw({"Future", "B", "Future"}, {{"Future", text}, {"B", "b"}});
    const auto read = KeySchemeStore::readAll(store);
    ASSERT_EQ(read.size(), 1u);
    ASSERT_TRUE(write(*read[0].scheme, store));
    EXPECT_EQ(texts().at("Future"), text);

    KeySchemeStore::remove("Future", store);
    EXPECT_EQ(names(), Names{"B"});
    EXPECT_EQ(texts(), (Texts{{"B", "b"}}));
    KeySchemeStore::remove("Z", store);
    EXPECT_EQ(names(), Names{"B"});
}

TEST_F(KeySchemeStoreTest, DeepOrHugeStoredSchemesAreSkippedWithShortMessages)
{
    const auto deep = [](int depth, const std::string& inner) {
        std::string text;
        for (int i = 0; i < depth; ++i) text += R"({"multiple":[)";
        text += inner;
        for (int i = 0; i < depth; ++i) text += "]}";
        return text;
    };
    const auto setting = [](const std::string& params) {
        return R"({"key":{"id":"10026"},"action":{"idName":"a"},"paramSequence":[)" + params + "]}";
    };
    const std::string hugeName(1 << 20, 'n');
    const Texts stored{
        // An unknown parameter nested far beyond the limit: its skip message used to overflow the stack.
        {"DeepParam",
         schemeText("DeepParam", setting(R"({"color":)" + std::string(100000, '[') + std::string(100000, ']') + "}"))},
        {"DeepMultiple", schemeText("DeepMultiple", setting(deep(100000, R"({"color":1})")))},
        // Within the limit as JSON but deeper than the parameters nest.
        {"Nested", schemeText("Nested", setting(deep(31, R"({"times":1})")))},
        // A parameter the error message must not quote whole.
        {"HugeParam", schemeText("HugeParam", setting(R"({"color":")" + std::string(1 << 20, 'c') + R"("})"))},
        {"HugeVersion", schemeText("HugeVersion", "", hugeName.c_str())},
        {hugeName, "{"},
        {"Fine", schemeText("Fine", setting(deep(20, R"({"times":1})")))},
    };
    storeRaw({"DeepParam", "DeepMultiple", "Nested", "HugeParam", "HugeVersion", hugeName, "Fine"}, stored);

    const auto read = KeySchemeStore::readAll(store);
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0].storedName, "Fine");
    EXPECT_EQ(logged->count(LogLevel::error), 6u);
    for (const auto& e : logged->entries()) EXPECT_LT(e.context.size(), 1000u) << e.message;
    EXPECT_EQ(texts(), stored) << "what cannot be read stays stored";
}

TEST_F(KeySchemeStoreTest, ANameListNestedTooDeeplyInTheFileLeavesNothingToRestoreAndWritesWork)
{
    const std::filesystem::path folder = dir.path().toStdString() + std::string("/deep");
    std::filesystem::create_directories(folder);
    const std::string names = std::string(100000, '[') + R"(["Mine"])" + std::string(100000, ']');
    std::ofstream(folder / "settings.json")
        << R"({"hotkey_customKeySchemeNames":)" << names << R"(,"hotkey_allCustomKeySchemes":{"Mine":")"
        << "{}"
        << R"("}})";
    SettingsStore deepStore(folder);
    EXPECT_TRUE(KeySchemeStore::readAll(deepStore).empty());
    ASSERT_TRUE(write(*custom("New"), deepStore));
    EXPECT_TRUE(deepStore.synchronize());
    EXPECT_EQ(SettingsStore(folder).get(DefaultsKeys::hotkey_customKeySchemeNames), Names{"New"});
    for (const auto& e : logged->entries()) EXPECT_LT(e.context.size(), 1000u) << e.message;
}

}  // namespace
}  // namespace vandrel
