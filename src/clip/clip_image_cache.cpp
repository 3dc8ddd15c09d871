#include "clip/clip_image_cache.h"

#include <QSaveFile>

#include "clip/clip_utils.h"
#include "core/checked_file.h"
#include "core/log.h"

namespace vandrel {

ClipImageCache::ClipImageCache(std::filesystem::path folder) : folder_(std::move(folder)) {}

std::optional<std::filesystem::path> ClipImageCache::fileOf(const std::string& key) const
{
    if (key.empty() || key.find('/') != std::string::npos || key == "." || key == "..") return std::nullopt;
    return folder_ / (key + ".png");
}

void ClipImageCache::setObject(const QByteArray& png, const std::string& key)
{
    const auto file = fileOf(key);
    if (!file) return;
    std::lock_guard lock(mutex_);
    if (!ClipUtils::prepareSaveToPath(folder_)) {
        log.error("Cannot create the thumbnail folder ->", folder_.string());
        return;
    }
    QSaveFile out(QString::fromStdString(file->string()));
    const bool written = out.open(QIODevice::WriteOnly) &&
                         out.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) &&
                         out.write(png) == png.size() && out.commit();
    if (!written) log.error("Cannot store the thumbnail ->", file->string());
}

std::optional<QByteArray> ClipImageCache::object(const std::string& key) const
{
    const auto file = fileOf(key);
    if (!file) return std::nullopt;
    std::lock_guard lock(mutex_);
    const CheckedRead read = CheckedFile::read(*file, kMaxImageBytes, CheckedFile::Links::refuse);
    if (read) return read.bytes;
    if (read.failure != CheckedRead::Failure::missing)
        log.error("Cannot read the thumbnail ->", file->string() + ": " + read.reason);
    return std::nullopt;
}

void ClipImageCache::removeObject(const std::string& key)
{
    const auto file = fileOf(key);
    if (!file) return;
    std::lock_guard lock(mutex_);
    std::error_code ec;
    std::filesystem::remove(*file, ec);
}

}  // namespace vandrel
