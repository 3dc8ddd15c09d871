// The mapping between pasteboard content and the desktop clipboard's formats.
#include "platform/linux/clipboard/clipboard_mime.h"

#include <gtest/gtest.h>

#include <QMimeData>

namespace vandrel {
namespace {

std::vector<QString> formats(const std::vector<std::pair<QString, PasteboardType>>& read)
{
    std::vector<QString> out;
    for (const auto& [format, type] : read) out.push_back(format);
    return out;
}

TEST(ClipboardMimeTest, OnlyTheWhitelistIsReadAndOneImage)
{
    const QStringList offered{"TARGETS",
                              "MULTIPLE",
                              "TIMESTAMP",
                              "SAVE_TARGETS",
                              "application/x-qt-image",
                              "image/bmp",
                              "image/png",
                              "text/plain",
                              "text/html",
                              "application/x-private",
                              "image/jpeg",
                              "text/plain;charset=utf-8",
                              "application/rtf",
                              "text/rtf"};
    EXPECT_EQ(formats(ClipboardMime::formatsToRead(offered)),
              (std::vector<QString>{"text/plain;charset=utf-8", "text/html", "text/rtf", "image/png"}));
    EXPECT_EQ(formats(ClipboardMime::formatsToRead({"image/gif", "image/bmp", "text/plain"})),
              (std::vector<QString>{"text/plain", "image/bmp"}));
    EXPECT_TRUE(ClipboardMime::formatsToRead({"TARGETS", "application/x-qt-image"}).empty());
}

TEST(ClipboardMimeTest, AUriListIsFilesOnlyWhenEveryEntryIsAFile)
{
    EXPECT_EQ(ClipboardMime::typeOfUriList("# comment\r\nfile:///tmp/a%20b.png\r\nfile:///etc/hostname\r\n"),
              PasteboardTypes::fileUrl);
    EXPECT_EQ(ClipboardMime::typeOfUriList("file:///tmp/a\r\nhttps://example.org/\r\n"), PasteboardTypes::url);
    EXPECT_EQ(ClipboardMime::typeOfUriList(""), PasteboardTypes::url);
}

TEST(ClipboardMimeTest, ReadingSeparatesFailuresFromEmptyText)
{
    const auto reader = [](std::map<QString, QByteArray> data) {
        return [data](const QString& format) -> std::optional<QByteArray> {
            const auto it = data.find(format);
            if (it == data.end()) return std::nullopt;
            return it->second;
        };
    };
    auto item =
        ClipboardMime::readItem({"text/plain", "text/uri-list", "image/png"},
                                reader({{"text/plain", "x"}, {"text/uri-list", "file:///a"}, {"image/png", ""}}));
    ASSERT_TRUE(item);
    EXPECT_EQ(item->types(), (std::vector<PasteboardType>{PasteboardTypes::string, PasteboardTypes::fileUrl}));

    // Empty text is content (a copied empty string); nothing at all from a listed image is a failed transfer.
    EXPECT_TRUE(ClipboardMime::readItem({"text/plain"}, reader({{"text/plain", ""}})));
    EXPECT_FALSE(ClipboardMime::readItem({"image/png"}, reader({{"image/png", ""}})));
    EXPECT_FALSE(ClipboardMime::readItem({"text/plain", "text/html"}, reader({})));
    // Nothing worth reading: an item without types.
    const auto other = ClipboardMime::readItem({"application/x-private"}, reader({}));
    ASSERT_TRUE(other);
    EXPECT_TRUE(other->types().empty());
}

TEST(ClipboardMimeTest, WritingOffersEveryTypeOnceAndJoinsUriLists)
{
    PasteboardItem first;
    first.setString(PasteboardTypes::string, "text");
    first.setString(PasteboardTypes::fileUrl, "file:///a\r\n");
    first.setString(PasteboardTypes::concealed, "secret");
    first.setString("public.utf16-plain-text", "not a format");
    PasteboardItem second;
    second.setString(PasteboardTypes::string, "ignored: the first item's text wins");
    second.setString(PasteboardTypes::fileUrl, "file:///b");
    second.setString("application/x-private", "kept by its own name");
    const auto mime = ClipboardMime::mimeDataOf({first, second});
    EXPECT_EQ(mime->data("text/plain"), "text");
    EXPECT_EQ(mime->data("text/plain;charset=utf-8"), "text");
    // The toolkit keeps a URI list as URLs and offers each with a line break.
    EXPECT_EQ(mime->data("text/uri-list"), "file:///a\r\nfile:///b\r\n");
    EXPECT_EQ(mime->data("x-kde-passwordManagerHint"), "secret");
    EXPECT_EQ(mime->data("application/x-private"), "kept by its own name");
    EXPECT_FALSE(mime->formats().contains("public.utf16-plain-text"));
}

}  // namespace
}  // namespace vandrel
