// The simulated desktop's images. An image is any PNG whose header (signature and IHDR chunk) gives its size;
// image(width, height) makes one of just that header. Nothing is decoded or drawn: a thumbnail reads
// "thumbnail <w>x<h>" (the size the thumbnail rule gives) and a swatch "swatch <size> #RRGGBB", so a test sees
// what the clip store kept.
#pragma once

#include "platform/thumbnail_maker.h"

namespace vandrel {

class SimThumbnailMaker final : public ThumbnailMaker {
public:
    static QByteArray image(int width, int height);

    std::optional<QByteArray> thumbnailOfData(const QByteArray& encoded, int width, int height) const override;
    std::optional<QByteArray> thumbnailOfFile(const std::string& path, int width, int height) const override;
    QByteArray swatch(std::uint32_t rgb, int size) const override;
};

}  // namespace vandrel
