// The clip snapshot: its content hash, its archive, its rebuilt items and its pictures.
#include "clip/vd_clip_data.h"

#include <gtest/gtest.h>

#include <QCborMap>
#include <QCborValue>
#include <QFile>
#include <fstream>
#include <random>

#include "clip/clip_rig.h"
#include "core/log_capture.h"
#include "platform/memory_pasteboard.h"
#include "platform/sim/sim_thumbnail_maker.h"

namespace vandrel {
namespace {

namespace fs = std::filesystem;
// Larger than any payload written here.
constexpr std::uint64_t kLimit = 64ull << 20;

VDClipData textClip(const std::string& text)
{
    VDClipData data;
    data.types = {PasteboardTypes::string};
    data.stringValue = text;
    return data;
}

class TempFolder {
public:
    TempFolder() : path(fs::temp_directory_path() / ("vandrel-clip-data-" + std::to_string(std::random_device()())))
    {
        fs::create_directories(path);
    }
    ~TempFolder() { fs::remove_all(path); }
    const fs::path path;
};

TEST(VDClipDataTest, TheHashIsFrozenAndTakesTheBytesNotTheirLength)
{
    // The same value in every process and every build: stored keys depend on it.
    EXPECT_EQ(textClip("hello").hash(), 7620214484036523040);
    EXPECT_NE(textClip("hello").hash(), textClip("hellp").hash());

    VDClipData a = textClip("same text");
    a.types.push_back(PasteboardTypes::rtf);
    VDClipData b = a;
    a.RTFData = PasteboardData{'{', 'a', '}'};
    b.RTFData = PasteboardData{'{', 'b', '}'};
    EXPECT_NE(a.hash(), b.hash());

    VDClipData shot1, shot2;
    shot1.types = shot2.types = {PasteboardTypes::png};
    shot1.image = PasteboardData(1000, 1);
    shot2.image = PasteboardData(1000, 2);
    EXPECT_NE(shot1.hash(), shot2.hash());

    // Parts cannot stand in for each other: the same bytes as text or as HTML differ.
    VDClipData html;
    html.types = {PasteboardTypes::string};
    html.html = PasteboardData{'h', 'i'};
    EXPECT_NE(html.hash(), textClip("hi").hash());
}

TEST(VDClipDataTest, FileUrlsDecideTheHashOverTextAndPdf)
{
    VDClipData files;
    files.types = {PasteboardTypes::fileUrl, PasteboardTypes::string, PasteboardTypes::pdf};
    files.fileURLs = {"file:///tmp/a.png"};
    files.stringValue = "a.png";
    VDClipData other = files;
    other.stringValue = "something else";
    other.PDF = PasteboardData{1, 2, 3};
    EXPECT_EQ(files.hash(), other.hash());
    other.fileURLs = {"file:///tmp/b.png"};
    EXPECT_NE(files.hash(), other.hash());
}

TEST(VDClipDataTest, MakeReadsTheKeptTypesOfThePasteboard)
{
    MemoryPasteboard board("middle");
    PasteboardItem item;
    item.setString(PasteboardTypes::string, "text");
    item.setString(PasteboardTypes::rtfd, "rtfd");
    item.setString(PasteboardTypes::rtf, "rtf");
    item.setString(PasteboardTypes::fileUrl, "# a comment\r\nfile:///tmp/one.png\r\nfile:///tmp/two%20words.txt\r\n");
    item.setString(PasteboardTypes::html, "<p>");
    board.writeObjects({item});
    const auto data = VDClipData::make(
        board, {PasteboardTypes::rtf, PasteboardTypes::string, PasteboardTypes::rtfd, PasteboardTypes::fileUrl});
    ASSERT_TRUE(data);
    EXPECT_EQ(data->stringValue, "text");
    EXPECT_EQ(data->RTFData, (PasteboardData{'r', 't', 'f'}));  // the first of the two in the kept order
    EXPECT_EQ(data->fileURLs, (std::vector<std::string>{"file:///tmp/one.png", "file:///tmp/two%20words.txt"}));
    EXPECT_FALSE(data->html);  // not a kept type here
    EXPECT_EQ(data->pasteboardItemsTypes.front().size(), 5u);

    board.failNextReads(1);
    EXPECT_FALSE(VDClipData::make(board, {PasteboardTypes::string}));
}

TEST(VDClipDataTest, TheArchiveRoundTripsAndToleratesMissingOrStrangeKeys)
{
    VDClipData data = textClip("hi");
    data.types.push_back(PasteboardTypes::png);
    data.image = PasteboardData{9, 8, 7};
    data.html = PasteboardData{'<'};
    data.URLs = {"https://example.org/"};
    data.pasteboardItemsDatas = {{{'h', 'i'}, {9, 8, 7}}};
    data.pasteboardItemsTypes = {{PasteboardTypes::string, PasteboardTypes::png}};
    const QByteArray bytes = data.encode();
    EXPECT_EQ(VDClipData::decode(bytes), data);

    QCborMap map = QCborValue::fromCbor(bytes).toMap();
    EXPECT_EQ(map.value(QLatin1String("$class")).toString(), "Vandrel.VDClipData");
    EXPECT_TRUE(map.contains(QLatin1String("pasteboardItemTypes")));
    EXPECT_TRUE(map.contains(QLatin1String("fileURL")));
    EXPECT_TRUE(map.contains(QLatin1String("URL")));
    EXPECT_FALSE(map.contains(QLatin1String("PDF")));  // absent parts are not written

    map.remove(QLatin1String("image"));
    map.insert(QLatin1String("stringValue"), 42);  // of another type: read as empty
    const auto partial = VDClipData::decode(QCborValue(map).toCbor());
    ASSERT_TRUE(partial);
    EXPECT_FALSE(partial->image);
    EXPECT_EQ(partial->stringValue, "");
    EXPECT_EQ(partial->html, data.html);
    EXPECT_EQ(partial->pasteboardItemsArray(), data.pasteboardItemsArray());

    map.insert(QLatin1String("$class"), QLatin1String("Other.Class"));
    EXPECT_FALSE(VDClipData::decode(QCborValue(map).toCbor()));
    EXPECT_FALSE(VDClipData::decode(QByteArray("\xff\x00garbage", 9)));
    EXPECT_FALSE(VDClipData::decode(QCborValue(QLatin1String("a text")).toCbor()));
}

TEST(VDClipDataTest, DamagedArchivesDecodeToSomethingOrNothingButNeverCrash)
{
    VDClipData data = textClip("payload");
    data.fileURLs = {"file:///a"};
    data.pasteboardItemsDatas = {{{'p'}}};
    data.pasteboardItemsTypes = {{PasteboardTypes::string}};
    const QByteArray archive = data.encode();
    std::mt19937 random(42);
    for (int round = 0; round < 3000; ++round) {
        QByteArray damaged = archive.left(static_cast<qsizetype>(random() % (archive.size() + 1)));
        for (int flips = static_cast<int>(random() % 4); flips > 0 && !damaged.isEmpty(); --flips)
            damaged[static_cast<qsizetype>(random() % damaged.size())] = static_cast<char>(random());
        if (const auto decoded = VDClipData::decode(damaged)) decoded->pasteboardItemsArray();
    }
}

TEST(VDClipDataTest, ArchiveFilesArePrivateAndBrokenOnesReadAsNone)
{
    TempFolder folder;
    const fs::path file = folder.path / "A.data";
    ASSERT_TRUE(textClip("payload").archive(file));
    EXPECT_EQ(test::modeOf(file), 0600u);
    EXPECT_EQ(VDClipData::unarchive(file, folder.path, kLimit)->stringValue, "payload");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.path), fs::directory_iterator()), 1);

    std::ofstream(folder.path / "broken.data") << "not an archive";
    EXPECT_FALSE(VDClipData::unarchive(folder.path / "broken.data", folder.path, kLimit));
    EXPECT_FALSE(VDClipData::unarchive(folder.path / "missing.data", folder.path, kLimit));
    EXPECT_FALSE(textClip("x").archive(folder.path / "no-such-folder" / "B.data"));
}

