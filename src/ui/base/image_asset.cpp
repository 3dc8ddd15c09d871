#include "ui/base/image_asset.h"

#include <QString>
#include <mutex>

#include "core/install_layout.h"
#include "core/log.h"

namespace vandrel {

namespace {
std::mutex folderMutex;
std::filesystem::path& folderSlot()
{
    static std::filesystem::path folder = InstallLayout::resourcesFolder() / "images";
    return folder;
}
}  // namespace

std::filesystem::path ImageAsset::imagesFolder()
{
    std::lock_guard lock(folderMutex);
    return folderSlot();
}

void ImageAsset::setImagesFolder(std::filesystem::path folder)
{
    std::lock_guard lock(folderMutex);
    folderSlot() = std::move(folder);
}

QImage ImageAsset::image() const
{
    const auto path = imagesFolder() / (name_ + ".png");
    QImage image(QString::fromStdString(path.string()));
    if (image.isNull()) log.error("Unable to load image named " + name_ + ".", path.string());
    return image;
}

}  // namespace vandrel
