#include "engine/key_service.h"

#include <gtest/gtest.h>

#include <functional>

#include "core/defaults_keys.h"
#include "core/failing_write_calls.h"
#include "core/popup_msg.h"
#include "engine/engine_fixture.h"
#include "model/key_scheme_store.h"

namespace vandrel::test {
namespace {

using B = BuiltInVDAction;
using P = VDAtomicActionParam;
using nlohmann::json;

VDKeySettingPtr slotSetting(int digitKeycode, bool bind, int slot)
{
    return VDKeySetting::make(bind ? VDKey(digitKeycode, {57, 58}) : VDKey(digitKeycode, {57}),
                              bind ? B::bindWindow() : B::activateWindow(), {P::windowBindingId(slot)});
}

// A small factory scheme: window slots 1 and 2 and Caps+D.
VDKeySchemePtr factory()
{
    return VDKeyScheme::make(
        "Vandrel", "The default scheme of Vandrel.", VDKeySchemeType::builtIn,
        {slotSetting(18, false, 1), slotSetting(18, true, 1), slotSetting(19, false, 2), slotSetting(19, true, 2),
         VDKeySetting::make(VDKey(2, {57}), B::moveDownN(), {P::times(1)})});
}

VDKeySchemePtr custom(const std::string& name, VDKeyScheme::KeySettings settings = {})
{
    return VDKeyScheme::make(name, "", VDKeySchemeType::custom, std::move(settings));
}

struct KeyServiceTest : EngineTest {
    std::shared_ptr<WindowBindingService> windows = std::make_shared<WindowBindingService>();
    std::vector<std::string> messages;
    std::shared_ptr<KeyService> service = KeyService::make(
        {factory, windows, settings, {}, [this](const std::string& m, double) { messages.push_back(m); }});

