#include "core/constants.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <memory>

#include "core/app_info.h"
#include "core/defaults.h"
#include "core/defaults_keys.h"
#include "core/localize.h"
#include "core/program_folders.h"
#include "core/settings_store.h"

namespace vandrel {
namespace {

using Web = Constants::WebServer;

class ConstantsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The addresses are read from the user settings in the interface language, both process-wide.
        settings = std::make_shared<SettingsStore>(dir.path().toStdString());
        installDefaults(settings);
        Localize::setCurrentLanguage("en");
    }

    QTemporaryDir dir;
    std::shared_ptr<SettingsStore> settings;
};

TEST_F(ConstantsTest, WithoutASiteThePagesAreTheLocalOnesAndThereIsNoApi)
{
    auto folders = ProgramFolders::standard();
    folders.localPages = "/opt/my vandrel/resources";
    Installations installations;
    installations.install(ProgramFolders::installed(), std::make_shared<const ProgramFolders>(folders));
    EXPECT_EQ(Web::siteBase(), "");
    EXPECT_EQ(Web::WebSite::manual(), "file:///opt/my%20vandrel/resources/manual.html");
    EXPECT_EQ(Web::WebSite::tutorial(), "file:///opt/my%20vandrel/resources/tutorial.html");
    EXPECT_EQ(Web::ApiPath::feedback(), "");
    EXPECT_EQ(Web::commonParams(), "?from=app&version=" + AppInfo::version());
}

TEST_F(ConstantsTest, TheShippedPagesExist)
{
    for (const char* page : {"manual.html", "tutorial.html"})
        EXPECT_TRUE(std::filesystem::is_regular_file(Web::WebSite::localPagesFolder() / page)) << page;
}

TEST_F(ConstantsTest, ASiteGivesItsPagesInTheInterfaceLanguageButTheApiIsTheSameForAll)
{
    settings->set(DefaultsKeys::app_siteBase, std::string(" https://docs.example.org// "));
    EXPECT_EQ(Web::siteBase(), "https://docs.example.org");
    EXPECT_EQ(Web::WebSite::manual(), "https://docs.example.org/manual");
    Localize::setCurrentLanguage("zh-Hans");
    EXPECT_EQ(Web::WebSite::tutorial(), "https://docs.example.org/cn/tutorial");
    EXPECT_EQ(Web::ApiPath::feedback(), "https://docs.example.org/api/feedback");
    EXPECT_EQ(Web::WebSite::homeFor("https://a.example", "zh-Hant"), "https://a.example");
}

TEST_F(ConstantsTest, AnAddressThatIsNotHttpIsNotUsed)
{
    for (const char* bad : {"ftp://example.org", "example.org", "https://", "file:///etc"}) {
        settings->set(DefaultsKeys::app_siteBase, std::string(bad));
        settings->set(DefaultsKeys::app_downloadBase, std::string(bad));
        EXPECT_EQ(Web::siteBase(), "") << bad;
        EXPECT_EQ(Web::downloadBase(), "") << bad;
    }
    settings->set(DefaultsKeys::app_downloadBase, std::string("http://127.0.0.1:8080/"));
    EXPECT_EQ(Web::downloadBase(), "http://127.0.0.1:8080");
}

}  // namespace
}  // namespace vandrel
