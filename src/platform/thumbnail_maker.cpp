#include "platform/thumbnail_maker.h"

#include <algorithm>
#include <cmath>

namespace vandrel {

std::optional<std::pair<int, int>> ThumbnailMaker::thumbnailSize(int imageWidth, int imageHeight, double maxWidth,
                                                                 double maxHeight)
{
    if (imageWidth <= 0 || imageHeight <= 0) return std::nullopt;
    const double pw = imageWidth;
    const double ph = imageHeight;
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
    return std::pair{w, h};
}

}  // namespace vandrel