// A capture's payload holds each byte once: its parts are taken from its items again when read.
TEST(VDClipDataTest, ACapturesPayloadHoldsItsContentOnce)
{
    TempFolder folder;
    MemoryPasteboard board("copied");
    PasteboardItem item;
    item.setString(PasteboardTypes::string, std::string(1 << 20, 't'));
    item.setString(PasteboardTypes::html, "<p>" + std::string(1 << 20, 'h') + "</p>");
    board.writeObjects({item});
    const auto data = VDClipData::make(board, {PasteboardTypes::string, PasteboardTypes::html});
    ASSERT_TRUE(data);
    const fs::path file = folder.path / "ONCE.data";
    ASSERT_TRUE(data->archive(file));
    EXPECT_LT(fs::file_size(file), (2u << 20) + 4096);
    const auto read = VDClipData::unarchive(file, folder.path, kLimit);
    ASSERT_TRUE(read);
    EXPECT_EQ(*read, *data);
    EXPECT_EQ(read->hash(), data->hash());
}

// An archive written by a newer version is skipped (not decoded) and left on disk as it is, said once.
TEST(VDClipDataTest, AnArchiveOfANewerVersionIsSkippedAndKept)
{
    TempFolder folder;
    const fs::path file = folder.path / "NEWER.data";
    QCborMap map = QCborValue::fromCbor(textClip("from the future").encode()).toMap();
    map.insert(QStringLiteral("$version"), 2);
    const QByteArray bytes = map.toCborValue().toCbor();
    QFile out(QString::fromStdString(file.string()));
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(bytes);
    out.close();

    test::ScopedLogCapture logged;
    EXPECT_FALSE(VDClipData::decode(bytes));
    EXPECT_FALSE(VDClipData::unarchive(file, folder.path, kLimit));
    EXPECT_FALSE(VDClipData::unarchive(file, folder.path, kLimit));
    QFile in(QString::fromStdString(file.string()));
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    EXPECT_EQ(in.readAll(), bytes);
    std::size_t said = 0;
    for (const auto& e : logged->entries())
        said += e.message == "A clip archive of a newer version is skipped and kept ->";
    EXPECT_EQ(said, 1u);
}

