#include "platform/sim/sim_thumbnail_maker.h"

#include <QFile>

namespace vandrel {

namespace {

constexpr char kSignature[] = "\x89PNG\r\n\x1a\n";
constexpr int kHeaderSize = 33;  // signature, IHDR length, type, width, height, five bytes, CRC

void putBigEndian(QByteArray& out, std::uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8) out.append(static_cast<char>((value >> shift) & 0xFF));
}

std::uint32_t bigEndianAt(const QByteArray& bytes, int at)
{
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

std::optional<QByteArray> thumbnailOf(const QByteArray& encoded, int width, int height)
{
    if (width <= 0 || height <= 0 || encoded.size() < kHeaderSize || !encoded.startsWith(kSignature) ||
        encoded.mid(12, 4) != "IHDR")
        return std::nullopt;
    const auto w = bigEndianAt(encoded, 16);
    const auto h = bigEndianAt(encoded, 20);
    if (w > 0x7FFFFFFF || h > 0x7FFFFFFF) return std::nullopt;
    const auto size = ThumbnailMaker::thumbnailSize(static_cast<int>(w), static_cast<int>(h), width, height);
    if (!size) return std::nullopt;
    return QByteArray("thumbnail ") + QByteArray::number(size->first) + "x" + QByteArray::number(size->second);
}

}  // namespace

QByteArray SimThumbnailMaker::image(int width, int height)
{
    QByteArray out(kSignature, 8);
    putBigEndian(out, 13);
    out.append("IHDR");
    putBigEndian(out, static_cast<std::uint32_t>(width));
    putBigEndian(out, static_cast<std::uint32_t>(height));
    out.append("\x08\x06\x00\x00\x00", 5);  // 8 bits per channel, RGBA
    putBigEndian(out, 0);                   // no reader here checks the CRC
    return out;
}

std::optional<QByteArray> SimThumbnailMaker::thumbnailOfData(const QByteArray& encoded, int width, int height) const
{
    return thumbnailOf(encoded, width, height);
}

std::optional<QByteArray> SimThumbnailMaker::thumbnailOfFile(const std::string& path, int width, int height) const
{
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    return thumbnailOf(file.read(kHeaderSize), width, height);
}

QByteArray SimThumbnailMaker::swatch(std::uint32_t rgb, int size) const
{
    return QByteArray("swatch ") + QByteArray::number(size) + " #" +
           QByteArray::number(rgb & 0xFFFFFF, 16).rightJustified(6, '0').toUpper();
}

}  // namespace vandrel
