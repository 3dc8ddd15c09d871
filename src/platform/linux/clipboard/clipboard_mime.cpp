#include "platform/linux/clipboard/clipboard_mime.h"

#include <QMimeData>
#include <QUrl>
#include <array>

namespace vandrel {

namespace {

const QString kTextUtf8 = QStringLiteral("text/plain;charset=utf-8");
const QString kText = QStringLiteral("text/plain");
const QString kUriList = QStringLiteral("text/uri-list");

struct Mapping {
    const PasteboardType& type;
    QString format;
};

// Formats other than text and images, one type each.
const std::array<Mapping, 5>& plainMappings()
{
    static const std::array<Mapping, 5> table{{
        {PasteboardTypes::html, QStringLiteral("text/html")},
        {PasteboardTypes::rtf, QStringLiteral("text/rtf")},
        {PasteboardTypes::pdf, QStringLiteral("application/pdf")},
        {PasteboardTypes::concealed, QStringLiteral("x-kde-passwordManagerHint")},
        {PasteboardTypes::rtf, QStringLiteral("application/rtf")},
    }};
    return table;
}

// In the order of preference: only the first offered is read.
const std::array<Mapping, 6>& imageMappings()
{
    static const std::array<Mapping, 6> table{{
        {PasteboardTypes::png, QStringLiteral("image/png")},
        {PasteboardTypes::tiff, QStringLiteral("image/tiff")},
        {PasteboardTypes::jpeg, QStringLiteral("image/jpeg")},
        {PasteboardTypes::bmp, QStringLiteral("image/bmp")},
        {PasteboardTypes::gif, QStringLiteral("image/gif")},
        {PasteboardTypes::webp, QStringLiteral("image/webp")},
    }};
    return table;
}

bool isTextType(const PasteboardType& type)
{
    return type == PasteboardTypes::string || type == PasteboardTypes::concealed;
}

}  // namespace

std::vector<std::pair<QString, PasteboardType>> ClipboardMime::formatsToRead(const QStringList& offered)
{
    std::vector<std::pair<QString, PasteboardType>> out;
    if (offered.contains(kTextUtf8))
        out.emplace_back(kTextUtf8, PasteboardTypes::string);
    else if (offered.contains(kText))
        out.emplace_back(kText, PasteboardTypes::string);
    bool rtf = false;
    for (const auto& m : plainMappings()) {
        if (!offered.contains(m.format)) continue;
        if (m.type == PasteboardTypes::rtf) {
            if (rtf) continue;
            rtf = true;
        }
        out.emplace_back(m.format, m.type);
    }
    if (offered.contains(kUriList)) out.emplace_back(kUriList, PasteboardTypes::url);
    for (const auto& m : imageMappings()) {
        if (offered.contains(m.format)) {
            out.emplace_back(m.format, m.type);
            break;
        }
    }
    return out;
}

PasteboardType ClipboardMime::typeOfUriList(const QByteArray& data)
{
    bool any = false;
    for (const QByteArray& raw : data.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.isEmpty() || line.startsWith('#')) continue;
        any = true;
        if (!QUrl::fromEncoded(line).isLocalFile()) return PasteboardTypes::url;
    }
    return any ? PasteboardTypes::fileUrl : PasteboardTypes::url;
}

std::optional<PasteboardItem> ClipboardMime::readItem(
    const QStringList& offered, const std::function<std::optional<QByteArray>(const QString&)>& read)
{
    PasteboardItem item;
    const auto wanted = formatsToRead(offered);
    bool anyRead = false;
    for (const auto& [format, listedType] : wanted) {
        const auto data = read(format);
        if (!data) continue;
        if (data->isEmpty() && !isTextType(listedType)) continue;
        anyRead = true;
        const PasteboardType type = format == kUriList ? typeOfUriList(*data) : listedType;
        item.setData(type, PasteboardData(data->begin(), data->end()));
    }
    if (!wanted.empty() && !anyRead) return std::nullopt;
    return item;
}

QString ClipboardMime::formatOf(const PasteboardType& type)
{
    if (type == PasteboardTypes::string) return kText;
    if (type == PasteboardTypes::fileUrl || type == PasteboardTypes::url) return kUriList;
    for (const auto& m : plainMappings())
        if (m.type == type) return m.format;
    for (const auto& m : imageMappings())
        if (m.type == type) return m.format;
    const QString own = QString::fromStdString(type);
    const auto slash = own.indexOf('/');
    if (slash > 0 && slash < own.size() - 1 && !own.contains(' ')) return own;
    return {};
}

void ClipboardMime::fill(QMimeData& target, const std::vector<PasteboardItem>& items)
{
    QMimeData* mime = &target;
    QByteArray uris;
    for (const auto& item : items) {
        for (const auto& type : item.types()) {
            const auto data = item.data(type);
            if (!data) continue;
            const QByteArray bytes(reinterpret_cast<const char*>(data->data()), static_cast<qsizetype>(data->size()));
            const QString format = formatOf(type);
            if (format.isEmpty()) continue;
            if (format == kUriList) {
                if (!uris.isEmpty() && !uris.endsWith('\n')) uris += "\r\n";
                uris += bytes;
                continue;
            }
            if (mime->hasFormat(format)) continue;
            mime->setData(format, bytes);
            if (type == PasteboardTypes::string) mime->setData(kTextUtf8, bytes);
        }
    }
    if (!uris.isEmpty()) mime->setData(kUriList, uris);
}

std::unique_ptr<QMimeData> ClipboardMime::mimeDataOf(const std::vector<PasteboardItem>& items)
{
    auto mime = std::make_unique<QMimeData>();
    fill(*mime, items);
    return mime;
}

}  // namespace vandrel