    std::vector<std::string> availableNames() const
    {
        std::vector<std::string> names;
        for (const auto& s : service->availableKeySchemes.value()) names.push_back(s->name.value());
        return names;
    }
    std::vector<std::string> storedNames() const
    {
        std::vector<std::string> names;
        for (const auto& s : KeySchemeStore::readAll(*settings)) names.push_back(s.storedName);
        return names;
    }
    std::string current() const { return settings->get(DefaultsKeys::hotkey_currentKeyScheme); }
    VDKeySchemePtr active() const { return service->activeKeyScheme.value(); }
};

TEST_F(KeyServiceTest, LaunchWithNothingStoredActivatesTheFactorySchemeAndRecordsTheVersionOnce)
{
    service->setUpAtLaunch();
    EXPECT_EQ(availableNames(), std::vector<std::string>{"Vandrel"});
    EXPECT_EQ(active(), service->availableBuildInKeyScheme().front());
    EXPECT_EQ(current(), "");
    EXPECT_EQ(settings->get(DefaultsKeys::hotkey_currentVandrelVersion), "v20190601");
    ASSERT_NE(service->currentEventKeeperWithoutConflicting.value(), nullptr);
    EXPECT_EQ(service->currentEventKeeperWithoutConflicting.value()->keyActions.count("10002"), 1u);

    settings->set(DefaultsKeys::hotkey_currentVandrelVersion, std::string("older"));
    KeyService::make({factory, windows, settings, {}, {}})->setUpAtLaunch();
    EXPECT_EQ(settings->get(DefaultsKeys::hotkey_currentVandrelVersion), "older");
}

TEST_F(KeyServiceTest, RestoreSkipsWhatItCannotInstallKeepsItStoredAndDropsOrphans)
{
    const auto text = [](const VDKeySchemePtr& s) { return *s->toJsonText(); };
    settings->setObject(json::array({"Vandrel", "A", "Bad", "A2"}), DefaultsKeys::hotkey_customKeySchemeNames.key());
    settings->setObject(json{{"Vandrel", text(custom("Vandrel"))},
                             {"A", text(custom("A"))},
                             {"Bad", "{not json"},
                             {"A2", text(custom("A"))},
                             {"Orphan", text(custom("Orphan"))}},
                        DefaultsKeys::hotkey_allCustomKeySchemes.key());
    settings->set(DefaultsKeys::hotkey_currentKeyScheme, std::string("Bad"));

    service->setUpAtLaunch();
    EXPECT_EQ(availableNames(), (std::vector<std::string>{"Vandrel", "A"}));
    EXPECT_EQ(active(), service->availableBuildInKeyScheme().front());
    EXPECT_EQ(current(), "Bad");
    const auto map = *settings->object(DefaultsKeys::hotkey_allCustomKeySchemes.key());
    EXPECT_EQ(map.size(), 4u);
    EXPECT_FALSE(map.contains("Orphan"));
    EXPECT_TRUE(map.contains("Bad"));
    EXPECT_TRUE(logged->contains(
        LogLevel::debug,
        "Remove the keyScheme in .hotkey_allCustomKeySchemes but not in .hotkey_customKeySchemeNames ->"));

    // A name list that is not a list: nothing is taken for an orphan.
    settings->setObject(json("garbage"), DefaultsKeys::hotkey_customKeySchemeNames.key());
    KeyService::make({factory, windows, settings, {}, {}})->setUpAtLaunch();
    EXPECT_EQ(settings->object(DefaultsKeys::hotkey_allCustomKeySchemes.key())->size(), 4u);
}

TEST_F(KeyServiceTest, TablesFollowSettingsChangesOfTheirOwnSchemeOnly)
{
    service->setUpAtLaunch();
    auto other = custom("Other");
    service->install(other);
    const auto current = service->currentEventKeeper.value();
    other->keySettings.accept({VDKeySetting::make(VDKey(2, {57}), B::moveUpN(), {})});
    EXPECT_EQ(service->currentEventKeeper.value(), current);
    EXPECT_EQ(service->actionKeeper(other)->keyActions.at("10002").action, B::moveUpN());

    // The active scheme binds Caps+D twice: its table keeps the later, delivery gets neither.
    auto factoryScheme = active();
    auto settingsList = factoryScheme->keySettings.value();
    settingsList.push_back(VDKeySetting::make(VDKey(2, {57}), B::moveUpN(), {}));
    factoryScheme->keySettings.accept(settingsList);
    EXPECT_EQ(service->currentEventKeeper.value()->keyActions.at("10002").action, B::moveUpN());
    EXPECT_EQ(service->currentEventKeeperWithoutConflicting.value()->keyActions.count("10002"), 0u);
}

TEST_F(KeyServiceTest, WindowSlotKeysFollowTheDeliveredTable)
{
    service->setUpAtLaunch();
    EXPECT_EQ(windows->idToActivateKey().size(), 2u);
    ASSERT_TRUE(windows->activateKey(2));
    EXPECT_EQ(windows->activateKey(2)->id(), "10013");
    ASSERT_TRUE(windows->bindKey(2));
    EXPECT_EQ(windows->bindKey(2)->id(), "90013");

    // Fewer slots: the other slots lose their activate key and keep their bind key.
    service->activate(custom("One", {slotSetting(20, false, 1), slotSetting(20, true, 1)}));
    EXPECT_EQ(windows->activateKey(1)->id(), "10014");
    EXPECT_FALSE(windows->activateKey(2));
    EXPECT_EQ(windows->bindKey(1)->id(), "90014");
    EXPECT_EQ(windows->bindKey(2)->id(), "90013");
}

TEST_F(KeyServiceTest, RenamesKeepCustomSchemesStoredAndTheActiveNameCurrent)
{
    service->setUpAtLaunch();
    auto work = custom("Work");
    ASSERT_TRUE(KeySchemeStore::write(*work, *settings));
    service->install(work);

    work->name.accept("Job");  // not active
    EXPECT_EQ(storedNames(), std::vector<std::string>{"Job"});
    EXPECT_EQ(service->installedScheme("Job"), work);
    EXPECT_EQ(current(), "");

    service->activate(work);
    work->name.accept("Job");  // the same name again stays stored
    EXPECT_EQ(storedNames(), std::vector<std::string>{"Job"});
    work->name.accept("Task");
    EXPECT_EQ(current(), "Task");
    EXPECT_EQ(storedNames(), std::vector<std::string>{"Task"});

    // The name of another installed scheme: the stored entry stays where it is.
    auto other = custom("Other");
    service->install(other);
    work->name.accept("Other");
    EXPECT_EQ(storedNames(), std::vector<std::string>{"Task"});
    EXPECT_TRUE(logged->contains(
        LogLevel::error, "Another key scheme has this name, the stored scheme is kept under its previous name ->"));

    // A factory scheme's rename touches only the names.
    auto factoryScheme = service->availableBuildInKeyScheme().front();
    factoryScheme->name.accept("Renamed factory");
    EXPECT_EQ(service->installedScheme("Renamed factory"), factoryScheme);
    EXPECT_EQ(storedNames(), std::vector<std::string>{"Task"});
}

TEST_F(KeyServiceTest, DerivedCustomSchemesTakeTheFirstFreeName)
{
    service->setUpAtLaunch();
    const auto& base = *service->availableBuildInKeyScheme().front();
    EXPECT_EQ(service->transformToANewCustom(base, "Custom")->name.value(), "Custom");
    service->install(custom("Custom"));
    service->install(custom("Custom 2"));
    auto copy = service->transformToANewCustom(base, "Custom");
    EXPECT_EQ(copy->name.value(), "Custom 3");
    EXPECT_EQ(copy->type(), VDKeySchemeType::custom);
    EXPECT_EQ(copy->keySettings.value(), base.keySettings.value());  // the same setting objects
    auto work = custom("Work");
    service->install(work);
    EXPECT_EQ(service->transformToANewCustom(*work)->name.value(), "Work 2");
    EXPECT_EQ(availableNames().size(), 4u);  // nothing installed by deriving
}

// The user's damaged "Custom" and a "Laptop" of a newer build: no copy, new scheme or rename is stored over
// them, and the user hears of them once.
TEST_F(KeyServiceTest, StoredSchemesThatCannotBeReadKeepTheirNamesAndTheirTextsThroughEveryEdit)
{
    const json unreadable{{"Custom", R"({"version":"v20190601","name":"Custom","keySettings":[{"key")"},
                          {"Laptop", R"({"version":"v2","name":"Laptop"})"}};
    auto stored = unreadable;
    stored["Work"] = *custom("Work")->toJsonText();
    settings->setObject(json::array({"Custom", "Work", "Laptop"}), DefaultsKeys::hotkey_customKeySchemeNames.key());
    settings->setObject(stored, DefaultsKeys::hotkey_allCustomKeySchemes.key());
    service->setUpAtLaunch();
    EXPECT_EQ(availableNames(), (std::vector<std::string>{"Vandrel", "Work"}));
    EXPECT_EQ(messages, std::vector<std::string>{"Hotkey schemes \"Custom\", \"Laptop\" cannot be read and are left "
                                                 "out; their texts stay as they are in " +
                                                 settings->filePath().string() + "."});
    service->restoreKeySchemesFromUserDefault();
    EXPECT_EQ(messages.size(), 1u) << "told once";

    const auto factoryScheme = service->availableBuildInKeyScheme().front();
    const auto work = service->installedScheme("Work");
    const auto edit = [&] {
        return service->modifyButCreateACutomSchemeForBuildInScheme(factoryScheme, {})->name.value();
    };
    // Each step and the name it gives.
    const std::vector<std::pair<std::function<std::string()>, std::string>> steps = {
        {edit, "Custom 2"},
        {edit, "Custom 3"},
        {[&] { return service->transformToANewCustom(*factoryScheme, "Laptop")->name.value(); }, "Laptop 2"},
        {[&] { return std::string(service->isNameTaken(" Laptop", work.get()) ? "taken" : "free"); }, "taken"},
        // Past the check, every stored scheme stays where it is.
        {[&] {
             work->name.accept("Laptop");
             return work->name.value();
         },
         "Laptop"},
    };
    for (const auto& [step, name] : steps) {
        SCOPED_TRACE(name);
        EXPECT_EQ(step(), name);
        const auto now = *settings->object(DefaultsKeys::hotkey_allCustomKeySchemes.key());
        EXPECT_EQ(now["Custom"], unreadable["Custom"]);
        EXPECT_EQ(now["Laptop"], unreadable["Laptop"]);
    }
    EXPECT_EQ(*settings->object(DefaultsKeys::hotkey_customKeySchemeNames.key()),
              json::array({"Custom", "Work", "Laptop", "Custom 2", "Custom 3"}));
}

TEST_F(KeyServiceTest, ModifyingAFactorySchemeMakesActivatesAndStoresACopy)
{
    service->setUpAtLaunch();
    auto factoryScheme = active();
    const auto factorySettings = factoryScheme->keySettings.value();
    const auto addUp = [](VDKeyScheme& s) {
        auto list = s.keySettings.value();
        list.push_back(VDKeySetting::make(VDKey(14, {57}), B::moveUpN(), {}));
        s.keySettings.accept(list);
    };

    auto first = service->modifyButCreateACutomSchemeForBuildInScheme(factoryScheme, addUp);
    auto second = service->modifyButCreateACutomSchemeForBuildInScheme(factoryScheme, addUp);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(first->name.value(), "Custom");
    EXPECT_EQ(second->name.value(), "Custom 2");
    EXPECT_EQ(second->keySettings.value().size(), factorySettings.size() + 1);
    EXPECT_EQ(factoryScheme->keySettings.value(), factorySettings);
    EXPECT_EQ(availableNames(), (std::vector<std::string>{"Vandrel", "Custom", "Custom 2"}));
    EXPECT_EQ(active(), second);
    EXPECT_EQ(current(), "Custom 2");
    EXPECT_EQ(storedNames(), (std::vector<std::string>{"Custom", "Custom 2"}));
    EXPECT_EQ(service->currentEventKeeperWithoutConflicting.value()->keyActions.at("1000e").action, B::moveUpN());
    EXPECT_EQ(messages.back(), "☝️ New hotkey scheme \"Custom 2\" has been created for modification");

    // A custom scheme changes in place; nothing is stored or shown.
    messages.clear();
    const auto storedBefore = settings->object(DefaultsKeys::hotkey_allCustomKeySchemes.key());
    EXPECT_EQ(service->modifyButCreateACutomSchemeForBuildInScheme(first, addUp), nullptr);
    EXPECT_EQ(first->keySettings.value().size(), factorySettings.size() + 2);
    EXPECT_EQ(settings->object(DefaultsKeys::hotkey_allCustomKeySchemes.key()), storedBefore);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(active(), second);
}

TEST_F(KeyServiceTest, ACopyThatCannotBeStoredIsAnnouncedFirstSoTheFailureIsTheMessageLeftOnScreen)
{
    auto calls = std::make_shared<FailingWriteCalls>();
    calls->failAt(FailingWriteCalls::Step::create, EACCES);
    settings =
        std::make_shared<SettingsStore>(dir.filePath("failing").toStdString(), "settings.json", WholeFileWriter(calls));
    service = KeyService::make({factory, windows, settings, {}, [this](auto& m, double) { messages.push_back(m); }});
    service->setUpAtLaunch();
    service->modifyButCreateACutomSchemeForBuildInScheme(active(), {});
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_TRUE(messages.back().starts_with("Failed to save hotkey scheme \"Custom\": ")) << messages.back();
}

TEST_F(KeyServiceTest, ActivationAndRemovalResolveSchemesToTheInstalledObject)
{
    service->setUpAtLaunch();
    auto factoryScheme = active();
    auto mine = custom("Mine");
    ASSERT_TRUE(KeySchemeStore::write(*mine, *settings));
    service->activate(mine);  // not installed yet: installed now
    EXPECT_EQ(availableNames(), (std::vector<std::string>{"Vandrel", "Mine"}));
    EXPECT_EQ(active(), mine);

    // Another object of an installed name stands for the installed one.
    service->activate(custom("Mine"));
    EXPECT_EQ(active(), mine);
    EXPECT_EQ(availableNames().size(), 2u);

    // Removing a scheme that is not the active object leaves the active scheme alone.
    service->removeFromUserDefaults(custom("Mine"));
    EXPECT_EQ(active(), mine);
    EXPECT_TRUE(storedNames().empty());  // its entries are those of the name
    ASSERT_TRUE(KeySchemeStore::write(*mine, *settings));
    auto inactive = custom("Inactive");
    service->install(inactive);
    service->removeFromUserDefaults(inactive);
    EXPECT_EQ(active(), mine);

    service->removeFromUserDefaults(mine);
    EXPECT_EQ(active(), factoryScheme);
    EXPECT_TRUE(storedNames().empty());
    EXPECT_EQ(current(), "Vandrel");
    EXPECT_EQ(service->currentEventKeeperWithoutConflicting.value()->keyActions.count("10002"), 1u);
    EXPECT_EQ(availableNames().size(), 3u);  // removal does not uninstall

    service->removeFromUserDefaults(factoryScheme);  // not custom: nothing
    EXPECT_EQ(active(), factoryScheme);
}

}  // namespace
}  // namespace vandrel::test
