#include "net/appcast.h"

#include <gtest/gtest.h>

#include <string>
#include <variant>
#include <vector>

#include "core/log_capture.h"

namespace vandrel {
namespace {

std::string item(const std::string& version, const std::string& link = "")
{
    return "<item><title>Vandrel " + version + "</title>" + (link.empty() ? "" : "<link>" + link + "</link>") +
           "<enclosure url=\"https://dl.example.org/vandrel-" + version +
           ".tar.gz\" length=\"10\" type=\"application/gzip\" app:version=\"999\" app:shortVersionString=\"" + version +
           "\"/></item>";
}

QByteArray feed(const std::vector<std::string>& items)
{
    std::string body =
        "<?xml version=\"1.0\"?>\n<rss version=\"2.0\" xmlns:app=\"https://example.org/ns\"><channel>"
        "<title>Vandrel</title>";
    for (const auto& i : items) body += i;
    body += "</channel></rss>";
    return QByteArray::fromStdString(body);
}

std::vector<AppcastItem> itemsOf(const QByteArray& document)
{
    auto parsed = Appcast::parse(document);
    if (auto* error = std::get_if<std::string>(&parsed)) ADD_FAILURE() << *error;
    auto* items = std::get_if<std::vector<AppcastItem>>(&parsed);
    return items ? *items : std::vector<AppcastItem>{};
}

TEST(AppcastTest, ItemsCarryTheirTitleVersionAndPage)
{
    const auto items = itemsOf(feed({item("1.4.0b", "https://example.org/releases/1.4.0b"), item("1.3.2")}));
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].title, "Vandrel 1.4.0b");
    EXPECT_EQ(items[0].version, "1.4.0b");
    EXPECT_EQ(items[0].vdVersion, VDVersion("1.4.0b"));
    EXPECT_EQ(items[0].link, "https://example.org/releases/1.4.0b");
    EXPECT_EQ(items[0].enclosureUrl, "https://dl.example.org/vandrel-1.4.0b.tar.gz");
    // Without a link the download is the page.
    EXPECT_EQ(items[1].link, "https://dl.example.org/vandrel-1.3.2.tar.gz");
}

TEST(AppcastTest, VersionsAlsoComeFromElementsAndThePlainVersionAttribute)
{
    const auto items = itemsOf(feed({
        "<item><title>A</title><app:shortVersionString>2.0.0</app:shortVersionString>"
        "<enclosure url=\"https://dl.example.org/a\"/></item>",
        "<item><title>B</title><enclosure url=\"https://dl.example.org/b\" version=\"2.1\"/></item>",
        "<item><title>No version</title><enclosure url=\"https://dl.example.org/c\"/></item>",
        "<item><title>No address</title><enclosure version=\"3.0\"/></item>",
    }));
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].version, "2.0.0");
    EXPECT_EQ(items[1].vdVersion, VDVersion("2.1"));
}

TEST(AppcastTest, DocumentsThatAreNoFeedSayWhy)
{
    test::ScopedLogCapture logs;
    for (const char* bad : {"", "<rss><channel><item>", "<html><body>Not found</body></html>", "{\"items\":[]}",
                            "<rss version=\"2.0\"><channel></rss>"}) {
        const auto parsed = Appcast::parse(bad);
        ASSERT_TRUE(std::holds_alternative<std::string>(parsed)) << bad;
        EXPECT_FALSE(std::get<std::string>(parsed).empty());
    }
    EXPECT_TRUE(itemsOf(feed({})).empty());
}

TEST(AppcastTest, AnItemWhosePageIsNoWebAddressIsLeftOutAndTheOthersCount)
{
    for (const char* link : {"file:///etc/passwd", "javascript:alert(1)", "/usr/share/applications/x.desktop",
                             "vandrel.desktop", "https://", "ftp://example.org/x"}) {
        SCOPED_TRACE(link);
        test::ScopedLogCapture logs;
        const auto items = itemsOf(feed({item("9.0.0", link), item("1.4.0")}));
        ASSERT_EQ(items.size(), 1u);
        EXPECT_EQ(items[0].version, "1.4.0");
        EXPECT_TRUE(logs->contains(LogLevel::warning,
                                   "An item of the update feed names a link that is not an "
                                   "http:// or https:// address; it is left out ->"));
    }
    EXPECT_EQ(itemsOf(feed({item("9.0.0", "http://example.org/9")})).at(0).link, "http://example.org/9");
}

TEST(AppcastTest, VersionsOrderByPartsThenStage)
{
    EXPECT_LT(VDVersion("1.2.0a"), VDVersion("1.2.0b"));
    EXPECT_LT(VDVersion("1.2.0b"), VDVersion("1.2.0rc"));
    EXPECT_LT(VDVersion("1.2.0rc"), VDVersion("1.2"));
    EXPECT_LT(VDVersion("1.2"), VDVersion("1.2.1a"));
    EXPECT_LT(VDVersion("1.9.9"), VDVersion("1.10.0"));
    EXPECT_EQ(VDVersion("1.2") <=> VDVersion("1.2.0.0"), std::strong_ordering::equal);
}

TEST(AppcastTest, TheNewestUpdateIsTheHighestNewerVersionOfTheChannel)
{
    const auto items = itemsOf(feed({item("1.3.0"), item("1.5.0a"), item("1.4.0b"), item("1.4.0rc"), item("1.2.0")}));
    const VDVersion current("1.3.0");
    const UpdateChannel release;
    const UpdateChannel beta{true, false};
    const UpdateChannel alpha{false, true};

    EXPECT_FALSE(Appcast::newestUpdate(items, current, release)) << "equal and older are no update";
    EXPECT_EQ(Appcast::newestUpdate(items, current, beta)->version, "1.4.0rc");
    EXPECT_EQ(Appcast::newestUpdate(items, current, alpha)->version, "1.5.0a");
    EXPECT_EQ(Appcast::newestUpdate(items, VDVersion("1.1"), release)->version, "1.3.0");
    // A beta user on a beta is offered the release of the same number.
    EXPECT_EQ(Appcast::newestUpdate(itemsOf(feed({item("1.4.0")})), VDVersion("1.4.0b"), beta)->version, "1.4.0");
    EXPECT_FALSE(Appcast::newestUpdate({}, current, alpha));
}

}  // namespace
}  // namespace vandrel
