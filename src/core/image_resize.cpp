#include "core/image_resize.h"

#include <algorithm>
#include <cmath>

namespace vandrel {

std::optional<QImage> resizeImage(const QImage& image, double maxWidth, double maxHeight)
{
    if (image.isNull() || image.width() <= 0 || image.height() <= 0) return std::nullopt;
    const double pw = image.width();
    const double ph = image.height();
    const double ratio = pw / ph;
    double width = 0;
    double height = 0;
    if (ratio >= 1) {
        width = maxWidth;
        height = width / ratio;
        if (height > maxHeight) {
            height = maxHeight;
            width = ratio * height;
        }
    } else {
        height = maxHeight;
        width = ratio * height;
        if (width > maxWidth) {
            width = maxWidth;
            height = width / ratio;
        }
    }
    width = std::min(pw, width);
    height = std::min(ph, height);
    const int w = static_cast<int>(std::lround(width));
    const int h = static_cast<int>(std::lround(height));
    if (w <= 0 || h <= 0) return std::nullopt;
    return image.scaled(w, h, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

}  // namespace vandrel
