// The keyed image cache of clip thumbnails and colour swatches: one PNG file per key in a folder of its own
// (owner-only access, like the clips), holding the bytes the platform's ThumbnailMaker made. Keys are a
// clip's savedHash. Thread-safe; failures are logged and leave the cache without that image.
#pragma once

#include <QByteArray>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>

namespace vandrel {

class ClipImageCache {
public:
    explicit ClipImageCache(std::filesystem::path folder);

    // A stored image larger than this is not read (a thumbnail is a few KB).
    static constexpr std::uint64_t kMaxImageBytes = 16 * 1024 * 1024;

    // png: the image's PNG file, as ThumbnailMaker gives it.
    void setObject(const QByteArray& png, const std::string& key);
    // The stored image; none when there is none, and none (logged) when its file is no regular file of at
    // most kMaxImageBytes, or a link.
    std::optional<QByteArray> object(const std::string& key) const;
    void removeObject(const std::string& key);

    const std::filesystem::path& folder() const { return folder_; }

private:
    // None for a key that is no plain file name.
    std::optional<std::filesystem::path> fileOf(const std::string& key) const;

    const std::filesystem::path folder_;
    mutable std::mutex mutex_;
};

}  // namespace vandrel