TEST(VDClipDataTest, ItemsAreRebuiltOnlyFromListsThatAgree)
{
    VDClipData data;
    data.pasteboardItemsDatas = {{{1}}, {{2}, {3}}, {{4}}};
    data.pasteboardItemsTypes = {{"a"}, {"b"}, {"c"}};
    ASSERT_EQ(data.pasteboardItemsArray().size(), 1u);  // stops at the item whose lists differ
    data.pasteboardItemsTypes.pop_back();
    EXPECT_TRUE(data.pasteboardItemsArray().empty());

    MemoryPasteboard board("general");
    board.setString("kept", PasteboardTypes::string);
    const auto before = board.changeCount();
    data.setToGeneralPasteboard(board);  // nothing to write: the pasteboard is left alone
    EXPECT_EQ(board.changeCount(), before);
    EXPECT_EQ(board.string(PasteboardTypes::string), "kept");
}

TEST(VDClipDataTest, ThumbnailsComeFromTheImageOrALocalPictureFile)
{
    const SimThumbnailMaker maker;
    TempFolder folder;
    std::ofstream(folder.path / "shot.PNG") << SimThumbnailMaker::image(1000, 500).toStdString();
    fs::copy_file(folder.path / "shot.PNG", folder.path / "anim.gif");

    VDClipData files;
    files.fileURLs = {"file://" + (folder.path / "shot.PNG").string()};
    EXPECT_EQ(files.thumbnailImage(maker, 100, 32), "thumbnail 64x32");

    files.fileURLs = {"file://" + (folder.path / "anim.gif").string()};
    files.image = PasteboardData{1, 2, 3};  // an image beside a file list does not count
    EXPECT_FALSE(files.thumbnailImage(maker, 100, 32));
    files.fileURLs = {"file://" + (folder.path / "missing.png").string()};
    EXPECT_FALSE(files.thumbnailImage(maker, 100, 32));

    VDClipData small;
    const QByteArray bytes = SimThumbnailMaker::image(50, 20);
    small.image = PasteboardData(bytes.begin(), bytes.end());
    EXPECT_EQ(small.thumbnailImage(maker, 100, 32), "thumbnail 50x20");  // never enlarged
    EXPECT_FALSE(small.thumbnailImage(maker, 0, 32));
    small.image = PasteboardData{'n', 'o', 't'};
    EXPECT_FALSE(small.thumbnailImage(maker, 100, 32));
    EXPECT_FALSE(VDClipData().thumbnailImage(maker, 100, 32));
}

TEST(VDClipDataTest, OnlyColourCodesGetASwatch)
{
    const SimThumbnailMaker maker;
    EXPECT_EQ(textClip("#FFF").colorCodeImage(maker), "swatch 20 #FFFFFF");
    EXPECT_EQ(textClip("1A2B3C").colorCodeImage(maker), "swatch 20 #1A2B3C");
    EXPECT_EQ(textClip("#0x1234").colorCodeImage(maker), "swatch 20 #001234");
    EXPECT_FALSE(textClip("12345").colorCodeImage(maker));
    EXPECT_FALSE(textClip("GGGGGG").colorCodeImage(maker));
    EXPECT_FALSE(textClip("a sentence").colorCodeImage(maker));
}

TEST(VDClipDataTest, KeptTypesHaveTheirNames)
{
    EXPECT_EQ(VDClipData::availableTypeName(PasteboardTypes::string), "String");
    EXPECT_EQ(VDClipData::availableTypeName(PasteboardTypes::fileUrl), "FileURL");
    EXPECT_EQ(VDClipData::availableTypeName(PasteboardTypes::png), "PNG");
    EXPECT_FALSE(VDClipData::availableTypeName(PasteboardTypes::concealed));
    EXPECT_EQ(VDClipData::availableTypes().size(), VDClipData::availableTypesString().size());
}

}  // namespace
}  // namespace vandrel
