#include "clip/vd_clip_data.h"

#include <fcntl.h>
#include <unistd.h>

#include <QCborArray>
#include <QCborMap>
#include <QCborValue>
#include <QCryptographicHash>
#include <QFileInfo>
#include <QUrl>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <set>

#include "clip/clip_utils.h"
#include "core/checked_file.h"
#include "core/hex_color.h"
#include "core/log.h"
#include "platform/memory_pasteboard.h"

namespace vandrel {

namespace {

QByteArray bytesOf(const PasteboardData& data)
{
    return QByteArray(reinterpret_cast<const char*>(data.data()), static_cast<qsizetype>(data.size()));
}

PasteboardData dataOf(const QByteArray& bytes)
{
    return PasteboardData(bytes.begin(), bytes.end());
}

// The entries of a URI list: one per line, blank lines and comments left out.
std::vector<std::string> uriListEntries(const PasteboardData& data)
{
    std::vector<std::string> out;
    for (const QByteArray& raw : bytesOf(data).split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.isEmpty() || line.startsWith('#')) continue;
        out.push_back(line.toStdString());
    }
    return out;
}

QCborValue optionalBytes(const std::optional<PasteboardData>& data)
{
    return data ? QCborValue(bytesOf(*data)) : QCborValue();
}

QCborArray textArray(const std::vector<std::string>& texts)
{
    QCborArray out;
    for (const auto& t : texts) out.append(QString::fromStdString(t));
    return out;
}

std::optional<PasteboardData> readBytes(const QCborMap& map, const char* key)
{
    const QCborValue value = map.value(QLatin1String(key));
    if (!value.isByteArray()) return std::nullopt;
    return dataOf(value.toByteArray());
}

// A list of texts; a value of another shape reads as empty, an entry of another type is left out.
std::vector<std::string> readTexts(const QCborValue& value)
{
    std::vector<std::string> out;
    if (!value.isArray()) return out;
    for (const QCborValue& entry : value.toArray())
        if (entry.isString()) out.push_back(entry.toString().toStdString());
    return out;
}

void addPart(QCryptographicHash& hash, char tag, const char* data, std::size_t size)
{
    hash.addData(QByteArrayView(&tag, 1));
    unsigned char length[8];
    for (int i = 0; i < 8; ++i)
        length[i] = static_cast<unsigned char>((static_cast<std::uint64_t>(size) >> (8 * i)) & 0xFF);
    hash.addData(QByteArrayView(reinterpret_cast<const char*>(length), 8));
    hash.addData(QByteArrayView(data, static_cast<qsizetype>(size)));
}

void addPart(QCryptographicHash& hash, char tag, const std::string& text)
{
    addPart(hash, tag, text.data(), text.size());
}

void addPart(QCryptographicHash& hash, char tag, const PasteboardData& data)
{
    addPart(hash, tag, reinterpret_cast<const char*>(data.data()), data.size());
}

}  // namespace

const std::vector<PasteboardType>& VDClipData::availableTypes()
{
    static const std::vector<PasteboardType> types{
        PasteboardTypes::string,  PasteboardTypes::rtf,  PasteboardTypes::rtfd, PasteboardTypes::pdf,
        PasteboardTypes::fileUrl, PasteboardTypes::url,  PasteboardTypes::tiff, PasteboardTypes::html,
        PasteboardTypes::png,     PasteboardTypes::jpeg, PasteboardTypes::bmp,  PasteboardTypes::gif,
        PasteboardTypes::webp};
    return types;
}

const std::vector<std::string>& VDClipData::availableTypesString()
{
    static const std::vector<std::string> names{"String", "RTF", "RTFD", "PDF", "FileURL", "URL", "TIFF",
                                                "HTML",   "PNG", "JPEG", "BMP", "GIF",     "WebP"};
    return names;
}

std::optional<std::string> VDClipData::availableTypeName(const PasteboardType& type)
{
    const auto& types = availableTypes();
    const auto it = std::find(types.begin(), types.end(), type);
    if (it == types.end()) return std::nullopt;
    return availableTypesString()[static_cast<std::size_t>(it - types.begin())];
}

