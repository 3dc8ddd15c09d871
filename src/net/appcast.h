// The update feed: an RSS 2.0 document whose items are releases.
//
//   <rss version="2.0"><channel>
//     <item>
//       <title>Vandrel 1.4.0</title>
//       <link>https://example.org/releases/1.4.0</link>                       (optional)
//       <enclosure url="https://example.org/vandrel-1.4.0.tar.gz" length="..." type="..."
//                  app:version="140" app:shortVersionString="1.4.0b"/>
//     </item>
//   </channel></rss>
//
// An item's version is the "shortVersionString" of its enclosure (any namespace prefix), else its
// "version"; the same names as child elements of the item serve too. Its stage ("a", "b", "rc" or none)
// decides its channel. The page a user is sent to is the item's link, else the enclosure's url. Items
// without a version, without any address, or whose page is not an http:// or https:// address are left out
// (logged); the other items still count.
#pragma once

#include <QByteArray>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "core/vd_version.h"

namespace vandrel {

struct AppcastItem {
    std::string title;
    // As the feed writes it.
    std::string version;
    VDVersion vdVersion;
    // Where the user gets it: the item's link, else the enclosure's url.
    std::string link;
    std::string enclosureUrl;
};

// Which releases a user takes: releases always; with beta also betas and release candidates; with alpha
// everything.
struct UpdateChannel {
    bool beta = false;
    bool alpha = false;

    bool accepts(const VDVersion& version) const;
};

class Appcast {
public:
    // The items in feed order, or why the document is not a feed.
    static std::variant<std::vector<AppcastItem>, std::string> parse(const QByteArray& document);
    // True for a valid http:// or https:// address with a host.
    static bool isWebLink(const std::string& link);
    // The newest item of the channel that is newer than current; none when there is none.
    static std::optional<AppcastItem> newestUpdate(const std::vector<AppcastItem>& items, const VDVersion& current,
                                                   const UpdateChannel& channel);
};

}  // namespace vandrel
