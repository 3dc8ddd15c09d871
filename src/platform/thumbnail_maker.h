// The small pictures a clip keeps: a thumbnail of its image and a swatch of the colour its text names, as
// PNG files' bytes. Decoding and drawing images is the desktop toolkit's work, which the layers under the
// user interface do not link: the pasteboards hand the clip store the platform's maker
// (PasteboardServer::thumbnails()).
#pragma once

#include <QByteArray>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace vandrel {

class ThumbnailMaker {
public:
    virtual ~ThumbnailMaker() = default;

    // Every call is safe from any thread and returns none for what is no image it can read.
    // The image encoded in bytes (PNG, JPEG, BMP, TIFF, GIF, ...), scaled by thumbnailSize() to fit
    // width x height, as PNG.
    virtual std::optional<QByteArray> thumbnailOfData(const QByteArray& encoded, int width, int height) const = 0;
    // The same for the image file at path: only a regular file of at most kSourceFileLimit is read.
    virtual std::optional<QByteArray> thumbnailOfFile(const std::string& path, int width, int height) const = 0;
    static constexpr std::uint64_t kSourceFileLimit = 64ull * 1024 * 1024;
    // A size x size square of the opaque colour 0xRRGGBB, as PNG.
    virtual QByteArray swatch(std::uint32_t rgb, int size) const = 0;

    // The thumbnail rule: the image scaled proportionally to fit maxWidth x maxHeight, never enlarged; a
    // landscape or square image takes the full width first, a portrait one the full height. None for an
    // empty image or one that would shrink to nothing.
    static std::optional<std::pair<int, int>> thumbnailSize(int width, int height, double maxWidth, double maxHeight);
};

}  // namespace vandrel
