#include "net/appcast.h"

#include <QUrl>
#include <QXmlStreamReader>

#include "core/json_limits.h"
#include "core/log.h"

namespace vandrel {

namespace {

struct ItemFields {
    std::string title;
    std::string link;
    std::string enclosureUrl;
    std::string shortVersion;
    std::string version;
};

std::string text(const QStringView view)
{
    return view.toString().trimmed().toStdString();
}

void readEnclosure(QXmlStreamReader& xml, ItemFields& item)
{
    for (const QXmlStreamAttribute& attribute : xml.attributes()) {
        const auto name = attribute.name();
        if (name == u"url")
            item.enclosureUrl = text(attribute.value());
        else if (name == u"shortVersionString")
            item.shortVersion = text(attribute.value());
        else if (name == u"version")
            item.version = text(attribute.value());
    }
}

// Reads one <item> up to its end tag.
ItemFields readItem(QXmlStreamReader& xml)
{
    ItemFields item;
    int depth = 0;
    while (xml.readNext() != QXmlStreamReader::Invalid) {
        if (xml.isEndElement()) {
            if (depth == 0) break;
            --depth;
            continue;
        }
        if (!xml.isStartElement()) continue;
        if (depth > 0) {
            ++depth;
            continue;
        }
        const auto name = xml.name();
        if (name == u"enclosure") readEnclosure(xml, item);
        if (name == u"title" || name == u"link" || name == u"shortVersionString" || name == u"version") {
            const std::string value = text(xml.readElementText(QXmlStreamReader::IncludeChildElements));
            if (name == u"title") item.title = value;
            if (name == u"link") item.link = value;
            if (name == u"shortVersionString" && item.shortVersion.empty()) item.shortVersion = value;
            if (name == u"version" && item.version.empty()) item.version = value;
            continue;  // readElementText consumed the end tag
        }
        ++depth;
    }
    return item;
}

}  // namespace

bool UpdateChannel::accepts(const VDVersion& version) const
{
    const auto stage = version.vers[4];
    if (stage == VDVersion::release) return true;
    if (alpha) return true;
    return beta && (stage == VDVersion::beta || stage == VDVersion::releaseCandidate);
}

std::variant<std::vector<AppcastItem>, std::string> Appcast::parse(const QByteArray& document)
{
    QXmlStreamReader xml(document);
    std::vector<AppcastItem> items;
    bool sawRss = false;
    while (xml.readNext() != QXmlStreamReader::Invalid && !xml.atEnd()) {
        if (!xml.isStartElement()) continue;
        if (!sawRss) {
            if (xml.name() != u"rss") return "the feed is not an RSS document (its root is <" + text(xml.name()) + ">)";
            sawRss = true;
            continue;
        }
        if (xml.name() != u"item") continue;
        const ItemFields fields = readItem(xml);
        if (xml.hasError()) break;
        const std::string version = fields.shortVersion.empty() ? fields.version : fields.shortVersion;
        const std::string link = fields.link.empty() ? fields.enclosureUrl : fields.link;
        if (version.empty() || link.empty()) {
            log.warning("An item of the update feed has no version or no address; it is left out ->", fields.title);
            continue;
        }
        // The link goes to the desktop's opener: nothing but a web page may leave the program. The address is
        // outside text: the log names the item's version only.
        if (!isWebLink(link)) {
            log.warning(
                "An item of the update feed names a link that is not an http:// or https:// address; it is "
                "left out ->",
                excerpt(version));
            continue;
        }
        items.push_back(AppcastItem{fields.title, version, VDVersion(version), link, fields.enclosureUrl});
    }
    if (xml.hasError())
        return "the feed is not well-formed XML (line " + std::to_string(xml.lineNumber()) +
               "): " + xml.errorString().toStdString();
    if (!sawRss) return "the feed is empty";
    return items;
}

bool Appcast::isWebLink(const std::string& link)
{
    const QUrl url(QString::fromStdString(link), QUrl::StrictMode);
    return url.isValid() && (url.scheme() == u"https" || url.scheme() == u"http") && !url.host().isEmpty();
}

std::optional<AppcastItem> Appcast::newestUpdate(const std::vector<AppcastItem>& items, const VDVersion& current,
                                                 const UpdateChannel& channel)
{
    std::optional<AppcastItem> best;
    for (const AppcastItem& item : items) {
        if (!channel.accepts(item.vdVersion) || !(current < item.vdVersion)) continue;
        if (!best || best->vdVersion < item.vdVersion) best = item;
    }
    return best;
}

}  // namespace vandrel
