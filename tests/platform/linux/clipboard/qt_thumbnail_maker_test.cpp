// Clips' pictures drawn with Qt's image classes: real images decoded and scaled by the thumbnail rule, swatches
// of the named colour, and no picture for what is no image.
#include "platform/linux/clipboard/qt_thumbnail_maker.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <QTemporaryDir>

#include "support/hostile_files.h"

namespace vandrel {
namespace {

QByteArray encoded(int width, int height, const char* format)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::blue);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

QImage decoded(const std::optional<QByteArray>& png)
{
    return png ? QImage::fromData(*png, "PNG") : QImage();
}

TEST(QtThumbnailMakerTest, ImagesOfAnyReadableFormatBecomePngThumbnailsThatFitTheBox)
{
    const QtThumbnailMaker maker;
    struct Case {
        int width, height;
        const char* format;
        QSize thumbnail;
    };
    for (const Case& c :
         {Case{1000, 500, "PNG", {64, 32}}, Case{1000, 500, "JPEG", {64, 32}}, Case{50, 20, "BMP", {50, 20}},
          Case{100, 1000, "PNG", {3, 32}}, Case{1000, 100, "PNG", {100, 10}}}) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + " " + c.format);
        const QImage thumbnail = decoded(maker.thumbnailOfData(encoded(c.width, c.height, c.format), 100, 32));
        EXPECT_EQ(thumbnail.size(), c.thumbnail);
        const QColor middle = thumbnail.pixelColor(thumbnail.width() / 2, thumbnail.height() / 2);
        EXPECT_GT(middle.blue(), 245);  // JPEG is lossy
        EXPECT_LT(middle.red() + middle.green(), 10);
    }
    EXPECT_FALSE(maker.thumbnailOfData("not an image", 100, 32));
    EXPECT_FALSE(maker.thumbnailOfData(encoded(10, 10, "PNG"), 0, 32));
}

TEST(QtThumbnailMakerTest, FilesAreReadAsTheirContentSays)
{
    const QtThumbnailMaker maker;
    QTemporaryDir folder;
    const QString picture = folder.filePath("picture.png");
    QFile out(picture);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(encoded(400, 200, "JPEG"));
    out.close();
    EXPECT_EQ(decoded(maker.thumbnailOfFile(picture.toStdString(), 100, 32)).size(), QSize(64, 32));

    // A copied path may name anything: each of these gives no picture at once, and nothing waits on a pipe.
    auto others = test::hostileFiles(folder.path().toStdString(), ".png");
    others.push_back(folder.filePath("missing.png").toStdString());
    for (const auto& path : others) EXPECT_FALSE(maker.thumbnailOfFile(path.string(), 100, 32)) << path;
}

TEST(QtThumbnailMakerTest, SwatchesAreOpaqueSquaresOfTheColour)
{
    const QImage swatch = decoded(QtThumbnailMaker().swatch(0x1A2B3C, 20));
    EXPECT_EQ(swatch.size(), QSize(20, 20));
    EXPECT_EQ(swatch.pixelColor(5, 5), QColor(0x1A, 0x2B, 0x3C));
    EXPECT_EQ(swatch.pixelColor(19, 19).alpha(), 255);
}

}  // namespace
}  // namespace vandrel
