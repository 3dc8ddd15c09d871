// Scaled copies of images for thumbnails.
#pragma once

#include <QImage>
#include <optional>

namespace vandrel {

// The image scaled proportionally to fit maxWidth x maxHeight, never enlarged; none for a null image.
// A landscape or square image takes the full width first, a portrait one the full height.
std::optional<QImage> resizeImage(const QImage& image, double maxWidth, double maxHeight);

}  // namespace vandrel
