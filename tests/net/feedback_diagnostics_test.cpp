#include "net/feedback_diagnostics.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <memory>

#include "core/defaults_keys.h"
#include "core/settings_store.h"

using namespace vandrel;
using nlohmann::json;

namespace {

FeedbackDiagnostics::Sources fixedSources(SettingsStore* settings)
{
    FeedbackDiagnostics::Sources s;
    s.model = [] { return std::string("ThinkPad X1"); };
    s.osRelease = [] { return std::string("6.1.0-18-amd64"); };
    s.machine = [] { return std::string("x86_64"); };
    s.osType = [] { return std::string("Linux"); };
    s.memorySize = [] { return std::uint64_t{17179869184}; };
    s.activeCPUs = [] { return std::int32_t{8}; };
    s.screenSize = [] { return std::make_optional(std::make_pair(2560.0, 1440.0)); };
    s.preferredLanguages = [] { return std::vector<std::string>{"de-DE", "en-US"}; };
    s.osVersion = [] { return std::string("Debian GNU/Linux 12 (bookworm)"); };
    s.version = "2.1.0";
    s.buildVersion = "350";
    s.settings = settings;
    return s;
}

class FeedbackDiagnosticsTest : public testing::Test {
protected:
    QTemporaryDir dir;
    SettingsStore settings{dir.path().toStdString()};
};

}  // namespace

TEST_F(FeedbackDiagnosticsTest, SystemInfoHoldsEveryFactWithItsType)
{
    FeedbackDiagnostics diagnostics(fixedSources(&settings));
    const json& info = diagnostics.systemInfo();
    EXPECT_EQ(info, (json{{"model", "ThinkPad X1"},
                          {"osRelease", "6.1.0-18-amd64"},
                          {"machine", "x86_64"},
                          {"memorySize", 16},
                          {"osType", "Linux"},
                          {"activeCPUs", 8},
                          {"vandrelVersion", "2.1.0 (350)"},
                          {"screenResolution", "2560.0x1440.0"},
                          {"language", "de-DE"},
                          {"osVersion", "Debian GNU/Linux 12 (bookworm)"}}));
    EXPECT_TRUE(info["memorySize"].is_number_unsigned());
}

TEST_F(FeedbackDiagnosticsTest, MemoryScreenAndLanguageEdges)
{
    EXPECT_EQ(FeedbackDiagnostics::memoryInGiB(17179869184u), 16u);
    EXPECT_EQ(FeedbackDiagnostics::memoryInGiB(17179869183u), 15u);
    EXPECT_EQ(FeedbackDiagnostics::memoryInGiB(0), 0u);

    auto sources = fixedSources(&settings);
    sources.memorySize = [] { return std::uint64_t{17179869183}; };
    sources.screenSize = [] { return std::optional<std::pair<double, double>>(); };
    sources.preferredLanguages = [] { return std::vector<std::string>{}; };
    FeedbackDiagnostics diagnostics(sources);
    EXPECT_EQ(diagnostics.systemInfo()["memorySize"], 15);
    EXPECT_EQ(diagnostics.systemInfo()["screenResolution"], "0.0x0.0");
    EXPECT_EQ(diagnostics.systemInfo()["language"], "");
}

TEST_F(FeedbackDiagnosticsTest, TheRunningSystemAnswersEveryFact)
{
    FeedbackDiagnostics diagnostics;
    const json& info = diagnostics.systemInfo();
    EXPECT_EQ(info.size(), 10u);
    EXPECT_EQ(info["osType"], "Linux");
    EXPECT_GE(info["activeCPUs"].get<int>(), 1);
    EXPECT_GE(info["memorySize"].get<std::uint64_t>(), 0u);
    EXPECT_FALSE(info["osRelease"].get<std::string>().empty());
    EXPECT_FALSE(info["osVersion"].get<std::string>().empty());
    EXPECT_NO_THROW(info.dump());
}

TEST_F(FeedbackDiagnosticsTest, SettingsDumpIsNilWithoutSettingsAndNeverHoldsTheFeedbackIdentity)
{
    EXPECT_EQ(FeedbackDiagnostics(fixedSources(&settings)).defaultsDebugDescription(), "nil");

    settings.set(DefaultsKeys::feedback_username, "Ada Lovelace");
    settings.set(DefaultsKeys::feedback_email, "ada@example.org");
    EXPECT_EQ(FeedbackDiagnostics(fixedSources(&settings)).defaultsDebugDescription(), "[:]");

    settings.set(DefaultsKeys::app_isDevelopMode, true);
    settings.set(DefaultsKeys::hotkey_currentKeyScheme, "My \"own\" scheme");
    settings.set(DefaultsKeys::hotkey_customKeySchemeNames, DefaultsKeys::StringList{"a", "b"});
    settings.set(DefaultsKeys::clip_thumbnailWidth, std::int64_t{120});
    EXPECT_EQ(FeedbackDiagnostics(fixedSources(&settings)).defaultsDebugDescription(),
              R"(["app_isDevelopMode": true, "clip_thumbnailWidth": 120, "hotkey_currentKeyscheme": )"
              R"("My \"own\" scheme", "hotkey_customKeySchemeNames": ["a","b"]])");
}

TEST_F(FeedbackDiagnosticsTest, ValuesAreComputedOnceForTheLifeOfTheForm)
{
    int reads = 0;
    auto sources = fixedSources(&settings);
    sources.model = [&] {
        ++reads;
        return std::string("first");
    };
    FeedbackDiagnostics diagnostics(sources);
    settings.set(DefaultsKeys::app_isDevelopMode, true);
    EXPECT_EQ(diagnostics.defaultsDebugDescription(), "[\"app_isDevelopMode\": true]");
    diagnostics.systemInfo();

    settings.set(DefaultsKeys::app_isDevelopMode, false);
    EXPECT_EQ(diagnostics.systemInfo()["model"], "first");
    EXPECT_EQ(diagnostics.defaultsDebugDescription(), "[\"app_isDevelopMode\": true]");
    EXPECT_EQ(reads, 1);
}
