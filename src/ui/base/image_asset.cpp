#include "ui/base/image_asset.h"

#include <QString>

#include "core/checked_file.h"
#include "core/log.h"
#include "core/program_folders.h"

namespace vandrel {

std::filesystem::path ImageAsset::imagesFolder()
{
    return ProgramFolders::current()->images;
}

QImage ImageAsset::image() const
{
    const auto path = imagesFolder() / (name_ + ".png");
    const CheckedRead read = CheckedFile::read(path, kMaxFileBytes);
    if (!read) {
        log.error("Unable to load image named " + name_ + ".", path.string() + ": " + read.reason);
        return {};
    }
    const QImage image = QImage::fromData(read.bytes);
    if (image.isNull()) log.error("Unable to load image named " + name_ + ".", path.string());
    return image;
}

}  // namespace vandrel