bool VDClipData::isImageType(const PasteboardType& type)
{
    return type == PasteboardTypes::tiff || type == PasteboardTypes::png || type == PasteboardTypes::jpeg ||
           type == PasteboardTypes::bmp || type == PasteboardTypes::gif || type == PasteboardTypes::webp;
}

std::optional<VDClipData> VDClipData::make(const Pasteboard& pasteboard, const std::vector<PasteboardType>& types)
{
    const auto items = pasteboard.pasteboardItems();
    if (!items) {
        log.error("pasteboardItems is nil");
        return std::nullopt;
    }
    VDClipData clip;
    auto parts = extractNSDataAndTypes(*items);
    clip.pasteboardItemsDatas = std::move(parts.datas);
    clip.pasteboardItemsTypes = std::move(parts.types);
    clip.types = types;
    for (const auto& type : types) {
        if (type == PasteboardTypes::string) {
            if (auto text = pasteboard.string(type)) clip.stringValue = std::move(*text);
        } else if (type == PasteboardTypes::rtfd || type == PasteboardTypes::rtf) {
            if (!clip.RTFData) clip.RTFData = pasteboard.data(type);
        } else if (type == PasteboardTypes::pdf) {
            clip.PDF = pasteboard.data(type);
        } else if (type == PasteboardTypes::fileUrl) {
            if (auto data = pasteboard.data(type)) clip.fileURLs = uriListEntries(*data);
        } else if (type == PasteboardTypes::url) {
            if (auto data = pasteboard.data(type)) clip.URLs = uriListEntries(*data);
        } else if (isImageType(type)) {
            if (!clip.image) clip.image = pasteboard.data(type);
        } else if (type == PasteboardTypes::html) {
            clip.html = pasteboard.data(type);
        }
    }
    return clip;
}

std::int64_t VDClipData::hash() const
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    std::string joined;
    for (const auto& type : types) joined += type;
    addPart(hash, 'T', joined);
    if (image) addPart(hash, 'I', *image);
    if (!fileURLs.empty()) {
        for (const auto& url : fileURLs) addPart(hash, 'F', url);
    } else if (!URLs.empty()) {
        for (const auto& url : URLs) addPart(hash, 'U', url);
    } else if (PDF) {
        addPart(hash, 'P', *PDF);
    } else if (!stringValue.empty()) {
        addPart(hash, 'S', stringValue);
    } else if (html) {
        addPart(hash, 'H', *html);
    }
    if (RTFData) addPart(hash, 'R', *RTFData);
    const QByteArray digest = hash.result();
    std::uint64_t value = 0;
    for (int i = 0; i < 8; ++i) value |= static_cast<std::uint64_t>(static_cast<unsigned char>(digest[i])) << (8 * i);
    return static_cast<std::int64_t>(value);
}

std::optional<QByteArray> VDClipData::thumbnailImage(const ThumbnailMaker& maker, int width, int height) const
{
    if (width <= 0 || height <= 0) return std::nullopt;
    if (fileURLs.empty()) {
        if (!image || image->size() > kThumbnailSourceLimit) return std::nullopt;
        return maker.thumbnailOfData(bytesOf(*image), width, height);
    }
    const QUrl url(QString::fromStdString(fileURLs.front()));
    if (!url.isValid()) return std::nullopt;
    static const std::set<QString> pictures{"jpg", "jpeg", "png", "bmp", "tiff"};
    if (!pictures.count(QFileInfo(url.path()).suffix().toLower())) return std::nullopt;
    const QString file = url.isLocalFile() ? url.toLocalFile() : (url.scheme().isEmpty() ? url.path() : QString());
    const QFileInfo info(file);
    if (file.isEmpty() || !info.isFile() || static_cast<std::uint64_t>(info.size()) > kThumbnailSourceLimit)
        return std::nullopt;
    return maker.thumbnailOfFile(file.toStdString(), width, height);
}

std::optional<QByteArray> VDClipData::colorCodeImage(const ThumbnailMaker& maker) const
{
    const auto rgb = hexColorValue(QString::fromStdString(stringValue));
    if (!rgb) return std::nullopt;
    return maker.swatch(*rgb, 20);
}

