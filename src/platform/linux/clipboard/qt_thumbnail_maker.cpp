#include "platform/linux/clipboard/qt_thumbnail_maker.h"

#include <QBuffer>
#include <QColor>
#include <QImage>
#include <QImageReader>

#include "core/checked_file.h"
#include "core/log.h"

namespace vandrel {

namespace {

std::optional<QByteArray> png(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG")) return std::nullopt;
    return bytes;
}

// Decodes at most about four times the wanted size (a large photo is not decoded whole), then applies the
// thumbnail rule.
std::optional<QByteArray> scaledRead(QImageReader& reader, int width, int height)
{
    if (width <= 0 || height <= 0) return std::nullopt;
    const QSize full = reader.size();
    if (full.isValid() && full.width() > 4 * width && full.height() > 4 * height) {
        reader.setScaledSize(full.scaled(4 * width, 4 * height, Qt::KeepAspectRatioByExpanding));
    }
    const QImage image = reader.read();
    if (image.isNull()) return std::nullopt;
    const auto size = ThumbnailMaker::thumbnailSize(image.width(), image.height(), width, height);
    if (!size) return std::nullopt;
    return png(image.scaled(size->first, size->second, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
}

}  // namespace

std::optional<QByteArray> QtThumbnailMaker::thumbnailOfData(const QByteArray& encoded, int width, int height) const
{
    QByteArray bytes = encoded;
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::ReadOnly)) return std::nullopt;
    QImageReader reader(&buffer);
    return scaledRead(reader, width, height);
}

std::optional<QByteArray> QtThumbnailMaker::thumbnailOfFile(const std::string& path, int width, int height) const
{
    // The path comes from a copy in another program: it may be a pipe, a device or a huge file.
    const CheckedRead read = CheckedFile::read(path, kSourceFileLimit);
    if (!read) {
        log.warning("No thumbnail of the copied file ->", path + ": " + read.reason);
        return std::nullopt;
    }
    return thumbnailOfData(read.bytes, width, height);
}

QByteArray QtThumbnailMaker::swatch(std::uint32_t rgb, int size) const
{
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(QColor::fromRgb(static_cast<QRgb>(0xFF000000u | rgb)));
    return png(image).value_or(QByteArray());
}

}  // namespace vandrel
