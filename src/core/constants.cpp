#include "core/constants.h"

#include "core/app_info.h"
#include "core/localize.h"

#ifndef VANDREL_SITE_BASE
#define VANDREL_SITE_BASE "https://vandrel.app"
#endif

namespace vandrel {

const std::string& Constants::WebServer::siteBase()
{
    static const std::string value = VANDREL_SITE_BASE;
    return value;
}

const std::string& Constants::WebServer::commonParams()
{
    static const std::string value = "?from=app&version=" + AppInfo::version();
    return value;
}

std::string Constants::WebServer::WebSite::homeFor(const std::string& language)
{
    return language == "zh-Hans" ? siteBase() + "/cn" : siteBase();
}

const std::string& Constants::WebServer::WebSite::home()
{
    static const std::string value = homeFor(Localize::currentLanguage());
    return value;
}

const std::string& Constants::WebServer::WebSite::manual()
{
    static const std::string value = home() + "/manual";
    return value;
}

const std::string& Constants::WebServer::WebSite::tutorial()
{
    static const std::string value = home() + "/tutorial";
    return value;
}

const std::string& Constants::WebServer::ApiPath::feedback()
{
    static const std::string value = siteBase() + "/api/feedback";
    return value;
}

}  // namespace vandrel