std::vector<PasteboardItem> VDClipData::pasteboardItemsArray() const
{
    std::vector<PasteboardItem> items;
    if (pasteboardItemsDatas.size() != pasteboardItemsTypes.size()) return items;
    for (std::size_t i = 0; i < pasteboardItemsDatas.size(); ++i) {
        const auto& datas = pasteboardItemsDatas[i];
        const auto& itemTypes = pasteboardItemsTypes[i];
        if (datas.size() != itemTypes.size()) break;
        PasteboardItem item;
        for (std::size_t j = 0; j < datas.size(); ++j) item.setData(itemTypes[j], datas[j]);
        items.push_back(std::move(item));
    }
    return items;
}

bool VDClipData::setToGeneralPasteboard(Pasteboard& general) const
{
    const auto items = pasteboardItemsArray();
    if (items.empty()) return false;
    general.clearContents();
    return general.writeObjects(items);
}

std::optional<VDClipData> VDClipData::derivedFromItems() const
{
    MemoryPasteboard items("derive");
    items.writeObjects(pasteboardItemsArray());
    return make(items, types);
}

bool VDClipData::sameParts(const VDClipData& other) const
{
    return stringValue == other.stringValue && RTFData == other.RTFData && PDF == other.PDF &&
           fileURLs == other.fileURLs && URLs == other.URLs && image == other.image && html == other.html;
}

QByteArray VDClipData::encode() const
{
    QCborMap map;
    map.insert(QLatin1String(kClassKey), QLatin1String(kClassName));
    map.insert(QLatin1String(kVersionKey), static_cast<qint64>(kArchiveVersion));
    const auto derived = derivedFromItems();
    const bool derive = derived && sameParts(*derived);
    if (derive) map.insert(QLatin1String(kDerivedKey), true);
    QCborArray itemDatas;
    for (const auto& datas : pasteboardItemsDatas) {
        QCborArray one;
        for (const auto& data : datas) one.append(bytesOf(data));
        itemDatas.append(one);
    }
    map.insert(QLatin1String(kPasteboardItemsDatas), itemDatas);
    QCborArray itemTypes;
    for (const auto& list : pasteboardItemsTypes) itemTypes.append(textArray(list));
    map.insert(QLatin1String(kPasteboardItemTypes), itemTypes);
    map.insert(QLatin1String(kTypesKey), textArray(types));
    if (derive) return map.toCborValue().toCbor();
    map.insert(QLatin1String(kStringValueKey), QString::fromStdString(stringValue));
    if (RTFData) map.insert(QLatin1String(kRTFDataKey), optionalBytes(RTFData));
    if (PDF) map.insert(QLatin1String(kPDFKey), optionalBytes(PDF));
    map.insert(QLatin1String(kFileURLKey), textArray(fileURLs));
    map.insert(QLatin1String(kURLsKey), textArray(URLs));
    if (image) map.insert(QLatin1String(kImageKey), optionalBytes(image));
    if (html) map.insert(QLatin1String(kHTMLKey), optionalBytes(html));
    return map.toCborValue().toCbor();
}

