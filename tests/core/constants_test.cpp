#include "core/constants.h"

#include <gtest/gtest.h>

#include "core/localize.h"

namespace vandrel {
namespace {

using Web = Constants::WebServer;

TEST(ConstantsTest, PagesFollowTheInterfaceLanguageButTheApiDoesNot)
{
    // The members are built on first use: the language must be set before.
    Localize::setCurrentLanguage("zh-Hans");
    const std::string base = Web::siteBase();
    EXPECT_EQ(Web::WebSite::manual(), base + "/cn/manual");
    EXPECT_EQ(Web::ApiPath::feedback(), base + "/api/feedback");

    // Built once: a later change of language leaves them.
    Localize::setCurrentLanguage("en");
    EXPECT_EQ(Web::WebSite::manual(), base + "/cn/manual");

    EXPECT_EQ(Web::WebSite::homeFor("zh-Hant"), base);
}

}  // namespace
}  // namespace vandrel
