// How pasteboard content and the desktop clipboard's MIME formats map onto each other.
//
//   pasteboard type                 MIME format(s)
//   PasteboardTypes::string         text/plain;charset=utf-8, else text/plain (read); both (written)
//   PasteboardTypes::html           text/html
//   PasteboardTypes::rtf            text/rtf, else application/rtf
//   PasteboardTypes::pdf            application/pdf
//   PasteboardTypes::fileUrl        text/uri-list whose every entry is a file: URI
//   PasteboardTypes::url            text/uri-list with any other entry
//   png, tiff, jpeg, bmp, gif, webp image/png, image/tiff, image/jpeg, image/bmp, image/gif, image/webp:
//                                   the first offered in this order only (an owner built on a toolkit offers
//                                   one image in a dozen encodings, each made on request)
//   PasteboardTypes::concealed      x-kde-passwordManagerHint
//
// Nothing else is read: not the selection protocol's own targets (TARGETS, MULTIPLE, TIMESTAMP,
// SAVE_TARGETS), not the toolkit's synthetic image format. A type written that has no format here is written
// under its own name when that is a MIME type ("type/subtype"), else left out.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/pasteboard_item.h"

class QMimeData;

namespace vandrel {

class ClipboardMime {
public:
    // What to read of content offered in these formats: (format, pasteboard type) in reading order. The
    // URI list's type is decided by its data (see typeOfUriList).
    static std::vector<std::pair<QString, PasteboardType>> formatsToRead(const QStringList& offered);

    // The pasteboard type of a URI list: fileUrl when every entry is a file: URI, else url.
    static PasteboardType typeOfUriList(const QByteArray& data);

    // The item read through `read` (format -> its data; absent when the transfer failed). Absent when
    // formats worth reading were offered and every transfer failed; an item without types when nothing
    // offered is worth reading. Text may be empty; other formats that come back empty are left out.
    static std::optional<PasteboardItem> readItem(const QStringList& offered,
                                                  const std::function<std::optional<QByteArray>(const QString&)>& read);

    // The content of these items for the clipboard: the first item's data of a type wins, URI lists of all
    // items are joined.
    static std::unique_ptr<QMimeData> mimeDataOf(const std::vector<PasteboardItem>& items);
    // The same, into a given (empty) object.
    static void fill(QMimeData& mime, const std::vector<PasteboardItem>& items);

    // The MIME format a type is written as (the first, for text), or empty.
    static QString formatOf(const PasteboardType& type);
};

}  // namespace vandrel
