// The named images of the program, loaded from ProgramFolders' images folder (the program's resources/images).
//
//   QLabel logo; logo.setPixmap(QPixmap::fromImage(Asset::vandrelLogo.image()));
//
// A missing image is a packaging fault: it is logged as an error and reads as an empty (null) image, so a
// broken install shows blank icons instead of stopping the program.
#pragma once

#include <QImage>
#include <cstdint>
#include <filesystem>
#include <string>

namespace vandrel {

class ImageAsset {
public:
    explicit ImageAsset(std::string name) : name_(std::move(name)) {}

    // An image file larger than this is not read.
    static constexpr std::uint64_t kMaxFileBytes = 16 * 1024 * 1024;

    const std::string& name() const { return name_; }
    // The image, or a null image (logged) when the folder has none of this name, or none that is a regular
    // file of at most kMaxFileBytes.
    QImage image() const;

    // Where the images are read from.
    static std::filesystem::path imagesFolder();

private:
    std::string name_;
};

struct Asset {
    static inline const ImageAsset simpleLogo{"SimpleLogo"};
    static inline const ImageAsset vandrelLogo{"VandrelLogo"};
    static inline const ImageAsset menubarIcon{"MenubarIcon"};
    static inline const ImageAsset menubarIconAlert{"MenubarIcon-alert"};
    static inline const ImageAsset switch1{"Switch-1"};
    static inline const ImageAsset hotkey{"Hotkey"};
    static inline const ImageAsset settingsGear64{"settings-gear-64"};
    static inline const ImageAsset lab{"lab"};
    static inline const ImageAsset note{"Note"};
    static inline const ImageAsset quiet{"quiet"};
    static inline const ImageAsset transparent{"transparent"};
    static inline const ImageAsset cWarning{"c-warning"};
    static inline const ImageAsset cCheck{"c-check"};
    static inline const ImageAsset cRemove{"c-remove"};
    static inline const ImageAsset attach{"Attach"};
    static inline const ImageAsset info{"Info"};
    static inline const ImageAsset lockOpen{"Lock-open"};
    static inline const ImageAsset lockClose{"Lock-close"};
};

}  // namespace vandrel
