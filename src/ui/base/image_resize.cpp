#include "ui/base/image_resize.h"

#include "platform/thumbnail_maker.h"

namespace vandrel {

std::optional<QImage> resizeImage(const QImage& image, double maxWidth, double maxHeight)
{
    if (image.isNull()) return std::nullopt;
    const auto size = ThumbnailMaker::thumbnailSize(image.width(), image.height(), maxWidth, maxHeight);
    if (!size) return std::nullopt;
    return image.scaled(size->first, size->second, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

}  // namespace vandrel
