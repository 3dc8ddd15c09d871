#include "foundation/constants.h"

#include <gtest/gtest.h>

#include "foundation/localize.h"

namespace vandrel {
namespace {

using Web = Constants::WebServer;

TEST(ConstantsTest, PagesFollowTheInterfaceLanguageButTheApiDoesNot)
{
    // The members are built on first use: the language must be set before.
    Localize::setCurrentLanguage("zh-Hans");
    const std::string base = Web::siteBase();
    EXPECT_TRUE(base.starts_with("https://"));
    EXPECT_FALSE(base.ends_with("/"));
    EXPECT_EQ(Web::WebSite::home(), base + "/cn");
    EXPECT_EQ(Web::WebSite::manual(), base + "/cn/manual");
    EXPECT_EQ(Web::WebSite::tutorial(), base + "/cn/tutorial");
    EXPECT_EQ(Web::ApiPath::feedback(), base + "/api/feedback");
    EXPECT_EQ(Web::commonParams(), "?from=app&version=0.1.0");

    // Built once: a later change of language leaves them.
    Localize::setCurrentLanguage("en");
    EXPECT_EQ(Web::WebSite::manual(), base + "/cn/manual");

    EXPECT_EQ(Web::WebSite::homeFor("en"), base);
    EXPECT_EQ(Web::WebSite::homeFor("zh-Hant"), base);
    EXPECT_EQ(Web::WebSite::homeFor("zh-Hans"), base + "/cn");
}

}  // namespace
}  // namespace vandrel
