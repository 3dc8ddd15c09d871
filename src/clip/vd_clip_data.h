// The snapshot of one pasteboard state and its archive, the payload file of a clip.
//
// A capture reads the pasteboard into a VDClipData (make), which keeps every item's data and, for the kept
// types, the parsed parts (text, rich text, PDF, HTML, file URLs, URLs, one image). The archive is a CBOR map
// under the class name "Vandrel.VDClipData", with an archive version and the ten keys below in this order:
//
//   "$class": "Vandrel.VDClipData", "$version": 1,
//   "pasteboardItemsDatas": [[bytes...]...]   "pasteboardItemTypes": [[text...]...]   "types": [text...]
//   "stringValue": text   "RTFData": bytes   "PDF": bytes   "fileURL": [text...]   "URL": [text...]
//   "image": bytes (the image file as offered: PNG, JPEG, ...)   "HTML": bytes
//
// Each byte is stored once: when the parsed parts are exactly what make() finds in the first item (as they
// are for every capture), they are left out and "$derived": true says to take them from the items again.
// Absent optional parts are not written. Reading takes each key as that type; a missing key or a value of
// another type leaves the field empty. A file that is no CBOR map of this class reads as none.
//
// The content hash (hash()) is SHA-256 over the content bytes, frozen: the same content gives the same
// number in every process, and different bytes of the same length give different numbers.
#pragma once

#include <QByteArray>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/pasteboard.h"
#include "platform/thumbnail_maker.h"

namespace vandrel {

class VDClipData {
public:
    static constexpr const char* kClassName = "Vandrel.VDClipData";
    static constexpr std::int64_t kArchiveVersion = 1;
    static constexpr const char* kClassKey = "$class";
    static constexpr const char* kVersionKey = "$version";
    static constexpr const char* kDerivedKey = "$derived";
    static constexpr const char* kPasteboardItemsDatas = "pasteboardItemsDatas";
    static constexpr const char* kPasteboardItemTypes = "pasteboardItemTypes";
    static constexpr const char* kTypesKey = "types";
    static constexpr const char* kStringValueKey = "stringValue";
    static constexpr const char* kRTFDataKey = "RTFData";
    static constexpr const char* kPDFKey = "PDF";
    static constexpr const char* kFileURLKey = "fileURL";
    static constexpr const char* kURLsKey = "URL";
    static constexpr const char* kHTMLKey = "HTML";
    static constexpr const char* kImageKey = "image";

    // Larger image files get no thumbnail.
    static constexpr std::uint64_t kThumbnailSourceLimit = ThumbnailMaker::kSourceFileLimit;

    std::vector<PasteboardType> types;  // the kept types, in the order given at creation
    std::vector<std::string> fileURLs;  // entries of a URI list of files
    std::vector<std::string> URLs;      // entries of a URI list of other URLs
    std::string stringValue;
    std::optional<PasteboardData> RTFData;  // the first of RTF or RTFD in types
    std::optional<PasteboardData> PDF;
    std::optional<PasteboardData> html;
    std::optional<PasteboardData> image;  // the first image type in types
    std::vector<std::vector<PasteboardData>> pasteboardItemsDatas;
    std::vector<std::vector<PasteboardType>> pasteboardItemsTypes;

    // The types a clip keeps, and their names: String, RTF, RTFD, PDF, FileURL, URL, TIFF, HTML, then the
    // desktop's other image types PNG, JPEG, BMP, GIF, WebP.
    static const std::vector<PasteboardType>& availableTypes();
    static const std::vector<std::string>& availableTypesString();
    // availableTypesDictinary: the name of a kept type, none for any other.
    static std::optional<std::string> availableTypeName(const PasteboardType& type);
    static bool isImageType(const PasteboardType& type);

    // Reads the pasteboard for the given kept types. None (logged "pasteboardItems is nil") when the
    // pasteboard cannot be read.
    static std::optional<VDClipData> make(const Pasteboard& pasteboard, const std::vector<PasteboardType>& types);

    // The content hash; its decimal text is a clip's dataHash.
    std::int64_t hash() const;

    // The thumbnail at most width x height, as maker makes it (PNG): of the image, or, for file URLs, of the
    // first file when it is a local picture (jpg, jpeg, png, bmp, tiff, by extension, any case); none otherwise.
    std::optional<QByteArray> thumbnailImage(const ThumbnailMaker& maker, int width, int height) const;
    // A 20 x 20 swatch when the text is a colour code (#RGB, #RRGGBB, RGB, RRGGBB); none otherwise.
    std::optional<QByteArray> colorCodeImage(const ThumbnailMaker& maker) const;

    // The items rebuilt from the two item lists: none when they differ in length; stops at the first item
    // whose data and types differ in length.
    std::vector<PasteboardItem> pasteboardItemsArray() const;
    // Replaces the pasteboard's content with pasteboardItemsArray(), unless that is empty; false when nothing
    // was written (no items, or the pasteboard refused them).
    bool setToGeneralPasteboard(Pasteboard& general) const;

    // The parsed parts as make() finds them in this snapshot's items.
    std::optional<VDClipData> derivedFromItems() const;
    bool sameParts(const VDClipData& other) const;

    // --- archive ---
    QByteArray encode() const;
    // None when the bytes are no archive of this class.
    // None for an archive of a newer version than kArchiveVersion: it is not read.
    static std::optional<VDClipData> decode(const QByteArray& bytes);
    // The "$version" of an archive; none when it is no archive or has none.
    static std::optional<std::int64_t> archiveVersion(const QByteArray& bytes);
    // Writes the archive to path atomically, readable by the owner only. False (logged) when it cannot.
    bool archive(const std::filesystem::path& path) const;
    // The archive at path, a file directly inside folder (once the folder's links are resolved; the file
    // itself no link) of at most maxBytes; none, logged "unarchiveObject with clip.dataPath fail ->" with the
    // path and why, when it is elsewhere, missing, no regular file, too large, unreadable or holds no archive
    // of this class. A row's path is only data: nothing else is ever opened for it.
    static std::optional<VDClipData> unarchive(const std::filesystem::path& path, const std::filesystem::path& folder,
                                               std::uint64_t maxBytes);

    bool operator==(const VDClipData&) const = default;
};

}  // namespace vandrel
