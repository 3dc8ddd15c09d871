// Clips' thumbnails and colour swatches drawn with Qt's image classes (QImageReader, QImage): the desktop's
// image formats, decoded on whatever thread asks (the clip queue), never the GUI thread's work.
#pragma once

#include "platform/thumbnail_maker.h"

namespace vandrel {

class QtThumbnailMaker final : public ThumbnailMaker {
public:
    std::optional<QByteArray> thumbnailOfData(const QByteArray& encoded, int width, int height) const override;
    std::optional<QByteArray> thumbnailOfFile(const std::string& path, int width, int height) const override;
    QByteArray swatch(std::uint32_t rgb, int size) const override;
};

}  // namespace vandrel
