#include "core/constants.h"

#include <QString>
#include <QUrl>

#include "core/app_info.h"
#include "core/defaults.h"
#include "core/defaults_keys.h"
#include "core/localize.h"
#include "core/log.h"
#include "core/program_folders.h"

namespace vandrel {

std::string Constants::WebServer::cleanBase(const std::string& value, const std::string& setting)
{
    QString text = QString::fromStdString(value).trimmed();
    while (text.endsWith('/')) text.chop(1);
    if (text.isEmpty()) return {};
    const QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() || (scheme != "http" && scheme != "https")) {
        log.warning("The setting " + setting + " is not an http:// or https:// address; it is not used ->", value);
        return {};
    }
    return text.toStdString();
}

std::string Constants::WebServer::siteBase()
{
    return cleanBase(Defaults()[DefaultsKeys::app_siteBase], DefaultsKeys::app_siteBase.key());
}

std::string Constants::WebServer::downloadBase()
{
    return cleanBase(Defaults()[DefaultsKeys::app_downloadBase], DefaultsKeys::app_downloadBase.key());
}

const std::string& Constants::WebServer::commonParams()
{
    static const std::string value = "?from=app&version=" + AppInfo::version();
    return value;
}

std::string Constants::WebServer::WebSite::homeFor(const std::string& base, const std::string& language)
{
    return language == "zh-Hans" ? base + "/cn" : base;
}

std::string Constants::WebServer::WebSite::pageFor(const std::string& base, const std::string& language,
                                                   const std::string& page)
{
    if (base.empty()) {
        const auto file = localPagesFolder() / (page + ".html");
        return QUrl::fromLocalFile(QString::fromStdString(file.string())).toString(QUrl::FullyEncoded).toStdString();
    }
    return homeFor(base, language) + "/" + page;
}

std::string Constants::WebServer::WebSite::home()
{
    const std::string base = siteBase();
    return base.empty() ? pageFor(base, {}, "manual") : homeFor(base, Localize::currentLanguage());
}

std::string Constants::WebServer::WebSite::manual()
{
    return pageFor(siteBase(), Localize::currentLanguage(), "manual");
}

std::string Constants::WebServer::WebSite::tutorial()
{
    return pageFor(siteBase(), Localize::currentLanguage(), "tutorial");
}

std::filesystem::path Constants::WebServer::WebSite::localPagesFolder()
{
    return ProgramFolders::current()->localPages;
}

std::string Constants::WebServer::ApiPath::feedback()
{
    const std::string base = siteBase();
    return base.empty() ? std::string() : base + "/api/feedback";
}

}  // namespace vandrel
