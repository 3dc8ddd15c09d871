// Web addresses of the product. No outside host is built in: the site and the download host are settings
// (settings.json), empty by default. Pages are opened with commonParams appended:
//
//   Constants::WebServer::WebSite::manual() + Constants::WebServer::commonParams()
//
// Without a site address the manual and the tutorial are the local pages shipped with the program
// (resources/manual.html, resources/tutorial.html, as file URLs). The site's pages follow the interface
// language ("/cn" for simplified Chinese); the API does not.
#pragma once

#include <filesystem>
#include <string>

namespace vandrel {

struct Constants {
    struct WebServer {
        // The setting app_siteBase without surrounding blanks and trailing slashes; empty when it is not set
        // or is not an http(s) address (logged).
        static std::string siteBase();
        // The setting app_downloadBase, read the same way.
        static std::string downloadBase();
        // "?from=app&version=" + the program's version.
        static const std::string& commonParams();

        struct WebSite {
            static std::string home();
            static std::string manual();
            static std::string tutorial();
            // The home page under a site address for an interface language.
            static std::string homeFor(const std::string& base, const std::string& language);
            // "<home>/<page>" under a site address; without one the local "<page>.html" as a file URL.
            static std::string pageFor(const std::string& base, const std::string& language, const std::string& page);
            // Where the local pages are: ProgramFolders' local pages (the program's resources).
            static std::filesystem::path localPagesFolder();
        };

        struct ApiPath {
            // "<site>/api/feedback"; empty without a site address.
            static std::string feedback();
        };

        // An http(s) base address as the settings give it, cleaned; empty when it is none (logged with the
        // setting's name).
        static std::string cleanBase(const std::string& value, const std::string& setting);
    };
};

}  // namespace vandrel