std::optional<VDClipData> VDClipData::decode(const QByteArray& bytes)
{
    QCborParserError error;
    const QCborValue root = QCborValue::fromCbor(bytes, &error);
    if (error.error != QCborError::NoError || !root.isMap()) return std::nullopt;
    const QCborMap map = root.toMap();
    if (map.value(QLatin1String(kClassKey)).toString() != QLatin1String(kClassName)) return std::nullopt;
    if (map.value(QLatin1String(kVersionKey)).toInteger(kArchiveVersion) > kArchiveVersion) return std::nullopt;

    VDClipData clip;
    const QCborValue itemDatas = map.value(QLatin1String(kPasteboardItemsDatas));
    if (itemDatas.isArray()) {
        for (const QCborValue& one : itemDatas.toArray()) {
            auto& datas = clip.pasteboardItemsDatas.emplace_back();
            if (!one.isArray()) continue;
            for (const QCborValue& data : one.toArray())
                if (data.isByteArray()) datas.push_back(dataOf(data.toByteArray()));
        }
    }
    const QCborValue itemTypes = map.value(QLatin1String(kPasteboardItemTypes));
    if (itemTypes.isArray())
        for (const QCborValue& one : itemTypes.toArray()) clip.pasteboardItemsTypes.push_back(readTexts(one));
    clip.types = readTexts(map.value(QLatin1String(kTypesKey)));
    if (map.value(QLatin1String(kDerivedKey)).toBool()) {
        auto derived = clip.derivedFromItems();
        if (!derived) return std::nullopt;
        derived->pasteboardItemsDatas = std::move(clip.pasteboardItemsDatas);
        derived->pasteboardItemsTypes = std::move(clip.pasteboardItemsTypes);
        return derived;
    }
    const QCborValue text = map.value(QLatin1String(kStringValueKey));
    if (text.isString()) clip.stringValue = text.toString().toStdString();
    clip.RTFData = readBytes(map, kRTFDataKey);
    clip.PDF = readBytes(map, kPDFKey);
    clip.fileURLs = readTexts(map.value(QLatin1String(kFileURLKey)));
    clip.URLs = readTexts(map.value(QLatin1String(kURLsKey)));
    clip.image = readBytes(map, kImageKey);
    clip.html = readBytes(map, kHTMLKey);
    return clip;
}

bool VDClipData::archive(const std::filesystem::path& path) const
{
    const QByteArray bytes = encode();
    std::string temporary = path.string() + ".XXXXXX";
    // Readable and writable by its owner only, and no program started meanwhile inherits it.
    const int fd = mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        log.error("Cannot write the clip archive ->", path.string() + ": " + std::strerror(errno));
        return false;
    }
    const char* at = bytes.constData();
    std::size_t left = static_cast<std::size_t>(bytes.size());
    int failure = 0;
    while (left > 0) {
        const ssize_t n = ::write(fd, at, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            failure = errno;
            break;
        }
        at += n;
        left -= static_cast<std::size_t>(n);
    }
    // On disk before the rename: a power loss must not leave an empty payload under the final name.
    if (failure == 0 && ::fsync(fd) != 0) failure = errno;
    if (::close(fd) != 0 && failure == 0) failure = errno;
    if (failure == 0 && std::rename(temporary.c_str(), path.c_str()) != 0) failure = errno;
    if (failure != 0) {
        ::unlink(temporary.c_str());
        log.error("Cannot write the clip archive ->", path.string() + ": " + std::strerror(failure));
        return false;
    }
    return true;
}

std::optional<std::int64_t> VDClipData::archiveVersion(const QByteArray& bytes)
{
    QCborParserError error;
    const QCborValue root = QCborValue::fromCbor(bytes, &error);
    if (error.error != QCborError::NoError || !root.isMap()) return std::nullopt;
    const QCborValue version = root.toMap().value(QLatin1String(kVersionKey));
    if (!version.isInteger()) return std::nullopt;
    return version.toInteger();
}

std::optional<VDClipData> VDClipData::unarchive(const std::filesystem::path& path, const std::filesystem::path& folder,
                                                std::uint64_t maxBytes)
{
    const auto fail = [&path](const std::string& why) -> std::optional<VDClipData> {
        log.error("unarchiveObject with clip.dataPath fail ->", path.string() + ": " + why);
        return std::nullopt;
    };
    if (!ClipUtils::isInFolder(folder, path)) return fail("not a file of the clip folder");
    const CheckedRead read = CheckedFile::read(path, maxBytes, CheckedFile::Links::refuse);
    if (!read) return fail(read.reason);
    auto clip = decode(read.bytes);
    if (clip) return clip;
    if (const auto version = archiveVersion(read.bytes); version && *version > kArchiveVersion) {
        // Written by a newer program: left as it is for that one, and not read by this one.
        static std::mutex mutex;
        static std::set<std::string> reported;
        std::lock_guard lock(mutex);
        if (reported.insert(path.string()).second)
            log.warning("A clip archive of a newer version is skipped and kept ->",
                        path.string() + " (version " + std::to_string(*version) + ")");
        return std::nullopt;
    }
    return fail("no clip archive");
}

}  // namespace vandrel
