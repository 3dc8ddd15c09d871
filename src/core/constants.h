// Web addresses of the product site. Pages are opened with commonParams appended:
//   Constants::WebServer::WebSite::manual() + Constants::WebServer::commonParams()
// The pages follow the interface language read on first use ("/cn" for simplified Chinese); the API does not.
#pragma once

#include <string>

namespace vandrel {

struct Constants {
    struct WebServer {
        // The site base: https, no trailing slash (a build setting).
        static const std::string& siteBase();
        // "?from=app&version=" + the program's version.
        static const std::string& commonParams();

        struct WebSite {
            static const std::string& home();
            static const std::string& manual();
            static const std::string& tutorial();
            // The home page for a given interface language.
            static std::string homeFor(const std::string& language);
        };

        struct ApiPath {
            static const std::string& feedback();
        };
    };
};

}  // namespace vandrel
